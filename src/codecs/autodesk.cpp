#include "codecs/autodesk.h"

#include <cstdint>
#include <cstring>

#include "codecs/reader_helpers.h"
#include "platform/rtl/classes.h"

namespace {

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the Autodesk header is read as stored");
constexpr uint16_t kMagic = 0x9119;
// The work of reading a row, whatever its size.
constexpr uint64_t kRowSetUp = 64;

TAutodeskHeader ReadHeader(TStream& stream) { return ReadStoredHeader<TAutodeskHeader>(stream); }

}  // namespace

bool TAutodeskGraphic::CanLoad(TStream& stream)
{
    return TestHeader<TAutodeskHeader>(stream, [](TStream& s) {
        const TAutodeskHeader h = ReadHeader(s);
        return h.Magic == kMagic && h.Depth == 8 && h.Compression == 0;
    });
}

bool TAutodeskGraphic::ReadImageProperties(TStream& stream, unsigned ImageIndex)
{
    TCodecGraphic::ReadImageProperties(stream, ImageIndex);
    uint16_t magic = 0;
    stream.Read(&magic, 2);
    if (magic != kMagic) return false;
    uint8_t rest[sizeof(TAutodeskHeader) - 2] = {};
    stream.Read(rest, sizeof rest);
    TImageProperties& p = ImageProperties;
    p.ColorScheme = csIndexed;
    p.Width = rest[0] | (rest[1] << 8);
    p.Height = rest[2] | (rest[3] << 8);
    p.BitsPerSample = 8;
    p.SamplesPerPixel = 1;
    p.BitsPerPixel = 8;
    p.Compression = ctNone;
    return true;
}

void TAutodeskGraphic::LoadFromStream(TStream& stream)
{
    LoadMetered(stream, "Autodesk", [&] { Load(stream); });
}

void TAutodeskGraphic::Load(TStream& stream)
{
    ReleaseHandle();
    BasePosition = stream.Position();
    if (!ReadImageProperties(stream, 0)) CodecError(gesInvalidImage, {"Autodesk"});
    stream.SetPosition(BasePosition);
    const TAutodeskHeader h = ReadHeader(stream);

    // Six bits per channel, brought to eight (the low bits of the product
    // are kept, as a byte holds them).
    uint8_t map[768] = {};
    stream.Read(map, sizeof map);
    TLogPalette log;
    log.entries.resize(256);
    for (int i = 0; i < 256; ++i)
        log.entries[i] =
            TPaletteEntry{uint8_t(map[3 * i] << 2), uint8_t(map[3 * i + 1] << 2), uint8_t(map[3 * i + 2] << 2), 0};
    SetPixelFormat(pf8bit);
    SetPalette(CreatePalette(log));

    SetBitmapSize(*this, h.Width, h.Height);
    GrantOutputWork(uint64_t(RowBytes()) * uint64_t(Height()));
    for (int y = 0; y < Height(); ++y) {
        ChargeWork(kRowSetUp + h.Width);
        stream.Read(ScanLine(y), h.Width);
    }
}
