// Reading and writing device-independent bitmaps as Windows stores them in
// bitmap files and inside icons.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/gdi/graphics.h"

class TStream;

enum : uint32_t {
    BI_RGB = 0,
    BI_RLE8 = 1,
    BI_RLE4 = 2,
    BI_BITFIELDS = 3,
    BI_JPEG = 4,
    BI_PNG = 5,
    BI_ALPHABITFIELDS = 6
};

// What an info header and its colour table say about the pixels that follow.
struct TDIBHeader {
    uint32_t headerSize = 0;
    int width = 0;
    int height = 0;  // rows, always positive
    bool topDown = false;
    int bitCount = 0;
    uint32_t compression = BI_RGB;
    uint32_t sizeImage = 0;
    uint32_t masks[4] = {0, 0, 0, 0};  // red, green, blue, alpha
    std::vector<TPaletteEntry> palette;
};

// Raises EInvalidGraphic with "Cannot load image. Invalid or unexpected <label> image format.".
[[noreturn]] void RaiseInvalidImage(const std::string& label);

// Reads an info header (core, OS/2 or Windows, any version), its bit-field
// masks and its colour table from the stream's position; the stream is left
// after the colour table. Headers this reader cannot decode raise
// EInvalidGraphic naming the label. heightHolds2 halves the stored height
// (icons store the image and its mask as one bitmap of twice the height).
// tableBytes, when not negative, is the room the file leaves between the
// info header and the pixels; a colour table never reads past it.
TDIBHeader ReadDIBHeader(TStream& stream, const std::string& label, bool heightHolds2 = false, int64_t tableBytes = -1);

// Reads the pixel rows that follow at the stream's position into the bitmap,
// which gets the matching pixel format, colour table and size. dataSize bounds
// what compressed data may be read (-1: up to the end of the stream).
void ReadDIBPixels(TStream& stream, const TDIBHeader& header, TBitmap& bitmap, const std::string& label,
                   int64_t dataSize = -1);
