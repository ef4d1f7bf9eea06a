// Shows a picture in the rectangle of a host control, inset by 3 pixels,
// scrolled by optional scroll bars, by copying the visible part onto the
// canvas of the host's form; converts host positions to picture positions;
// and saves and restores the visible part around temporary drawing (the
// rubber band).
#pragma once

#include <cstdint>
#include <memory>

#include "display/dib_picture.h"
#include "platform/gdi/controls.h"

class TDIBViewer {
public:
    // A viewer on the host; the form canvas is the host's owner's.
    explicit TDIBViewer(TControl* host);
    ~TDIBViewer();
    TDIBViewer(const TDIBViewer&) = delete;
    TDIBViewer& operator=(const TDIBViewer&) = delete;

    // Shows a picture and sets the bars' maxima to what of it lies beyond the host.
    void SetDIB(TDIBPicture* picture);
    // Attach a bar under, or right of, the host.
    void SetHorzScrollBar(TScrollBar* bar);
    void SetVertScrollBar(TScrollBar* bar);
    // Shows or hides the view, its bars and its host.
    void SetVisible(bool visible);
    // Copies the visible part of the picture onto the form.
    void Paint();
    // Host position to picture position; (-1, -1) while hidden or without picture.
    void ScreenToDIB(int32_t& x, int32_t& y);
    // Saves the visible part of the picture before temporary drawing on it.
    void BeginRubberBand(int32_t x, int32_t y);
    // Puts the saved part back and repaints.
    void EndRubberBand();

    TCanvas* Canvas = nullptr;  // the owner form's
    TForm* Form = nullptr;
    TControl* Host = nullptr;
    TDIBPicture* Picture = nullptr;       // not owned
    std::unique_ptr<TDIBPicture> Backup;  // during a rubber band only
    TRect DestRect{};                     // on the form, fixed at creation
    TRect SourceRect{};                   // on the picture
    TScrollBar* HorzScrollBar = nullptr;  // not owned
    TScrollBar* VertScrollBar = nullptr;  // not owned
    bool Visible = true;
    bool RubberBandActive = false;
    TRect RubberBand{-1, -1, -1, -1};

private:
    // Source position from the bars, size from the host.
    void UpdateSource();
    // Copies the source rectangle onto the form and shows it.
    void CopyToForm();
};
