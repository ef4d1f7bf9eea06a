#include <gtest/gtest.h>

#include <memory>

#include "platform/gdi/canvas.h"
#include "platform/gdi/graphics.h"

namespace {

// A bitmap filled with one colour, its canvas brush left at that colour.
std::unique_ptr<TBitmap> Make(TPixelFormat format, int w, int h, TColor fill = clBlack)
{
    auto b = std::make_unique<TBitmap>();
    b->SetPixelFormat(format);
    b->SetSize(w, h);
    b->Canvas().Brush.Color = fill;
    b->Canvas().FillRect(Rect(0, 0, w, h));
    return b;
}

// The pixels of a small bitmap as text, one character per pixel:
// '.' for black and '#' for the given colour, '?' otherwise.
std::string Picture(const TBitmap& b, TColor mark)
{
    std::string s;
    for (int y = 0; y < b.Height(); ++y) {
        for (int x = 0; x < b.Width(); ++x) {
            const TColor c = b.GetPixel(x, y);
            s += c == clBlack ? '.' : (c == mark ? '#' : '?');
        }
        s += '\n';
    }
    return s;
}

TEST(Canvas, FillAndFrameLeaveOutTheRightAndBottomEdges)
{
    auto b = Make(pf24bit, 5, 4);
    b->Canvas().Brush.Color = clWhite;
    b->Canvas().FillRect(Rect(1, 1, 3, 3));
    EXPECT_EQ(Picture(*b, clWhite), ".....\n.##..\n.##..\n.....\n");
    b = Make(pf24bit, 5, 4);
    b->Canvas().Brush.Color = clRed;
    b->Canvas().FrameRect(Rect(0, 0, 5, 4));
    EXPECT_EQ(Picture(*b, clRed), "#####\n#...#\n#...#\n#####\n");
    // Clipped at the bitmap's edges, reversed rectangles normalised.
    b = Make(pf8bit, 3, 2);
    b->Canvas().Brush.Color = clWhite;
    b->Canvas().FillRect(Rect(5, 5, -5, -5));
    EXPECT_EQ(Picture(*b, clWhite), "###\n###\n");
}

TEST(Canvas, RectangleWithPenAndBrush)
{
    auto b = Make(pf32bit, 5, 5);
    TCanvas& c = b->Canvas();
    c.Pen.Color = clRed;
    c.Brush.Color = clWhite;
    c.Rectangle(0, 0, 5, 5);
    EXPECT_EQ(b->GetPixel(0, 0), clRed);
    EXPECT_EQ(b->GetPixel(4, 4), clRed);
    EXPECT_EQ(b->GetPixel(2, 2), clWhite);
    b = Make(pf32bit, 5, 5);
    b->Canvas().Pen.Color = clRed;
    b->Canvas().Brush.Style = bsClear;
    b->Canvas().Rectangle(1, 1, 4, 4);
    EXPECT_EQ(Picture(*b, clRed), ".....\n.###.\n.#.#.\n.###.\n.....\n");
}

TEST(Canvas, LinesLeaveOutTheirEndPoint)
{
    auto b = Make(pf16bit, 6, 3);
    TCanvas& c = b->Canvas();
    c.Pen.Color = clLime;
    c.MoveTo(0, 1);
    c.LineTo(5, 1);
    EXPECT_EQ(Picture(*b, clLime), "......\n#####.\n......\n");
    EXPECT_EQ(c.PenPos.X, 5);
    b = Make(pf16bit, 4, 4);
    b->Canvas().Pen.Color = clLime;
    const TPoint diagonal[] = {{0, 0}, {3, 3}, {3, 0}};
    b->Canvas().Polyline(diagonal);
    EXPECT_EQ(Picture(*b, clLime), "#...\n.#.#\n..##\n...#\n");
}

TEST(Canvas, WidePensAndPolygons)
{
    auto b = Make(pf24bit, 20, 20);
    TCanvas& c = b->Canvas();
    c.Pen.Color = clWhite;
    c.Pen.Width = 5;
    c.MoveTo(10, 2);
    c.LineTo(10, 18);
    EXPECT_EQ(b->GetPixel(10, 10), clWhite);
    EXPECT_EQ(b->GetPixel(8, 10), clWhite);
    EXPECT_EQ(b->GetPixel(12, 10), clWhite);
    EXPECT_EQ(b->GetPixel(14, 10), clBlack);
    // A pen far outside the bitmap draws nothing and writes nowhere.
    c.MoveTo(-100000, -5);
    c.LineTo(100000, -5);
    c.MoveTo(-2000000000, -2000000000);
    c.LineTo(2000000000, 2000000000);  // cut to the bitmap: the diagonal through it
    EXPECT_EQ(b->GetPixel(0, 0), clWhite);
    EXPECT_EQ(b->GetPixel(19, 19), clWhite);

    b = Make(pf24bit, 10, 10);
    b->Canvas().Brush.Color = clBlue;
    b->Canvas().Pen.Color = clBlue;
    const TPoint triangle[] = {{0, 0}, {9, 0}, {0, 9}};
    b->Canvas().Polygon(triangle);
    EXPECT_EQ(b->GetPixel(1, 1), clBlue);
    EXPECT_EQ(b->GetPixel(8, 8), clBlack);
    EXPECT_EQ(b->GetPixel(0, 9), clBlue);
}

TEST(Canvas, IndexedBitmapsTakeTheNearestEntry)
{
    auto b = Make(pf4bit, 3, 1);
    b->Canvas().Pen.Color = RGB(250, 5, 5);
    b->Canvas().MoveTo(0, 0);
    b->Canvas().LineTo(3, 0);
    EXPECT_EQ(b->GetPixel(1, 0), RGB(255, 0, 0));
    auto mono = Make(pf1bit, 9, 1);
    mono->Canvas().Brush.Color = RGB(200, 200, 200);
    mono->Canvas().FillRect(Rect(3, 0, 9, 1));
    EXPECT_EQ(mono->ScanLine(0)[0], 0x1F);
    EXPECT_EQ(mono->ScanLine(0)[1], 0x80);
}

TEST(Canvas, DrawAndStretchDrawConvertFormats)
{
    auto source = Make(pf24bit, 2, 2);
    source->SetPixel(0, 0, RGB(255, 0, 0));
    source->SetPixel(1, 0, RGB(0, 255, 0));
    source->SetPixel(0, 1, RGB(0, 0, 255));
    source->SetPixel(1, 1, RGB(255, 255, 255));

    auto target = Make(pf16bit, 4, 4);
    target->Canvas().StretchDraw(Rect(0, 0, 4, 4), *source);
    EXPECT_EQ(target->GetPixel(0, 0), RGB(255, 0, 0));
    EXPECT_EQ(target->GetPixel(1, 1), RGB(255, 0, 0));
    EXPECT_EQ(target->GetPixel(3, 0), RGB(0, 255, 0));
    EXPECT_EQ(target->GetPixel(0, 3), RGB(0, 0, 255));
    EXPECT_EQ(target->GetPixel(3, 3), RGB(255, 255, 255));

    auto small = Make(pf8bit, 3, 3);
    small->Canvas().Draw(2, 2, *source);  // only the top-left pixel lands inside
    EXPECT_EQ(small->GetPixel(2, 2), RGB(255, 0, 0));
    EXPECT_EQ(small->GetPixel(1, 1), clBlack);
    small->Canvas().Draw(-1, -1, *source);
    EXPECT_EQ(small->GetPixel(0, 0), RGB(255, 255, 255));

    // A transparent bitmap leaves its transparent colour out.
    source->SetTransparent(true);
    source->SetTransparentColor(RGB(0, 255, 0));
    auto over = Make(pf32bit, 2, 2, RGB(9, 9, 9));
    over->Canvas().Draw(0, 0, *source);
    EXPECT_EQ(over->GetPixel(1, 0), RGB(9, 9, 9));
    EXPECT_EQ(over->GetPixel(0, 0), RGB(255, 0, 0));
}

TEST(Canvas, CopyRectScalesMirrorsAndCopiesWithinOneBitmap)
{
    auto b = Make(pf24bit, 4, 2);
    for (int x = 0; x < 4; ++x) b->SetPixel(x, 0, RGB(uint8_t(x * 10), 0, 0));
    auto half = Make(pf24bit, 2, 1);
    half->Canvas().CopyRect(Rect(0, 0, 2, 1), b->Canvas(), Rect(0, 0, 4, 1));
    EXPECT_EQ(GetRValue(half->GetPixel(0, 0)), 10);
    EXPECT_EQ(GetRValue(half->GetPixel(1, 0)), 30);
    auto mirror = Make(pf24bit, 4, 1);
    mirror->Canvas().CopyRect(Rect(4, 0, 0, 1), b->Canvas(), Rect(0, 0, 4, 1));
    EXPECT_EQ(GetRValue(mirror->GetPixel(0, 0)), 30);
    EXPECT_EQ(GetRValue(mirror->GetPixel(3, 0)), 0);
    // Overlapping copy inside one bitmap reads the old pixels.
    b->Canvas().CopyRect(Rect(1, 0, 4, 1), b->Canvas(), Rect(0, 0, 3, 1));
    EXPECT_EQ(GetRValue(b->GetPixel(1, 0)), 0);
    EXPECT_EQ(GetRValue(b->GetPixel(3, 0)), 20);
    // BitBlt of a block into another place of another bitmap.
    auto dest = Make(pf24bit, 4, 4);
    BitBlt(dest->Canvas(), 2, 3, 2, 1, b->Canvas(), 2, 0);
    EXPECT_EQ(GetRValue(dest->GetPixel(2, 3)), 10);
    EXPECT_EQ(GetRValue(dest->GetPixel(3, 3)), 20);
}

TEST(Bitmap, AssignDrawsOtherPictureKindsAndFormatChangesKeepIndexes)
{
    auto four = Make(pf4bit, 3, 1);
    TLogPalette log;
    for (int i = 0; i < 16; ++i) log.entries.push_back({uint8_t(i * 16), uint8_t(i), 7, 0});
    four->SetPalette(CreatePalette(log));
    four->ScanLine(0)[0] = 0x5F;
    four->SetPixelFormat(pf8bit);
    EXPECT_EQ(four->ScanLine(0)[0], 5);
    EXPECT_EQ(four->ScanLine(0)[1], 15);
    EXPECT_EQ(four->GetPixel(1, 0), RGB(240, 15, 7));
    EXPECT_EQ(four->Palette()->entries.size(), 16u);
}

TEST(Bitmap, SizesBeyondTheMemoryLimitAreRefused)
{
    TBitmap b;
    b.SetPixelFormat(pf32bit);
    EXPECT_THROW(b.SetSize(100000, 100000), EOutOfResources);
    EXPECT_EQ(b.Width(), 0);
}

}  // namespace
