// TIFF pictures and EPS previews from arbitrary bytes: loading may fail with an error,
// never read or write outside a buffer nor take unbounded memory.
#include <cstdint>
#include <exception>

#include "codecs/tiff.h"
#include "platform/rtl/classes.h"
#include "platform/rtl/messages.h"

namespace {
// Warning boxes of the decoders go nowhere.
class TSilentSink : public TMessageSink {
public:
    int Message(const TMessageRecord&) override { return IDOK; }
    void ProcessEnd(int) override {}
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static TSilentSink sink;
    SetMessageSink(&sink);
    BitmapMemoryLimit = 8 << 20;
    {
        TTIFFGraphic picture;
        try {
            TMemoryStream in(data, size);
            picture.CanLoad(in);
            picture.LoadFromStream(in);
        } catch (const std::exception&) {
        }
    }
    {
        TEPSGraphic eps;
        try {
            TMemoryStream in(data, size);
            eps.CanLoad(in);
            eps.LoadFromStream(in);
        } catch (const std::exception&) {
        }
    }
    return 0;
}
