// Off-screen pictures: formats and row sizes, palettes, colour conversion,
// the pen and brush caches, clearing and block copies.
#include <gtest/gtest.h>

#include <cstring>

#include "display/dib_picture.h"

TEST(TDIBPicture, FormatsAndRowSizes)
{
    struct {
        uint8_t format;
        int width;
        int bits;
        int rowBytes;
        TPixelFormat pixelFormat;
    } const cases[] = {
        {dibFormat1Bit, 33, 1, 8, pf1bit},      {dibFormat4Bit, 3, 4, 4, pf4bit},
        {dibFormat8Bit, 5, 8, 8, pf8bit},       {dibFormat555, 3, 16, 8, pf15bit},
        {dibFormat565, 100, 16, 200, pf16bit},  {dibFormat24Bit, 100, 24, 300, pf24bit},
        {dibFormat24Bit, 5, 24, 16, pf24bit},   {dibFormat32Bit, 100, 32, 400, pf32bit},
    };
    for (const auto& c : cases) {
        TDIBPicture p(c.width, 50, c.format, nullptr);
        SCOPED_TRACE(int(c.format));
        EXPECT_EQ(p.Format, c.format);
        EXPECT_EQ(p.BitsPerPixel, c.bits);
        EXPECT_EQ(p.RowBytes, c.rowBytes);
        EXPECT_EQ(p.RowWords, c.rowBytes / 2);
        EXPECT_EQ(p.ImageSize, c.rowBytes * 50);
        EXPECT_EQ(p.Width, c.width);
        EXPECT_EQ(p.Height, 50);
        EXPECT_TRUE(p.HasBitmap);
        EXPECT_EQ(p.Bitmap().PixelFormat(), c.pixelFormat);
        EXPECT_EQ(p.Bitmap().RowBytes(), c.rowBytes);
        EXPECT_EQ(p.PixelBits, p.Bitmap().ScanLine(0));
        EXPECT_EQ(p.Bounds.Left, 0);
        EXPECT_EQ(p.Bounds.Right, c.width - 1);
        EXPECT_EQ(p.Bounds.Bottom, 49);
    }
    TDIBPicture p(100, 50, dibFormat565, nullptr);
    EXPECT_EQ(p.ImageSize, 10000);
}

TEST(TDIBPicture, SizesAreCutTo16Bits)
{
    TDIBPicture p(65536 + 10, 65536 + 3, dibFormat565, nullptr);
    EXPECT_EQ(p.Width, 10);
    EXPECT_EQ(p.Height, 3);
    EXPECT_EQ(p.Bitmap().Width(), 10);
}

TEST(TDIBPicture, BitmapThatCannotBeMadeRaisesTheThreeLineError)
{
    try {
        TDIBPicture p(0, 10, dibFormat565, nullptr);
        FAIL() << "no error";
    } catch (const DIB_ERROR& e) {
        EXPECT_STREQ(e.what(),
                     "DIB ERROR :\rCan NOT create DIB ? ? !\rImpossible de cr\xE9"
                     "er une image tampon ? ? !");
    }
    EXPECT_THROW(TDIBPicture(-1, -1, dibFormat32Bit, nullptr), DIB_ERROR);  // 65535 x 65535: too large
    EXPECT_THROW(TDIBPicture(4, 4, 7, nullptr), DIB_ERROR);
    EXPECT_THROW(TDIBPicture(4, 0, dibFormat8Bit, nullptr), DIB_ERROR);
    static_assert(std::is_base_of_v<std::runtime_error, DIB_ERROR>);
}

TEST(TDIBPicture, DefaultPalettes)
{
    const TLogPalette* p = nullptr;
    DefaultPalette(dibFormat1Bit, p);
    ASSERT_TRUE(p);
    ASSERT_EQ(p->entries.size(), 2u);
    EXPECT_EQ(p->palVersion, 0x300);
    EXPECT_EQ(p->entries[1].peRed, 255);

    p = nullptr;
    DefaultPalette(dibFormat4Bit, p);
    ASSERT_EQ(p->entries.size(), 16u);
    EXPECT_EQ(p->entries[0].peRed + p->entries[0].peGreen + p->entries[0].peBlue, 0);
    EXPECT_EQ(p->entries[1].peRed, 128);  // dark red
    EXPECT_EQ(p->entries[1].peGreen, 0);
    EXPECT_EQ(p->entries[2].peGreen, 128);  // dark green
    EXPECT_EQ(p->entries[15].peBlue, 255);

    p = nullptr;
    DefaultPalette(dibFormat8Bit, p);
    EXPECT_EQ(p->entries.size(), 256u);

    TLogPalette mine;
    mine.entries = {{10, 20, 30, 0}, {40, 50, 60, 0}};
    p = &mine;
    DefaultPalette(dibFormat8Bit, p);
    EXPECT_EQ(p, &mine);
    for (uint8_t f = dibFormat555; f <= dibFormat32Bit; ++f) {
        p = &mine;
        DefaultPalette(f, p);
        EXPECT_EQ(p, nullptr);
    }
}

TEST(TDIBPicture, ColourToPixelInEveryFormat)
{
    const TColor red = 0x0000FF, green = 0x00FF00, blue = 0xFF0000, mixed = RGB(0x9C, 0x4A, 0x27);
    TDIBPicture f3(2, 2, dibFormat555, nullptr), f4(2, 2, dibFormat565, nullptr);
    TDIBPicture f5(2, 2, dibFormat24Bit, nullptr), f6(2, 2, dibFormat32Bit, nullptr);
    EXPECT_EQ(f4.ColorToPixel(red), 0xF800u);
    EXPECT_EQ(f4.ColorToPixel(green), 0x07E0u);
    EXPECT_EQ(f4.ColorToPixel(blue), 0x001Fu);
    EXPECT_EQ(f4.ColorToPixel(mixed), (0x9Cu >> 3) << 11 | (0x4Au >> 2) << 5 | (0x27u >> 3));
    EXPECT_EQ(f3.ColorToPixel(red), 0x7C00u);
    EXPECT_EQ(f3.ColorToPixel(green), 0x03E0u);
    EXPECT_EQ(f3.ColorToPixel(mixed), (0x9Cu >> 3) << 10 | (0x4Au >> 3) << 5 | (0x27u >> 3));
    EXPECT_EQ(f6.ColorToPixel(red), 0xFF0000u);
    EXPECT_EQ(f5.ColorToPixel(blue), 0x0000FFu);
    EXPECT_EQ(f6.ColorToPixel(mixed), 0x9C4A27u);

    TDIBPicture mono(8, 1, dibFormat1Bit, nullptr);
    EXPECT_EQ(mono.ColorToPixel(0xF0F0F0), 1u);
    EXPECT_EQ(mono.ColorToPixel(0x101010), 0u);
    TDIBPicture sixteen(2, 1, dibFormat4Bit, nullptr);
    EXPECT_EQ(sixteen.ColorToPixel(RGB(130, 0, 0)), 1u);
    EXPECT_EQ(sixteen.ColorToPixel(RGB(0, 0, 250)), 12u);
    TLogPalette mine;
    mine.entries = {{200, 0, 0, 0}, {0, 0, 200, 0}};
    TDIBPicture custom(2, 1, dibFormat8Bit, &mine);
    EXPECT_EQ(custom.ColorToPixel(RGB(0, 10, 180)), 1u);
    EXPECT_EQ(custom.Palette.entries.size(), 256u);
    EXPECT_EQ(custom.Palette.entries[1].peBlue, 200);
    // Pixel values past the given colours show black.
    custom.Bitmap().ScanLine(0)[0] = 5;
    EXPECT_EQ(custom.Bitmap().GetPixel(0, 0), clBlack);
}

TEST(TDIBPicture, PenAndBrushCaches)
{
    TDIBPicture p(4, 4, dibFormat565, nullptr);
    EXPECT_EQ(p.PenColor, 0u);
    EXPECT_EQ(p.PenPixel, 0u);
    EXPECT_EQ(p.BrushColor, 0xFFFFFFu);
    EXPECT_EQ(p.BrushPixel, 0xFFFFu);
    EXPECT_EQ(p.Canvas().Brush.Color, 0xFFFFFFu);

    p.SetPenColor(clRed);
    EXPECT_EQ(p.PenPixel, 0xF800u);
    EXPECT_EQ(p.Canvas().Pen.Color, clBlack);  // the canvas pen is the caller's

    p.SetBrushColor(clBlue);
    EXPECT_EQ(p.BrushPixel, 0x001Fu);
    EXPECT_EQ(p.Canvas().Brush.Color, clBlue);
    // The same colour again changes nothing, not even the canvas brush.
    p.Canvas().Brush.Color = clLime;
    p.SetBrushColor(clBlue);
    EXPECT_EQ(p.Canvas().Brush.Color, clLime);
    p.BrushPixel = 1234;
    p.SetBrushColor(clBlue);
    EXPECT_EQ(p.BrushPixel, 1234u);
}

TEST(TDIBPicture, ClearFillsEverythingWithTheBrush)
{
    TDIBPicture p(7, 5, dibFormat565, nullptr);
    p.SetBrushColor(RGB(0, 0xFF, 0));
    p.Clear();
    for (int y = 0; y < 5; ++y) {
        const auto* row = reinterpret_cast<const uint16_t*>(p.PixelBits + y * p.RowBytes);
        for (int x = 0; x < 7; ++x) EXPECT_EQ(row[x], 0x07E0) << x << "," << y;
    }
    TDIBPicture q(9, 3, dibFormat4Bit, nullptr);
    q.SetBrushColor(RGB(255, 255, 0));
    q.Clear();
    EXPECT_EQ(q.Bitmap().GetPixel(8, 2), RGB(255, 255, 0));
    EXPECT_EQ(q.PixelBits[0], 0xBB);  // index 11 in both halves
}

TEST(TDIBPicture, DrawToCopiesABlockAndCutsOffNegativeSources)
{
    TDIBPicture src(40, 20, dibFormat565, nullptr);
    for (int y = 0; y < 20; ++y) {
        auto* row = reinterpret_cast<uint16_t*>(src.PixelBits + y * src.RowBytes);
        for (int x = 0; x < 40; ++x) row[x] = uint16_t(100 * y + x + 1);
    }
    auto at = [](TDIBPicture& p, int x, int y) {
        return reinterpret_cast<const uint16_t*>(p.PixelBits + y * p.RowBytes)[x];
    };

    TDIBPicture dst(60, 30, dibFormat565, nullptr);
    src.DrawTo(Rect(5, 6, 10, 4), dst.Canvas(), 2, 3);  // x, y, cx, cy
    EXPECT_EQ(at(dst, 5, 6), at(src, 2, 3));
    EXPECT_EQ(at(dst, 14, 9), at(src, 11, 6));
    EXPECT_EQ(at(dst, 15, 9), 0);
    EXPECT_EQ(at(dst, 14, 10), 0);
    EXPECT_EQ(at(dst, 4, 6), 0);

    // Source x -10: ten columns fewer, starting ten pixels further right.
    TDIBPicture d2(60, 30, dibFormat565, nullptr);
    src.DrawTo(0, 0, 20, 5, d2.Canvas(), -10, 0);
    EXPECT_EQ(at(d2, 9, 0), 0);
    EXPECT_EQ(at(d2, 10, 0), at(src, 0, 0));
    EXPECT_EQ(at(d2, 19, 4), at(src, 9, 4));
    EXPECT_EQ(at(d2, 20, 0), 0);
    // Source y -2 likewise downwards.
    TDIBPicture d3(60, 30, dibFormat565, nullptr);
    src.DrawTo(0, 0, 3, 5, d3.Canvas(), 0, -2);
    EXPECT_EQ(at(d3, 0, 1), 0);
    EXPECT_EQ(at(d3, 0, 2), at(src, 0, 0));
    EXPECT_EQ(at(d3, 2, 4), at(src, 2, 2));
    EXPECT_EQ(at(d3, 0, 5), 0);
    // Into a picture of another format the colours are converted.
    TDIBPicture wide(4, 4, dibFormat32Bit, nullptr);
    TDIBPicture red(4, 4, dibFormat565, nullptr);
    red.SetBrushColor(clRed);
    red.Clear();
    red.DrawTo(0, 0, 4, 4, wide.Canvas(), 0, 0);
    EXPECT_EQ(wide.Bitmap().GetPixel(3, 3), clRed);

    // Draw copies the whole of the other picture.
    TDIBPicture whole(40, 20, dibFormat565, nullptr);
    whole.Draw(src);
    EXPECT_EQ(std::memcmp(whole.PixelBits, src.PixelBits, size_t(src.ImageSize)), 0);
}
