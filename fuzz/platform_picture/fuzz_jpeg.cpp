// JPEG pictures from arbitrary bytes: loading may fail with an error, never
// read or write outside a buffer; what loads is drawn.
#include <cstdint>
#include <exception>

#include "platform/gdi/canvas.h"
#include "platform/picture/picture.h"
#include "platform/rtl/classes.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    BitmapMemoryLimit = 16 << 20;
    TJPEGImage jpeg;
    try {
        TMemoryStream in(data, size);
        jpeg.LoadFromStream(in);
        TBitmap target;
        target.SetPixelFormat(pf16bit);
        target.SetSize(11, 7);
        target.Canvas().StretchDraw(Rect(0, 0, 11, 7), jpeg);
    } catch (const std::exception&) {
    }
    return 0;
}
