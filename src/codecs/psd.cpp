#include "codecs/psd.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "codecs/decoders.h"
#include "codecs/reader_helpers.h"
#include "platform/rtl/classes.h"

namespace {

const char* const kLabel = "PSD or PDD";

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

// Fails like a raising read when the stream cannot hold count more bytes,
// before anything of that size is allocated.
void RequireBytes(TStream& stream, uint64_t count)
{
    if (static_cast<uint64_t>(stream.Remaining()) < count) throw EReadError();
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
    ReleaseHandle();
    BasePosition = stream.Position();
    if (!ReadImageProperties(stream, 0)) CodecError(gesInvalidImage, {kLabel});
    stream.SetPosition(BasePosition);
    const TPSDHeader header = ReadHeader(stream);
    // The full channel count: it sizes the row-length table and the raw data.
    const uint32_t channels = header.Channels;

    const TImageProperties& p = ImageProperties;
    const uint32_t width = p.Width, height = p.Height;
    const bool onePlane = p.ColorScheme == csIndexed || p.ColorScheme == csG;
    // Planes the picture is made of; the file must hold at least these.
    int planes = 0;
    TColorScheme target = p.ColorScheme;
    int targetSamples = p.SamplesPerPixel;
    TConversionOptions sourceOptions = optSwapBytes;
    switch (p.ColorScheme) {
    case csIndexed:
    case csG:
        // Further channels beside the one plane (alpha, spot colours) are
        // not part of the picture.
        planes = 1;
        targetSamples = 1;
        break;
    case csRGB:
        planes = 3;
        target = csBGR;
        targetSamples = 3;
        break;
    case csRGBA:
        planes = 4;
        target = csBGRA;
        targetSamples = 4;
        break;
    case csCMYK:
        planes = 4;
        target = csBGR;
        targetSamples = 3;
        break;
    case csCIELab:
        planes = 3;
        target = csBGR;
        targetSamples = 3;
        sourceOptions |= optLabByteL | optLabOffsetAB;
        break;
    default: break;
    }
    if (channels < static_cast<uint32_t>(planes)) CodecError(gesInvalidImage, {kLabel});

    ColorManager.SourceOptions = sourceOptions;
    ColorManager.TargetOptions = 0;
    ColorManager.SetSourceBitsPerSample(p.BitsPerSample);
    ColorManager.SetTargetBitsPerSample(p.BitsPerSample == 16 ? 8 : p.BitsPerSample);
    ColorManager.SetSourceSamplesPerPixel(planes ? planes : p.SamplesPerPixel);
    ColorManager.SetTargetSamplesPerPixel(targetSamples);
    ColorManager.SetSourceColorScheme(p.ColorScheme);
    ColorManager.SetTargetColorScheme(target);
    SetPixelFormat(ColorManager.GetPixelFormat(1));

    // Colour mode data: the palette of indexed pictures, skipped otherwise.
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
    SkipSection(stream);  // image resources
    SkipSection(stream);  // layer and mask information
    stream.Seek(2, soCurrent);

    SetBitmapSize(*this, width, height);
    if (planes == 0 || width == 0 || height == 0) return;  // a mode without pixels of ours

    const bool packed = p.Compression == ctPackedBits;
    TPackbitsRLEDecoder decoder;
    std::vector<uint16_t> rowLengths;
    if (packed) {
        const uint64_t count = uint64_t(height) * channels;
        RequireBytes(stream, 2 * count);
        rowLengths.resize(static_cast<size_t>(count));
        stream.ReadBuffer(rowLengths.data(), static_cast<int64_t>(2 * count));
        SwapShort(rowLengths.data(), static_cast<uint32_t>(count));
    }

    if (onePlane) {
        // Rows of 1 and 8 bits are stored as the bitmap stores them and 16
        // bits are brought down to 8; Photoshop writes no other depth.
        if (p.BitsPerSample != 1 && p.BitsPerSample != 8 && p.BitsPerSample != 16)
            CodecError(gesInvalidImage, {kLabel});
        const uint32_t rowBytes = static_cast<uint32_t>((uint64_t(width) * p.BitsPerSample + 7) / 8);
        // Rows whose samples the bitmap stores as they are go straight into
        // their scan line; 16-bit samples are brought down to 8 bits.
        const bool direct = ColorManager.SourceBitsPerSample() == ColorManager.TargetBitsPerSample();
        std::vector<uint8_t> row(direct ? 0 : rowBytes);
        if (packed) {
            uint64_t total = 0;
            for (uint32_t y = 0; y < height; ++y) total += rowLengths[y];
            RequireBytes(stream, total);
            std::vector<uint8_t> data(static_cast<size_t>(total));
            stream.ReadBuffer(data.data(), static_cast<int64_t>(total));
            uint8_t* source = data.data();
            for (uint32_t y = 0; y < height; ++y) {
                void* s = source;
                void* d = direct ? static_cast<void*>(ScanLine(static_cast<int>(y))) : row.data();
                decoder.Decode(s, d, rowLengths[y], static_cast<int32_t>(rowBytes));
                if (!direct) ColorManager.ConvertRow({row.data()}, ScanLine(static_cast<int>(y)), width);
                source += rowLengths[y];
            }
        } else {
            for (uint32_t y = 0; y < height; ++y) {
                if (direct) {
                    stream.ReadBuffer(ScanLine(static_cast<int>(y)), rowBytes);
                } else {
                    stream.ReadBuffer(row.data(), rowBytes);
                    ColorManager.ConvertRow({row.data()}, ScanLine(static_cast<int>(y)), width);
                }
            }
        }
        return;
    }

    // Colour pictures: one plane per channel, converted row by row.
    const uint32_t sampleBytes = p.BitsPerSample / 8;
    if (sampleBytes != 1 && sampleBytes != 2) return;  // no converter takes other depths
    const uint64_t rowStride = uint64_t(width) * sampleBytes;
    const uint64_t planeSize = rowStride * height;
    // The data must be there before the planes take their memory.
    std::vector<uint8_t> buffer;
    if (packed) {
        uint64_t total = 0;
        for (uint16_t n : rowLengths) total += n;
        RequireBytes(stream, total);
        std::vector<uint8_t> data(static_cast<size_t>(total));
        stream.ReadBuffer(data.data(), static_cast<int64_t>(total));
        buffer.resize(static_cast<size_t>(planeSize * planes));
        // The channels follow one another, so one call fills every plane
        // used; the planes after them are not needed.
        void* s = data.data();
        void* d = buffer.data();
        decoder.Decode(s, d, static_cast<int32_t>(std::min<uint64_t>(total, INT32_MAX)),
                       static_cast<int32_t>(std::min<uint64_t>(buffer.size(), INT32_MAX)));
    } else {
        RequireBytes(stream, planeSize * channels);
        buffer.resize(static_cast<size_t>(planeSize * planes));
        stream.ReadBuffer(buffer.data(), static_cast<int64_t>(buffer.size()));
    }
    if (p.ColorScheme == csCMYK) {
        // CMYK samples are stored inverted (0 is full ink); complementing
        // every byte complements 16-bit samples too, in either byte order.
        for (uint8_t& b : buffer) b = static_cast<uint8_t>(255 - b);
    }

    const void* rows[4] = {};
    for (uint32_t y = 0; y < height; ++y) {
        for (int k = 0; k < planes; ++k) rows[k] = buffer.data() + k * planeSize + y * rowStride;
        ColorManager.ConvertRow(std::span<const void* const>(rows, static_cast<size_t>(planes)),
                                ScanLine(static_cast<int>(y)), width);
    }
}
