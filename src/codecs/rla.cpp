#include "codecs/rla.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "codecs/decoders.h"
#include "codecs/reader_helpers.h"
#include "platform/rtl/classes.h"
#include "platform/rtl/strconv.h"

namespace {

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
    ReleaseHandle();
    BasePosition = stream.Position();
    if (!ReadImageProperties(stream, 0)) return;
    stream.SetPosition(BasePosition + static_cast<int64_t>(sizeof(TRLAHeader)));

    const TImageProperties& p = ImageProperties;
    const bool matte = p.ColorScheme == csRGBA;
    const int samples = matte ? 4 : 3;
    // Channels of 9 to 16 bits are brought down to 8 bits here; deeper ones
    // are refused by the colour manager.
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
    const uint32_t width = p.Width, height = p.Height;
    SetBitmapSize(*this, width, height);

    RequireBytes(stream, 4 * uint64_t(height));
    std::vector<uint32_t> offsets(height);
    stream.ReadBuffer(offsets.data(), 4 * int64_t(height));
    SwapLong(offsets.data(), height);

    TRLADecoder decoder;
    // A channel of more than 8 bits holds two byte planes, each run-length
    // coded over the row: the high bytes of all its samples, then the low ones.
    const uint32_t sampleBytes = wide ? 2 : 1;
    const uint32_t rowBytes = width * sampleBytes;
    std::vector<uint8_t> channels(size_t(width) * 4);
    std::vector<uint8_t> decoded(rowBytes);
    // Every packet gives at least one byte for at most two (a run of one takes
    // two bytes, a literal one more than its bytes), so twice the row's bytes
    // of a channel record fill the row whatever the record holds: the rest of
    // a longer record is passed over, not read. Rows may share records, so
    // this is what keeps a row's cost to its own size.
    std::vector<uint8_t> packed(std::min<uint32_t>(65535, 2 * rowBytes));
    const void* planes[4];
    for (int k = 0; k < 4; ++k) planes[k] = channels.data() + size_t(k) * width;
    const uint32_t maximum = wide ? (1u << p.BitsPerSample) - 1 : 255;
    // Rows of their own records read disjoint parts of the file, so all they
    // read together fits in it; rows whose records overlap others' (one byte
    // further into the same bytes, say) would decode the same data again and
    // again, and are refused like a record longer than the file.
    const int64_t fileBytes = stream.Size() - BasePosition;
    int64_t recordBytes = 0;
    auto readChannel = [&](int k) {
        uint8_t length[2];
        stream.ReadBuffer(length, 2);
        const uint16_t n = ReadBE16(length);
        RequireBytes(stream, n);
        const auto used = static_cast<uint16_t>(std::min<size_t>(n, packed.size()));
        recordBytes += 2 + used;
        if (recordBytes > fileBytes) throw EReadError();
        stream.ReadBuffer(packed.data(), used);
        stream.Seek(n - used, soCurrent);
        uint8_t* out = channels.data() + size_t(k) * width;
        uint8_t* into = wide ? decoded.data() : out;
        std::memset(into, 0, rowBytes);
        void* source = packed.data();
        void* dest = into;
        decoder.Decode(source, dest, used, static_cast<int32_t>(rowBytes));
        if (wide) {
            for (uint32_t x = 0; x < width; ++x) {
                const uint32_t v = std::min<uint32_t>(uint32_t(decoded[x]) << 8 | decoded[width + x], maximum);
                out[x] = static_cast<uint8_t>((v * 255 + maximum / 2) / maximum);
            }
        }
    };
    // A row naming the records of a row read before is that row again.
    std::unordered_map<uint32_t, int> lineOf;  // offset -> the scan line read from it
    for (uint32_t y = 0; y < height; ++y) {
        const int line = static_cast<int>(p.BottomUp ? height - 1 - y : y);
        if (const auto read = lineOf.find(offsets[y]); read != lineOf.end()) {
            CopyScanLine(*this, line, read->second);
            continue;
        }
        stream.SetPosition(BasePosition + offsets[y]);
        for (int k = 0; k < samples; ++k) readChannel(k);
        ColorManager.ConvertRow(std::span<const void* const>(planes, static_cast<size_t>(samples)), ScanLine(line),
                                width);
        lineOf.emplace(offsets[y], line);
    }
}
