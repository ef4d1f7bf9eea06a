// Windows bitmaps from arbitrary bytes: loading may fail with an error,
// never read or write outside a buffer; what loads is drawn and written back.
#include <cstdint>
#include <exception>

#include "platform/gdi/canvas.h"
#include "platform/gdi/graphics.h"
#include "platform/rtl/classes.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    BitmapMemoryLimit = 8 << 20;
    TBitmap picture;
    try {
        TMemoryStream in(data, size);
        picture.LoadFromStream(in);
    } catch (const std::exception&) {
        return 0;
    }
    // Drawing and writing back are exercised on small pictures only, so the
    // fuzzer keeps its pace.
    if (int64_t(picture.Width()) * picture.Height() > 256 * 256) return 0;
    try {
        TBitmap target;
        target.SetPixelFormat(pf16bit);
        target.SetSize(17, 9);
        target.Canvas().StretchDraw(Rect(0, 0, 17, 9), picture);
        TMemoryStream out;
        picture.SaveToStream(out);
        out.SetPosition(0);
        TBitmap copy;
        copy.LoadFromStream(out);
    } catch (const std::exception&) {
    }
    return 0;
}
