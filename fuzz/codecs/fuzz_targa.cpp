// Truevision pictures from arbitrary bytes: loading may fail with an error,
// never read or write outside a buffer; what loads is written back again.
#include "codecs/targa.h"
#include "fuzz_picture.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    PrepareFuzzing();
    TTargaGraphic picture;
    if (!FuzzLoad(picture, data, size)) return 0;
    // Writing back is exercised on small pictures only, so the fuzzer keeps its pace.
    if (int64_t(picture.Width()) * picture.Height() > 256 * 256) return 0;
    try {
        for (bool compressed : {true, false}) {
            TMemoryStream out;
            picture.SaveToStream(out, compressed);
            out.SetPosition(0);
            TTargaGraphic copy;
            copy.LoadFromStream(out);
        }
    } catch (const std::exception&) {
    }
    return 0;
}
