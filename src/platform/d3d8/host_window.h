// Windows that show what a 3D device presents.
//
// A window handle (HWND) is a pointer to a host window: something with a
// client size that receives every frame presented to it. The program's 3D
// panel implements it on top of the window toolkit; tests use the off-screen
// host, whose last frame they read pixel by pixel. A host that goes away is
// detached from every device and swap chain bound to it: their presents then
// fail instead of reaching a dead window.
#pragma once

#include <cstdint>
#include <vector>

class THostWindow {
public:
    THostWindow() = default;
    THostWindow(const THostWindow&) = delete;
    THostWindow& operator=(const THostWindow&) = delete;
    virtual ~THostWindow();

    // Size of the drawing area in pixels; a back buffer made for the window
    // without a size of its own takes this size (at least 1 x 1).
    virtual int ClientWidth() const = 0;
    virtual int ClientHeight() const = 0;

    // A presented frame: width x height pixels, rows top to bottom, `pitch`
    // bytes apart; each pixel a 32-bit value 0xAARRGGBB (in memory the bytes
    // blue, green, red, alpha), alpha always 255. The pixels are valid only
    // during the call. Called on the thread that presents.
    virtual void PresentFrame(const uint32_t* pixels, int width, int height, int pitch) = 0;
};

using HWND = THostWindow*;

// A host without a screen: keeps a copy of the last frame presented to it.
class TOffscreenHost : public THostWindow {
public:
    TOffscreenHost(int width, int height) : width_(width), height_(height) {}

    int ClientWidth() const override { return width_; }
    int ClientHeight() const override { return height_; }
    void SetClientSize(int width, int height)
    {
        width_ = width;
        height_ = height;
    }

    void PresentFrame(const uint32_t* pixels, int width, int height, int pitch) override;

    // Number of frames presented so far.
    int FrameCount() const { return frameCount_; }
    int FrameWidth() const { return frameWidth_; }
    int FrameHeight() const { return frameHeight_; }
    // Pixel (x, y) of the last frame as 0xAARRGGBB; 0 outside the frame or before the first.
    uint32_t Pixel(int x, int y) const;
    // The last frame, FrameWidth() pixels per row, no gap between rows.
    const std::vector<uint32_t>& Frame() const { return frame_; }

private:
    int width_;
    int height_;
    int frameCount_ = 0;
    int frameWidth_ = 0;
    int frameHeight_ = 0;
    std::vector<uint32_t> frame_;
};
