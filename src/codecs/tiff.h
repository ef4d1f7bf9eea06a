// TIFF pictures (the first image of the file) and the TIFF preview of
// binary Encapsulated PostScript files.
//
// Strips and tiles, interleaved samples or one plane per sample, both byte
// orders, horizontal differencing, and the compressions none, PackBits,
// deflate, JPEG, one-dimensional CCITT (Group 3, modified Huffman, also
// word-aligned) and ThunderScan. The other compressions are refused.
#pragma once

#include <cstdint>
#include <vector>

#include "codecs/codec_graphic.h"

class TDecoder;

#pragma pack(push, 1)
// A directory entry as stored: tag, field type, value count, value or offset.
struct TIFDEntry {
    uint16_t Tag;
    uint16_t DataType;
    uint32_t DataLength;
    uint32_t Offset;
};
#pragma pack(pop)
static_assert(sizeof(TIFDEntry) == 12);

class TTIFFGraphic : public TCodecGraphic {
public:
    static constexpr const char* ClassName = "TTIFFGraphic";

    using TCodecGraphic::CanLoad;
    // "II" or "MM", version 42, a first directory inside the stream.
    bool CanLoad(TStream& stream) override;
    // Parses the header and the ImageIndex-th directory into the properties;
    // false for a header or directory this reader does not understand. A
    // directory or value list that lies past the end of the stream raises
    // the stream's read error.
    bool ReadImageProperties(TStream& stream, unsigned ImageIndex) override;
    void LoadFromStream(TStream& stream) override;
    // Writes nothing: TIFF pictures are only read.
    void SaveToStream(TStream& stream) override;

    // Directory helpers over the directory read last (sorted by tag).
    bool FindTag(uint16_t tag, size_t& index) const;
    // One unsigned value (the raw value field when the tag has several).
    uint32_t GetValue(uint16_t tag, uint32_t defaultValue) const;
    uint32_t GetValue(uint16_t tag, uint32_t& count, uint32_t defaultValue) const;
    // One number; rationals as their quotient.
    float GetFloatValue(uint16_t tag, float defaultValue);
    // Every value of the tag (empty when it is absent).
    std::vector<uint8_t> GetByteList(uint16_t tag);
    std::vector<uint32_t> GetValueList(uint16_t tag);
    std::vector<float> GetFloatList(uint16_t tag);

    const std::vector<TIFDEntry>& IFD() const { return ifd_; }

    // Strips and tiles are decoded a slice of rows at a time, each slice
    // converted into the bitmap before the next is decoded: a slice holds
    // about this many bytes of samples (of every plane, with their
    // subsampled blocks), or one row (one row of blocks) when that takes more.
    static constexpr uint64_t SliceBytes = uint64_t(1) << 20;

    // The most bytes of samples (a slice of a strip, or of the tiles or
    // planes side by side) that the last load held at once: the memory a
    // picture takes besides its bitmap follows neither the rows it claims
    // nor the size of its strips.
    uint64_t PeakSampleBytes() const { return peakSampleBytes_; }

protected:
    std::vector<TIFDEntry> ifd_;
    uint16_t ColorMap[768] = {};
    uint32_t YCbCrPositioning = 1;
    std::vector<float> YCbCrCoefficients;
    uint64_t peakSampleBytes_ = 0;

private:
    // The raw bytes of a tag's values, in file order (empty when absent).
    std::vector<uint8_t> RawValues(const TIFDEntry& entry);
    // `size` bytes of the file at `offset` (from BasePosition) as stored;
    // the stream's read error, before any memory is taken, when the file
    // does not hold them.
    std::vector<uint8_t> FileBytes(uint32_t offset, uint64_t size);
    // The byte order, the version and the first directory's offset; false
    // when they are no TIFF's.
    bool ReadHeader(TStream& stream, uint32_t& offset);
    // Follows the chain from the directory at offset to the index-th after
    // it; false when the chain ends first.
    bool FindDirectory(TStream& stream, unsigned index, uint32_t& offset);
    void ReadDirectory(uint32_t offset);
    // The directory's tags by group: the size and the layout of the samples
    // (false without a size), the colour scheme, the compression and the
    // order of samples and bits, the resolution.
    bool ReadLayoutTags();
    void ReadColorTags();
    void ReadCodingTags();
    void ReadResolutionTags();
    void LoadImage(TStream& stream);
    // The gray ramp or the colour map as the bitmap's palette, or the YCbCr
    // conversion's coefficients and subsampling.
    void SetUpPalette(TColorScheme source, TColorScheme target);
    // The colour map's values kept in ColorMap and, a third each for red,
    // green and blue, given the bitmap as its palette.
    void SetColorMapPalette();
};

// The preview of an EPS file: its 30-byte header points at a TIFF picture.
class TEPSGraphic : public TTIFFGraphic {
public:
    static constexpr const char* ClassName = "TEPSGraphic";

    using TCodecGraphic::CanLoad;
    bool CanLoad(TStream& stream) override;
    void LoadFromStream(TStream& stream) override;
};
