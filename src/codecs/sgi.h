// SGI pictures (".sgi", ".rgb", ".rgba", ".bw"): one plane per channel of
// 8- or 16-bit samples, raw or run-length compressed row by row, rows stored
// bottom first, all numbers big-endian.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "codecs/codec_graphic.h"

class TSGIRLEDecoder;

class TSGIGraphic : public TCodecGraphic {
public:
    static constexpr const char* ClassName = "TSGIGraphic";
    TSGIGraphic();
    ~TSGIGraphic() override;

    using TCodecGraphic::CanLoad;
    // More than the header remains, the magic is 474, 1 or 2 bytes per
    // channel and 1 to 3 dimensions.
    bool CanLoad(TStream& stream) override;
    bool ReadImageProperties(TStream& stream, unsigned ImageIndex) override;
    void LoadFromStream(TStream& stream) override;

    // Run-length files: where each row of each channel starts and how many
    // bytes it takes, channel-major (channel x Height + row).
    std::vector<uint32_t> RowStart;
    std::vector<uint32_t> RowSize;
    // The decoder of the current load (none for raw files).
    std::unique_ptr<TSGIRLEDecoder> Decoder;

private:
    // Reads row `row` of channel `channel` into buffer (Width samples).
    void ReadRow(uint8_t* buffer, uint32_t row, uint32_t channel);
    // The packed data that row `row` of channel `channel` names: its start
    // and its size, in one number.
    uint64_t PackedData(uint32_t row, uint32_t channel) const;
    // Whether the first `channels` channels of two packed rows name the same
    // packed data, and so make the same row.
    bool SameData(uint32_t row, uint32_t other, uint32_t channels) const;
    std::vector<uint8_t> packed_;
    // Packed bytes the rows read so far claim, and the bytes of the file.
    int64_t packedBytes_ = 0;
    int64_t fileBytes_ = 0;
};

#pragma pack(push, 1)
// The file header as stored (big-endian fields).
struct TSGIHeader {
    uint16_t Magic;
    uint8_t Storage;
    uint8_t BPC;
    uint16_t Dimension;
    uint16_t XSize;
    uint16_t YSize;
    uint16_t ZSize;
    uint32_t PixMin;
    uint32_t PixMax;
    uint8_t Dummy[4];
    char ImageName[80];
    uint32_t ColorMap;
    uint8_t Pad[404];
};
#pragma pack(pop)
static_assert(sizeof(TSGIHeader) == 512);
