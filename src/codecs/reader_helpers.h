// Small helpers shared by the picture readers: byte order of file fields
// and sizing a bitmap from header values that may be anything.
#pragma once

#include <climits>
#include <cstdint>

#include "platform/gdi/graphics.h"
#include "platform/rtl/byteorder.h"

// Sizes the bitmap; dimensions no bitmap can have are refused like any size
// beyond the memory a picture may take.
inline void SetBitmapSize(TBitmap& bitmap, uint64_t width, uint64_t height)
{
    if (width > INT_MAX || height > INT_MAX) throw EOutOfResources();
    bitmap.SetSize(static_cast<int>(width), static_cast<int>(height));
}
