// ThunderScan 4-bit gray data of TIFF files, expanded into packed 4-bit
// pixels (two to a byte, the first in the high nibble).
#pragma once

#include <cstdint>

#include "codecs/decoders.h"

class TThunderDecoder : public TDecoder {
public:
    // RowSize: bytes of one decoded row; Width: its pixels (2 x RowSize
    // unless told otherwise: a row of an odd width ends before the last nibble).
    explicit TThunderDecoder(int32_t RowSize, int32_t Width = -1)
        : RowSize(RowSize), Width(Width < 0 ? 2 * RowSize : Width)
    {
    }
    // Decodes rows until UnpackedSize bytes are filled or the input ends,
    // and moves Source past the bytes consumed (Dest is not moved). Codes
    // that would run past a row's end are dropped, so every row stays within
    // its own RowSize bytes. Every row starts afresh: whole rows decoded a
    // few at a time from the moved Source are the rows of one Decode.
    void Decode(void*& Source, void*& Dest, int32_t PackedSize, int32_t UnpackedSize) override;
    void Encode(void*, void*, int32_t, int32_t&) override {}

    int32_t RowSize;
    int32_t Width;
};
