#include "codecs/pcx.h"

#include <algorithm>
#include <cassert>
#include <vector>

#include "codecs/decoders.h"
#include "codecs/reader_helpers.h"
#include "platform/rtl/classes.h"

namespace {

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the PCX header is read as stored");

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

// The pixel data of dataSize bytes, unpacked when packed, in size bytes;
// what it does not fill stays zero.
std::vector<uint8_t> ReadPixelData(TStream& stream, bool packed, int64_t dataSize, uint64_t size)
{
    std::vector<uint8_t> pixels(static_cast<size_t>(size));
    const int32_t packedSize = static_cast<int32_t>(std::min<int64_t>(dataSize, INT32_MAX));
    if (packed) {
        std::vector<uint8_t> data(static_cast<size_t>(packedSize));
        const int64_t got = stream.Read(data.data(), packedSize);
        void* source = data.data();
        void* dest = pixels.data();
        TPCXRLEDecoder decoder;
        decoder.Decode(source, dest, static_cast<int32_t>(got),
                       static_cast<int32_t>(std::min<uint64_t>(pixels.size(), INT32_MAX)));
    } else {
        stream.Read(pixels.data(), std::min<int64_t>(packedSize, static_cast<int64_t>(pixels.size())));
    }
    return pixels;
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
    // Every plane row must hold its pixels.
    if (uint64_t(h.BytesPerLine) * 8 < uint64_t(p.Width) * h.BitsPerPixel) CodecError(gesInvalidImage, {"PCX or SCR"});
    const uint64_t rowSize = uint64_t(h.PlaneCount) * h.BytesPerLine;
    const uint64_t rowsHeld = RowsHeld(p.Compression == ctRLE, dataSize, p.Height, rowSize);
    StoreRows(h, ReadPixelData(stream, p.Compression == ctRLE, dataSize, rowsHeld * rowSize), rowsHeld);
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

// Every row into its scan line; rows from rowsHeld on read as zeros.
void TPCXGraphic::StoreRows(const TPCXHeader& h, const std::vector<uint8_t>& pixels, uint64_t rowsHeld)
{
    const uint32_t width = ImageProperties.Width, height = ImageProperties.Height;
    const int planes = h.PlaneCount;
    const uint32_t bytesPerLine = h.BytesPerLine;
    const uint64_t rowSize = uint64_t(planes) * bytesPerLine;
    assert(pixels.size() >= rowsHeld * rowSize);
    const bool bitPlanes = BitPlanes(h), trueColor = TrueColor(h);
    const std::vector<uint8_t> zeroRow(static_cast<size_t>(rowSize));
    const uint8_t* const data = pixels.data();
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* row = y < rowsHeld ? data + y * rowSize : zeroRow.data();
        uint8_t* line = ScanLine(static_cast<int>(y));
        if (bitPlanes) {
            // Pixel value bit k comes from plane k, most significant bit first.
            for (uint32_t x = 0; x < width; ++x) {
                const uint32_t byte = x >> 3, shift = 7 - (x & 7);
                unsigned v = 0;
                for (int k = 0; k < planes; ++k) v |= ((row[k * bytesPerLine + byte] >> shift) & 1u) << k;
                if (x & 1) line[x >> 1] = static_cast<uint8_t>(line[x >> 1] | v);
                else line[x >> 1] = static_cast<uint8_t>(v << 4);
            }
        } else if (trueColor) {
            const void* rows[4] = {row, row + bytesPerLine, row + 2 * bytesPerLine, row + 3 * bytesPerLine};
            ColorManager.ConvertRow(std::span<const void* const>(rows, static_cast<size_t>(planes)), line, width);
        } else {
            ColorManager.ConvertRow({row}, line, width);
        }
    }
}
