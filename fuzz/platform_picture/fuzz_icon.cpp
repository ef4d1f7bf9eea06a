// Icon files from arbitrary bytes: loading may fail with an error, never
// read or write outside a buffer; what loads is drawn.
#include <cstdint>
#include <exception>

#include "platform/gdi/canvas.h"
#include "platform/picture/picture.h"
#include "platform/rtl/classes.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    BitmapMemoryLimit = 16 << 20;
    TIcon icon;
    try {
        TMemoryStream in(data, size);
        icon.LoadFromStream(in);
        TBitmap target;
        target.SetPixelFormat(pf24bit);
        target.SetSize(13, 7);
        target.Canvas().Draw(1, 1, icon);
    } catch (const std::exception&) {
    }
    return 0;
}
