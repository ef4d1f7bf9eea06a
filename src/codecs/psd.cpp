#include "codecs/psd.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <functional>
#include <memory>
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
// Colour planes are converted in bands of about this many bytes of samples.
constexpr uint64_t kBandBytes = uint64_t(1) << 20;

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

// PackBits channels form one stream: a row that unpacks to more or less than
// its width moves every later sample, into the next plane too. The planes
// are unpacked a band of rows at a time, each by a decoder of its own set at
// the place in the stream where its plane begins: where the row lengths say
// its channel begins, as long as every plane before it ends there; else (a
// damaged file) where decoding all the planes before it ends.
class TPackedPlanes {
public:
    // The packed data of all channels, and the planes' size.
    TPackedPlanes(const std::vector<uint8_t>& data, int planes, uint64_t planeSize)
        : data_(data), planeSize_(planeSize), decoders_(size_t(planes)), at_(size_t(planes))
    {
    }

    // Plane k from the place in the stream its channel's row lengths give
    // (starts[k], an offset into the data), or, when exact, from where
    // decoding the planes before it ends.
    void Start(const std::vector<uint64_t>& starts, bool exact)
    {
        for (size_t k = 0; k < decoders_.size(); ++k) {
            decoders_[k] = std::make_unique<TPackbitsRLEDecoder>(true);
            at_[k] = data_.data() + (exact ? 0 : starts[k]);
            if (exact) Skip(k, k * planeSize_);
        }
    }

    // The next `bytes` bytes of plane k into target (what the data does not
    // reach stays as it is).
    void Next(size_t k, uint8_t* target, uint64_t bytes)
    {
        ChargeWork(bytes);
        void* source = const_cast<uint8_t*>(at_[k]);
        void* dest = target;
        decoders_[k]->Decode(source, dest, Left(k), static_cast<int32_t>(bytes));
        at_[k] = static_cast<const uint8_t*>(source);
    }

    // Whether plane k, filled, ends at offset `end` of the data (before no-op
    // packets at most, which writers put after a row) with no packet left
    // over, so that the next plane begins where its row lengths say. Asked
    // for one more byte, a decoder with a run left over gives it without
    // input, one with a literal left over takes one byte for it, and one with
    // nothing left over takes at least a header and a byte. (With less than
    // two bytes after the plane this cannot be told, and the answer is no.)
    bool EndsAt(size_t k, uint64_t end)
    {
        const uint8_t* next = at_[k];
        while (next < data_.data() + end && *next == 0x80) ++next;
        if (next != data_.data() + end || Left(k) < 2) return false;
        uint8_t probe = 0;
        void* source = const_cast<uint8_t*>(at_[k]);
        void* dest = &probe;
        decoders_[k]->Decode(source, dest, Left(k), 1);
        return static_cast<const uint8_t*>(source) - at_[k] >= 2;
    }

private:
    int32_t Left(size_t k) const
    {
        return static_cast<int32_t>(std::min<int64_t>(data_.data() + data_.size() - at_[k], INT32_MAX));
    }
    // Decodes and drops the first `bytes` bytes a plane's decoder gives, as
    // far as the data reaches.
    void Skip(size_t k, uint64_t bytes)
    {
        bytes = std::min(bytes, TPackbitsRLEDecoder::MostUnpackedPerByte * data_.size());
        std::vector<uint8_t> scratch(static_cast<size_t>(std::min<uint64_t>(bytes, 1 << 16)));
        for (uint64_t n; bytes > 0; bytes -= n) {
            n = std::min<uint64_t>(bytes, scratch.size());
            Next(k, scratch.data(), n);
        }
    }

    const std::vector<uint8_t>& data_;
    uint64_t planeSize_;
    std::vector<std::unique_ptr<TPackbitsRLEDecoder>> decoders_;
    std::vector<const uint8_t*> at_;
};

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

// Colour pictures: one plane per channel, the first planes converted row by
// row, a band of rows at a time, so that beside the bitmap only a band of
// each plane is held.
void TPSDGraphic::ReadColorPlanes(TStream& stream, const std::vector<uint16_t>& rowLengths, int planes,
                                  uint32_t channels)
{
    assert(planes >= 1 && planes <= 4 && channels >= static_cast<uint32_t>(planes));
    const TImageProperties& p = ImageProperties;
    const uint32_t height = p.Height;
    const uint32_t sampleBytes = p.BitsPerSample / 8;
    if (sampleBytes != 1 && sampleBytes != 2) return;  // no converter takes other depths
    const uint64_t rowStride = uint64_t(p.Width) * sampleBytes;
    const uint64_t planeSize = rowStride * height;
    const bool packed = p.Compression == ctPackedBits;
    std::vector<uint8_t> data;
    int64_t rawStart = 0;
    // Rows beyond what the packed data can fill (a packet of two bytes gives
    // at most 128) are zeros as stored (full ink for CMYK); from the first row
    // that plane 0 lacks on, every plane lacks it, so those rows all come out
    // like that first one.
    uint64_t rowsHeld = height;
    if (packed) {
        data = ReadPackedData(stream, rowLengths);
        const uint64_t reach = TPackbitsRLEDecoder::MostUnpackedPerByte * data.size();
        rowsHeld = std::min<uint64_t>(height, (reach + rowStride - 1) / rowStride);
    } else {
        RequireBytes(stream, planeSize * channels);
        rawStart = stream.Position();
    }
    const auto rows = static_cast<uint32_t>(std::min<uint64_t>(height, rowsHeld + 1));
    // A band holds whole rows of every plane, or a strip of one row when a
    // row takes more than a band.
    const uint64_t bandPixels = std::max<uint64_t>(1, kBandBytes / (uint64_t(planes) * sampleBytes));
    const auto bandRows = static_cast<uint32_t>(std::clamp<uint64_t>(bandPixels / p.Width, 1, rows));
    const auto stripPixels = static_cast<uint32_t>(std::min<uint64_t>(p.Width, bandPixels));
    std::vector<uint8_t> band(size_t(bandRows) * stripPixels * sampleBytes * size_t(planes));
    SampleBufferBytes += int64_t(band.size());
    TPackedPlanes unpacked(data, planes, planeSize);
    // Where the row lengths say each channel's data begins.
    std::vector<uint64_t> starts(static_cast<size_t>(planes));
    for (size_t k = 1; packed && k < starts.size(); ++k)
        starts[k] = std::accumulate(rowLengths.begin() + long((k - 1) * height), rowLengths.begin() + long(k * height),
                                    starts[k - 1]);
    // The samples of pixels [x, x + pixels) of rows [first, first + count) of
    // plane k: whole rows, or a strip of one, so that they follow one another.
    auto fill = [&](size_t k, uint32_t first, uint32_t count, uint32_t x, uint32_t pixels, uint8_t* target) {
        const uint64_t bytes = uint64_t(count) * pixels * sampleBytes;
        if (packed) return unpacked.Next(k, target, bytes);
        ChargeWork(bytes);
        stream.SetPosition(rawStart +
                           static_cast<int64_t>(k * planeSize + first * rowStride + uint64_t(x) * sampleBytes));
        stream.ReadBuffer(target, static_cast<int64_t>(bytes));
    };
    // Each plane's decoder begins where its row lengths say, unless the data
    // cannot fill the first plane; when a plane does not end where the next
    // begins, every plane is decoded again from where the one stream puts it.
    if (packed) unpacked.Start(starts, rows < height);
    ConvertBands(planes, rows, bandRows, stripPixels, band, fill);
    bool right = true;
    for (size_t k = 0; packed && rows == height && k + 1 < starts.size(); ++k)
        right = right && unpacked.EndsAt(k, starts[k + 1]);
    if (!right) {
        unpacked.Start(starts, true);
        ConvertBands(planes, rows, bandRows, stripPixels, band, fill);
    }
    for (uint32_t y = rows; y < height; ++y) {
        ChargeWork(uint64_t(RowBytes()));
        CopyScanLine(*this, static_cast<int>(y), static_cast<int>(rows - 1));
    }
}

void TPSDGraphic::ConvertBands(int planes, uint32_t rows, uint32_t bandRows, uint32_t stripPixels,
                               std::vector<uint8_t>& band, const TBandFill& fill)
{
    const uint32_t width = ImageProperties.Width, sampleBytes = ImageProperties.BitsPerSample / 8;
    const uint64_t bandPlane = band.size() / size_t(planes);
    const uint32_t pixelBytes = BitsPerPixelOf(PixelFormat()) / 8;
    const void* row[4] = {};
    for (uint32_t first = 0; first < rows; first += bandRows) {
        const uint32_t count = std::min(bandRows, rows - first);
        for (uint32_t x = 0; x < width; x += stripPixels) {
            const uint32_t pixels = std::min(stripPixels, width - x);
            std::fill(band.begin(), band.end(), uint8_t(0));
            for (int k = 0; k < planes; ++k) fill(size_t(k), first, count, x, pixels, band.data() + k * bandPlane);
            if (ImageProperties.ColorScheme == csCMYK) {
                ChargeWork(band.size());
                // CMYK samples are stored inverted (0 is full ink); complementing
                // every byte complements 16-bit samples too, in either byte order.
                for (uint8_t& b : band) b = static_cast<uint8_t>(255 - b);
            }
            for (uint32_t y = first; y < first + count; ++y) {
                ChargeWork(kRowSetUp + uint64_t(pixels) * pixelBytes);
                const uint64_t at = uint64_t(y - first) * pixels * sampleBytes;
                for (int k = 0; k < planes; ++k) row[k] = band.data() + k * bandPlane + at;
                ColorManager.ConvertRow(std::span<const void* const>(row, static_cast<size_t>(planes)),
                                        ScanLine(static_cast<int>(y)) + uint64_t(x) * pixelBytes, pixels);
            }
        }
    }
}
