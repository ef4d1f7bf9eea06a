#include <gtest/gtest.h>

#include "platform/gdi/graphics.h"

TEST(Bitmap, RowsArePaddedToFourBytes)
{
    TBitmap b;
    b.SetPixelFormat(pf24bit);
    b.SetSize(5, 3);
    EXPECT_EQ(b.RowBytes(), 16);
    EXPECT_EQ(b.ScanLine(1) - b.ScanLine(0), 16);
    b.SetPixelFormat(pf1bit);
    EXPECT_EQ(b.RowBytes(), 4);
    EXPECT_THROW(b.ScanLine(3), std::out_of_range);
}

TEST(Bitmap, SixteenBitsIs565AndFifteenIs555)
{
    TBitmap b;
    b.SetPixelFormat(pf16bit);
    b.SetSize(2, 1);
    b.SetPixel(0, 0, RGB(255, 0, 0));
    b.SetPixel(1, 0, RGB(0, 255, 0));
    const uint8_t* r = b.ScanLine(0);
    EXPECT_EQ(r[0] | (r[1] << 8), 0xF800);
    EXPECT_EQ(r[2] | (r[3] << 8), 0x07E0);
    b.SetPixelFormat(pf15bit);
    r = b.ScanLine(0);
    EXPECT_EQ(r[0] | (r[1] << 8), 0x7C00);
    EXPECT_EQ(r[2] | (r[3] << 8), 0x03E0);
}

TEST(Bitmap, FormatChangesKeepColoursAndIndexedFormatsUseTheirTable)
{
    TBitmap b;
    b.SetPixelFormat(pf32bit);
    b.SetSize(3, 2);
    b.SetPixel(0, 0, RGB(255, 0, 0));
    b.SetPixel(2, 1, RGB(255, 255, 255));
    b.SetPixelFormat(pf8bit);
    ASSERT_TRUE(b.Palette());
    EXPECT_EQ(b.GetPixel(0, 0), RGB(255, 0, 0));
    EXPECT_EQ(b.GetPixel(2, 1), RGB(255, 255, 255));
    b.SetPixelFormat(pf24bit);
    EXPECT_FALSE(b.Palette());
    EXPECT_EQ(b.GetPixel(0, 0), RGB(255, 0, 0));

    TLogPalette log;
    log.entries = {{10, 20, 30, 0}, {40, 50, 60, 0}};
    TBitmap g;
    g.SetPixelFormat(pf1bit);
    g.SetSize(9, 1);
    g.SetPalette(CreatePalette(log));
    g.ScanLine(0)[1] = 0x80;  // pixel 8 uses entry 1
    EXPECT_EQ(g.GetPixel(8, 0), RGB(40, 50, 60));
    EXPECT_EQ(g.GetPixel(7, 0), RGB(10, 20, 30));
}

TEST(Bitmap, ResizeKeepsTheTopLeftAndAssignCopies)
{
    TBitmap b;
    b.SetPixelFormat(pf24bit);
    b.SetSize(4, 4);
    b.SetPixel(1, 1, RGB(1, 2, 3));
    b.SetSize(2, 8);
    EXPECT_EQ(b.GetPixel(1, 1), RGB(1, 2, 3));
    EXPECT_EQ(b.GetPixel(1, 7), RGB(0, 0, 0));
    TBitmap c;
    c.Assign(b);
    EXPECT_EQ(c.Width(), 2);
    EXPECT_EQ(c.Height(), 8);
    EXPECT_EQ(c.GetPixel(1, 1), RGB(1, 2, 3));
    b.ReleaseHandle();
    EXPECT_TRUE(b.Empty());
    EXPECT_EQ(c.GetPixel(1, 1), RGB(1, 2, 3));
}

TEST(Bitmap, SizesBeyondTheMemoryLimitAreRefusedWithoutWrapping)
{
    TBitmap b;
    b.SetPixelFormat(pf32bit);
    EXPECT_THROW(b.SetSize(2147483647, 2147483647), EOutOfResources);
    EXPECT_THROW(b.SetSize(2147483647, 1), EOutOfResources);
    EXPECT_THROW(b.SetSize(65536, 65536), EOutOfResources);
    EXPECT_EQ(b.Width(), 0);
    b.SetSize(16, 16);
    EXPECT_EQ(b.Width(), 16);
}
