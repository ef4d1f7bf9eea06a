// Small helpers shared by the picture readers: byte order of file fields
// and sizing a bitmap from header values that may be anything.
#pragma once

#include <climits>
#include <cstdint>

#include "platform/gdi/graphics.h"

inline uint16_t ReadBE16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }
inline uint32_t ReadBE32(const uint8_t* p)
{
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}
inline uint16_t ReadLE16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t ReadLE32(const uint8_t* p)
{
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

// Sizes the bitmap; dimensions no bitmap can have are refused like any size
// beyond the memory a picture may take.
inline void SetBitmapSize(TBitmap& bitmap, uint64_t width, uint64_t height)
{
    if (width > INT_MAX || height > INT_MAX) throw EOutOfResources();
    bitmap.SetSize(static_cast<int>(width), static_cast<int>(height));
}
