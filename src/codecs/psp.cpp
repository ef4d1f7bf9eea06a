#include "codecs/psp.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <iterator>
#include <vector>

#include "codecs/deflate_decoder.h"
#include "codecs/picture_size.h"
#include "codecs/reader_helpers.h"
#include "platform/rtl/classes.h"

namespace {

const char* const kLabel = "PSP";
const char kSignature[] = "Paint Shop Pro Image File";

enum : uint16_t { ptColorPalette = 2, ptLayerBank = 3, ptLayer = 4 };

bool SignatureMatches(const char* text)
{
    for (int i = 0; i < 25; ++i) {
        char a = text[i], b = kSignature[i];
        if (a >= 'a' && a <= 'z') a = static_cast<char>(a - 32);
        if (b >= 'a' && b <= 'z') b = static_cast<char>(b - 32);
        if (a != b) return false;
    }
    return true;
}

struct TBlockHeader {
    char Id[4] = {0, 0, 0, 0};
    uint16_t Type = 0;
    uint32_t TotalLength = 0;
};

uint32_t ReadU32(TStream& s)
{
    uint32_t v;
    s.ReadBuffer(&v, 4);
    return v;
}
uint16_t ReadU16(TStream& s)
{
    uint16_t v;
    s.ReadBuffer(&v, 2);
    return v;
}

// A block header, raising on a short read; version 3 files carry an extra length.
TBlockHeader ReadBlockHeader(TStream& s, unsigned major)
{
    TBlockHeader h;
    s.ReadBuffer(h.Id, 4);
    h.Type = ReadU16(s);
    if (major == 3) ReadU32(s);  // the initial data length
    h.TotalLength = ReadU32(s);
    return h;
}

unsigned BlockHeaderSize(unsigned major) { return major == 3 ? 14 : 10; }

// The bytes of a plane row at the picture's depth; other depths are refused.
size_t RowSizeOf(const TImageProperties& p)
{
    switch (p.BitsPerSample) {
    case 1: return (size_t(p.Width) + 7) / 8;
    case 4: return size_t(p.Width) / 2 + 1;
    case 8: return p.Width;
    default: CodecError(gesInvalidColorFormat, {kLabel});
    }
}

// Reads the information chunk of the layer whose header was just read and
// tells whether the layer is taken: a raster layer (type 0 in version 3
// files, 0 or 1 after that).
bool ReadLayerInfo(TStream& stream, unsigned major)
{
    uint8_t info[115];
    if (major == 3) {
        stream.Seek(256, soCurrent);  // the name
        stream.ReadBuffer(info, sizeof info);
        return info[0] == 0;
    }
    const int64_t chunkStart = stream.Position();
    const uint32_t chunkLength = ReadU32(stream);
    const uint16_t nameLength = ReadU16(stream);
    stream.Seek(nameLength, soCurrent);
    stream.ReadBuffer(info, sizeof info);
    stream.SetPosition(chunkStart + chunkLength);
    return info[0] < 2;
}

// Decompresses a channel into its plane, whose size bounds the output. A
// compression without a channel decoder (JPEG) leaves the plane as it is.
void UnpackChannel(TImageCompression compression, std::vector<uint8_t>& data, std::vector<uint8_t>& plane)
{
    const int32_t packedSize = static_cast<int32_t>(std::min<size_t>(data.size(), 0x7FFFFFFF));
    const int32_t unpackedSize = static_cast<int32_t>(std::min<size_t>(plane.size(), 0x7FFFFFFF));
    void* src = data.data();
    void* dst = plane.data();
    switch (compression) {
    case ctNone:
        if (const size_t n = std::min<size_t>(data.size(), plane.size())) std::memcpy(dst, src, n);
        break;
    case ctRLE: TPSPRLEDecoder().Decode(src, dst, packedSize, unpackedSize); break;
    case ctLZ77: {
        TLZ77Decoder inflater(Z_FINISH, false);
        inflater.DecodeInit();
        inflater.Decode(src, dst, packedSize, unpackedSize);
        inflater.DecodeEnd();
        break;
    }
    default: break;
    }
}

// Reads the next channel block into the plane of its channel type (0
// composite or transparency, 1 red, 2 green, 3 blue), a plane of planeSize
// bytes; channels of other types are skipped.
void ReadChannel(TStream& stream, unsigned major, TImageCompression compression, size_t planeSize,
                 std::vector<uint8_t> (&planes)[4], int64_t& filled)
{
    ReadBlockHeader(stream, major);
    if (major > 3) ReadU32(stream);
    const uint32_t compressed = ReadU32(stream);
    ReadU32(stream);  // uncompressed length: the plane's own size bounds the output
    ReadU16(stream);  // bitmap type
    const uint16_t channelType = ReadU16(stream);
    if (int64_t(compressed) > stream.Remaining()) throw EReadError();
    if (channelType > 3) {
        stream.Seek(compressed, soCurrent);
        return;
    }
    std::vector<uint8_t>& plane = planes[channelType];
    plane.assign(planeSize, 0);
    filled += int64_t(planeSize);
    std::vector<uint8_t> data(compressed);
    stream.ReadBuffer(data.data(), compressed);
    UnpackChannel(compression, data, plane);
}

}  // namespace

bool TPSPGraphic::CanLoad(TStream& stream)
{
    return TestHeader<TPSPFileHeader>(stream, [](TStream& s) {
        const TPSPFileHeader h = ReadStoredHeader<TPSPFileHeader>(s);
        return SignatureMatches(h.Signature) && h.MajorVersion >= 3;
    });
}

bool TPSPGraphic::ReadImageProperties(TStream& stream, unsigned ImageIndex)
{
    TCodecGraphic::ReadImageProperties(stream, ImageIndex);
    TPSPFileHeader h;
    if (stream.Read(&h, sizeof h) != sizeof h || !SignatureMatches(h.Signature) || h.MajorVersion < 3) return false;
    TImageProperties& p = ImageProperties;
    p.Version = h.MajorVersion;
    const TBlockHeader block = ReadBlockHeader(stream, h.MajorVersion);
    const int64_t start = stream.Position();
    if (h.MajorVersion > 3) ReadU32(stream);
    TPSPImageAttributes a;
    stream.ReadBuffer(&a, sizeof a);
    stream.SetPosition(start + block.TotalLength);

    if (a.BitDepth == 24) {
        p.ColorScheme = csRGB;
        p.BitsPerSample = 8;
        p.SamplesPerPixel = 3;
    } else {
        p.BitsPerSample = static_cast<uint8_t>(std::min<unsigned>(a.BitDepth, 255));
        p.SamplesPerPixel = 1;
        p.ColorScheme = a.GreyscaleFlag ? csG : csIndexed;
    }
    p.Width = static_cast<uint32_t>(a.Width);
    p.Height = static_cast<uint32_t>(a.Height);
    p.BitsPerPixel = static_cast<uint8_t>(std::min<unsigned>(p.BitsPerSample * p.SamplesPerPixel, 255));
    switch (a.Compression) {
    case 0: p.Compression = ctNone; break;
    case 1: p.Compression = ctRLE; break;
    case 2: p.Compression = ctLZ77; break;
    case 3: p.Compression = ctJPEG; break;
    default: p.Compression = ctUnknown; break;
    }
    p.XResolution = static_cast<float>(a.ResolutionMetric == 2 ? a.Resolution * 2.54 : a.Resolution);
    p.YResolution = p.XResolution;
    return true;
}

void TPSPGraphic::LoadFromStream(TStream& stream)
{
    ReleaseHandle();
    BasePosition = stream.Position();
    if (!ReadImageProperties(stream, 0)) CodecError(gesInvalidImage, {kLabel});
    const TImageProperties& p = ImageProperties;
    const unsigned major = p.Version;
    // ReadImageProperties left the stream at the end of the attributes block.

    SetUpConversion();
    const size_t rowSize = RowSizeOf(p);
    if (p.Width > 0x7FFFFFFF || p.Height > 0x7FFFFFFF) CodecError(gesInvalidImage, {kLabel});
    CheckPictureSize(p.Width, p.Height, PixelFormat());
    SetSize(static_cast<int>(p.Width), static_cast<int>(p.Height));
    if (p.Width == 0 || p.Height == 0) return;

    while (stream.Remaining() >= BlockHeaderSize(major)) {
        const TBlockHeader block = ReadBlockHeader(stream, major);
        if (block.Id[0] != '~') break;
        const int64_t blockEnd = stream.Position() + block.TotalLength;
        if (block.Type == ptColorPalette) ReadPaletteBlock(stream, major);
        else if (block.Type == ptLayerBank) ReadLayerBank(stream, major, blockEnd, rowSize);
        stream.SetPosition(blockEnd);
    }
}

// The samples are converted as they are stored, RGB to the bitmap's BGR;
// gray pictures get a gray palette.
void TPSPGraphic::SetUpConversion()
{
    const TImageProperties& p = ImageProperties;
    ColorManager = TColorManager();
    TColorManager& cm = ColorManager;
    cm.SetSource(p.ColorScheme, p.BitsPerSample, p.SamplesPerPixel);
    cm.SetTarget(p.ColorScheme == csRGB ? csBGR : p.ColorScheme, p.BitsPerSample, p.SamplesPerPixel);
    SetPixelFormat(cm.GetPixelFormat(1));
    if (p.ColorScheme == csG) SetPalette(cm.CreateGrayscalePalette(false));
}

void TPSPGraphic::ReadPaletteBlock(TStream& stream, unsigned major)
{
    if (major > 3) ReadU32(stream);
    const uint32_t count = ReadU32(stream);
    const uint32_t used = std::min<uint32_t>(count, 256);
    std::vector<uint8_t> entries(size_t(used) * 4);
    stream.ReadBuffer(entries.data(), int64_t(entries.size()));
    const void* data[1] = {entries.data()};
    if (used) SetPalette(ColorManager.CreateColorPalette(data, pfInterlaced8Quad, used, true));
}

void TPSPGraphic::ReadLayerBank(TStream& stream, unsigned major, int64_t bankEnd, size_t rowSize)
{
    while (stream.Position() + BlockHeaderSize(major) <= bankEnd) {
        const TBlockHeader layer = ReadBlockHeader(stream, major);
        if (layer.Type != ptLayer) return;
        const int64_t layerEnd = stream.Position() + layer.TotalLength;
        if (ReadLayerInfo(stream, major)) {
            ReadRasterLayer(stream, major, rowSize);
            return;
        }
        stream.SetPosition(layerEnd);
    }
}

void TPSPGraphic::ReadRasterLayer(TStream& stream, unsigned major, size_t rowSize)
{
    const uint16_t channels = ReadBitmapInfo(stream, major);
    // Each channel holds at most rowSize x Height bytes; what a channel says
    // beyond that is not decoded.
    const size_t planeSize = rowSize * ImageProperties.Height;
    // Planes by channel type: 0 composite or transparency, 1 red, 2 green, 3 blue.
    std::vector<uint8_t> planes[4];
    for (unsigned c = 0; c < channels; ++c)
        ReadChannel(stream, major, ImageProperties.Compression, planeSize, planes, SampleBufferBytes);
    for (int i = 0; i < 4; ++i)
        if (planes[i].empty()) {
            planes[i].assign(planeSize, 0);
            SampleBufferBytes += int64_t(planeSize);
        }
    ConvertPlanes(planes, rowSize);
}

// The bitmap information chunk: the channel count. A fourth plane of an RGB
// picture (transparency) becomes the alpha channel.
uint16_t TPSPGraphic::ReadBitmapInfo(TStream& stream, unsigned major)
{
    int64_t bitmapInfoStart = 0;
    uint32_t bitmapInfoLength = 0;
    if (major > 3) {
        bitmapInfoStart = stream.Position();
        bitmapInfoLength = ReadU32(stream);
    }
    ReadU16(stream);  // bitmap count
    const uint16_t channels = ReadU16(stream);
    if (channels > 3 && ImageProperties.ColorScheme == csRGB) {
        ColorManager.SetSource(csRGBA, ImageProperties.BitsPerSample, 4);
        ColorManager.SetTarget(csBGRA, ImageProperties.BitsPerSample, 4);
        SetPixelFormat(pf32bit);
    }
    if (major > 3) stream.SetPosition(bitmapInfoStart + bitmapInfoLength);
    return channels;
}

void TPSPGraphic::ConvertPlanes(const std::vector<uint8_t> (&planes)[4], size_t rowSize)
{
    const uint32_t width = ImageProperties.Width, height = ImageProperties.Height;
    assert(std::all_of(std::begin(planes), std::end(planes),
                       [&](const auto& plane) { return plane.size() >= rowSize * height; }));
    const bool single = ImageProperties.ColorScheme == csIndexed || ImageProperties.ColorScheme == csG;
    for (uint32_t y = 0; y < height; ++y) {
        const size_t at = size_t(y) * rowSize;
        if (single) {
            ColorManager.ConvertRow({planes[0].data() + at}, ScanLine(static_cast<int>(y)), width);
        } else {
            ColorManager.ConvertRow(
                {planes[1].data() + at, planes[2].data() + at, planes[3].data() + at, planes[0].data() + at},
                ScanLine(static_cast<int>(y)), width);
        }
    }
}
