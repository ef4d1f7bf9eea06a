// The picture viewer: geometry of the view and its bars, scrolling, painting
// onto the form, host-to-picture positions and the rubber band.
#include <gtest/gtest.h>

#include <memory>

#include "display/dib_viewer.h"

namespace {

// A picture whose every pixel tells its own position.
std::unique_ptr<TDIBPicture> Numbered(int w, int h)
{
    auto p = std::make_unique<TDIBPicture>(w, h, dibFormat565, nullptr);
    for (int y = 0; y < h; ++y) {
        auto* row = reinterpret_cast<uint16_t*>(p->PixelBits + y * p->RowBytes);
        for (int x = 0; x < w; ++x) row[x] = uint16_t((y * 7 + x * 3) & 0xFFFF);
    }
    return p;
}

uint16_t At(const TBitmap& b, int x, int y) { return reinterpret_cast<const uint16_t*>(b.ScanLine(y))[x]; }

struct Viewer : ::testing::Test {
    Viewer() : form(600, 500, pf16bit), host(&form), horz(&form), vert(&form)
    {
        host.SetBounds(10, 20, 406, 306);
        horz.SetBounds(0, 0, 50, 17);
        vert.SetBounds(0, 0, 17, 50);
    }
    TMemoryForm form;
    TMemoryControl host;
    TMemoryScrollBar horz, vert;
};

}  // namespace

TEST_F(Viewer, GeometryOfTheViewAndItsBars)
{
    TDIBViewer v(&host);
    EXPECT_EQ(v.Canvas, &form.Canvas());
    EXPECT_EQ(v.DestRect.Left, 13);
    EXPECT_EQ(v.DestRect.Top, 23);
    EXPECT_EQ(v.DestRect.Right, 413);
    EXPECT_EQ(v.DestRect.Bottom, 323);
    EXPECT_TRUE(v.Visible);
    EXPECT_FALSE(v.RubberBandActive);
    EXPECT_EQ(v.RubberBand.Left, -1);
    EXPECT_EQ(v.RubberBand.Bottom, -1);
    EXPECT_EQ(v.Picture, nullptr);

    auto picture = Numbered(1200, 1200);
    v.SetDIB(picture.get());
    v.SetHorzScrollBar(&horz);
    v.SetVertScrollBar(&vert);
    EXPECT_EQ(vert.Kind(), sbVertical);
    EXPECT_EQ(vert.Left(), 419);
    EXPECT_EQ(vert.Top(), 20);
    EXPECT_EQ(vert.Height(), 306);
    EXPECT_EQ(vert.Width(), 17);
    EXPECT_EQ(vert.Max(), 900);
    EXPECT_EQ(horz.Kind(), sbHorizontal);
    EXPECT_EQ(horz.Left(), 10);
    EXPECT_EQ(horz.Top(), 329);
    EXPECT_EQ(horz.Width(), 406);
    EXPECT_EQ(horz.Height(), 17);
    EXPECT_EQ(horz.Max(), 800);

    // A picture that fits leaves nothing to scroll.
    auto narrow = Numbered(410, 200);
    horz.SetPosition(300);
    v.SetDIB(narrow.get());
    EXPECT_EQ(horz.Max(), 0);
    EXPECT_EQ(horz.Position(), 0);
    EXPECT_EQ(vert.Max(), 0);
    auto exact = Numbered(412, 312);
    v.SetDIB(exact.get());
    EXPECT_EQ(horz.Max(), 12);
    EXPECT_EQ(vert.Max(), 12);

    // Bars attached to a view of a small picture get no negative maximum.
    TDIBViewer small(&host);
    auto tiny = Numbered(50, 40);
    small.SetDIB(tiny.get());
    TMemoryScrollBar bar;
    small.SetHorzScrollBar(&bar);
    EXPECT_EQ(bar.Max(), 0);
}

TEST_F(Viewer, PaintCopiesTheVisiblePartOntoTheForm)
{
    TDIBViewer v(&host);
    v.Paint();  // no picture: nothing
    EXPECT_EQ(form.ChangeCount(), 0);
    auto picture = Numbered(1200, 1200);
    v.SetDIB(picture.get());
    v.SetHorzScrollBar(&horz);
    v.SetVertScrollBar(&vert);
    int changes = 0;
    horz.OnChange = [&](TControl* sender) {
        EXPECT_EQ(sender, &horz);
        ++changes;
        v.Paint();
    };
    horz.SetPosition(100);  // as the scroll handler repaints
    vert.SetPosition(40);
    EXPECT_EQ(changes, 1);
    v.Paint();
    EXPECT_EQ(v.SourceRect.Left, 100);
    EXPECT_EQ(v.SourceRect.Top, 40);
    EXPECT_EQ(v.SourceRect.Right, 500);
    EXPECT_EQ(v.SourceRect.Bottom, 340);
    const TBitmap& screen = form.Bitmap();
    for (int y : {0, 1, 150, 299})
        for (int x : {0, 1, 200, 399}) EXPECT_EQ(At(screen, 13 + x, 23 + y), At(picture->Bitmap(), 100 + x, 40 + y));
    // The inset border and what lies beyond stay untouched.
    EXPECT_EQ(At(screen, 12, 23), 0);
    EXPECT_EQ(At(screen, 413, 23), 0);
    EXPECT_EQ(At(screen, 13, 323), 0);
    EXPECT_EQ(form.LastChange().Left, 13);
    EXPECT_EQ(form.LastChange().Bottom, 323);

    // Hidden: nothing is painted; the host and both bars are hidden too.
    v.SetVisible(false);
    EXPECT_FALSE(host.Visible());
    EXPECT_FALSE(horz.Visible());
    EXPECT_FALSE(vert.Visible());
    const int before = form.ChangeCount();
    v.Paint();
    EXPECT_EQ(form.ChangeCount(), before);
    v.SetVisible(true);
    EXPECT_TRUE(host.Visible());
    EXPECT_TRUE(vert.Visible());
}

TEST_F(Viewer, ScreenToDIBAddsTheScrollPositions)
{
    TDIBViewer v(&host);
    int x = 5, y = 7;
    v.ScreenToDIB(x, y);
    EXPECT_EQ(x, -1);
    EXPECT_EQ(y, -1);

    auto picture = Numbered(1200, 1200);
    v.SetDIB(picture.get());
    x = 5, y = 7;
    v.ScreenToDIB(x, y);  // no bars: no scrolling
    EXPECT_EQ(x, 5);
    EXPECT_EQ(y, 7);

    v.SetHorzScrollBar(&horz);
    v.SetVertScrollBar(&vert);
    horz.SetPosition(100);
    vert.SetPosition(40);
    x = 5, y = 7;
    v.ScreenToDIB(x, y);
    EXPECT_EQ(x, 105);
    EXPECT_EQ(y, 47);

    v.SetVisible(false);
    x = 5, y = 7;
    v.ScreenToDIB(x, y);
    EXPECT_EQ(x, -1);
    EXPECT_EQ(y, -1);
}

TEST_F(Viewer, RubberBandRestoresTheVisiblePart)
{
    TDIBViewer v(&host);
    auto picture = Numbered(1200, 1200);
    v.SetDIB(picture.get());
    v.SetHorzScrollBar(&horz);
    v.SetVertScrollBar(&vert);
    horz.SetPosition(123);
    vert.SetPosition(45);
    v.Paint();
    auto original = Numbered(1200, 1200);

    v.BeginRubberBand(30, 40);
    EXPECT_TRUE(v.RubberBandActive);
    EXPECT_EQ(v.RubberBand.Left, 30);
    EXPECT_EQ(v.RubberBand.Top, 40);
    EXPECT_EQ(v.RubberBand.Right, 30);
    EXPECT_EQ(v.RubberBand.Bottom, 40);
    ASSERT_TRUE(v.Backup);
    EXPECT_EQ(v.Backup->Width, 406);
    EXPECT_EQ(v.Backup->Height, 306);
    EXPECT_EQ(v.Backup->Format, dibFormat565);

    // Temporary drawing over the whole picture.
    picture->SetBrushColor(clRed);
    picture->Clear();
    v.Paint();
    EXPECT_EQ(At(form.Bitmap(), 20, 30), 0xF800);

    v.EndRubberBand();
    EXPECT_FALSE(v.RubberBandActive);
    EXPECT_FALSE(v.Backup);
    // The visible part is back exactly, on the picture and on the form.
    for (int y = 45; y < 345; ++y)
        for (int x = 123; x < 523; ++x)
            ASSERT_EQ(At(picture->Bitmap(), x, y), At(original->Bitmap(), x, y)) << x << "," << y;
    EXPECT_EQ(At(form.Bitmap(), 13, 23), At(original->Bitmap(), 123, 45));
    EXPECT_EQ(At(form.Bitmap(), 412, 322), At(original->Bitmap(), 522, 344));
    // What was not visible keeps the temporary drawing.
    EXPECT_EQ(At(picture->Bitmap(), 122, 45), 0xF800);
    EXPECT_EQ(At(picture->Bitmap(), 123, 345), 0xF800);
}

TEST_F(Viewer, EndRubberBandWithoutBeginOnlyRepaints)
{
    TDIBViewer v(&host);
    v.EndRubberBand();  // no picture: nothing at all
    EXPECT_EQ(form.ChangeCount(), 0);
    auto picture = Numbered(500, 400);
    v.SetDIB(picture.get());
    v.EndRubberBand();
    EXPECT_EQ(form.ChangeCount(), 1);
    EXPECT_EQ(At(form.Bitmap(), 14, 24), At(picture->Bitmap(), 1, 1));
    EXPECT_FALSE(v.RubberBandActive);
}

TEST(TMemoryScrollBar, PositionStaysInRangeAndEveryChangeIsReported)
{
    TMemoryScrollBar bar;
    int changes = 0;
    bar.OnChange = [&](TControl*) { ++changes; };
    bar.SetMax(50);
    bar.SetPosition(20);
    bar.SetPosition(20);
    EXPECT_EQ(changes, 1);
    bar.SetPosition(80);
    EXPECT_EQ(bar.Position(), 50);
    bar.SetMax(10);
    EXPECT_EQ(bar.Position(), 10);
    EXPECT_EQ(changes, 3);
    bar.SetPosition(-4);
    EXPECT_EQ(bar.Position(), 0);
    EXPECT_THROW(bar.SetMax(-1), EScrollBarRange);
    EXPECT_EQ(bar.Max(), 10);
    bar.SetSmallChange(50);
    bar.SetLargeChange(576);
    EXPECT_EQ(bar.SmallChange(), 50);
    EXPECT_EQ(bar.LargeChange(), 576);
}
