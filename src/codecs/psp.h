// Paint Shop Pro pictures: the first raster layer of the layer bank, its
// channels stored uncompressed, run-length or deflate compressed, as
// separate planes (little-endian file).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "codecs/codec_graphic.h"

class TPSPGraphic : public TCodecGraphic {
public:
    static constexpr const char* ClassName = "TPSPGraphic";

    using TCodecGraphic::CanLoad;
    // "Paint Shop Pro Image File" (any case) and a major version of 3 or more.
    bool CanLoad(TStream& stream) override;
    // The file header and the general image attributes block.
    bool ReadImageProperties(TStream& stream, unsigned ImageIndex) override;
    void LoadFromStream(TStream& stream) override;

private:
    // Where the channels of a raster layer lie: for each plane (by channel
    // type: 0 composite or transparency, 1 red, 2 green, 3 blue) the stream
    // position and packed length of the last channel of that type, or none.
    struct TChannelData {
        int64_t Position = -1;
        uint32_t Length = 0;
    };
    using TLayerChannels = std::array<TChannelData, 4>;

    // The reads of one block or chunk, kept within it.
    class TPart;

    // The steps of LoadFromStream: the colour manager and pixel format for the
    // attributes, a palette block, and a layer bank whose first raster
    // layer's channels are noted (true when there is one); the channels of
    // the last raster layer noted are unpacked into planes of rowSize x
    // Height bytes and converted row by row.
    void SetUpConversion();
    void ReadBlocks(TStream& stream, unsigned major, size_t rowSize);
    void ReadPaletteBlock(TPart& block, unsigned major);
    bool ReadLayerBank(TPart& bank, unsigned major, TLayerChannels& channels);
    bool ReadLayerInfo(TPart& layer, unsigned major);
    TLayerChannels ReadRasterLayer(TPart& layer, unsigned major);
    uint16_t ReadBitmapInfo(TPart& layer, unsigned major);
    void ReadPlanes(TStream& stream, const TLayerChannels& channels, size_t rowSize);
};

#pragma pack(push, 1)
struct TPSPFileHeader {
    char Signature[32];
    uint16_t MajorVersion;
    uint16_t MinorVersion;
};

// The general image attributes as far as they are used.
struct TPSPImageAttributes {
    int32_t Width;
    int32_t Height;
    double Resolution;
    uint8_t ResolutionMetric;  // 2: per centimetre
    uint16_t Compression;      // 0 none, 1 run-length, 2 LZ77, 3 JPEG
    uint16_t BitDepth;         // 1, 4, 8 or 24
    uint16_t PlaneCount;
    uint32_t ColorCount;
    uint8_t GreyscaleFlag;
    uint8_t Unused[14];
};
#pragma pack(pop)
static_assert(sizeof(TPSPFileHeader) == 36);
static_assert(sizeof(TPSPImageAttributes) == 42);
