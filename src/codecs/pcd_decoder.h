// The Huffman decoder of the high Photo-CD resolutions: reads code tables
// and corrections from the pack and adds them to planes already filled by
// upsampling the resolution below.
#pragma once

#include <cstdint>

#include "codecs/decoders.h"

class TStream;

// Photo-CD Huffman table entry: the code's bits left-aligned in Code, Mask
// with the top Length bits set, Key the signed correction.
struct TPCDTableEntry {
    uint8_t Length;
    uint32_t Code;
    uint8_t Key;
    uint32_t Mask;
};

class TPCDDecoder : public TDecoder {
public:
    // The stream (not owned) stands at the code tables of the resolution.
    explicit TPCDDecoder(TStream& stream);

    // Source points at three plane pointers (luma, chroma 1, chroma 2); Dest
    // is not used. PackedSize is the row width and the row distance of all
    // three planes; UnpackedSize the number of luma rows: decoding ends at
    // the row header carrying that row number. The luma plane must hold
    // UnpackedSize rows and each chroma plane (UnpackedSize + 1) / 2 rows;
    // corrections for rows or columns outside them are read and dropped.
    // Reads from the stream in blocks of 2048 bytes and lets its read error
    // through when the stream ends first.
    void Decode(void*& Source, void*& Dest, int32_t PackedSize, int32_t UnpackedSize) override;
    void Encode(void*, void*, int32_t, int32_t&) override {}

private:
    TStream* stream_;
};
