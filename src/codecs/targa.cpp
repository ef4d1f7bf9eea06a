#include "codecs/targa.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <memory>
#include <vector>

#include "codecs/decoders.h"
#include "codecs/reader_helpers.h"
#include "platform/rtl/classes.h"

namespace {

// The header is little-endian on disk; this machine is too.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the Targa header is read as stored");

// The work of reading and decoding a row, whatever its size.
constexpr uint64_t kRowSetUp = 64;

TTargaHeader ReadHeader(TStream& stream) { return ReadStoredHeader<TTargaHeader>(stream); }

// The samples of the header's depth are converted to BGR.
void SetUpConversion(TColorManager& cm, const TImageProperties& p)
{
    cm.SourceOptions = 0;
    cm.SetSource(p.ColorScheme, p.BitsPerSample, p.SamplesPerPixel);  // an unknown depth (no samples) stops here
    cm.SetTarget(csBGR, p.BitsPerSample, p.SamplesPerPixel);
}

// The first count entries of a map of 15- or 16-bit entries (two bytes each,
// little-endian, 5 bits a channel with blue lowest).
HPALETTE Palette555(const std::vector<uint8_t>& map, unsigned count)
{
    assert(map.size() >= 2 * size_t(count));
    TLogPalette log;
    log.entries.resize(count);
    for (unsigned i = 0; i < count; ++i) {
        const unsigned w = map[2 * i] | (map[2 * i + 1] << 8);
        log.entries[i] = TPaletteEntry{static_cast<uint8_t>((w & 0x7C00) >> 7), static_cast<uint8_t>((w & 0x3E0) >> 2),
                                       static_cast<uint8_t>((w & 0x1F) << 3), 0};
    }
    return CreatePalette(log);
}

}  // namespace

bool TTargaGraphic::CanLoad(TStream& stream)
{
    return TestHeader<TTargaHeader>(stream, [](TStream& s) {
        const TTargaHeader h = ReadHeader(s);
        return (h.ImageType <= 3 || (h.ImageType >= 9 && h.ImageType <= 11)) && h.ColorMapType < 2 &&
               (h.ColorMapEntrySize == 15 || h.ColorMapEntrySize == 16 || h.ColorMapEntrySize == 24 ||
                h.ColorMapEntrySize == 32) &&
               TargaPixelSize(h.PixelSize) != 0;
    });
}

bool TTargaGraphic::ReadImageProperties(TStream& stream, unsigned ImageIndex)
{
    TCodecGraphic::ReadImageProperties(stream, ImageIndex);
    const TTargaHeader h = ReadHeader(stream);
    TImageProperties& p = ImageProperties;
    p.Width = h.Width;
    p.Height = h.Height;
    p.BitsPerSample = 8;
    switch (h.PixelSize) {
    case 8:
        p.ColorScheme = (h.ImageType == 3 || h.ImageType == 11) ? csG : csIndexed;
        p.SamplesPerPixel = 1;
        break;
    case 15:
    case 16:
        p.ColorScheme = csRGB;
        p.BitsPerSample = 5;
        p.SamplesPerPixel = 3;
        break;
    case 24:
        p.ColorScheme = csRGB;
        p.SamplesPerPixel = 3;
        break;
    case 32:
        p.ColorScheme = csRGBA;
        p.SamplesPerPixel = 4;
        break;
    default:
        p.ColorScheme = csUnknown;
        p.SamplesPerPixel = 0;
        break;
    }
    p.BitsPerPixel = static_cast<uint8_t>(p.BitsPerSample * p.SamplesPerPixel);
    p.Compression = (h.ImageType >= 9 && h.ImageType <= 11) ? ctRLE : ctNone;
    return true;
}

void TTargaGraphic::LoadFromStream(TStream& stream)
{
    // A file that asks for more work than its size allows is damaged like one
    // that ends early.
    MeteredLoad(
        static_cast<uint64_t>(std::max<int64_t>(stream.Remaining(), 0)), [&] { Load(stream); },
        [] { throw EReadError(); });
}

void TTargaGraphic::Load(TStream& stream)
{
    ReleaseHandle();
    BasePosition = stream.Position();
    ReadImageProperties(stream, 0);
    stream.SetPosition(BasePosition);

    const TTargaHeader h = ReadHeader(stream);
    stream.Seek(h.IDLength, soCurrent);
    SetUpConversion(ColorManager, ImageProperties);
    SetPixelFormat(ColorManager.GetPixelFormat(1));
    ReadColorMap(stream, h);

    const int64_t rowSize = int64_t(h.Width) * TargaPixelSize(h.PixelSize);
    const bool raw = h.ImageType >= 1 && h.ImageType <= 3;
    const bool rle = h.ImageType >= 9 && h.ImageType <= 11;
    // Plain rows must all be in the file: refuse before taking the memory.
    if (raw && stream.Remaining() < rowSize * h.Height) throw EReadError();
    SetSize(h.Width, h.Height);
    if (Width() == 0 || Height() == 0) return;
    GrantOutputWork(uint64_t(RowBytes()) * uint64_t(Height()));

    if (raw) ReadRawRows(stream, h, rowSize);
    else if (rle) ReadPackedRows(stream, h, rowSize);
}

// The colour map, if any, and the palette: gray for gray pictures (whose map
// is read and unused), else the map's entries of 24, 32, 15 or 16 bits.
void TTargaGraphic::ReadColorMap(TStream& stream, const TTargaHeader& h)
{
    const bool gray = h.ImageType == 3 || h.ImageType == 11;
    if (h.ColorMapType != 1 && !gray) return;
    std::vector<uint8_t> map;
    if (h.ColorMapType == 1) {
        const int entryBytes = (h.ColorMapEntrySize + 7) / 8;
        map.resize(static_cast<size_t>(h.ColorMapSize) * entryBytes);
        ChargeWork(map.size());
        stream.ReadBuffer(map.data(), static_cast<int64_t>(map.size()));
    }
    if (gray) {
        SetPalette(ColorManager.CreateGrayscalePalette(false));
        return;
    }
    const void* data[1] = {map.data()};
    switch (h.ColorMapEntrySize) {
    case 24: SetPalette(ColorManager.CreateColorPalette(data, pfInterlaced8Triple, h.ColorMapSize, true)); break;
    case 32: SetPalette(ColorManager.CreateColorPalette(data, pfInterlaced8Quad, h.ColorMapSize, true)); break;
    case 15:
    case 16: SetPalette(Palette555(map, h.ColorMapSize < 256 ? h.ColorMapSize : 256)); break;
    default: break;
    }
}

// Rows are stored from the bottom up unless the descriptor says top first.
uint8_t* TTargaGraphic::RowOf(const TTargaHeader& h, int y)
{
    return ScanLine((h.ImageDescriptor & 0x20) != 0 ? y : h.Height - 1 - y);
}

void TTargaGraphic::ReadRawRows(TStream& stream, const TTargaHeader& h, int64_t rowSize)
{
    for (int y = 0; y < h.Height; ++y) {
        ChargeWork(kRowSetUp + uint64_t(rowSize));
        stream.ReadBuffer(RowOf(h, y), rowSize);
    }
}

// Packets may run on from one row into the next: the decoder keeps what a
// row left unfinished, and the stream goes back to the first byte unused.
void TTargaGraphic::ReadPackedRows(TStream& stream, const TTargaHeader& h, int64_t rowSize)
{
    auto decoder = std::make_unique<TTargaRLEDecoder>(h.PixelSize);
    std::vector<uint8_t> buffer(static_cast<size_t>(2 * rowSize));
    for (int y = 0; y < h.Height; ++y) {
        // Up to twice the row's bytes are read, and the row decoded from them.
        ChargeWork(kRowSetUp + 3 * uint64_t(rowSize));
        const int64_t got = stream.Read(buffer.data(), 2 * rowSize);
        void* source = buffer.data();
        void* dest = RowOf(h, y);
        decoder->Decode(source, dest, static_cast<int32_t>(got), h.Width);
        const int64_t used = static_cast<uint8_t*>(source) - buffer.data();
        stream.Seek(used - got, soCurrent);
    }
}

void TTargaGraphic::SaveToStream(TStream& stream) { SaveToStream(stream, true); }

void TTargaGraphic::SaveToStream(TStream& stream, bool compressed)
{
    int pixelBytes;
    switch (PixelFormat()) {
    case pf1bit:
    case pf4bit:
        SetPixelFormat(pf8bit);
        pixelBytes = 1;
        break;
    case pf8bit: pixelBytes = 1; break;
    case pf15bit:
    case pf16bit: pixelBytes = 2; break;
    case pf24bit: pixelBytes = 3; break;
    case pf32bit: pixelBytes = 4; break;
    default: pixelBytes = BitsPerPixelOf(pfDevice) / 8; break;  // the screen's depth
    }
    if (Empty()) return;

    TTargaHeader h;
    std::memset(&h, 0, sizeof h);
    h.ColorMapType = pixelBytes == 1 ? 1 : 0;
    h.ImageType = static_cast<uint8_t>(pixelBytes == 1 ? (compressed ? 9 : 1) : (compressed ? 10 : 2));
    h.ColorMapSize = 256;
    h.ColorMapEntrySize = 24;
    h.Width = static_cast<uint16_t>(Width());
    h.Height = static_cast<uint16_t>(Height());
    h.PixelSize = static_cast<uint8_t>(pixelBytes * 8);
    // Rows are written from the top one down, so the file says so.
    h.ImageDescriptor = 0x20;
    stream.Write(&h, sizeof h);

    if (pixelBytes == 1) {
        uint8_t map[256 * 3] = {};
        const HPALETTE palette = Palette();
        const size_t n = palette ? std::min<size_t>(palette->entries.size(), 256) : 0;
        for (size_t i = 0; i < n; ++i) {
            map[3 * i] = palette->entries[i].peBlue;
            map[3 * i + 1] = palette->entries[i].peGreen;
            map[3 * i + 2] = palette->entries[i].peRed;
        }
        stream.WriteBuffer(map, sizeof map);
    }

    const int w = h.Width;
    const size_t rowSize = static_cast<size_t>(w) * pixelBytes;
    std::vector<uint8_t> row(rowSize), packed(2 * rowSize);
    TTargaRLEDecoder encoder(pixelBytes * 8);
    for (int y = 0; y < h.Height; ++y) {
        const uint8_t* line = ScanLine(y);
        if (PixelFormat() == pf16bit) {
            // Truevision's 16 bits are 5-5-5: move the 5-6-5 pixels over.
            for (int x = 0; x < w; ++x) {
                const unsigned v = line[2 * x] | (line[2 * x + 1] << 8);
                const unsigned o = ((v >> 1) & 0x7FE0) | (v & 0x1F);
                row[2 * x] = static_cast<uint8_t>(o);
                row[2 * x + 1] = static_cast<uint8_t>(o >> 8);
            }
            line = row.data();
        }
        if (compressed) {
            int32_t stored = 0;
            encoder.Encode(const_cast<uint8_t*>(line), packed.data(), w, stored);
            stream.WriteBuffer(packed.data(), stored);
        } else {
            stream.WriteBuffer(line, static_cast<int64_t>(rowSize));
        }
    }
}
