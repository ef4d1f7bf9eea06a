// Truevision (Targa) pictures: colour-mapped, true-colour and gray images of
// 8, 15, 16, 24 and 32 bits per pixel, uncompressed or run-length
// compressed, read straight into the bitmap's rows; and the writer.
#pragma once

#include <cstdint>

#include "codecs/codec_graphic.h"

struct TTargaHeader;

class TTargaGraphic : public TCodecGraphic {
public:
    static constexpr const char* ClassName = "TTargaGraphic";

    using TCodecGraphic::CanLoad;
    bool CanLoad(TStream& stream) override;
    bool ReadImageProperties(TStream& stream, unsigned ImageIndex) override;
    void LoadFromStream(TStream& stream) override;
    // Writes the bitmap run-length compressed.
    void SaveToStream(TStream& stream) override;
    // Writes the bitmap, run-length compressed or as plain rows. 1- and 4-bit
    // bitmaps are first turned into 8-bit ones.
    void SaveToStream(TStream& stream, bool compressed);

private:
    // The load, under the work meter of LoadFromStream.
    void Load(TStream& stream);
    // The steps of the load after the header and the pixel format: the
    // colour map and palette, then the rows, plain or run-length compressed,
    // of rowSize bytes each.
    void ReadColorMap(TStream& stream, const TTargaHeader& h);
    uint8_t* RowOf(const TTargaHeader& h, int y);
    void ReadRawRows(TStream& stream, const TTargaHeader& h, int64_t rowSize);
    void ReadPackedRows(TStream& stream, const TTargaHeader& h, int64_t rowSize);
};

#pragma pack(push, 1)
struct TTargaHeader {
    uint8_t IDLength;
    uint8_t ColorMapType;
    uint8_t ImageType;
    uint16_t ColorMapOrigin;
    uint16_t ColorMapSize;
    uint8_t ColorMapEntrySize;
    uint16_t XOrigin;
    uint16_t YOrigin;
    uint16_t Width;
    uint16_t Height;
    uint8_t PixelSize;
    uint8_t ImageDescriptor;
};
#pragma pack(pop)
static_assert(sizeof(TTargaHeader) == 18);
