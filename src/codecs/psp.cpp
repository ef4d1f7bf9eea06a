#include "codecs/psp.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "codecs/deflate_decoder.h"
#include "codecs/picture_size.h"
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

}  // namespace

bool TPSPGraphic::CanLoad(TStream& stream)
{
    const int64_t start = stream.Position();
    bool ok = false;
    if (stream.Remaining() > 36) {
        TPSPFileHeader h;
        ok = stream.Read(&h, sizeof h) == sizeof h && SignatureMatches(h.Signature) && h.MajorVersion >= 3;
    }
    stream.SetPosition(start);
    return ok;
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

    ColorManager = TColorManager();
    TColorManager& cm = ColorManager;
    cm.SetSourceBitsPerSample(p.BitsPerSample);
    cm.SetTargetBitsPerSample(p.BitsPerSample);
    cm.SetSourceSamplesPerPixel(p.SamplesPerPixel);
    cm.SetTargetSamplesPerPixel(p.SamplesPerPixel);
    cm.SetSourceColorScheme(p.ColorScheme);
    cm.SetTargetColorScheme(p.ColorScheme == csRGB ? csBGR : p.ColorScheme);
    SetPixelFormat(cm.GetPixelFormat(1));
    if (p.ColorScheme == csG) SetPalette(cm.CreateGrayscalePalette(false));

    size_t rowSize;
    switch (p.BitsPerSample) {
    case 1: rowSize = (size_t(p.Width) + 7) / 8; break;
    case 4: rowSize = size_t(p.Width) / 2 + 1; break;
    case 8: rowSize = p.Width; break;
    default: CodecError(gesInvalidColorFormat, {kLabel});
    }
    if (p.Width > 0x7FFFFFFF || p.Height > 0x7FFFFFFF) CodecError(gesInvalidImage, {kLabel});
    CheckPictureSize(p.Width, p.Height, PixelFormat());
    SetSize(static_cast<int>(p.Width), static_cast<int>(p.Height));
    const uint32_t width = p.Width, height = p.Height;
    if (width == 0 || height == 0) return;
    // Each channel holds at most rowSize x Height bytes; what a channel says
    // beyond that is not decoded.
    const size_t planeSize = rowSize * height;

    while (stream.Remaining() >= BlockHeaderSize(major)) {
        const TBlockHeader block = ReadBlockHeader(stream, major);
        if (block.Id[0] != '~') break;
        const int64_t blockEnd = stream.Position() + block.TotalLength;
        if (block.Type == ptColorPalette) {
            if (major > 3) ReadU32(stream);
            const uint32_t count = ReadU32(stream);
            const uint32_t used = std::min<uint32_t>(count, 256);
            std::vector<uint8_t> entries(size_t(used) * 4);
            stream.ReadBuffer(entries.data(), int64_t(entries.size()));
            const void* data[1] = {entries.data()};
            if (used) SetPalette(cm.CreateColorPalette(data, pfInterlaced8Quad, used, true));
        } else if (block.Type == ptLayerBank) {
            bool loaded = false;
            while (!loaded && stream.Position() + BlockHeaderSize(major) <= blockEnd) {
                const TBlockHeader layer = ReadBlockHeader(stream, major);
                if (layer.Type != ptLayer) break;
                const int64_t layerEnd = stream.Position() + layer.TotalLength;
                uint8_t info[115];
                bool taken;
                if (major == 3) {
                    stream.Seek(256, soCurrent);  // the name
                    stream.ReadBuffer(info, sizeof info);
                    taken = info[0] == 0;
                } else {
                    const int64_t chunkStart = stream.Position();
                    const uint32_t chunkLength = ReadU32(stream);
                    const uint16_t nameLength = ReadU16(stream);
                    stream.Seek(nameLength, soCurrent);
                    stream.ReadBuffer(info, sizeof info);
                    stream.SetPosition(chunkStart + chunkLength);
                    taken = info[0] < 2;
                }
                if (!taken) {
                    stream.SetPosition(layerEnd);
                    continue;
                }
                int64_t bitmapInfoStart = 0;
                uint32_t bitmapInfoLength = 0;
                if (major > 3) {
                    bitmapInfoStart = stream.Position();
                    bitmapInfoLength = ReadU32(stream);
                }
                ReadU16(stream);  // bitmap count
                const uint16_t channels = ReadU16(stream);
                if (channels > 3 && p.ColorScheme == csRGB) {
                    // The fourth plane (transparency) becomes the alpha channel.
                    cm.SetSourceColorScheme(csRGBA);
                    cm.SetSourceSamplesPerPixel(4);
                    cm.SetTargetColorScheme(csBGRA);
                    cm.SetTargetSamplesPerPixel(4);
                    SetPixelFormat(pf32bit);
                }
                if (major > 3) stream.SetPosition(bitmapInfoStart + bitmapInfoLength);

                // Planes by channel type: 0 composite or transparency, 1 red, 2 green, 3 blue.
                std::vector<uint8_t> planes[4];
                for (unsigned c = 0; c < channels; ++c) {
                    ReadBlockHeader(stream, major);
                    if (major > 3) ReadU32(stream);
                    const uint32_t compressed = ReadU32(stream);
                    ReadU32(stream);  // uncompressed length: the plane's own size bounds the output
                    ReadU16(stream);  // bitmap type
                    const uint16_t channelType = ReadU16(stream);
                    if (int64_t(compressed) > stream.Remaining()) throw EReadError();
                    if (channelType > 3) {
                        stream.Seek(compressed, soCurrent);
                        continue;
                    }
                    std::vector<uint8_t>& plane = planes[channelType];
                    plane.assign(planeSize, 0);
                    std::vector<uint8_t> data(compressed);
                    stream.ReadBuffer(data.data(), compressed);
                    const int32_t packedSize = static_cast<int32_t>(std::min<uint32_t>(compressed, 0x7FFFFFFF));
                    const int32_t unpackedSize = static_cast<int32_t>(std::min<size_t>(planeSize, 0x7FFFFFFF));
                    void* src = data.data();
                    void* dst = plane.data();
                    switch (p.Compression) {
                    case ctNone:
                        if (const size_t n = std::min<size_t>(compressed, planeSize)) std::memcpy(dst, src, n);
                        break;
                    case ctRLE: TPSPRLEDecoder().Decode(src, dst, packedSize, unpackedSize); break;
                    case ctLZ77: {
                        TLZ77Decoder inflater(Z_FINISH, false);
                        inflater.DecodeInit();
                        inflater.Decode(src, dst, packedSize, unpackedSize);
                        inflater.DecodeEnd();
                        break;
                    }
                    default: break;  // no channel decoder (JPEG): the plane stays empty
                    }
                }
                for (int i = 0; i < 4; ++i)
                    if (planes[i].empty()) planes[i].assign(planeSize, 0);
                const bool single = p.ColorScheme == csIndexed || p.ColorScheme == csG;
                for (uint32_t y = 0; y < height; ++y) {
                    const size_t at = size_t(y) * rowSize;
                    if (single) {
                        cm.ConvertRow({planes[0].data() + at}, ScanLine(static_cast<int>(y)), width);
                    } else {
                        cm.ConvertRow({planes[1].data() + at, planes[2].data() + at, planes[3].data() + at,
                                       planes[0].data() + at},
                                      ScanLine(static_cast<int>(y)), width);
                    }
                }
                loaded = true;
            }
        }
        stream.SetPosition(blockEnd);
    }
}
