#include "codecs/psd.h"

#include <algorithm>
#include <cassert>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <span>
#include <utility>
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

// A stretch [from, to) of the stream read front to back through a window of
// at most TPSDGraphic::PackedWindowBytes bytes, a piece at a time as its
// bytes are taken, so that no more of it is held however long it is. Each
// piece read is charged to the load's work. Several windows may read one
// stream by turns: each reads from where it stands.
class TStreamWindow {
public:
    TStreamWindow(TStream& stream, int64_t from, int64_t to)
        : stream_(&stream),
          next_(from),
          to_(std::max(from, to)),
          window_(static_cast<size_t>(std::min<uint64_t>(TPSDGraphic::PackedWindowBytes, uint64_t(to_ - from))))
    {
    }

    // Where the first byte not taken yet lies in the stream.
    int64_t Position() const { return next_ - static_cast<int64_t>(held_ - taken_); }

    // The next `count` bytes, at most the window's size; raises the stream's
    // read error when the stretch ends before them.
    uint8_t* Take(size_t count)
    {
        if (held_ - taken_ < count) Fill(count);
        uint8_t* at = window_.data() + taken_;
        taken_ += count;
        return at;
    }

    // A decoder is given no bytes past `at` (a place in the stream, the end
    // of the stretch at most); should it ask for them, the window notes
    // that it ran on.
    void StopAt(int64_t at) { stop_ = at; }
    bool RanOn() const { return ranOn_; }

    // The next `bytes` bytes the decoder makes of the stretch from here on,
    // into target; the bytes it consumes are taken.
    void Decode(TPackbitsRLEDecoder& decoder, uint8_t* target, int32_t bytes)
    {
        decoder.SetMoreInput([this](uint8_t*& data, int32_t& size) { return Refill(data, size); });
        void* source = window_.data() + taken_;
        void* dest = target;
        decoder.Decode(source, dest, static_cast<int32_t>(held_ - taken_), bytes);
        taken_ = static_cast<size_t>(static_cast<uint8_t*>(source) - window_.data());
    }

    // Passes over the next `bytes` bytes the decoder makes of the stretch,
    // as Decode would make them; the bytes it consumes are taken.
    void Skip(TPackbitsRLEDecoder& decoder, int32_t bytes)
    {
        decoder.SetMoreInput([this](uint8_t*& data, int32_t& size) { return Refill(data, size); });
        void* source = window_.data() + taken_;
        decoder.Skip(source, static_cast<int32_t>(held_ - taken_), bytes);
        taken_ = static_cast<size_t>(static_cast<uint8_t*>(source) - window_.data());
    }

private:
    // Keeps the bytes not taken at the front and reads on after them.
    void Fill(size_t count)
    {
        std::memmove(window_.data(), window_.data() + taken_, held_ - taken_);
        held_ -= taken_;
        taken_ = 0;
        Read(to_);
        if (held_ < count) throw EReadError();
    }
    // A decoder has consumed every byte held: the next piece, up to where
    // it may go.
    bool Refill(uint8_t*& data, int32_t& size)
    {
        taken_ = held_ = 0;
        const int64_t end = std::min(to_, stop_);
        if (next_ >= end) {
            ranOn_ = ranOn_ || next_ < to_;
            return false;
        }
        Read(end);
        data = window_.data();
        size = static_cast<int32_t>(held_);
        return true;
    }
    // Reads as much of the stretch up to `end` as the window has room for.
    void Read(int64_t end)
    {
        const auto n =
            static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(window_.size() - held_), end - next_));
        ChargeWork(n);
        stream_->SetPosition(next_);
        stream_->ReadBuffer(window_.data() + held_, static_cast<int64_t>(n));
        next_ += static_cast<int64_t>(n);
        held_ += n;
    }

    TStream* stream_;
    int64_t next_, to_;  // where the bytes not read yet begin; the stretch's end
    int64_t stop_ = INT64_MAX;
    bool ranOn_ = false;
    std::vector<uint8_t> window_;
    size_t taken_ = 0, held_ = 0;  // the window's bytes taken, and read
};

// What the table of row lengths says of a channel: its packed bytes, and
// its longest row.
struct TChannelBytes {
    uint64_t Bytes = 0;
    uint16_t Longest = 0;
};

// The first `counted` channels of the table of row lengths at the stream's
// position (the lengths of every row of every channel, channel after
// channel), read a piece at a time; the table must all be there. The stream
// is left after the table, where the packed data begins.
std::vector<TChannelBytes> ReadChannelBytes(TStream& stream, uint32_t height, uint32_t channels, uint32_t counted)
{
    const int64_t at = stream.Position();
    const uint64_t tableBytes = 2 * uint64_t(height) * channels;
    RequireBytes(stream, tableBytes);
    std::vector<TChannelBytes> sums(counted);
    TStreamWindow table(stream, at, at + static_cast<int64_t>(2 * uint64_t(height) * counted));
    for (TChannelBytes& c : sums)
        for (uint64_t left = height; left > 0;) {
            const auto n = static_cast<size_t>(std::min<uint64_t>(left, TPSDGraphic::PackedWindowBytes / 2));
            const uint8_t* lengths = table.Take(2 * n);
            for (size_t i = 0; i < n; ++i) {
                const uint16_t length = ReadBE16(lengths + 2 * i);
                c.Bytes += length;
                c.Longest = std::max(c.Longest, length);
            }
            left -= n;
        }
    stream.SetPosition(at + static_cast<int64_t>(tableBytes));
    return sums;
}

// PackBits channels form one stream: a row that unpacks to more or less than
// its width moves every later sample, into the next plane too. The planes
// are unpacked a band of rows at a time, each by a decoder of its own that
// reads the stream through a window of its own, set at the place in the
// stream where its plane begins: where the row lengths say its channel
// begins, as long as every plane before it ends there; else (a damaged
// file) where decoding all the planes before it ends.
class TPackedPlanes {
public:
    // The packed data of all channels, [at, at + total) of the stream; where
    // in it each plane's channel begins; and the planes' size.
    TPackedPlanes(TStream& stream, int64_t at, uint64_t total, std::vector<uint64_t> starts, uint64_t planeSize)
        : stream_(stream), at_(at), total_(total), starts_(std::move(starts)), planeSize_(planeSize)
    {
    }

    // Each plane from where its channel begins. A plane is given no bytes
    // past the next channel's start (the last plane: up to the end of the
    // data): one that asks for them does not end there.
    void StartAtChannels()
    {
        planes_.clear();
        for (size_t k = 0; k < starts_.size(); ++k) {
            planes_.push_back(Plane(at_ + static_cast<int64_t>(starts_[k])));
            if (k + 1 < starts_.size()) planes_[k].input.StopAt(at_ + static_cast<int64_t>(starts_[k + 1]));
        }
    }

    // Each plane where the one stream puts it: where decoding every plane
    // before it ends, with the packet left over there. One decoder passes
    // over the stream, as far as the data can reach.
    void StartAsOneStream()
    {
        planes_.clear();
        TPlane walker = Plane(at_);
        uint64_t reach = TPackbitsRLEDecoder::MostUnpackedPerByte * total_;
        for (size_t k = 0; k < starts_.size(); ++k) {
            planes_.push_back(Plane(walker.input.Position()));
            planes_[k].decoder->ContinueFrom(*walker.decoder);
            if (k + 1 == starts_.size()) break;
            const uint64_t n = std::min(planeSize_, reach);
            Drop(walker, n);
            reach -= n;
        }
    }

    // Whether every plane but the last, unpacked from where its channel
    // begins, ends where the next channel begins: then the planes are one
    // stream, as the row lengths say. The planes are passed over, so that
    // unpacking and converting them, which costs far more, is done once.
    bool ChannelsAreOneStream()
    {
        StartAtChannels();
        for (size_t k = 0; k + 1 < planes_.size(); ++k) {
            Drop(planes_[k], planeSize_);
            if (!EndsAtNextChannel(k)) return false;
        }
        return true;
    }

    // The next `bytes` bytes of plane k into target (what the data does not
    // reach stays as it is).
    void Next(size_t k, uint8_t* target, uint64_t bytes) { Next(planes_[k], target, bytes); }

    // Whether plane k, filled, ends where the next channel begins (before
    // no-op packets at most, which writers put after a row) with no packet
    // left over, so that the next plane begins where its row lengths say.
    // Asked for one more byte, a decoder with a run left over gives it
    // without input, one with a literal left over takes one byte for it, and
    // one with nothing left over takes at least a header and a byte. (With
    // less than two bytes after the plane this cannot be told, and the
    // answer is no.)
    bool EndsAtNextChannel(size_t k)
    {
        TPlane& s = planes_[k];
        const int64_t end = at_ + static_cast<int64_t>(starts_[k + 1]);
        const int64_t from = s.input.Position();
        if (s.input.RanOn() || from > end || !NoOpsOnly(from, end) || at_ + static_cast<int64_t>(total_) - from < 2)
            return false;
        s.input.StopAt(INT64_MAX);
        uint8_t probe = 0;
        s.input.Decode(*s.decoder, &probe, 1);
        return s.input.Position() - from >= 2;
    }

private:
    struct TPlane {
        TStreamWindow input;
        std::unique_ptr<TPackbitsRLEDecoder> decoder;
    };

    // A decoder of the stream from `from` to the end of the data.
    TPlane Plane(int64_t from)
    {
        return {TStreamWindow(stream_, from, at_ + static_cast<int64_t>(total_)),
                std::make_unique<TPackbitsRLEDecoder>(true)};
    }

    void Next(TPlane& s, uint8_t* target, uint64_t bytes)
    {
        ChargeWork(bytes);
        s.input.Decode(*s.decoder, target, static_cast<int32_t>(bytes));
    }

    // Passes over the next `bytes` bytes of a plane. That costs what the
    // packets passed over are, and reading them is charged as they are read.
    static void Drop(TPlane& s, uint64_t bytes)
    {
        for (uint64_t n; bytes > 0; bytes -= n) {
            n = std::min<uint64_t>(bytes, INT32_MAX);
            s.input.Skip(*s.decoder, static_cast<int32_t>(n));
        }
    }

    // Whether the bytes [from, to) of the stream are all no-op packets.
    bool NoOpsOnly(int64_t from, int64_t to)
    {
        TStreamWindow gap(stream_, from, to);
        for (int64_t left = to - from; left > 0;) {
            const auto n = static_cast<size_t>(std::min<int64_t>(left, TPSDGraphic::PackedWindowBytes));
            const uint8_t* b = gap.Take(n);
            if (std::any_of(b, b + n, [](uint8_t v) { return v != 0x80; })) return false;
            left -= static_cast<int64_t>(n);
        }
        return true;
    }

    TStream& stream_;
    int64_t at_;
    uint64_t total_;
    std::vector<uint64_t> starts_;
    uint64_t planeSize_;
    std::vector<TPlane> planes_;
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

    // Packed data begins with the length of every row of every channel.
    if (p.Compression == ctPackedBits) RequireBytes(stream, 2 * uint64_t(p.Height) * channels);
    if (p.ColorScheme == csIndexed || p.ColorScheme == csG) ReadOnePlane(stream, channels);
    else ReadColorPlanes(stream, layout.Planes, channels);
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
void TPSDGraphic::ReadOnePlane(TStream& stream, uint32_t channels)
{
    const TImageProperties& p = ImageProperties;
    if (p.BitsPerSample != 1 && p.BitsPerSample != 8 && p.BitsPerSample != 16) CodecError(gesInvalidImage, {kLabel});
    const uint32_t rowBytes = static_cast<uint32_t>((uint64_t(p.Width) * p.BitsPerSample + 7) / 8);
    if (p.Compression == ctPackedBits) ReadPackedPlaneRows(stream, channels, rowBytes);
    else ReadRawPlaneRows(stream, rowBytes);
}

// Rows whose samples the bitmap stores as they are go straight into their
// scan line; 16-bit samples are brought down to 8 bits through a row buffer.
bool TPSDGraphic::RowsAreDirect() const
{
    return ColorManager.SourceBitsPerSample() == ColorManager.TargetBitsPerSample();
}

// The first channel's rows, each decoded from its own packed bytes; the row
// lengths and the packed rows are read a window at a time as the rows need
// them.
void TPSDGraphic::ReadPackedPlaneRows(TStream& stream, uint32_t channels, uint32_t rowBytes)
{
    const uint32_t width = ImageProperties.Width, height = ImageProperties.Height;
    const int64_t tableAt = stream.Position();
    const TChannelBytes first = ReadChannelBytes(stream, height, channels, 1)[0];
    const int64_t dataAt = stream.Position();
    RequireBytes(stream, first.Bytes);
    const bool direct = RowsAreDirect();
    // The row buffer holds what the longest packed row can fill, not what
    // the header claims. The buffer keeps what earlier rows left in it, as the
    // samples of a row whose data falls short; beyond the most any row
    // filled it holds zeros, which come out as the zeros the bitmap holds.
    auto canFill = [&](uint64_t length) {
        return std::min<uint64_t>(rowBytes, TPackbitsRLEDecoder::MostUnpackedPerByte * length);
    };
    std::vector<uint8_t> row(direct ? 0 : static_cast<size_t>(canFill(first.Longest)));
    SampleBufferBytes += int64_t(row.size());
    TStreamWindow lengths(stream, tableAt, tableAt + 2 * int64_t(height));
    TStreamWindow packed(stream, dataAt, dataAt + static_cast<int64_t>(first.Bytes));
    TPackbitsRLEDecoder decoder;
    uint64_t held = 0;  // bytes of the row buffer that some row filled
    for (uint32_t y = 0; y < height; ++y) {
        const uint16_t length = ReadBE16(lengths.Take(2));
        ChargeWork(kRowSetUp + length + uint64_t(RowBytes()) + (direct ? 0 : canFill(length)));
        void* s = packed.Take(length);
        if (direct) {
            void* d = ScanLine(static_cast<int>(y));
            decoder.Decode(s, d, length, static_cast<int32_t>(rowBytes));
        } else {
            const uint64_t filled = canFill(length);
            void* d = row.data();
            decoder.Decode(s, d, length, static_cast<int32_t>(filled));
            held = std::max(held, filled);
            const auto samples = static_cast<uint32_t>(std::min<uint64_t>(width, held / 2));
            ColorManager.ConvertRow({row.data()}, ScanLine(static_cast<int>(y)), samples);
        }
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
// each plane is held, and of packed planes a window of their data each.
void TPSDGraphic::ReadColorPlanes(TStream& stream, int planes, uint32_t channels)
{
    assert(planes >= 1 && planes <= 4 && channels >= static_cast<uint32_t>(planes));
    const TImageProperties& p = ImageProperties;
    const uint32_t height = p.Height;
    const uint32_t sampleBytes = p.BitsPerSample / 8;
    if (sampleBytes != 1 && sampleBytes != 2) return;  // no converter takes other depths
    const uint64_t rowStride = uint64_t(p.Width) * sampleBytes;
    const uint64_t planeSize = rowStride * height;
    const bool packed = p.Compression == ctPackedBits;
    // Where the row lengths say each plane's channel begins in the packed
    // data, and the packed bytes of all channels.
    std::vector<uint64_t> starts(static_cast<size_t>(planes));
    uint64_t total = 0;
    if (packed) {
        const std::vector<TChannelBytes> channelBytes = ReadChannelBytes(stream, height, channels, channels);
        for (uint32_t c = 0; c < channels; total += channelBytes[c++].Bytes)
            if (c < starts.size()) starts[c] = total;
    }
    const int64_t dataAt = stream.Position();
    RequireBytes(stream, packed ? total : planeSize * channels);
    // Rows beyond what the packed data can fill (a packet of two bytes gives
    // at most 128) are zeros as stored (full ink for CMYK); from the first row
    // that plane 0 lacks on, every plane lacks it, so those rows all come out
    // like that first one.
    const uint64_t reach = TPackbitsRLEDecoder::MostUnpackedPerByte * total;
    const uint64_t rowsHeld = packed ? std::min<uint64_t>(height, (reach + rowStride - 1) / rowStride) : height;
    const auto rows = static_cast<uint32_t>(std::min<uint64_t>(height, rowsHeld + 1));
    // A band holds whole rows of every plane, or a strip of one row when a
    // row takes more than a band.
    const uint64_t bandPixels = std::max<uint64_t>(1, kBandBytes / (uint64_t(planes) * sampleBytes));
    const auto bandRows = static_cast<uint32_t>(std::clamp<uint64_t>(bandPixels / p.Width, 1, rows));
    const auto stripPixels = static_cast<uint32_t>(std::min<uint64_t>(p.Width, bandPixels));
    std::vector<uint8_t> band(size_t(bandRows) * stripPixels * sampleBytes * size_t(planes));
    SampleBufferBytes += int64_t(band.size());
    TPackedPlanes unpacked(stream, dataAt, total, starts, planeSize);
    // The samples of pixels [x, x + pixels) of rows [first, first + count) of
    // plane k: whole rows, or a strip of one, so that they follow one another.
    auto fill = [&](size_t k, uint32_t first, uint32_t count, uint32_t x, uint32_t pixels, uint8_t* target) {
        const uint64_t bytes = uint64_t(count) * pixels * sampleBytes;
        if (packed) return unpacked.Next(k, target, bytes);
        ChargeWork(bytes);
        stream.SetPosition(dataAt +
                           static_cast<int64_t>(k * planeSize + first * rowStride + uint64_t(x) * sampleBytes));
        stream.ReadBuffer(target, static_cast<int64_t>(bytes));
    };
    // Each plane's decoder begins where its row lengths say when every plane
    // ends where the next begins; else, or when the data cannot fill the
    // first plane, where the one stream puts it.
    if (packed && rows == height && unpacked.ChannelsAreOneStream()) unpacked.StartAtChannels();
    else if (packed) unpacked.StartAsOneStream();
    ConvertBands(planes, rows, bandRows, stripPixels, band, fill);
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
