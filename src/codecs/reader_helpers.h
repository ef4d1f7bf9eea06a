// Small helpers shared by the picture readers: byte order of file fields,
// reading and testing file headers, and sizing a bitmap from header values
// that may be anything.
#pragma once

#include <climits>
#include <cstdint>
#include <cstring>

#include "platform/gdi/graphics.h"
#include "platform/rtl/byteorder.h"
#include "platform/rtl/classes.h"

// Sizes the bitmap; dimensions no bitmap can have are refused like any size
// beyond the memory a picture may take.
inline void SetBitmapSize(TBitmap& bitmap, uint64_t width, uint64_t height)
{
    if (width > INT_MAX || height > INT_MAX) throw EOutOfResources();
    bitmap.SetSize(static_cast<int>(width), static_cast<int>(height));
}

// Makes scan line `to` of the bitmap a copy of scan line `from`: a row made
// of the same data as one converted before.
inline void CopyScanLine(TBitmap& bitmap, int to, int from)
{
    std::memcpy(bitmap.ScanLine(to), bitmap.ScanLine(from), static_cast<size_t>(bitmap.RowBytes()));
}

// Fails like a raising read when the stream cannot hold count more bytes,
// before anything of that size is allocated.
inline void RequireBytes(TStream& stream, uint64_t count)
{
    if (static_cast<uint64_t>(stream.Remaining()) < count) throw EReadError();
}

// Reads a header record as it is stored; what a short stream lacks stays zero.
template <class THeader>
THeader ReadStoredHeader(TStream& stream)
{
    THeader h;
    std::memset(&h, 0, sizeof h);
    stream.Read(&h, sizeof h);
    return h;
}

// What CanLoad asks of a header: test(stream) reads it and judges it, but
// only when the stream holds more than a header; the stream is put back
// where it was either way.
template <class THeader, class FTest>
bool TestHeader(TStream& stream, FTest test)
{
    const int64_t start = stream.Position();
    const bool ok = stream.Remaining() > static_cast<int64_t>(sizeof(THeader)) && test(stream);
    stream.SetPosition(start);
    return ok;
}
