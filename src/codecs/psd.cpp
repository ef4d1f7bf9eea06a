#include "codecs/psd.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <numeric>
#include <span>
#include <vector>

#include "codecs/decoders.h"
#include "codecs/reader_helpers.h"
#include "platform/rtl/classes.h"

namespace {

const char* const kLabel = "PSD or PDD";
// The work of decoding and converting a row, whatever its size.
constexpr uint64_t kRowSetUp = 64;

// Reads the header (raising on a short stream) and puts its numbers into
// this machine's order.
TPSDHeader ReadHeader(TStream& stream)
{
    TPSDHeader h;
    stream.ReadBuffer(&h, sizeof h);
    const auto* raw = reinterpret_cast<const uint8_t*>(&h);
    h.Version = ReadBE16(raw + 4);
    h.Channels = ReadBE16(raw + 12);
    h.Rows = ReadBE32(raw + 14);
    h.Columns = ReadBE32(raw + 18);
    h.Depth = ReadBE16(raw + 22);
    h.Mode = ReadBE16(raw + 24);
    return h;
}

uint32_t ReadLength(TStream& stream)
{
    uint8_t b[4];
    stream.ReadBuffer(b, 4);
    return ReadBE32(b);
}

void SkipSection(TStream& stream) { stream.Seek(ReadLength(stream), soCurrent); }

// How the channels of a colour mode become the bitmap's pixels.
struct TPlaneLayout {
    int Planes = 0;  // planes the picture is made of; the file must hold at least these
    TColorScheme Target = csUnknown;
    int TargetSamples = 0;
    TConversionOptions SourceOptions = optSwapBytes;
};

TPlaneLayout LayoutOf(const TImageProperties& p)
{
    switch (p.ColorScheme) {
    case csIndexed:
    case csG:
        // Further channels beside the one plane (alpha, spot colours) are
        // not part of the picture.
        return {1, p.ColorScheme, 1, optSwapBytes};
    case csRGB: return {3, csBGR, 3, optSwapBytes};
    case csRGBA: return {4, csBGRA, 4, optSwapBytes};
    case csCMYK: return {4, csBGR, 3, optSwapBytes};
    case csCIELab: return {3, csBGR, 3, optSwapBytes | optLabByteL | optLabOffsetAB};
    default: return {0, p.ColorScheme, p.SamplesPerPixel, optSwapBytes};  // a mode without pixels of ours
    }
}

// The colour manager takes the layout's planes to its target; 16-bit samples
// are brought down to 8 bits.
void SetUpConversion(TColorManager& cm, const TImageProperties& p, const TPlaneLayout& l)
{
    cm.SourceOptions = l.SourceOptions;
    cm.TargetOptions = 0;
    cm.SetSource(p.ColorScheme, p.BitsPerSample, l.Planes ? l.Planes : p.SamplesPerPixel);
    cm.SetTarget(l.Target, p.BitsPerSample == 16 ? 8 : p.BitsPerSample, l.TargetSamples);
}

// The packed length of every row of every channel, channel after channel.
std::vector<uint16_t> ReadRowLengths(TStream& stream, uint32_t height, uint32_t channels)
{
    const uint64_t count = uint64_t(height) * channels;
    RequireBytes(stream, 2 * count);
    ChargeWork(2 * count);
    std::vector<uint16_t> rowLengths(static_cast<size_t>(count));
    stream.ReadBuffer(rowLengths.data(), static_cast<int64_t>(2 * count));
    SwapShort(rowLengths.data(), static_cast<uint32_t>(count));
    return rowLengths;
}

// The packed rows of the lengths given, as stored; the data must be there
// before it takes its memory.
std::vector<uint8_t> ReadPackedData(TStream& stream, std::span<const uint16_t> rowLengths)
{
    const uint64_t total = std::accumulate(rowLengths.begin(), rowLengths.end(), uint64_t(0));
    RequireBytes(stream, total);
    ChargeWork(total);
    std::vector<uint8_t> data(static_cast<size_t>(total));
    stream.ReadBuffer(data.data(), static_cast<int64_t>(total));
    return data;
}

// The packed rows of all channels, unpacked into at most `size` bytes: as
// many whole rows of rowStride bytes as the packed data can fill. The data
// must be there before the planes take their memory.
std::vector<uint8_t> UnpackChannels(TStream& stream, const std::vector<uint16_t>& rowLengths, uint64_t size,
                                    uint64_t rowStride)
{
    std::vector<uint8_t> data = ReadPackedData(stream, rowLengths);
    const uint64_t reach =
        (TPackbitsRLEDecoder::MostUnpackedPerByte * data.size() + rowStride - 1) / rowStride * rowStride;
    std::vector<uint8_t> buffer(static_cast<size_t>(std::min(size, reach)));
    ChargeWork(buffer.size());
    // The channels follow one another, so one call fills every plane used;
    // the planes after them are not needed.
    void* s = data.data();
    void* d = buffer.data();
    TPackbitsRLEDecoder().Decode(s, d, static_cast<int32_t>(std::min<uint64_t>(data.size(), INT32_MAX)),
                                 static_cast<int32_t>(std::min<uint64_t>(buffer.size(), INT32_MAX)));
    return buffer;
}

// The first planes of the raw channels; the data of every channel must be
// there before the planes take their memory.
std::vector<uint8_t> ReadRawChannels(TStream& stream, uint64_t planeSize, int planes, uint32_t channels)
{
    RequireBytes(stream, planeSize * channels);
    ChargeWork(planeSize * planes);
    std::vector<uint8_t> buffer(static_cast<size_t>(planeSize * planes));
    stream.ReadBuffer(buffer.data(), static_cast<int64_t>(buffer.size()));
    return buffer;
}

}  // namespace

bool TPSDGraphic::CanLoad(TStream& stream)
{
    return TestHeader<TPSDHeader>(stream, [](TStream& s) {
        const TPSDHeader h = ReadHeader(s);
        char signature[4];
        for (int i = 0; i < 4; ++i)
            signature[i] =
                (h.Signature[i] >= 'a' && h.Signature[i] <= 'z') ? char(h.Signature[i] - 32) : h.Signature[i];
        return std::memcmp(signature, "8BPS", 4) == 0 && h.Version == 1;
    });
}

bool TPSDGraphic::ReadImageProperties(TStream& stream, unsigned ImageIndex)
{
    TCodecGraphic::ReadImageProperties(stream, ImageIndex);
    const TPSDHeader h = ReadHeader(stream);
    if (std::memcmp(h.Signature, "8BPS", 4) != 0) return false;

    TImageProperties& p = ImageProperties;
    p.Options = ioBigEndian;
    p.BitsPerSample = static_cast<uint8_t>(h.Depth);
    p.Channels = static_cast<uint8_t>(h.Channels);
    p.SamplesPerPixel = static_cast<uint8_t>(std::min<uint16_t>(h.Channels, 4));
    p.BitsPerPixel = static_cast<uint8_t>(p.BitsPerSample * p.SamplesPerPixel);
    switch (h.Mode) {
    case psdBitmap:
        p.ColorScheme = csG;
        p.Options |= ioMinIsWhite;
        break;
    case psdGrayscale:
    case psdDuotone: p.ColorScheme = csG; break;
    case psdIndexed: p.ColorScheme = csIndexed; break;
    case psdRGB:
    case psdMultichannel: p.ColorScheme = h.Channels == 3 ? csRGB : csRGBA; break;
    case psdCMYK: p.ColorScheme = csCMYK; break;
    case psdLab: p.ColorScheme = csCIELab; break;
    default: p.ColorScheme = csUnknown; break;
    }
    p.Width = h.Columns;
    p.Height = h.Rows;

    SkipSection(stream);  // colour mode data
    SkipSection(stream);  // image resources
    SkipSection(stream);  // layer and mask information
    uint8_t compression[2];
    stream.ReadBuffer(compression, 2);
    p.Compression = ReadBE16(compression) == 1 ? ctPackedBits : ctNone;
    return true;
}

void TPSDGraphic::LoadFromStream(TStream& stream)
{
    LoadMetered(stream, kLabel, [&] { Load(stream); });
}

void TPSDGraphic::Load(TStream& stream)
{
    ReleaseHandle();
    BasePosition = stream.Position();
    if (!ReadImageProperties(stream, 0)) CodecError(gesInvalidImage, {kLabel});
    stream.SetPosition(BasePosition);
    // The full channel count: it sizes the row-length table and the raw data.
    const uint32_t channels = ReadHeader(stream).Channels;

    const TImageProperties& p = ImageProperties;
    const TPlaneLayout layout = LayoutOf(p);
    if (channels < static_cast<uint32_t>(layout.Planes)) CodecError(gesInvalidImage, {kLabel});
    SetUpConversion(ColorManager, p, layout);
    SetPixelFormat(ColorManager.GetPixelFormat(1));

    ReadColorModeData(stream);
    SkipSection(stream);        // image resources
    SkipSection(stream);        // layer and mask information
    stream.Seek(2, soCurrent);  // the compression, taken with the properties

    SetBitmapSize(*this, p.Width, p.Height);
    if (layout.Planes == 0 || p.Width == 0 || p.Height == 0) return;  // a mode without pixels of ours
    GrantOutputWork(uint64_t(RowBytes()) * p.Height);

    std::vector<uint16_t> rowLengths;
    if (p.Compression == ctPackedBits) rowLengths = ReadRowLengths(stream, p.Height, channels);
    if (p.ColorScheme == csIndexed || p.ColorScheme == csG) ReadOnePlane(stream, rowLengths);
    else ReadColorPlanes(stream, rowLengths, layout.Planes, channels);
}

// Colour mode data: the palette of indexed pictures, skipped otherwise.
void TPSDGraphic::ReadColorModeData(TStream& stream)
{
    const TImageProperties& p = ImageProperties;
    const uint32_t modeDataLength = ReadLength(stream);
    if (p.ColorScheme == csIndexed) {
        uint8_t map[768] = {};
        const uint32_t n = std::min<uint32_t>(modeDataLength, sizeof map);
        stream.ReadBuffer(map, n);
        stream.Seek(modeDataLength - n, soCurrent);
        const void* data[3] = {map, map + 256, map + 512};
        SetPalette(ColorManager.CreateColorPalette(data, pfPlane8Triple, n / 3, false));
    } else {
        stream.Seek(modeDataLength, soCurrent);
        if (p.ColorScheme == csG) SetPalette(ColorManager.CreateGrayscalePalette((p.Options & ioMinIsWhite) != 0));
    }
}

// Rows of 1 and 8 bits are stored as the bitmap stores them and 16 bits are
// brought down to 8; Photoshop writes no other depth.
void TPSDGraphic::ReadOnePlane(TStream& stream, const std::vector<uint16_t>& rowLengths)
{
    const TImageProperties& p = ImageProperties;
    if (p.BitsPerSample != 1 && p.BitsPerSample != 8 && p.BitsPerSample != 16) CodecError(gesInvalidImage, {kLabel});
    const uint32_t rowBytes = static_cast<uint32_t>((uint64_t(p.Width) * p.BitsPerSample + 7) / 8);
    if (p.Compression == ctPackedBits) ReadPackedPlaneRows(stream, rowLengths, rowBytes);
    else ReadRawPlaneRows(stream, rowBytes);
}

// Rows whose samples the bitmap stores as they are go straight into their
// scan line; 16-bit samples are brought down to 8 bits through a row buffer.
bool TPSDGraphic::RowsAreDirect() const
{
    return ColorManager.SourceBitsPerSample() == ColorManager.TargetBitsPerSample();
}

void TPSDGraphic::ReadPackedPlaneRows(TStream& stream, const std::vector<uint16_t>& rowLengths, uint32_t rowBytes)
{
    const uint32_t width = ImageProperties.Width, height = ImageProperties.Height;
    assert(rowLengths.size() >= height);
    const std::span<const uint16_t> lengths = std::span(rowLengths).first(height);
    const bool direct = RowsAreDirect();
    // The row buffer holds what the longest packed row can fill, not what
    // the header claims. The buffer keeps what earlier rows left in it, as the
    // samples of a row whose data falls short; beyond the most any row
    // filled it holds zeros, which come out as the zeros the bitmap holds.
    auto canFill = [&](uint64_t length) {
        return std::min<uint64_t>(rowBytes, TPackbitsRLEDecoder::MostUnpackedPerByte * length);
    };
    const uint64_t longest = lengths.empty() ? 0 : *std::max_element(lengths.begin(), lengths.end());
    std::vector<uint8_t> row(direct ? 0 : static_cast<size_t>(canFill(longest)));
    SampleBufferBytes += int64_t(row.size());
    // The first channel's rows.
    std::vector<uint8_t> data = ReadPackedData(stream, lengths);
    TPackbitsRLEDecoder decoder;
    uint8_t* source = data.data();
    uint64_t held = 0;  // bytes of the row buffer that some row filled
    for (uint32_t y = 0; y < height; ++y) {
        ChargeWork(kRowSetUp + rowLengths[y] + uint64_t(RowBytes()) + (direct ? 0 : canFill(rowLengths[y])));
        void* s = source;
        if (direct) {
            void* d = ScanLine(static_cast<int>(y));
            decoder.Decode(s, d, rowLengths[y], static_cast<int32_t>(rowBytes));
        } else {
            const uint64_t filled = canFill(rowLengths[y]);
            void* d = row.data();
            decoder.Decode(s, d, rowLengths[y], static_cast<int32_t>(filled));
            held = std::max(held, filled);
            const auto samples = static_cast<uint32_t>(std::min<uint64_t>(width, held / 2));
            ColorManager.ConvertRow({row.data()}, ScanLine(static_cast<int>(y)), samples);
        }
        source += rowLengths[y];
    }
}

// Raw rows must all be in the file before the row buffer takes its memory.
void TPSDGraphic::ReadRawPlaneRows(TStream& stream, uint32_t rowBytes)
{
    const uint32_t width = ImageProperties.Width, height = ImageProperties.Height;
    RequireBytes(stream, uint64_t(rowBytes) * height);
    const bool direct = RowsAreDirect();
    std::vector<uint8_t> row(direct ? 0 : rowBytes);
    SampleBufferBytes += int64_t(row.size());
    for (uint32_t y = 0; y < height; ++y) {
        ChargeWork(kRowSetUp + rowBytes + uint64_t(RowBytes()));
        if (direct) {
            stream.ReadBuffer(ScanLine(static_cast<int>(y)), rowBytes);
        } else {
            stream.ReadBuffer(row.data(), rowBytes);
            ColorManager.ConvertRow({row.data()}, ScanLine(static_cast<int>(y)), width);
        }
    }
}

// Colour pictures: one plane per channel, the first planes converted row by row.
void TPSDGraphic::ReadColorPlanes(TStream& stream, const std::vector<uint16_t>& rowLengths, int planes,
                                  uint32_t channels)
{
    assert(planes >= 1 && planes <= 4 && channels >= static_cast<uint32_t>(planes));
    const TImageProperties& p = ImageProperties;
    const uint32_t width = p.Width, height = p.Height;
    const uint32_t sampleBytes = p.BitsPerSample / 8;
    if (sampleBytes != 1 && sampleBytes != 2) return;  // no converter takes other depths
    const uint64_t rowStride = uint64_t(width) * sampleBytes;
    const uint64_t planeSize = rowStride * height;
    std::vector<uint8_t> buffer = p.Compression == ctPackedBits
                                      ? UnpackChannels(stream, rowLengths, planeSize * planes, rowStride)
                                      : ReadRawChannels(stream, planeSize, planes, channels);
    SampleBufferBytes += int64_t(buffer.size());
    if (p.ColorScheme == csCMYK) {
        ChargeWork(buffer.size());
        // CMYK samples are stored inverted (0 is full ink); complementing
        // every byte complements 16-bit samples too, in either byte order.
        for (uint8_t& b : buffer) b = static_cast<uint8_t>(255 - b);
    }

    // Rows beyond what the packed data filled are zeros as stored (full ink
    // for CMYK); from the first row that plane 0 lacks on, every plane lacks
    // it, so those rows all come out like that first one.
    const std::vector<uint8_t> stored(static_cast<size_t>(rowStride), p.ColorScheme == csCMYK ? 255 : 0);
    const uint64_t rowsHeld = std::min<uint64_t>(height, buffer.size() / rowStride);
    const void* rows[4] = {};
    for (uint32_t y = 0; y < height; ++y) {
        ChargeWork(kRowSetUp + uint64_t(RowBytes()));
        if (y > rowsHeld) {
            CopyScanLine(*this, static_cast<int>(y), static_cast<int>(rowsHeld));
            continue;
        }
        for (int k = 0; k < planes; ++k) {
            const uint64_t at = k * planeSize + y * rowStride;
            rows[k] = at + rowStride <= buffer.size() ? buffer.data() + at : stored.data();
        }
        ColorManager.ConvertRow(std::span<const void* const>(rows, static_cast<size_t>(planes)),
                                ScanLine(static_cast<int>(y)), width);
    }
}
