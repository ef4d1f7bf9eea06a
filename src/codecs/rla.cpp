#include "codecs/rla.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "codecs/decoders.h"
#include "codecs/reader_helpers.h"
#include "codecs/row_records.h"
#include "platform/rtl/classes.h"
#include "platform/rtl/strconv.h"

namespace {

// The work of finding a record and setting its decoding up, whatever its size.
constexpr uint64_t kRecordSetUp = 64;

int16_t Swap16(int16_t v) { return static_cast<int16_t>(__builtin_bswap16(static_cast<uint16_t>(v))); }

// Reads the header with the counting read; false when the stream is short.
bool ReadHeader(TStream& stream, TRLAHeader& h)
{
    if (stream.Read(&h, sizeof h) != static_cast<int64_t>(sizeof h)) return false;
    for (int16_t* f : {&h.Window[0], &h.Window[1], &h.Window[2], &h.Window[3], &h.ActiveLeft, &h.ActiveRight,
                       &h.ActiveBottom, &h.ActiveTop, &h.Frame, &h.StorageType, &h.NumChannels, &h.NumMatte, &h.NumAux,
                       &h.Field, &h.ChanBits, &h.MatteType, &h.MatteBits, &h.AuxType, &h.AuxBits})
        *f = Swap16(*f);
    h.Revision = __builtin_bswap16(h.Revision);
    h.JobNumber = static_cast<int32_t>(SwapLong(static_cast<uint32_t>(h.JobNumber)));
    h.Next = static_cast<int32_t>(SwapLong(static_cast<uint32_t>(h.Next)));
    return true;
}

// A text field up to its first zero byte.
std::string FieldText(const char* field, size_t size) { return std::string(field, strnlen(field, size)); }

std::string Lower(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

}  // namespace

bool TRLAGraphic::CanLoad(TStream& stream)
{
    return TestHeader<TRLAHeader>(stream, [](TStream& s) {
        TRLAHeader h;
        if (!ReadHeader(s, h)) return false;
        const std::string type = Lower(FieldText(h.Chan, sizeof h.Chan));
        return h.Revision == 0xFFFE && (type == "rgb" || type == "xyz");
    });
}

bool TRLAGraphic::ReadImageProperties(TStream& stream, unsigned ImageIndex)
{
    TCodecGraphic::ReadImageProperties(stream, ImageIndex);
    TRLAHeader h;
    if (!ReadHeader(stream, h)) return false;
    TImageProperties& p = ImageProperties;
    p.Options = ioBigEndian;
    const bool matte = h.NumMatte == 1;
    // Channels are read with one depth: a matte of another depth than the
    // colours is understood only when both have at most 8 bits.
    if (matte && h.MatteBits != h.ChanBits && (h.ChanBits > 8 || h.MatteBits > 8)) return false;
    p.SamplesPerPixel = static_cast<uint8_t>(h.NumChannels + (matte ? 1 : 0));
    p.BitsPerSample = static_cast<uint8_t>(h.ChanBits);
    p.BitsPerPixel = static_cast<uint8_t>(p.BitsPerSample * p.SamplesPerPixel);
    const std::string type = Lower(FieldText(h.Chan, sizeof h.Chan));
    if (type == "rgb") p.ColorScheme = matte ? csRGBA : csRGB;
    else if (type == "xyz") return false;
    else p.ColorScheme = csUnknown;
    double gamma;
    try {
        gamma = StrToFloat(FieldText(h.Gamma, sizeof h.Gamma));
    } catch (const EConvertError&) {
        return false;
    }
    if (!std::isfinite(gamma) || std::fabs(gamma) > 1e30) return false;
    p.FileGamma = static_cast<float>(gamma);
    p.Compression = ctRLE;
    const int width = h.ActiveRight - h.ActiveLeft + 1;
    const int height = std::abs(h.ActiveBottom - h.ActiveTop) + 1;
    if (width <= 0) return false;
    p.Width = static_cast<uint32_t>(width);
    p.Height = static_cast<uint32_t>(height);
    p.BottomUp = h.ActiveBottom - h.ActiveTop < 0;
    return true;
}

void TRLAGraphic::LoadFromStream(TStream& stream)
{
    // A file that asks for more work than its size allows is damaged like
    // one whose records leave the file.
    MeteredLoad(
        static_cast<uint64_t>(std::max<int64_t>(stream.Remaining(), 0)), [&] { Load(stream); },
        [] { throw EReadError(); });
}

void TRLAGraphic::Load(TStream& stream)
{
    ReleaseHandle();
    BasePosition = stream.Position();
    if (!ReadImageProperties(stream, 0)) return;
    stream.SetPosition(BasePosition + static_cast<int64_t>(sizeof(TRLAHeader)));
    SetUpConversion();
    const uint32_t height = ImageProperties.Height;
    SetBitmapSize(*this, ImageProperties.Width, height);
    GrantOutputWork(uint64_t(RowBytes()) * height);

    RequireBytes(stream, 4 * uint64_t(height));
    std::vector<uint32_t> offsets(height);
    stream.ReadBuffer(offsets.data(), 4 * int64_t(height));
    SwapLong(offsets.data(), height);
    const int samples = ImageProperties.ColorScheme == csRGBA ? 4 : 3;
    std::vector<uint32_t> rows;
    const std::vector<TRecord> records = FindRecords(stream, offsets, samples, rows);
    ReadRows(stream, records, offsets, rows, samples);
}

void TRLAGraphic::SetUpConversion()
{
    const TImageProperties& p = ImageProperties;
    const bool matte = p.ColorScheme == csRGBA;
    const int samples = matte ? 4 : 3;
    // Channels of 9 to 16 bits are brought down to 8 bits when they are
    // decoded; deeper ones are refused by the colour manager.
    const bool wide = p.BitsPerSample > 8 && p.BitsPerSample <= 16;
    ColorManager.SourceOptions = optSwapBytes;
    ColorManager.TargetOptions = 0;
    ColorManager.SetSource(p.ColorScheme, wide ? 8 : p.BitsPerSample, samples);
    ColorManager.SetTarget(matte ? csBGRA : csBGR, p.BitsPerSample <= 8 ? p.BitsPerSample : 8, samples);
    SetPixelFormat(ColorManager.GetPixelFormat(1));
    if (p.FileGamma != 1.0f) {
        ColorManager.SetGamma(p.FileGamma, 2.2f);
        ColorManager.TargetOptions |= optGamma;
        ImageProperties.Options |= ioUseGamma;
    }
}

std::vector<TRLAGraphic::TRecord> TRLAGraphic::FindRecords(TStream& stream, const std::vector<uint32_t>& offsets,
                                                           int samples, std::vector<uint32_t>& rows)
{
    const size_t height = offsets.size();
    ChargeWork(SortingWork(height));
    rows.resize(height);
    for (size_t y = 0; y < height; ++y) rows[y] = static_cast<uint32_t>(y);
    std::stable_sort(rows.begin(), rows.end(), [&](uint32_t a, uint32_t b) { return offsets[a] < offsets[b]; });
    std::vector<TRecord> records;
    for (size_t i = 0; i < height; ++i) {
        if (i > 0 && offsets[rows[i]] == offsets[rows[i - 1]]) continue;
        // Each record is a 16-bit length and that many bytes, all of them in the file.
        int64_t at = BasePosition + offsets[rows[i]];
        for (int k = 0; k < samples; ++k) {
            ChargeWork(kRecordSetUp + 2);
            stream.SetPosition(at);
            uint8_t length[2];
            stream.ReadBuffer(length, 2);
            const uint16_t n = ReadBE16(length);
            RequireBytes(stream, n);
            records.push_back({at + 2, n});
            at += 2 + n;
        }
    }
    return records;
}

void TRLAGraphic::ReadRows(TStream& stream, const std::vector<TRecord>& records, const std::vector<uint32_t>& offsets,
                           const std::vector<uint32_t>& rows, int samples)
{
    const TImageProperties& p = ImageProperties;
    const uint32_t width = p.Width, height = p.Height;
    if (width == 0 || height == 0) return;
    const bool wide = p.BitsPerSample > 8 && p.BitsPerSample <= 16;
    // A channel of more than 8 bits holds two byte planes, each run-length
    // coded over the row: the high bytes of all its samples, then the low ones.
    const uint32_t rowBytes = width * (wide ? 2 : 1);
    const uint32_t maximum = wide ? (1u << p.BitsPerSample) - 1 : 255;
    // Every packet gives at least one byte for at most two (a run of one takes
    // two bytes, a literal one more than its bytes), so twice the row's bytes
    // of a record fill the row whatever the record holds: the rest of a longer
    // record is not read.
    std::vector<uint8_t> packed(std::min<uint32_t>(65535, 2 * rowBytes));
    std::vector<uint8_t> decoded(rowBytes);
    TRLADecoder decoder;
    auto decode = [&](uint8_t* target, const TRecord& record) {
        const auto used = static_cast<uint16_t>(std::min<size_t>(record.Length, packed.size()));
        ChargeWork(kRecordSetUp + used + PackedByteWork * used + rowBytes + (wide ? width : 0));
        stream.SetPosition(record.Data);
        stream.ReadBuffer(packed.data(), used);
        uint8_t* into = wide ? decoded.data() : target;
        std::memset(into, 0, rowBytes);
        void* source = packed.data();
        void* dest = into;
        decoder.Decode(source, dest, used, static_cast<int32_t>(rowBytes));
        for (uint32_t x = 0; wide && x < width; ++x) {
            const uint32_t v = std::min<uint32_t>(uint32_t(decoded[x]) << 8 | decoded[width + x], maximum);
            target[x] = static_cast<uint8_t>((v * 255 + maximum / 2) / maximum);
        }
    };
    // A record named again keeps its samples (all of them fit in the bitmap's size).
    std::vector<uint64_t> keys(records.size());
    for (size_t i = 0; i < records.size(); ++i) keys[i] = static_cast<uint64_t>(records[i].Data);
    TRowRecords shared(keys, width, uint64_t(RowBytes()) * height);
    std::vector<uint8_t> channels(size_t(width) * 4);
    const void* planes[4] = {};
    size_t use = 0;
    for (size_t i = 0; i < rows.size(); ++i) {
        ChargeWork(uint64_t(RowBytes()));
        const int line = static_cast<int>(p.BottomUp ? height - 1 - rows[i] : rows[i]);
        if (i > 0 && offsets[rows[i]] == offsets[rows[i - 1]]) {
            CopyScanLine(*this, line, static_cast<int>(p.BottomUp ? height - 1 - rows[i - 1] : rows[i - 1]));
            continue;
        }
        for (int k = 0; k < samples; ++k, ++use)
            planes[k] = shared.Samples(use, channels.data() + size_t(k) * width,
                                       [&](uint8_t* target) { decode(target, records[use]); });
        ColorManager.ConvertRow(std::span<const void* const>(planes, static_cast<size_t>(samples)), ScanLine(line),
                                width);
        shared.Release();
    }
}
