// Portable Network Graphics: every chunk's CRC checked, the image data
// inflated, unfiltered, de-interlaced (Adam7) and converted row by row;
// gamma, background, transparent colour and palette chunks applied.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "codecs/codec_graphic.h"

class TLZ77Decoder;

class TPNGGraphic : public TCodecGraphic {
public:
    static constexpr const char* ClassName = "TPNGGraphic";

    TPNGGraphic();
    ~TPNGGraphic() override;

    using TCodecGraphic::CanLoad;
    // The 8-byte signature.
    bool CanLoad(TStream& stream) override;
    // The signature, the header chunk and the file gamma.
    bool ReadImageProperties(TStream& stream, unsigned ImageIndex) override;
    void LoadFromStream(TStream& stream) override;

    // The last chunk header read.
    struct TChunkHeader {
        uint32_t Length = 0;
        uint8_t Type[4] = {0, 0, 0, 0};
    };

private:
    void ReadChunkHeader();
    // Reads the chunk's data into RawBuffer and checks its CRC (65218).
    void ReadChunkData();
    // Seeks past the chunk's data and CRC.
    void SkipChunkData();
    bool IsChunk(const char* type) const;
    // Chooses source, target, pixel format and gray palette for the colour
    // type and depth (65247 for a combination PNG does not have).
    void SetupColorDepth();
    // What a load starts from: a fresh colour manager, no palette, white
    // background, no transparent colour, no image data read.
    void ResetLoadState();
    // Reads the header chunk again for the bit depth and colour type.
    void ReadHeaderChunk();
    // The chunks after the header, to the end chunk (or the end of a file
    // whose picture is complete); the image data is decoded at its first run.
    void ReadChunks();
    // Reads the current chunk if it is a palette, gamma, background or
    // transparency chunk (the colours they give are kept); false for others.
    bool ReadColorChunk();
    void ReadPaletteChunk();
    void ReadGammaChunk();
    // Builds the gamma table of the last gamma chunk, if not built yet.
    void ApplyGamma();
    void ReadBackgroundChunk();
    void ReadTransparencyChunk();
    // LoadFromStream under the work meter.
    void Load();
    void DecodeImage();
    // Sizes the bitmap and gives it the palette and the transparent colour;
    // true when RGB pixels stored in the transparent colour must keep it.
    bool SetUpBitmap();
    // Bytes of an image data row of that many pixels, filter byte included.
    size_t RowSize(uint32_t width) const;
    // Fills the rows from fromRow on with the background colour.
    void FillBackground(uint32_t fromRow);
    // Reads and unfilters the next row (previous: the row above it, zeros for
    // the first row); false when the image data ended.
    bool NextRow(std::vector<uint8_t>& current, std::vector<uint8_t>& previous, size_t size, bool first);
    // Scan line y, which the picture's size bounds.
    uint8_t* Line(uint32_t y) { return Bits() + size_t(y) * size_t(RowBytes()); }
    void DecodeRows(bool keyRGB);
    void DecodeInterlaced(bool keyRGB);
    // Bytes of the image data of the whole picture, every pass's rows.
    uint64_t ImageDataBytes() const;
    // Fills the first size bytes of row from the image data, growing it as
    // the data arrives; false when the image data ended.
    bool ReadRow(std::vector<uint8_t>& row, size_t size);
    // Inflates at most room bytes of image data into dest (produced: how
    // many), taking the next image data chunk when one is used up; false
    // when the image data ended.
    bool Inflate(uint8_t* dest, size_t room, size_t& produced);
    void Unfilter(uint8_t* row, const uint8_t* prior, size_t size) const;
    // Gives the pixels of an RGB row whose stored samples are the transparent
    // colour's that colour; pixel i of the row is column first + i x step.
    void KeyStoredPixels(const uint8_t* samples, uint8_t* line, uint32_t count, uint32_t first, uint32_t step) const;
    // A 16-bit gray or colour value of the colour chunks as an 8-bit level.
    uint8_t Level(uint16_t value) const;
    TColor ChunkColor(size_t& used) const;

    std::unique_ptr<TLZ77Decoder> Decoder;
    uint32_t IDATSize = 0;
    std::vector<uint8_t> RawBuffer;
    // Image data inflated ahead of small rows: bytes AheadAt to AheadEnd are
    // still to be taken; InflateLeft counts the image data not inflated yet.
    static constexpr size_t kAheadBytes = 1 << 16;
    std::vector<uint8_t> Ahead;
    size_t AheadAt = 0, AheadEnd = 0;
    uint64_t InflateLeft = 0;
    bool StreamEnded = false;  // the deflate stream of the image data ended
    const uint8_t* CurrentSource = nullptr;
    uint32_t SourceLeft = 0;
    TChunkHeader CurrentChunk;
    bool AtEnd = false;  // no further chunk header in the stream
    uint32_t CRC = 0;
    uint32_t SourceBPP = 0;
    HPALETTE Palette;
    TColor TransparentColorValue = clNone;
    uint16_t TransparentSamples[3] = {0, 0, 0};  // an RGB tRNS as stored
    TColor BackgroundColorValue = clWhite;
    uint8_t ColorType = 0;
    uint8_t BitDepth = 0;
    bool DepthSet = false;
    float PendingGamma = 1.0f;  // the value of the last gamma chunk
    bool GammaPending = false;  // its table is not built yet
};
