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

// A block or chunk: every read must end within it, as every read must end
// within the stream. A length field can then shorten what a part holds but
// never send the reader into the bytes of another part (a list of channels
// that every layer bank of a file would name).
class TPSPGraphic::TPart {
public:
    TPart(TStream& stream, int64_t end) : stream_(stream), end_(end) {}

    // The part that starts at `start` and claims `length` bytes, cut at the
    // end of this one.
    TPart Chunk(int64_t start, uint64_t length) const
    {
        return TPart(stream_,
                     start + int64_t(std::min<uint64_t>(length, uint64_t(std::max<int64_t>(end_ - start, 0)))));
    }
    TPart Inner(uint64_t length) const { return Chunk(stream_.Position(), length); }

    int64_t Position() const { return stream_.Position(); }
    int64_t Left() const { return std::max<int64_t>(end_ - stream_.Position(), 0); }
    // Raises like a short read when the part holds fewer than count more bytes.
    void Require(uint64_t count) const
    {
        if (count > uint64_t(Left())) throw EReadError();
    }
    void Read(void* buffer, uint64_t count)
    {
        Require(count);
        ChargeWork(count);
        stream_.ReadBuffer(buffer, int64_t(count));
    }
    uint16_t U16()
    {
        uint16_t v;
        Read(&v, 2);
        return v;
    }
    uint32_t U32()
    {
        uint32_t v;
        Read(&v, 4);
        return v;
    }
    void Skip(uint64_t count)
    {
        Require(count);
        stream_.Seek(int64_t(count), soCurrent);
    }
    // On to what follows the part.
    void SkipToEnd()
    {
        if (end_ > stream_.Position()) stream_.SetPosition(end_);
    }
    // A block header; version 3 files carry an extra length.
    TBlockHeader BlockHeader(unsigned major)
    {
        TBlockHeader h;
        Read(h.Id, 4);
        h.Type = U16();
        if (major == 3) U32();  // the initial data length
        h.TotalLength = U32();
        return h;
    }

private:
    TStream& stream_;
    int64_t end_;
};

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
    TPart file(stream, stream.Size());
    const TBlockHeader block = file.BlockHeader(h.MajorVersion);
    const int64_t start = stream.Position();
    if (h.MajorVersion > 3) file.U32();
    TPSPImageAttributes a;
    file.Read(&a, sizeof a);
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
    LoadMetered(stream, kLabel, [&] {
        if (!ReadImageProperties(stream, 0)) CodecError(gesInvalidImage, {kLabel});
        const TImageProperties& p = ImageProperties;
        // ReadImageProperties left the stream at the end of the attributes block.
        SetUpConversion();
        const size_t rowSize = RowSizeOf(p);
        if (p.Width > 0x7FFFFFFF || p.Height > 0x7FFFFFFF) CodecError(gesInvalidImage, {kLabel});
        CheckPictureSize(p.Width, p.Height, PixelFormat());
        SetSize(static_cast<int>(p.Width), static_cast<int>(p.Height));
        if (p.Width == 0 || p.Height == 0) return;
        ReadBlocks(stream, p.Version, rowSize);
    });
}

// Every layer bank's raster layer replaces the one before it, so the channels
// are only noted on the way and those of the last one are unpacked at the
// end, once.
void TPSPGraphic::ReadBlocks(TStream& stream, unsigned major, size_t rowSize)
{
    TPart file(stream, stream.Size());
    TLayerChannels channels;
    bool layerFound = false;
    while (file.Left() >= BlockHeaderSize(major)) {
        const TBlockHeader header = file.BlockHeader(major);
        if (header.Id[0] != '~') break;
        TPart block = file.Inner(header.TotalLength);
        if (header.Type == ptColorPalette) ReadPaletteBlock(block, major);
        else if (header.Type == ptLayerBank && ReadLayerBank(block, major, channels)) layerFound = true;
        block.SkipToEnd();
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

void TPSPGraphic::ReadPaletteBlock(TPart& block, unsigned major)
{
    if (major > 3) block.U32();
    const uint32_t count = block.U32();
    const uint32_t used = std::min<uint32_t>(count, 256);
    std::vector<uint8_t> entries(size_t(used) * 4);
    block.Read(entries.data(), entries.size());
    const void* data[1] = {entries.data()};
    if (used) SetPalette(ColorManager.CreateColorPalette(data, pfInterlaced8Quad, used, true));
}

bool TPSPGraphic::ReadLayerBank(TPart& bank, unsigned major, TLayerChannels& channels)
{
    while (bank.Left() >= BlockHeaderSize(major)) {
        const TBlockHeader header = bank.BlockHeader(major);
        if (header.Type != ptLayer) return false;
        TPart layer = bank.Inner(header.TotalLength);
        if (ReadLayerInfo(layer, major)) {
            channels = ReadRasterLayer(layer, major);
            return true;
        }
        layer.SkipToEnd();
    }
    return false;
}

// Reads the information chunk of the layer whose header was just read and
// tells whether the layer is taken: a raster layer (type 0 in version 3
// files, 0 or 1 after that).
bool TPSPGraphic::ReadLayerInfo(TPart& layer, unsigned major)
{
    uint8_t info[115];
    if (major == 3) {
        layer.Skip(256);  // the name
        layer.Read(info, sizeof info);
        return info[0] == 0;
    }
    const int64_t start = layer.Position();
    TPart chunk = layer.Chunk(start, layer.U32());
    chunk.Skip(chunk.U16());  // the name
    chunk.Read(info, sizeof info);
    chunk.SkipToEnd();
    return info[0] < 2;
}

// A layer may hold any number of channel blocks; a channel replaces an earlier
// one of its type, so each costs its header here and only the last of each
// type is unpacked.
TPSPGraphic::TLayerChannels TPSPGraphic::ReadRasterLayer(TPart& layer, unsigned major)
{
    const uint16_t count = ReadBitmapInfo(layer, major);
    TLayerChannels channels;
    for (unsigned c = 0; c < count; ++c) {
        TPart channel = layer.Inner(layer.BlockHeader(major).TotalLength);
        if (major > 3) channel.U32();
        const uint32_t compressed = channel.U32();
        channel.U32();  // uncompressed length: the plane's own size bounds the output
        channel.U16();  // bitmap type
        const uint16_t channelType = channel.U16();
        const int64_t data = channel.Position();
        // The data lies within the channel's block; the next channel follows it.
        channel.Skip(compressed);
        // Channels of other types are not part of the picture.
        if (channelType <= 3) channels[channelType] = {data, compressed};
    }
    return channels;
}

// The bitmap information chunk: the channel count. A fourth plane of an RGB
// picture (transparency) becomes the alpha channel.
uint16_t TPSPGraphic::ReadBitmapInfo(TPart& layer, unsigned major)
{
    const int64_t start = layer.Position();
    TPart chunk = major > 3 ? layer.Chunk(start, layer.U32()) : layer;
    chunk.U16();  // bitmap count
    const uint16_t channels = chunk.U16();
    if (channels > 3 && ImageProperties.ColorScheme == csRGB) {
        ColorManager.SetSource(csRGBA, ImageProperties.BitsPerSample, 4);
        ColorManager.SetTarget(csBGRA, ImageProperties.BitsPerSample, 4);
        SetPixelFormat(pf32bit);
    }
    if (major > 3) chunk.SkipToEnd();
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
    const uint64_t lineBytes = uint64_t(RowBytes());
    GrantOutputWork(lineBytes * height);
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
        GrantOutputWork(planes[k].size());
        ChargeWork(uint64_t(c.Length) + planes[k].size());
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
        ChargeWork(lineBytes);
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
