// What the picture fuzz targets share: quiet message boxes, a small bitmap
// limit so that huge claimed sizes are refused quickly, and one load attempt.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>

#include "fuzz_quiet.h"
#include "platform/gdi/graphics.h"
#include "platform/rtl/classes.h"

inline void PrepareFuzzing()
{
    SilenceMessages();
    BitmapMemoryLimit = 8 << 20;
}

// Loads the bytes with the reader; errors are the expected answer to most inputs.
// Returns whether a picture was loaded.
template <class TReader>
bool FuzzLoad(TReader& picture, const uint8_t* data, size_t size)
{
    try {
        TMemoryStream in(data, size);
        picture.CanLoad(in);
        picture.LoadFromStream(in);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

template <class TReader>
bool FuzzLoad(const uint8_t* data, size_t size)
{
    TReader picture;
    return FuzzLoad(picture, data, size);
}
