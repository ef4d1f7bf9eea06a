// ThunderScan 4-bit gray data of TIFF files, expanded into packed 4-bit
// pixels (two to a byte, the first in the high nibble).
#pragma once

#include <cstdint>
#include <functional>
#include <utility>

#include "codecs/decoders.h"

class TThunderDecoder : public TDecoder {
public:
    // Where the input goes on once the bytes given run out: sets data and
    // size to its next bytes, or returns false at its end.
    using TMoreInput = std::function<bool(uint8_t*& data, int32_t& size)>;

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
    // With MoreInput set, the input goes on with the bytes it gives whenever
    // those at hand run out (a row may span them); Source is left in the
    // bytes given last.
    void Decode(void*& Source, void*& Dest, int32_t PackedSize, int32_t UnpackedSize) override;
    void Encode(void*, void*, int32_t, int32_t&) override {}
    void SetMoreInput(TMoreInput more) { more_ = std::move(more); }

    int32_t RowSize;
    int32_t Width;

private:
    TMoreInput more_;
};
