#include "codecs/sgi.h"

#include <algorithm>
#include <compare>
#include <cstring>
#include <numeric>
#include <optional>
#include <span>

#include "codecs/decoders.h"
#include "codecs/reader_helpers.h"
#include "codecs/row_records.h"
#include "platform/rtl/classes.h"

namespace {

const char* const kLabel = "sgi, bw or rgb(a)";
constexpr uint16_t kMagic = 474;
// The work of finding a record or a raw row and setting its decoding up,
// whatever its size.
constexpr uint64_t kRecordSetUp = 64;
// Rows are read in bands of about this many bytes of samples (at least a
// row), each band's records in the order they lie in the file: the records
// of one channel's rows mostly follow one another, whatever the order of the
// channels, and a band reads them in one sweep.
constexpr uint64_t kBandBytes = uint64_t(1) << 20;

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

uint64_t TSGIGraphic::ReadableBytes(size_t index) const
{
    const uint32_t sampleBytes = ImageProperties.BitsPerSample / 8;
    // A row of Width samples never needs more than a header and a value per
    // sample and the closing count; what a record claims beyond that is not
    // read, nor what lies beyond the file.
    const uint64_t most = (2 * uint64_t(ImageProperties.Width) + 2) * sampleBytes;
    const int64_t inFile = std::max<int64_t>(fileBytes_ - int64_t(RowStart[index]), 0);
    return std::min({uint64_t(RowSize[index]) * sampleBytes, most, uint64_t(inFile)});
}

uint64_t TSGIGraphic::RecordKey(size_t index) const
{
    // Records that give no bytes all decode to zeros.
    const uint64_t bytes = ReadableBytes(index);
    return bytes == 0 ? 0 : uint64_t(RowStart[index]) << 32 | bytes;
}

void TSGIGraphic::DecodeRecord(uint8_t* target, size_t index)
{
    const uint32_t rowBytes = ImageProperties.Width * (ImageProperties.BitsPerSample / 8);
    const uint64_t wanted = ReadableBytes(index);
    ChargeWork(kRecordSetUp + wanted + PackedByteWork * wanted + rowBytes);
    std::memset(target, 0, rowBytes);
    if (wanted == 0) return;
    if (packed_.size() < wanted) packed_.resize(static_cast<size_t>(wanted));
    Stream->SetPosition(BasePosition + RowStart[index]);
    const int64_t got = Stream->Read(packed_.data(), static_cast<int64_t>(wanted));
    void* source = packed_.data();
    void* dest = target;
    Decoder->Decode(source, dest, static_cast<int32_t>(got), static_cast<int32_t>(rowBytes));
}

void TSGIGraphic::ReadRawRow(uint8_t* target, size_t index)
{
    const uint32_t rowBytes = ImageProperties.Width * (ImageProperties.BitsPerSample / 8);
    const int64_t at = BasePosition + 512 + static_cast<int64_t>(index * rowBytes);
    ChargeWork(kRecordSetUp + 2 * uint64_t(rowBytes));
    std::memset(target, 0, rowBytes);
    Stream->SetPosition(at);
    Stream->Read(target, rowBytes);
}

void TSGIGraphic::LoadFromStream(TStream& stream)
{
    LoadMetered(stream, kLabel, [&] { Load(stream); });
}

void TSGIGraphic::Load(TStream& stream)
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
    if (ImageProperties.Compression == ctRLE) ReadRowTables(stream);
    SetUpConversion();
    SetBitmapSize(*this, ImageProperties.Width, ImageProperties.Height);
    if (Width() == 0 || Height() == 0) return;
    GrantOutputWork(uint64_t(RowBytes()) * uint64_t(Height()));
    fileBytes_ = stream.Size() - BasePosition;
    ReadRows();
}

void TSGIGraphic::ReadRowTables(TStream& stream)
{
    const uint64_t count = uint64_t(ImageProperties.Height) * ImageProperties.SamplesPerPixel;
    RequireBytes(stream, 8 * count);
    RowStart.resize(static_cast<size_t>(count));
    RowSize.resize(static_cast<size_t>(count));
    stream.ReadBuffer(RowStart.data(), static_cast<int64_t>(4 * count));
    stream.ReadBuffer(RowSize.data(), static_cast<int64_t>(4 * count));
    SwapLong(RowStart.data(), static_cast<uint32_t>(count));
    SwapLong(RowSize.data(), static_cast<uint32_t>(count));
    Decoder = std::make_unique<TSGIRLEDecoder>(ImageProperties.BitsPerSample);
}

// Gray and alpha pictures show their gray channel.
void TSGIGraphic::SetUpConversion()
{
    const TImageProperties& p = ImageProperties;
    const bool gray = p.SamplesPerPixel < 3;
    ColorManager.SourceOptions = optSwapBytes;
    ColorManager.TargetOptions = 0;
    ColorManager.SetSource(p.ColorScheme, p.BitsPerSample, p.SamplesPerPixel);  // refuses none and more than four
    ColorManager.SetSourceSamplesPerPixel(gray ? 1 : p.SamplesPerPixel);
    ColorManager.SetTarget(p.ColorScheme == csRGB ? csBGR : (p.ColorScheme == csRGBA ? csBGRA : csIndexed), 8,
                           gray ? 1 : p.SamplesPerPixel);
    SetPixelFormat(ColorManager.GetPixelFormat(1));
    if (gray) SetPalette(ColorManager.CreateGrayscalePalette(false));
}

std::vector<uint32_t> TSGIGraphic::FirstAlike(uint32_t channels) const
{
    const uint32_t height = ImageProperties.Height;
    std::vector<uint32_t> alike(height);
    std::iota(alike.begin(), alike.end(), 0u);
    if (!Decoder) return alike;
    std::vector<uint64_t> keys(size_t(height) * channels);  // row after row
    for (uint32_t r = 0; r < height; ++r)
        for (uint32_t k = 0; k < channels; ++k) keys[size_t(r) * channels + k] = RecordKey(size_t(k) * height + r);
    auto keysOf = [&](uint32_t r) { return std::span<const uint64_t>(keys.data() + size_t(r) * channels, channels); };
    // Rows in the order of their records, and among rows of the same records
    // in their own order.
    std::vector<uint32_t> rows(alike);
    ChargeWork(TWorkMeter::Product(SortingWork(height), channels));
    std::sort(rows.begin(), rows.end(), [&](uint32_t a, uint32_t b) {
        const auto ka = keysOf(a), kb = keysOf(b);
        const auto order = std::lexicographical_compare_three_way(ka.begin(), ka.end(), kb.begin(), kb.end());
        return order != 0 ? order < 0 : a < b;
    });
    for (size_t i = 1; i < rows.size(); ++i)
        if (std::ranges::equal(keysOf(rows[i]), keysOf(rows[i - 1]))) alike[rows[i]] = alike[rows[i - 1]];
    return alike;
}

std::vector<uint32_t> TSGIGraphic::ReadingOrder(uint32_t bandRows, uint32_t channels,
                                                const std::vector<uint32_t>& alike) const
{
    const uint32_t height = ImageProperties.Height;
    std::vector<uint32_t> order;
    order.reserve(size_t(height) * channels);
    ChargeWork(SortingWork(size_t(height) * channels));
    for (uint32_t first = 0; first < height; first += bandRows) {
        const auto begin = static_cast<std::ptrdiff_t>(order.size());
        const uint32_t end = std::min(height, first + bandRows);
        // Raw rows lie channel after channel; records where their table says.
        for (uint32_t k = 0; k < channels; ++k)
            for (uint32_t r = first; r < end; ++r)
                if (alike[r] == r) order.push_back(k * height + r);
        if (Decoder)
            std::stable_sort(order.begin() + begin, order.end(),
                             [this](uint32_t a, uint32_t b) { return RowStart[a] < RowStart[b]; });
    }
    return order;
}

void TSGIGraphic::ReadRows()
{
    const uint32_t width = ImageProperties.Width, height = ImageProperties.Height;
    const uint32_t channels = ImageProperties.SamplesPerPixel < 3 ? 1 : ImageProperties.SamplesPerPixel;
    const size_t rowBytes = size_t(width) * (ImageProperties.BitsPerSample / 8);
    const auto bandRows = static_cast<uint32_t>(std::clamp<uint64_t>(kBandBytes / (rowBytes * channels), 1, height));
    const std::vector<uint32_t> alike = FirstAlike(channels);
    const std::vector<uint32_t> order = ReadingOrder(bandRows, channels, alike);
    // A run-length record named again keeps its samples for its next use,
    // within the bitmap's own size.
    std::optional<TRowRecords> records;
    if (Decoder) {
        std::vector<uint64_t> keys(order.size());
        for (size_t use = 0; use < order.size(); ++use) keys[use] = RecordKey(order[use]);
        records.emplace(keys, rowBytes, uint64_t(RowBytes()) * height);
    }
    std::vector<uint8_t> band(size_t(bandRows) * channels * rowBytes);
    std::vector<const void*> planes(size_t(bandRows) * channels);
    size_t use = 0;
    for (uint32_t first = 0; first < height; first += bandRows) {
        const uint32_t end = std::min(height, first + bandRows);
        for (; use < order.size() && order[use] % height < end; ++use) {
            const uint32_t index = order[use], k = index / height, r = index % height;
            const size_t slot = size_t(r - first) * channels + k;
            uint8_t* buffer = band.data() + slot * rowBytes;
            if (records) {
                planes[slot] = records->Samples(use, buffer, [&](uint8_t* t) { DecodeRecord(t, index); });
            } else {
                ReadRawRow(buffer, index);
                planes[slot] = buffer;
            }
        }
        // Rows are stored bottom first; a row alike an earlier one is a copy of it.
        for (uint32_t r = first; r < end; ++r) {
            ChargeWork(uint64_t(RowBytes()));
            const auto line = static_cast<int>(height - 1 - r);
            if (alike[r] != r) CopyScanLine(*this, line, static_cast<int>(height - 1 - alike[r]));
            else
                ColorManager.ConvertRow(
                    std::span<const void* const>(planes.data() + size_t(r - first) * channels, channels),
                    ScanLine(line), width);
        }
        if (records) records->Release();
    }
}
