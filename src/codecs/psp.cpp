#include "codecs/psp.h"

#include <algorithm>
#include <cstring>
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

// The most bytes `length` packed bytes can unpack to. Without a channel
// decoder (JPEG) nothing is unpacked.
uint64_t MostUnpacked(TImageCompression compression, uint32_t length)
{
    switch (compression) {
    case ctNone: return length;
    case ctRLE: return TPSPRLEDecoder::MostUnpackedPerByte * length;
    case ctLZ77: return TLZ77Decoder::MostUnpackedPerByte * length;
    default: return 0;
    }
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

    // Every layer bank's raster layer replaces the one before it, so the
    // channels are only noted on the way and those of the last one are
    // unpacked at the end, once.
    TLayerChannels channels;
    bool layerFound = false;
    while (stream.Remaining() >= BlockHeaderSize(major)) {
        const TBlockHeader block = ReadBlockHeader(stream, major);
        if (block.Id[0] != '~') break;
        const int64_t blockEnd = stream.Position() + block.TotalLength;
        if (block.Type == ptColorPalette) ReadPaletteBlock(stream, major);
        else if (block.Type == ptLayerBank && ReadLayerBank(stream, major, blockEnd, channels)) layerFound = true;
        stream.SetPosition(blockEnd);
    }
    if (layerFound) ReadPlanes(stream, channels, rowSize);
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

bool TPSPGraphic::ReadLayerBank(TStream& stream, unsigned major, int64_t bankEnd, TLayerChannels& channels)
{
    while (stream.Position() + BlockHeaderSize(major) <= bankEnd) {
        const TBlockHeader layer = ReadBlockHeader(stream, major);
        if (layer.Type != ptLayer) return false;
        const int64_t layerEnd = stream.Position() + layer.TotalLength;
        if (ReadLayerInfo(stream, major)) {
            channels = ReadRasterLayer(stream, major);
            return true;
        }
        stream.SetPosition(layerEnd);
    }
    return false;
}

// A layer may hold any number of channel blocks; a channel replaces an earlier
// one of its type, so each costs its header here and only the last of each
// type is unpacked.
TPSPGraphic::TLayerChannels TPSPGraphic::ReadRasterLayer(TStream& stream, unsigned major)
{
    const uint16_t count = ReadBitmapInfo(stream, major);
    TLayerChannels channels;
    for (unsigned c = 0; c < count; ++c) {
        ReadBlockHeader(stream, major);
        if (major > 3) ReadU32(stream);
        const uint32_t compressed = ReadU32(stream);
        ReadU32(stream);  // uncompressed length: the plane's own size bounds the output
        ReadU16(stream);  // bitmap type
        const uint16_t channelType = ReadU16(stream);
        RequireBytes(stream, compressed);
        // Channels of other types are not part of the picture.
        if (channelType <= 3) channels[channelType] = {stream.Position(), compressed};
        stream.Seek(compressed, soCurrent);
    }
    return channels;
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

// A plane takes the rows its channel's data can fill, at most the picture's;
// rows it does not hold, and the planes of absent channels, are black.
// Indexed and gray pictures use the composite plane alone.
void TPSPGraphic::ReadPlanes(TStream& stream, const TLayerChannels& channels, size_t rowSize)
{
    const TImageProperties& p = ImageProperties;
    const uint32_t width = p.Width, height = p.Height;
    const bool single = p.ColorScheme == csIndexed || p.ColorScheme == csG;
    std::vector<uint8_t> planes[4];
    uint64_t rowsHeld = 0;  // rows that some plane holds
    for (int k = 0; k < (single ? 1 : 4); ++k) {
        const TChannelData& c = channels[size_t(k)];
        if (c.Position < 0) continue;
        const uint64_t rows =
            std::min<uint64_t>(height, (MostUnpacked(p.Compression, c.Length) + rowSize - 1) / rowSize);
        if (rows == 0) continue;
        planes[k].resize(static_cast<size_t>(rows * rowSize));
        SampleBufferBytes += int64_t(planes[k].size());
        rowsHeld = std::max(rowsHeld, rows);
        std::vector<uint8_t> data(c.Length);
        stream.SetPosition(c.Position);
        stream.ReadBuffer(data.data(), c.Length);
        UnpackChannel(p.Compression, data, planes[k]);
    }
    const std::vector<uint8_t> black(rowSize, 0);
    auto row = [&](int k, uint32_t y) {
        const size_t at = size_t(y) * rowSize;
        return at < planes[k].size() ? planes[k].data() + at : black.data();
    };
    for (uint32_t y = 0; y < height; ++y) {
        uint8_t* line = ScanLine(static_cast<int>(y));
        if (y > rowsHeld) {
            // Every row past the planes is made of black rows alone, like the first one.
            CopyScanLine(*this, static_cast<int>(y), static_cast<int>(rowsHeld));
        } else if (single) {
            ColorManager.ConvertRow({row(0, y)}, line, width);
        } else {
            ColorManager.ConvertRow({row(1, y), row(2, y), row(3, y), row(0, y)}, line, width);
        }
    }
}
