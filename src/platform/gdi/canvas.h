// The drawing surface of a bitmap.
#pragma once

#include "platform/gdi/graphics.h"

class TCanvas {
public:
    explicit TCanvas(TBitmap& bitmap) : bitmap_(bitmap) {}
    TBitmap& Bitmap() { return bitmap_; }

private:
    TBitmap& bitmap_;
};
