#include "display/dib_viewer.h"

#include <algorithm>

namespace {

constexpr int kInset = 3;

// What of a picture side lies beyond the host side (less the insets); never below 0.
int Excess(int pictureSide, int hostSide)
{
    return hostSide + 2 * kInset <= pictureSide ? pictureSide - hostSide + 2 * kInset : 0;
}

}  // namespace

TDIBViewer::TDIBViewer(TControl* host) : Host(host)
{
    Form = host ? host->Owner() : nullptr;
    Canvas = Form ? &Form->Canvas() : nullptr;
    if (host) {
        DestRect.Left = host->Left() + kInset;
        DestRect.Top = host->Top() + kInset;
        DestRect.Right = DestRect.Left + host->Width() - 2 * kInset;
        DestRect.Bottom = DestRect.Top + host->Height() - 2 * kInset;
    }
    UpdateSource();
}

TDIBViewer::~TDIBViewer() = default;

void TDIBViewer::UpdateSource()
{
    if (HorzScrollBar) SourceRect.Left = HorzScrollBar->Position();
    if (VertScrollBar) SourceRect.Top = VertScrollBar->Position();
    const int w = Host ? Host->Width() : 0, h = Host ? Host->Height() : 0;
    SourceRect.Right = w + SourceRect.Left - 2 * kInset;
    SourceRect.Bottom = h + SourceRect.Top - 2 * kInset;
}

void TDIBViewer::SetDIB(TDIBPicture* picture)
{
    Picture = picture;
    if (!picture || !Host) return;
    if (HorzScrollBar) HorzScrollBar->SetMax(Excess(picture->Width, Host->Width()));
    if (VertScrollBar) VertScrollBar->SetMax(Excess(picture->Height, Host->Height()));
}

void TDIBViewer::SetHorzScrollBar(TScrollBar* bar)
{
    HorzScrollBar = bar;
    if (!bar || !Host) return;
    // A picture narrower than the host leaves nothing to scroll (0), where a
    // negative maximum would be refused by the bar.
    if (Picture) bar->SetMax(Excess(Picture->Width, Host->Width()));
    bar->SetKind(sbHorizontal);
    bar->SetBounds(Host->Left(), Host->Top() + Host->Height() + kInset, Host->Width(), bar->Height());
}

void TDIBViewer::SetVertScrollBar(TScrollBar* bar)
{
    VertScrollBar = bar;
    if (!bar || !Host) return;
    if (Picture) bar->SetMax(Excess(Picture->Height, Host->Height()));
    bar->SetKind(sbVertical);
    bar->SetBounds(Host->Left() + Host->Width() + kInset, Host->Top(), bar->Width(), Host->Height());
}

void TDIBViewer::SetVisible(bool visible)
{
    Visible = visible;
    if (HorzScrollBar) HorzScrollBar->SetVisible(visible);
    if (VertScrollBar) VertScrollBar->SetVisible(visible);
    if (Host) Host->SetVisible(visible);
}

void TDIBViewer::CopyToForm()
{
    if (!Picture || !Canvas) return;
    Canvas->CopyRect(DestRect, Picture->Canvas(), SourceRect);
    if (Form) Form->CanvasChanged(DestRect);
}

void TDIBViewer::Paint()
{
    if (!Visible || !Picture) return;
    UpdateSource();
    CopyToForm();
}

void TDIBViewer::ScreenToDIB(int32_t& x, int32_t& y)
{
    if (!Visible || !Picture) {
        x = -1;
        y = -1;
        return;
    }
    UpdateSource();
    x += SourceRect.Left;
    y += SourceRect.Top;
}

void TDIBViewer::BeginRubberBand(int32_t x, int32_t y)
{
    RubberBandActive = true;
    RubberBand = Rect(x, y, x, y);
    Backup = std::make_unique<TDIBPicture>(Host ? Host->Width() : 0, Host ? Host->Height() : 0, dibFormat565, nullptr);
    if (Picture) Backup->Canvas().CopyRect(Backup->Bounds, Picture->Canvas(), SourceRect);
}

void TDIBViewer::EndRubberBand()
{
    if (Backup && Picture) Picture->Canvas().CopyRect(SourceRect, Backup->Canvas(), Backup->Bounds);
    CopyToForm();
    RubberBandActive = false;
    Backup.reset();
}
