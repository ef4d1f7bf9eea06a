// Autodesk Animator cel pictures (".cel", ".pic"): uncompressed 8-bit rows,
// top row first, after a palette of 256 colours of 6 bits per channel.
#pragma once

#include <cstdint>

#include "codecs/codec_graphic.h"

class TAutodeskGraphic : public TCodecGraphic {
public:
    static constexpr const char* ClassName = "TAutodeskGraphic";

    using TCodecGraphic::CanLoad;
    // More than the header remains, the magic is 0x9119, 8 bits per pixel
    // and no compression.
    bool CanLoad(TStream& stream) override;
    bool ReadImageProperties(TStream& stream, unsigned ImageIndex) override;
    void LoadFromStream(TStream& stream) override;

private:
    // The load, under the work meter of LoadFromStream.
    void Load(TStream& stream);
};

#pragma pack(push, 1)
struct TAutodeskHeader {
    uint16_t Magic;
    uint16_t Width;
    uint16_t Height;
    uint16_t XCoord;
    uint16_t YCoord;
    uint8_t Depth;
    uint8_t Compression;
    uint32_t DataSize;
    uint8_t Reserved[16];
};
#pragma pack(pop)
static_assert(sizeof(TAutodeskHeader) == 32);
