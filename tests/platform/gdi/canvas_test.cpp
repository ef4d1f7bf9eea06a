// Bitmaps in every pixel format and the canvas drawing on them.
#include <gtest/gtest.h>

#include <memory>

#include "platform/gdi/canvas.h"
#include "platform/gdi/graphics.h"

namespace {

// A bitmap filled with one colour.
std::unique_ptr<TBitmap> Make(TPixelFormat format, int w, int h, TColor fill = clBlack)
{
    auto b = std::make_unique<TBitmap>();
    b->SetPixelFormat(format);
    b->SetSize(w, h);
    b->Canvas().Brush.Color = fill;
    b->Canvas().FillRect(Rect(0, 0, w, h));
    return b;
}

// The pixels as text, rows separated by '|': '.' black, '#' white, 'x' any other colour.
std::string Picture(const TBitmap& b)
{
    std::string s;
    for (int y = 0; y < b.Height(); ++y) {
        for (int x = 0; x < b.Width(); ++x) {
            const TColor c = b.GetPixel(x, y);
            s += c == clBlack ? '.' : c == clWhite ? '#' : 'x';
        }
        s += y + 1 < b.Height() ? "|" : "";
    }
    return s;
}

TEST(Canvas, ShapesCoverTheirPixelsInEveryFormat)
{
    static const TPoint diagonal[] = {{0, 0}, {3, 3}, {3, 0}};
    struct Shape {
        const char* name;
        TPixelFormat format;
        int w, h;
        void (*draw)(TCanvas&);
        const char* expected;
    };
    const Shape shapes[] = {
        // Fills and frames leave out the right and bottom edges.
        {"fill", pf24bit, 5, 4, [](TCanvas& c) { c.FillRect(Rect(1, 1, 3, 3)); }, ".....|.##..|.##..|....."},
        {"frame", pf24bit, 5, 4, [](TCanvas& c) { c.FrameRect(Rect(0, 0, 5, 4)); }, "#####|#...#|#...#|#####"},
        // Clipped at the bitmap's edges, reversed rectangles normalised.
        {"reversed", pf8bit, 3, 2, [](TCanvas& c) { c.FillRect(Rect(5, 5, -5, -5)); }, "###|###"},
        {"rectangle", pf32bit, 5, 4,
         [](TCanvas& c) {
             c.Brush.Color = clRed;
             c.Rectangle(0, 0, 5, 4);
         },
         "#####|#xxx#|#xxx#|#####"},
        {"hollow", pf32bit, 5, 5,
         [](TCanvas& c) {
             c.Brush.Style = bsClear;
             c.Rectangle(1, 1, 4, 4);
         },
         ".....|.###.|.#.#.|.###.|....."},
        // Lines leave out their end point.
        {"line", pf16bit, 6, 3,
         [](TCanvas& c) {
             c.MoveTo(0, 1);
             c.LineTo(5, 1);
         },
         "......|#####.|......"},
        {"polyline", pf16bit, 4, 4, [](TCanvas& c) { c.Polyline(diagonal); }, "#...|.#.#|..##|...#"},
    };
    for (const auto& s : shapes) {
        auto b = Make(s.format, s.w, s.h);
        b->Canvas().Brush.Color = clWhite;
        b->Canvas().Pen.Color = clWhite;
        s.draw(b->Canvas());
        EXPECT_EQ(Picture(*b), s.expected) << s.name;
    }
}

TEST(Canvas, WidePensFarLinesAndPolygons)
{
    auto b = Make(pf24bit, 20, 20);
    TCanvas& c = b->Canvas();
    c.Pen.Color = clWhite;
    c.Pen.Width = 5;
    c.MoveTo(10, 2);
    c.LineTo(10, 18);
    for (int x = 7; x <= 14; ++x) EXPECT_EQ(b->GetPixel(x, 10), x >= 8 && x <= 12 ? clWhite : clBlack) << x;
    // A pen far outside the bitmap draws nothing and writes nowhere.
    c.MoveTo(-100000, -5);
    c.LineTo(100000, -5);
    c.MoveTo(-2000000000, -2000000000);
    c.LineTo(2000000000, 2000000000);  // cut to the bitmap: the diagonal through it
    EXPECT_EQ(b->GetPixel(0, 0), clWhite);
    EXPECT_EQ(b->GetPixel(19, 19), clWhite);

    b = Make(pf24bit, 10, 10);
    b->Canvas().Brush.Color = b->Canvas().Pen.Color = clBlue;
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
    EXPECT_EQ(mono->ScanLine(0)[0] << 8 | mono->ScanLine(0)[1], 0x1F80);
}

TEST(Canvas, DrawStretchDrawAndCopyRectConvertScaleAndMirror)
{
    auto source = Make(pf24bit, 2, 2);
    source->SetPixel(0, 0, RGB(255, 0, 0));
    source->SetPixel(1, 0, RGB(0, 255, 0));
    source->SetPixel(0, 1, RGB(0, 0, 255));
    source->SetPixel(1, 1, RGB(255, 255, 255));
    auto target = Make(pf16bit, 4, 4);
    target->Canvas().StretchDraw(Rect(0, 0, 4, 4), *source);
    for (auto [x, y, c] : {std::tuple{0, 0, RGB(255, 0, 0)},
                           {1, 1, RGB(255, 0, 0)},
                           {3, 0, RGB(0, 255, 0)},
                           {0, 3, RGB(0, 0, 255)},
                           {3, 3, RGB(255, 255, 255)}})
        EXPECT_EQ(target->GetPixel(x, y), c) << x << "," << y;
    auto small = Make(pf8bit, 3, 3);
    small->Canvas().Draw(2, 2, *source);  // only the top-left pixel lands inside
    small->Canvas().Draw(-1, -1, *source);
    EXPECT_EQ(Picture(*small), "#..|...|..x");
    // A transparent bitmap leaves its transparent colour out.
    source->SetTransparent(true);
    source->SetTransparentColor(RGB(0, 255, 0));
    auto over = Make(pf32bit, 2, 2, RGB(9, 9, 9));
    over->Canvas().Draw(0, 0, *source);
    EXPECT_EQ(over->GetPixel(1, 0), RGB(9, 9, 9));
    EXPECT_EQ(over->GetPixel(0, 0), RGB(255, 0, 0));

    auto b = Make(pf24bit, 4, 2);
    for (int x = 0; x < 4; ++x) b->SetPixel(x, 0, RGB(uint8_t(x * 10), 0, 0));
    auto red = [](const std::unique_ptr<TBitmap>& bitmap, int x0, int x1, int y) {
        return std::pair<int, int>(GetRValue(bitmap->GetPixel(x0, y)), GetRValue(bitmap->GetPixel(x1, y)));
    };
    auto half = Make(pf24bit, 2, 1), mirror = Make(pf24bit, 4, 1), dest = Make(pf24bit, 4, 4);
    half->Canvas().CopyRect(Rect(0, 0, 2, 1), b->Canvas(), Rect(0, 0, 4, 1));
    EXPECT_EQ(red(half, 0, 1, 0), std::pair(10, 30));
    mirror->Canvas().CopyRect(Rect(4, 0, 0, 1), b->Canvas(), Rect(0, 0, 4, 1));
    EXPECT_EQ(red(mirror, 0, 3, 0), std::pair(30, 0));
    // An overlapping copy inside one bitmap reads the old pixels.
    b->Canvas().CopyRect(Rect(1, 0, 4, 1), b->Canvas(), Rect(0, 0, 3, 1));
    EXPECT_EQ(red(b, 1, 3, 0), std::pair(0, 20));
    BitBlt(dest->Canvas(), 2, 3, 2, 1, b->Canvas(), 2, 0);
    EXPECT_EQ(red(dest, 2, 3, 3), std::pair(10, 20));
}

TEST(Canvas, SourceRectanglesReachingPastTheSourceCopyOnlyWhatIsInside)
{
    const auto white = Make(pf24bit, 2, 2, clWhite);
    // The same layout, one to one and stretched, and through colours.
    auto same = Make(pf24bit, 4, 4), stretched = Make(pf24bit, 4, 4), converted = Make(pf16bit, 4, 4);
    BitBlt(same->Canvas(), 0, 0, 4, 4, white->Canvas(), -1, -1);
    EXPECT_EQ(Picture(*same), "....|.##.|.##.|....");
    stretched->Canvas().CopyRect(Rect(0, 0, 4, 4), white->Canvas(), Rect(-1, -1, 1, 1));
    EXPECT_EQ(Picture(*stretched), "....|....|..##|..##");
    BitBlt(converted->Canvas(), 0, 0, 4, 4, white->Canvas(), -1, -1);
    EXPECT_EQ(Picture(*converted), "....|.##.|.##.|....");
}

TEST(Bitmap, PixelLayoutsOfThe16BitFormatsAndPaddedRows)
{
    TBitmap b;
    b.SetPixelFormat(pf16bit);
    b.SetSize(2, 3);
    b.SetPixel(0, 0, RGB(255, 0, 0));
    b.SetPixel(1, 0, RGB(0, 255, 0));
    auto word = [&](int x) { return b.ScanLine(0)[2 * x] | b.ScanLine(0)[2 * x + 1] << 8; };
    EXPECT_EQ(word(0) << 16 | word(1), 0xF80007E0);  // 5-6-5
    b.SetPixelFormat(pf15bit);
    EXPECT_EQ(word(0) << 16 | word(1), 0x7C0003E0);  // 5-5-5
    b.SetPixelFormat(pf24bit);
    b.SetSize(5, 3);
    EXPECT_EQ(b.ScanLine(1) - b.ScanLine(0), 16);
    EXPECT_THROW(b.ScanLine(3), std::out_of_range);
}

TEST(Bitmap, FormatChangesKeepColoursAndIndexes)
{
    TBitmap b;
    b.SetPixelFormat(pf32bit);
    b.SetSize(3, 2);
    b.SetPixel(0, 0, RGB(255, 0, 0));
    b.SetPixel(2, 1, RGB(255, 255, 255));
    b.SetPixelFormat(pf8bit);
    EXPECT_EQ(b.GetPixel(0, 0), RGB(255, 0, 0));
    EXPECT_EQ(b.GetPixel(2, 1), RGB(255, 255, 255));
    b.SetPixelFormat(pf24bit);
    EXPECT_FALSE(b.Palette());
    EXPECT_EQ(b.GetPixel(0, 0), RGB(255, 0, 0));

    // An indexed bitmap that widens keeps its colour table and its indexes.
    TLogPalette log;
    for (int i = 0; i < 16; ++i) log.entries.push_back({uint8_t(i * 16), uint8_t(i), 7, 0});
    TBitmap four;
    four.SetPixelFormat(pf4bit);
    four.SetSize(3, 1);
    four.SetPalette(CreatePalette(log));
    four.ScanLine(0)[0] = 0x5F;
    EXPECT_EQ(four.GetPixel(1, 0), RGB(240, 15, 7));
    four.SetPixelFormat(pf8bit);
    EXPECT_EQ(four.ScanLine(0)[0] << 8 | four.ScanLine(0)[1], 0x050F);
    EXPECT_EQ(four.GetPixel(1, 0), RGB(240, 15, 7));
    EXPECT_EQ(four.Palette()->entries.size(), 16u);
    TBitmap mono;
    mono.SetPixelFormat(pf1bit);
    mono.SetSize(9, 1);
    mono.SetPalette(CreatePalette(TLogPalette{0x300, {{10, 20, 30, 0}, {40, 50, 60, 0}}}));
    mono.ScanLine(0)[1] = 0x80;  // pixel 8 uses entry 1
    EXPECT_EQ(mono.GetPixel(8, 0), RGB(40, 50, 60));
    EXPECT_EQ(mono.GetPixel(7, 0), RGB(10, 20, 30));
}

TEST(Bitmap, ResizeKeepsTheTopLeftAndAssignCopies)
{
    auto b = Make(pf24bit, 4, 4);
    b->SetPixel(1, 1, RGB(1, 2, 3));
    b->SetSize(2, 8);
    EXPECT_EQ(b->GetPixel(1, 1), RGB(1, 2, 3));
    EXPECT_EQ(b->GetPixel(1, 7), RGB(0, 0, 0));
    TBitmap c;
    c.Assign(*b);
    b->ReleaseHandle();
    EXPECT_TRUE(b->Empty());
    EXPECT_EQ(std::pair(c.Width(), c.Height()), std::pair(2, 8));
    EXPECT_EQ(c.GetPixel(1, 1), RGB(1, 2, 3));
}

TEST(Bitmap, SizesBeyondTheMemoryLimitAreRefusedWithoutWrapping)
{
    TBitmap b;
    b.SetPixelFormat(pf32bit);
    for (auto [w, h] : {std::pair{2147483647, 2147483647}, {2147483647, 1}, {65536, 65536}, {100000, 100000}})
        EXPECT_THROW(b.SetSize(w, h), EOutOfResources) << w << "x" << h;
    EXPECT_EQ(b.Width(), 0);
    b.SetSize(16, 16);
    EXPECT_EQ(b.Width(), 16);
}

// Rectangles and polygons that span the whole coordinate range: their
// lengths and the stretch's products do not fit 32 and 64 bits.
TEST(Canvas, RectanglesAndPolygonsSpanningTheCoordinateRange)
{
    constexpr int kMin = INT32_MIN, kMax = INT32_MAX;
    const auto white = Make(pf24bit, 2, 2, clWhite);
    struct {
        const char* name;
        TRect dest, source;
        std::string picture;
    } const copies[] = {
        // Destination pixel 0 lies just right of the middle of the range,
        // whose left half maps onto source column 0.
        {"destination across the range", Rect(kMin, 0, kMax, 2), Rect(0, 0, 2, 2), "###|###"},
        {"source across the range", Rect(0, 0, 3, 2), Rect(kMin, 0, kMax, 2), "...|..."},
        // One to one: pixel 0 is pixel 0 of the source.
        {"both across the range", Rect(kMin, kMin, kMax, kMax), Rect(kMin, kMin, kMax, kMax), "##.|##."},
    };
    for (const auto& c : copies) {
        SCOPED_TRACE(c.name);
        auto dest = Make(pf24bit, 3, 2);
        dest->Canvas().CopyRect(c.dest, white->Canvas(), c.source);
        EXPECT_EQ(Picture(*dest), c.picture);
    }
    // A picture drawn where its far edge passes the range.
    auto dest = Make(pf24bit, 3, 2);
    dest->Canvas().Draw(kMax - 1, kMax - 1, *white);
    EXPECT_EQ(Picture(*dest), "...|...");
    // A polygon whose sides span the range crosses the whole bitmap.
    const TPoint wide[] = {{kMin, 0}, {kMax, 0}, {kMax, 2}, {kMin, 2}};
    auto filled = Make(pf24bit, 3, 2);
    filled->Canvas().Brush.Color = clWhite;
    filled->Canvas().Pen.Style = psClear;
    filled->Canvas().Polygon(wide);
    EXPECT_EQ(Picture(*filled), "###|###");
    // A side from the far left of row 0 to the far right of row 2 passes
    // the bitmap between its two rows.
    const TPoint slanted[] = {{kMin, 0}, {kMax, 2}, {kMin, 2}};
    auto half = Make(pf24bit, 3, 2);
    half->Canvas().Brush.Color = clWhite;
    half->Canvas().Pen.Style = psClear;
    half->Canvas().Polygon(slanted);
    EXPECT_EQ(Picture(*half), "...|###");
}

// Exchanging pictures moves size, format, pixels and colour table; each
// bitmap keeps drawing on itself.
TEST(Bitmap, SwapImageExchangesThePicturesWithoutCopying)
{
    auto a = Make(pf24bit, 3, 2, RGB(1, 2, 3));
    auto b = Make(pf8bit, 5, 4, clWhite);
    a->SetTransparent(true);
    const uint8_t* bitsOfB = b->Bits();
    a->SwapImage(*b);
    EXPECT_EQ(std::pair(a->Width(), a->Height()), std::pair(5, 4));
    EXPECT_EQ(a->PixelFormat(), pf8bit);
    EXPECT_EQ(a->Bits(), bitsOfB);
    EXPECT_EQ(a->GetPixel(4, 3), clWhite);
    EXPECT_FALSE(a->Transparent());
    EXPECT_EQ(std::pair(b->Width(), b->Height()), std::pair(3, 2));
    EXPECT_EQ(b->GetPixel(2, 1), RGB(1, 2, 3));
    EXPECT_TRUE(b->Transparent());
    EXPECT_EQ(b->Palette(), nullptr);
    b->Canvas().Brush.Color = clBlack;
    b->Canvas().FillRect(Rect(0, 0, 1, 1));
    EXPECT_EQ(b->GetPixel(0, 0), clBlack);
    EXPECT_EQ(a->GetPixel(0, 0), clWhite);
}

}  // namespace
