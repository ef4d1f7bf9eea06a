// The bitmap size check of the readers: a picture file can claim any width
// and height, and the bitmap that would hold it must fit the memory a
// picture may take before anything is allocated for it.
#pragma once

#include <cstdint>

#include "platform/gdi/graphics.h"

// Raises EOutOfResources when a bitmap of that size and format would take
// more than BitmapMemoryLimit bytes.
inline void CheckPictureSize(uint64_t width, uint64_t height, TPixelFormat format)
{
    const uint64_t rowBytes = (width * uint64_t(BitsPerPixelOf(format)) + 31) / 32 * 4;
    if (width > INT32_MAX || height > INT32_MAX || (height != 0 && rowBytes > uint64_t(BitmapMemoryLimit) / height))
        throw EOutOfResources();
}
