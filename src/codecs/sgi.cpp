#include "codecs/sgi.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "codecs/decoders.h"
#include "codecs/reader_helpers.h"
#include "platform/rtl/classes.h"

namespace {

const char* const kLabel = "sgi, bw or rgb(a)";
constexpr uint16_t kMagic = 474;

TSGIHeader ReadHeader(TStream& stream)
{
    TSGIHeader h;
    stream.ReadBuffer(&h, sizeof h);
    const auto* raw = reinterpret_cast<const uint8_t*>(&h);
    h.Magic = ReadBE16(raw);
    h.Dimension = ReadBE16(raw + 4);
    h.XSize = ReadBE16(raw + 6);
    h.YSize = ReadBE16(raw + 8);
    h.ZSize = ReadBE16(raw + 10);
    h.PixMin = ReadBE32(raw + 12);
    h.PixMax = ReadBE32(raw + 16);
    h.ColorMap = ReadBE32(raw + 104);
    return h;
}

}  // namespace

TSGIGraphic::TSGIGraphic() = default;
TSGIGraphic::~TSGIGraphic() = default;

bool TSGIGraphic::CanLoad(TStream& stream)
{
    return TestHeader<TSGIHeader>(stream, [](TStream& s) {
        const TSGIHeader h = ReadHeader(s);
        return h.Magic == kMagic && (h.BPC == 1 || h.BPC == 2) && h.Dimension >= 1 && h.Dimension <= 3;
    });
}

bool TSGIGraphic::ReadImageProperties(TStream& stream, unsigned ImageIndex)
{
    TCodecGraphic::ReadImageProperties(stream, ImageIndex);
    const TSGIHeader h = ReadHeader(stream);
    if (h.Magic != kMagic) return false;
    TImageProperties& p = ImageProperties;
    p.Options = ioBigEndian;
    p.BitsPerSample = static_cast<uint8_t>(h.BPC * 8);
    p.Width = h.XSize;
    p.Height = h.YSize;
    p.SamplesPerPixel = static_cast<uint8_t>(h.ZSize);
    p.ColorScheme = p.SamplesPerPixel == 3 ? csRGB : (p.SamplesPerPixel == 4 ? csRGBA : csIndexed);
    p.BitsPerPixel = static_cast<uint8_t>(p.BitsPerSample * p.SamplesPerPixel);
    p.Compression = h.Storage == 1 ? ctRLE : ctNone;
    return true;
}

void TSGIGraphic::ReadRow(uint8_t* buffer, uint32_t row, uint32_t channel)
{
    const TImageProperties& p = ImageProperties;
    const uint32_t sampleBytes = p.BitsPerSample / 8;
    const uint32_t rowBytes = p.Width * sampleBytes;
    const uint64_t index = uint64_t(channel) * p.Height + row;
    std::memset(buffer, 0, rowBytes);
    if (Decoder) {
        Stream->SetPosition(BasePosition + RowStart[index]);
        // A row of Width samples never needs more than a header and a value
        // per sample and the closing count; what a row claims beyond that
        // is not read.
        const uint64_t most = (2 * uint64_t(p.Width) + 2) * sampleBytes;
        const uint64_t wanted = std::min<uint64_t>(uint64_t(RowSize[index]) * sampleBytes, most);
        if (packed_.size() < wanted) packed_.resize(static_cast<size_t>(wanted));
        const int64_t got = Stream->Read(packed_.data(), static_cast<int64_t>(wanted));
        // Rows of their own data read disjoint parts of the file, so what they
        // read together fits in it (their sizes count bytes, however many
        // bytes a sample has); rows whose data overlaps others' (one byte
        // further into the same bytes, say) would decode the same data again
        // and again, and are refused like data beyond the file.
        packedBytes_ += std::min<int64_t>(got, RowSize[index]);
        if (packedBytes_ > fileBytes_) throw EReadError();
        void* source = packed_.data();
        void* dest = buffer;
        Decoder->Decode(source, dest, static_cast<int32_t>(got), static_cast<int32_t>(rowBytes));
    } else {
        Stream->SetPosition(BasePosition + 512 + static_cast<int64_t>(index * rowBytes));
        Stream->Read(buffer, rowBytes);
    }
}

uint64_t TSGIGraphic::PackedData(uint32_t row, uint32_t channel) const
{
    const size_t i = size_t(channel) * ImageProperties.Height + row;
    return uint64_t(RowStart[i]) << 32 | RowSize[i];
}

bool TSGIGraphic::SameData(uint32_t row, uint32_t other, uint32_t channels) const
{
    for (uint32_t k = 0; k < channels; ++k)
        if (PackedData(row, k) != PackedData(other, k)) return false;
    return true;
}

void TSGIGraphic::LoadFromStream(TStream& stream)
{
    ReleaseHandle();
    Stream = &stream;
    BasePosition = stream.Position();
    Decoder.reset();
    RowStart.clear();
    RowSize.clear();
    // The tables and the decoder belong to this load only.
    struct Cleanup {
        TSGIGraphic& g;
        ~Cleanup()
        {
            g.Decoder.reset();
            g.packed_ = {};
        }
    } cleanup{*this};

    if (!ReadImageProperties(stream, 0)) CodecError(gesInvalidImage, {kLabel});
    stream.SetPosition(BasePosition);
    const TSGIHeader header = ReadHeader(stream);
    if (header.BPC != 1 && header.BPC != 2) CodecError(gesInvalidImage, {kLabel});

    const TImageProperties& p = ImageProperties;
    const uint32_t width = p.Width, height = p.Height, channels = p.SamplesPerPixel;
    if (p.Compression == ctRLE) {
        const uint64_t count = uint64_t(height) * channels;
        RequireBytes(stream, 8 * count);
        RowStart.resize(static_cast<size_t>(count));
        RowSize.resize(static_cast<size_t>(count));
        stream.ReadBuffer(RowStart.data(), static_cast<int64_t>(4 * count));
        stream.ReadBuffer(RowSize.data(), static_cast<int64_t>(4 * count));
        SwapLong(RowStart.data(), static_cast<uint32_t>(count));
        SwapLong(RowSize.data(), static_cast<uint32_t>(count));
        Decoder = std::make_unique<TSGIRLEDecoder>(p.BitsPerSample);
    }

    // Gray and alpha pictures show their gray channel.
    const bool gray = channels < 3;
    ColorManager.SourceOptions = optSwapBytes;
    ColorManager.TargetOptions = 0;
    ColorManager.SetSource(p.ColorScheme, p.BitsPerSample, channels);  // refuses none and more than four
    ColorManager.SetSourceSamplesPerPixel(gray ? 1 : channels);
    ColorManager.SetTarget(p.ColorScheme == csRGB ? csBGR : (p.ColorScheme == csRGBA ? csBGRA : csIndexed), 8,
                           gray ? 1 : channels);
    SetPixelFormat(ColorManager.GetPixelFormat(1));
    if (gray) SetPalette(ColorManager.CreateGrayscalePalette(false));
    SetBitmapSize(*this, width, height);
    if (width == 0 || height == 0) return;

    const uint32_t rowBytes = width * (p.BitsPerSample / 8);
    packedBytes_ = 0;
    fileBytes_ = stream.Size() - BasePosition;
    // Packed rows may share their data (writers store a repeated row once):
    // a row naming the data of a row read before is that row again.
    std::unordered_map<uint64_t, uint32_t> rowsRead;  // a row's table entries, hashed -> the row
    auto copyRowRead = [&](uint32_t r, uint32_t used) {
        if (!Decoder) return false;
        uint64_t key = 0;
        for (uint32_t k = 0; k < used; ++k) key = key * 0x9E3779B97F4A7C15 + PackedData(r, k);
        const auto [read, added] = rowsRead.try_emplace(key, r);
        if (added || !SameData(r, read->second, used)) return false;
        CopyScanLine(*this, static_cast<int>(height - 1 - r), static_cast<int>(height - 1 - read->second));
        return true;
    };
    if (gray) {
        std::vector<uint8_t> row(p.BitsPerSample == 8 ? 0 : rowBytes);
        for (uint32_t r = 0; r < height; ++r) {
            uint8_t* line = ScanLine(static_cast<int>(height - 1 - r));
            if (copyRowRead(r, 1)) continue;
            if (p.BitsPerSample == 8) {
                ReadRow(line, r, 0);
            } else {
                ReadRow(row.data(), r, 0);
                ColorManager.ConvertRow({row.data()}, line, width);
            }
        }
        return;
    }
    std::vector<uint8_t> buffers(static_cast<size_t>(rowBytes) * channels);
    const void* planes[4] = {};
    for (uint32_t k = 0; k < channels; ++k) planes[k] = buffers.data() + size_t(k) * rowBytes;
    // A channel naming the data of an earlier channel of its row takes that
    // channel's samples (a gray picture stored as colour, say).
    auto copyChannelRead = [&](uint32_t r, uint32_t k) {
        for (uint32_t j = 0; Decoder && j < k; ++j) {
            if (PackedData(r, j) != PackedData(r, k)) continue;
            std::memcpy(buffers.data() + size_t(k) * rowBytes, buffers.data() + size_t(j) * rowBytes, rowBytes);
            return true;
        }
        return false;
    };
    for (uint32_t r = 0; r < height; ++r) {
        if (copyRowRead(r, channels)) continue;
        for (uint32_t k = 0; k < channels; ++k)
            if (!copyChannelRead(r, k)) ReadRow(buffers.data() + size_t(k) * rowBytes, r, k);
        ColorManager.ConvertRow(std::span<const void* const>(planes, channels),
                                ScanLine(static_cast<int>(height - 1 - r)), width);
    }
}
