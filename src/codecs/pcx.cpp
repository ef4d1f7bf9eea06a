#include "codecs/pcx.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <span>
#include <vector>

#include "codecs/decoders.h"
#include "codecs/reader_helpers.h"
#include "platform/rtl/classes.h"

namespace {

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the PCX header is read as stored");

// The work of storing a row, whatever its size.
constexpr uint64_t kRowSetUp = 64;

TPCXHeader ReadHeader(TStream& stream) { return ReadStoredHeader<TPCXHeader>(stream); }

// The plane layouts with a bitmap of their own: one plane of 1, 2, 4 or 8
// bits, three or four planes of 1 bit (8 or 16 colours) and three or four
// planes of 8 bits (true colour, with alpha in the fourth).
bool SupportedLayout(int planes, int bits)
{
    if (planes == 1) return bits == 1 || bits == 2 || bits == 4 || bits == 8;
    if (planes == 3 || planes == 4) return bits == 1 || bits == 8;
    return false;
}

// Three or four planes of 1 bit: 8 or 16 colours, merged into 4-bit pixels.
bool BitPlanes(const TPCXHeader& h) { return h.BitsPerPixel == 1 && h.PlaneCount > 1; }
// Three or four planes of 8 bits: red, green, blue and alpha.
bool TrueColor(const TPCXHeader& h) { return h.BitsPerPixel == 8 && h.PlaneCount > 1; }

// True colour goes to BGR or BGRA; the rest stays indexed, 2-bit pixels
// widened to 4 bits.
void SetUpConversion(TColorManager& cm, const TImageProperties& p, const TPCXHeader& h)
{
    const int planes = h.PlaneCount, bits = h.BitsPerPixel;
    TColorScheme source = p.ColorScheme;
    if (TrueColor(h)) source = planes == 4 ? csRGBA : csRGB;
    cm.SourceOptions = 0;
    cm.TargetOptions = 0;
    cm.SetSource(source, bits, planes);
    cm.SetTarget(source == csIndexed ? csIndexed : (source == csRGBA ? csBGRA : csBGR), p.BitsPerPixel == 2 ? 4 : bits,
                 planes);
}

// The rows of rowSize bytes (not zero) that dataSize bytes of data (not
// negative) can fill: a packet of two bytes gives at most 63, raw data one
// byte each. Rows beyond that read as zeros.
uint64_t RowsHeld(bool packed, int64_t dataSize, uint32_t height, uint64_t rowSize)
{
    assert(rowSize > 0 && dataSize >= 0);
    const uint64_t reachable = packed ? 32 * uint64_t(dataSize) : uint64_t(dataSize);
    return std::min<uint64_t>(height, reachable / rowSize + 1);
}

}  // namespace

bool TPCXGraphic::CanLoad(TStream& stream)
{
    return TestHeader<TPCXHeader>(stream, [](TStream& s) {
        const TPCXHeader h = ReadHeader(s);
        return (h.Manufacturer == 10 || h.Manufacturer == 12) &&
               (h.Version == 0 || h.Version == 2 || h.Version == 3 || h.Version == 5) && h.Encoding < 2;
    });
}

bool TPCXGraphic::ReadImageProperties(TStream& stream, unsigned ImageIndex)
{
    TCodecGraphic::ReadImageProperties(stream, ImageIndex);
    const TPCXHeader h = ReadHeader(stream);
    if (h.Manufacturer != 10 && h.Manufacturer != 205) return false;
    const int width = h.XMax - h.XMin + 1;
    const int height = h.YMax - h.YMin + 1;
    if (width <= 0 || height <= 0) return false;
    TImageProperties& p = ImageProperties;
    p.Width = static_cast<uint32_t>(width);
    p.Height = static_cast<uint32_t>(height);
    p.SamplesPerPixel = h.PlaneCount;
    p.BitsPerSample = h.BitsPerPixel;
    const int bitsPerPixel = h.PlaneCount * h.BitsPerPixel;
    p.BitsPerPixel = static_cast<uint8_t>(bitsPerPixel);
    p.ColorScheme = bitsPerPixel > 8 ? csRGB : csIndexed;
    p.Compression = h.Encoding == 1 ? ctRLE : ctNone;
    p.XResolution = h.HRes;
    p.YResolution = h.VRes;
    return true;
}

void TPCXGraphic::LoadFromStream(TStream& stream)
{
    LoadMetered(stream, "PCX or SCR", [&] { Load(stream); });
}

void TPCXGraphic::Load(TStream& stream)
{
    ReleaseHandle();
    BasePosition = stream.Position();
    if (!ReadImageProperties(stream, 0)) return;
    stream.SetPosition(BasePosition);
    const TPCXHeader h = ReadHeader(stream);
    const int64_t dataStart = stream.Position();

    const TImageProperties& p = ImageProperties;
    SetUpConversion(ColorManager, p, h);
    if (!SupportedLayout(h.PlaneCount, h.BitsPerPixel)) CodecError(gesInvalidColorFormat, {"PCX"});
    const TPixelFormat format = BitPlanes(h) ? pf4bit : ColorManager.GetPixelFormat(1);
    SetPixelFormat(format);
    // The trailing palette of 256 colours is no pixel data.
    const int64_t dataSize = std::max<int64_t>(stream.Size() - dataStart - (format == pf8bit ? 769 : 0), 0);
    ReadPalette(stream, h, format, dataStart);

    SetBitmapSize(*this, p.Width, p.Height);
    GrantOutputWork(uint64_t(RowBytes()) * p.Height);
    // Every plane row must hold its pixels.
    if (uint64_t(h.BytesPerLine) * 8 < uint64_t(p.Width) * h.BitsPerPixel) CodecError(gesInvalidImage, {"PCX or SCR"});
    const uint64_t rowSize = uint64_t(h.PlaneCount) * h.BytesPerLine;
    ReadRows(stream, h, dataSize, RowsHeld(p.Compression == ctRLE, dataSize, p.Height, rowSize));
}

// The palette of the pixel format: gray for 1 bit, the header's 16 colours
// for 4 bits and the trailing 256 colours for 8 bits, unless the palette type
// says gray.
void TPCXGraphic::ReadPalette(TStream& stream, const TPCXHeader& h, TPixelFormat format, int64_t dataStart)
{
    if (format == pf1bit) {
        SetPalette(ColorManager.CreateGrayscalePalette(false));
    } else if (format == pf4bit) {
        if (h.PaletteType == 2) {
            SetPalette(ColorManager.CreateGrayscalePalette(false));
        } else {
            const void* data[1] = {h.ColorMap};
            SetPalette(ColorManager.CreateColorPalette(data, pfInterlaced8Triple, 16, false));
        }
    } else if (format == pf8bit) {
        ReadTrailingPalette(stream, h, dataStart);
    }
}

// The 256 colours after marker 12 in the last 769 bytes of the file; without
// the marker the palette type may still say gray. The stream is put back.
void TPCXGraphic::ReadTrailingPalette(TStream& stream, const TPCXHeader& h, int64_t dataStart)
{
    const int64_t keep = stream.Position();
    const int64_t at = stream.Size() - 769;
    uint8_t marker = 0;
    if (at >= dataStart) {
        stream.SetPosition(at);
        stream.Read(&marker, 1);
    }
    if (marker == 12) {
        uint8_t map[768] = {};
        stream.Read(map, sizeof map);
        const void* data[1] = {map};
        SetPalette(ColorManager.CreateColorPalette(data, pfInterlaced8Triple, 256, false));
    } else if (h.PaletteType == 2) {
        SetPalette(ColorManager.CreateGrayscalePalette(false));
    }
    stream.SetPosition(keep);
}

// Every row into its scan line, decoded (or read) one at a time from the
// dataSize bytes of pixel data; rows from rowsHeld on read as zeros.
// Packets may run on from one row into the next: the decoder carries a run
// the end of a row cuts over into the next row.
void TPCXGraphic::ReadRows(TStream& stream, const TPCXHeader& h, int64_t dataSize, uint64_t rowsHeld)
{
    const uint32_t height = ImageProperties.Height;
    const bool packed = ImageProperties.Compression == ctRLE;
    const uint64_t rowSize = uint64_t(h.PlaneCount) * h.BytesPerLine;
    std::vector<uint8_t> data;
    if (packed) {
        data.resize(static_cast<size_t>(std::min<int64_t>(dataSize, INT32_MAX)));
        ChargeWork(data.size());
        data.resize(static_cast<size_t>(stream.Read(data.data(), static_cast<int64_t>(data.size()))));
    }
    TPCXRLEDecoder decoder(true);
    void* source = data.data();
    const uint8_t* const end = data.data() + data.size();
    int64_t rawLeft = dataSize;
    std::vector<uint8_t> row(static_cast<size_t>(rowSize));
    for (uint32_t y = 0; y < height; ++y) {
        ChargeWork(kRowSetUp + uint64_t(RowBytes()) +
                   (BitPlanes(h) ? uint64_t(ImageProperties.Width) * h.PlaneCount : 0));
        if (y < rowsHeld) {
            ChargeWork(2 * rowSize);
            std::memset(row.data(), 0, row.size());
            if (packed) {
                void* dest = row.data();
                decoder.Decode(source, dest, static_cast<int32_t>(end - static_cast<uint8_t*>(source)),
                               static_cast<int32_t>(rowSize));
            } else {
                const int64_t n = std::min<int64_t>(int64_t(rowSize), rawLeft);
                rawLeft -= std::max<int64_t>(stream.Read(row.data(), n), 0);
            }
        } else if (y == rowsHeld) {
            std::memset(row.data(), 0, row.size());
        }
        StoreRow(h, row.data(), ScanLine(static_cast<int>(y)));
    }
}

// A row of all planes into its scan line.
void TPCXGraphic::StoreRow(const TPCXHeader& h, const uint8_t* row, uint8_t* line)
{
    const uint32_t width = ImageProperties.Width;
    const int planes = h.PlaneCount;
    const uint32_t bytesPerLine = h.BytesPerLine;
    if (BitPlanes(h)) {
        // Pixel value bit k comes from plane k, most significant bit first.
        for (uint32_t x = 0; x < width; ++x) {
            const uint32_t byte = x >> 3, shift = 7 - (x & 7);
            unsigned v = 0;
            for (int k = 0; k < planes; ++k) v |= ((row[k * bytesPerLine + byte] >> shift) & 1u) << k;
            if (x & 1) line[x >> 1] = static_cast<uint8_t>(line[x >> 1] | v);
            else line[x >> 1] = static_cast<uint8_t>(v << 4);
        }
    } else if (TrueColor(h)) {
        const void* rows[4] = {row, row + bytesPerLine, row + 2 * bytesPerLine, row + 3 * bytesPerLine};
        ColorManager.ConvertRow(std::span<const void* const>(rows, static_cast<size_t>(planes)), line, width);
    } else {
        ColorManager.ConvertRow({row}, line, width);
    }
}
