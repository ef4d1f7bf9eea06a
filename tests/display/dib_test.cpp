// Off-screen pictures (formats, colour conversion, block copies) and their
// viewer (scroll bars, painting onto the form, host-to-picture positions,
// the rubber band).
#include <gtest/gtest.h>

#include <memory>
#include <tuple>
#include <utility>

#include "display/dib_viewer.h"

namespace {

uint16_t At(const TBitmap& b, int x, int y) { return reinterpret_cast<const uint16_t*>(b.ScanLine(y))[x]; }

// A 565 picture whose every pixel tells its own position.
std::unique_ptr<TDIBPicture> Numbered(int w, int h)
{
    auto p = std::make_unique<TDIBPicture>(w, h, dibFormat565, nullptr);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            reinterpret_cast<uint16_t*>(p->PixelBits + y * p->RowBytes)[x] = uint16_t(y * 7 + x * 3 + 1);
    return p;
}

}  // namespace

TEST(TDIBPicture, FormatsColoursAndBlockCopies)
{
    TLogPalette two;
    two.entries = {{200, 0, 0, 0}, {0, 0, 200, 0}};
    const TColor mixed = RGB(0x9C, 0x4A, 0x27);
    // Rows padded to 32 bits, widths cut to 16 bits; a colour's nearest palette index, or its packed value.
    const std::tuple<uint8_t, int, int, TColor, uint32_t> rows[] = {
        {dibFormat1Bit, 33, 8, 0xF0F0F0, 1},         {dibFormat4Bit, 3, 4, RGB(0, 0, 250), 12},
        {dibFormat8Bit, 5, 8, RGB(0, 10, 180), 1},   {dibFormat555, 3, 8, mixed, 0x4D24},
        {dibFormat565, 100, 200, mixed, 0x9A44},     {dibFormat24Bit, 5, 16, clBlue, 0x0000FF},
        {dibFormat32Bit, 100, 400, mixed, 0x9C4A27}, {dibFormat565, 65536 + 10, 20, clLime, 0x07E0}};
    for (const auto& [format, width, rowBytes, colour, pixel] : rows) {
        SCOPED_TRACE(testing::Message() << "format " << int(format));
        TDIBPicture p(width, 50, format, format == dibFormat8Bit ? &two : nullptr);
        EXPECT_EQ(p.RowBytes, rowBytes);
        EXPECT_EQ(p.Bitmap().RowBytes(), rowBytes);
        EXPECT_EQ(p.ImageSize, 50 * rowBytes);
        EXPECT_EQ(p.Bitmap().Width(), width & 0xFFFF);
        EXPECT_EQ(p.ColorToPixel(colour), pixel);
    }
    EXPECT_THROW(TDIBPicture(0, 10, dibFormat565, nullptr), DIB_ERROR);
    EXPECT_THROW(TDIBPicture(-1, -1, dibFormat32Bit, nullptr), DIB_ERROR);  // 65535 x 65535: too large
    try {
        TDIBPicture p(4, 4, 7, nullptr);
    } catch (const DIB_ERROR& e) {
        EXPECT_STREQ(e.what(),
                     "DIB ERROR :\rCan NOT create DIB ? ? !\rImpossible de cr\xE9"
                     "er une image tampon ? ? !");
    }
    TDIBPicture q(9, 3, dibFormat4Bit, nullptr);  // the brush fills a cleared picture: index 11 in both halves
    q.SetBrushColor(RGB(255, 255, 0));
    q.Clear();
    EXPECT_EQ(q.PixelBits[0], 0xBB);
    EXPECT_EQ(q.PixelBits[q.RowBytes * 2 + 3], 0xBB);
    // Copies from a negative source position cut off what lies beyond the
    // picture and move the destination by as much.
    auto src = Numbered(40, 20);
    TDIBPicture dst(60, 30, dibFormat565, nullptr);
    src->DrawTo(Rect(0, 0, 20, 5), dst.Canvas(), -10, -2);  // x, y, cx, cy
    EXPECT_EQ(At(dst.Bitmap(), 10, 2), At(src->Bitmap(), 0, 0));
    EXPECT_EQ(At(dst.Bitmap(), 19, 4), At(src->Bitmap(), 9, 2));
    EXPECT_EQ(At(dst.Bitmap(), 9, 2), 0);
    EXPECT_EQ(At(dst.Bitmap(), 10, 1), 0);
    EXPECT_EQ(At(dst.Bitmap(), 20, 4), 0);
    EXPECT_EQ(At(dst.Bitmap(), 19, 5), 0);
}

TEST(TDIBViewer, BarsScrollingPaintingAndTheRubberBand)
{
    TMemoryForm form(600, 500, pf16bit);
    TMemoryControl host(&form);
    TMemoryScrollBar horz(&form), vert(&form);
    host.SetBounds(10, 20, 406, 306);
    const auto picture = Numbered(1200, 1200), original = Numbered(1200, 1200), narrow = Numbered(410, 200);
    TDIBViewer v(&host);
    int x = 5, y = 7;
    v.ScreenToDIB(x, y);  // no picture
    EXPECT_EQ(std::pair(x, y), std::pair(-1, -1));
    v.SetDIB(picture.get());
    v.SetHorzScrollBar(&horz);
    v.SetVertScrollBar(&vert);
    EXPECT_EQ(vert.Kind(), sbVertical);
    EXPECT_EQ(vert.Left(), 419);
    EXPECT_EQ(vert.Max(), 900);
    EXPECT_EQ(horz.Top(), 329);
    EXPECT_EQ(horz.Max(), 800);
    horz.OnChange = [&](TControl*) { v.Paint(); };  // as the scroll handler repaints
    vert.SetPosition(45);
    horz.SetPosition(123);
    x = 5;
    y = 7;
    v.ScreenToDIB(x, y);
    EXPECT_EQ(std::pair(x, y), std::pair(128, 52));
    // The rubber band saves the part the view shows and puts it back.
    v.BeginRubberBand(30, 40);
    picture->SetBrushColor(clRed);
    picture->Clear();
    v.EndRubberBand();
    EXPECT_FALSE(v.RubberBandActive);
    EXPECT_EQ(v.Backup, nullptr);
    for (int py = 45; py < 345; ++py)
        for (int px = 123; px < 523; ++px)
            ASSERT_EQ(At(picture->Bitmap(), px, py), At(original->Bitmap(), px, py)) << px << "," << py;
    EXPECT_EQ(At(picture->Bitmap(), 122, 45), 0xF800);
    EXPECT_EQ(At(picture->Bitmap(), 123, 345), 0xF800);
    // On the form, inset by 3 pixels; the border and what lies beyond untouched.
    EXPECT_EQ(At(form.Bitmap(), 13, 23), At(original->Bitmap(), 123, 45));
    EXPECT_EQ(At(form.Bitmap(), 412, 322), At(original->Bitmap(), 522, 344));
    EXPECT_EQ(At(form.Bitmap(), 12, 23), 0);
    EXPECT_EQ(At(form.Bitmap(), 413, 23), 0);
    EXPECT_EQ(At(form.Bitmap(), 13, 323), 0);
    v.SetVisible(false);  // hidden, with its host and bars: nothing painted or found
    const int changes = form.ChangeCount();
    v.Paint();
    v.ScreenToDIB(x, y);
    EXPECT_FALSE(host.Visible());
    EXPECT_FALSE(horz.Visible());
    EXPECT_EQ(form.ChangeCount(), changes);
    EXPECT_EQ(x, -1);
    v.SetDIB(narrow.get());  // a picture that fits within the insets leaves nothing to scroll
    EXPECT_EQ(horz.Max(), 0);
    EXPECT_EQ(horz.Position(), 0);
    EXPECT_EQ(vert.Max(), 0);
}
