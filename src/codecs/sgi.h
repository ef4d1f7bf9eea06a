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
    // The load, under the work meter of LoadFromStream.
    void Load(TStream& stream);
    void ReadRowTables(TStream& stream);
    void SetUpConversion();
    // Every row, each channel read or decoded and the row converted.
    void ReadRows();
    // For each row, the first row whose channels all name the same records
    // as its own (the row itself when no row before it does): a row that
    // names another's is a copy of it.
    std::vector<uint32_t> FirstAlike(uint32_t channels) const;
    // The records (or raw rows) by index, band after band of bandRows rows
    // of `channels` channels, each band's in the order they lie in the file;
    // copies of other rows read none.
    std::vector<uint32_t> ReadingOrder(uint32_t bandRows, uint32_t channels, const std::vector<uint32_t>& alike) const;
    // Record `index` (channel x Height + row) of a run-length file: the bytes
    // it can give (those it claims, up to what a row can use and the file
    // holds), and what decides its samples (its start and those bytes).
    uint64_t ReadableBytes(size_t index) const;
    uint64_t RecordKey(size_t index) const;
    // Width samples of record or raw row `index` into target.
    void DecodeRecord(uint8_t* target, size_t index);
    void ReadRawRow(uint8_t* target, size_t index);
    std::vector<uint8_t> packed_;
    // Bytes of the file from BasePosition on.
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
