// ZSoft PCX pictures (".pcx", ".pcc", ".scr"): 1, 2, 4 or 8 bits per pixel
// in one plane, 16 or 8 colours in four or three planes of 1 bit, and true
// colour in three planes of 8 bits (four with alpha), raw or run-length
// compressed; little-endian numbers.
#pragma once

#include <cstdint>

#include "codecs/codec_graphic.h"

struct TPCXHeader;

class TPCXGraphic : public TCodecGraphic {
public:
    static constexpr const char* ClassName = "TPCXGraphic";

    using TCodecGraphic::CanLoad;
    // More than the header remains, manufacturer 10 or 12, version 0, 2, 3
    // or 5 and encoding 0 or 1.
    bool CanLoad(TStream& stream) override;
    bool ReadImageProperties(TStream& stream, unsigned ImageIndex) override;
    // A header that is not understood loads nothing and reports nothing.
    void LoadFromStream(TStream& stream) override;

private:
    // The load, under the work meter of LoadFromStream.
    void Load(TStream& stream);
    // The steps of the load after the header and the pixel format: the
    // palette, then the rows of the pixel data (dataSize bytes, which fill
    // at most rowsHeld rows of all planes), each stored as it is read.
    void ReadPalette(TStream& stream, const TPCXHeader& h, TPixelFormat format, int64_t dataStart);
    void ReadTrailingPalette(TStream& stream, const TPCXHeader& h, int64_t dataStart);
    void ReadRows(TStream& stream, const TPCXHeader& h, int64_t dataSize, uint64_t rowsHeld);
    void StoreRow(const TPCXHeader& h, const uint8_t* row, uint8_t* line);
};

#pragma pack(push, 1)
struct TPCXHeader {
    uint8_t Manufacturer;
    uint8_t Version;
    uint8_t Encoding;
    uint8_t BitsPerPixel;
    uint16_t XMin;
    uint16_t YMin;
    uint16_t XMax;
    uint16_t YMax;
    uint16_t HRes;
    uint16_t VRes;
    uint8_t ColorMap[48];
    uint8_t Reserved;
    uint8_t PlaneCount;
    uint16_t BytesPerLine;
    uint16_t PaletteType;
    uint8_t Filler[58];
};
#pragma pack(pop)
static_assert(sizeof(TPCXHeader) == 128);
