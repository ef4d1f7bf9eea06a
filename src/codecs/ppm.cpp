#include "codecs/ppm.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "codecs/reader_helpers.h"
#include "platform/rtl/classes.h"

namespace {

const char* const kLabel = "PBM, PGM or PPM";
// The work of a row, whatever its size; and of each byte of the file, which
// is scanned a few times over (as a digit, a separator, a comment's text).
constexpr uint64_t kRowSetUp = 64;
constexpr uint64_t kCharWork = 4;

bool IsDigit(int c) { return c >= '0' && c <= '9'; }

// A sample of 0..maximum as 0..255, rounded.
inline uint8_t Scale(uint32_t value, uint32_t maximum)
{
    if (maximum == 255) return static_cast<uint8_t>(std::min<uint32_t>(value, 255));
    const uint64_t v = std::min(value, maximum);
    return static_cast<uint8_t>((v * 255 + maximum / 2) / maximum);
}

}  // namespace

bool TPPMGraphic::CanLoad(TStream& stream)
{
    const int64_t start = stream.Position();
    bool ok = false;
    if (stream.Remaining() > 10) {
        uint8_t magic[2];
        stream.ReadBuffer(magic, 2);
        ok = magic[0] == 'P' && magic[1] >= '1' && magic[1] <= '6';
    }
    stream.SetPosition(start);
    return ok;
}

void TPPMGraphic::EmptyBuffer()
{
    BufferIndex = sizeof Buffer;
    bufferLength_ = 0;
}

int TPPMGraphic::NextChar(bool atEndRaises)
{
    if (BufferIndex >= bufferLength_) {
        const int64_t got = Stream->Position() < Stream->Size() ? Stream->Read(Buffer, sizeof Buffer) : 0;
        if (got <= 0) {
            if (atEndRaises) CodecError(gesStreamReadError, {"PPM"});
            return -1;
        }
        bufferLength_ = static_cast<uint32_t>(got);
        BufferIndex = 0;
        ChargeWork(kCharWork * uint64_t(got));
    }
    return Buffer[BufferIndex++];
}

uint8_t TPPMGraphic::GetChar() { return static_cast<uint8_t>(NextChar(true)); }

uint8_t TPPMGraphic::PeekChar() const { return BufferIndex < bufferLength_ ? Buffer[BufferIndex] : 0; }

std::string TPPMGraphic::ReadLine()
{
    std::string line;
    for (;;) {
        const uint8_t c = GetChar();
        if (c == '\n') break;
        if (c == '\r') {
            if (PeekChar() == '\n') GetChar();
            break;
        }
        line += static_cast<char>(c);
    }
    const size_t comment = line.find('#');
    if (comment != std::string::npos) line.erase(comment);
    return line;
}

int TPPMGraphic::ReadMagic()
{
    // "P" and the type digit; the numbers may follow on the same line
    // ("P6 3 2 255") or on the next ones, with comments anywhere between.
    const int p = NextChar(false);
    const int digit = NextChar(false);
    return p == 'P' && digit >= '0' && digit <= '9' ? digit - '0' : -1;
}

uint8_t TPPMGraphic::GetDigit()
{
    uint8_t c = GetChar();
    while (!IsDigit(c)) {
        if (c == '#') ReadLine();
        c = GetChar();
    }
    return static_cast<uint8_t>(c - '0');
}

uint32_t TPPMGraphic::GetNumber()
{
    uint64_t value = GetDigit();
    for (;;) {
        const int c = NextChar(false);
        if (!IsDigit(c)) break;
        value = std::min<uint64_t>(value * 10 + uint64_t(c - '0'), UINT32_MAX);
    }
    return static_cast<uint32_t>(value);
}

void TPPMGraphic::ReadBytes(uint8_t* target, size_t count)
{
    while (count > 0) {
        if (BufferIndex >= bufferLength_) {
            *target++ = GetChar();  // refills, or raises at the end
            --count;
            continue;
        }
        const size_t n = std::min<size_t>(count, bufferLength_ - BufferIndex);
        std::memcpy(target, Buffer + BufferIndex, n);
        BufferIndex += static_cast<uint32_t>(n);
        target += n;
        count -= n;
    }
}

bool TPPMGraphic::ReadImageProperties(TStream& stream, unsigned ImageIndex)
{
    TCodecGraphic::ReadImageProperties(stream, ImageIndex);
    Stream = &stream;
    EmptyBuffer();
    const int type = ReadMagic();
    TImageProperties& p = ImageProperties;
    p.Compression = ctNone;
    if (type < 0) return false;
    if (type >= 1 && type <= 6) {
        // Types 1 and 4 are bitmaps, 2 and 5 gray maps, 3 and 6 colour maps.
        const bool bitmap = type % 3 == 1, colour = type % 3 == 0;
        p.Width = GetNumber();
        p.Height = GetNumber();
        if (!bitmap) GetNumber();  // the largest sample value
        p.SamplesPerPixel = colour ? 3 : 1;
        p.BitsPerSample = bitmap ? 1 : 8;
        p.ColorScheme = colour ? csRGB : csIndexed;
    }
    p.BitsPerPixel = static_cast<uint8_t>(p.SamplesPerPixel * p.BitsPerSample);
    return true;
}

void TPPMGraphic::LoadFromStream(TStream& stream)
{
    LoadMetered(stream, kLabel, [&] { Load(stream); });
}

void TPPMGraphic::Load(TStream& stream)
{
    ReleaseHandle();
    BasePosition = stream.Position();
    Stream = &stream;
    if (!ReadImageProperties(stream, 0)) CodecError(gesInvalidImage, {kLabel});
    stream.SetPosition(BasePosition);
    EmptyBuffer();
    const int type = ReadMagic();
    if (type < 1 || type > 6) return;

    const bool bilevel = type == 1 || type == 4;
    const bool gray = type == 2 || type == 5;
    const uint32_t width = GetNumber(), height = GetNumber();
    const uint32_t maximum = bilevel ? 1 : GetNumber();
    // A maximum of 0 holds no picture; binary samples have at most 16 bits.
    if (maximum == 0 || (type >= 5 && maximum > 65535)) CodecError(gesInvalidImage, {kLabel});

    ColorManager.SourceOptions = 0;
    ColorManager.TargetOptions = 0;
    ColorManager.SetSource(bilevel || gray ? csIndexed : csRGB, bilevel ? 1 : 8, bilevel || gray ? 1 : 3);
    ColorManager.SetTarget(bilevel || gray ? csIndexed : csBGR, bilevel ? 1 : 8, bilevel || gray ? 1 : 3);
    SetPixelFormat(bilevel ? pf1bit : (gray ? pf8bit : pf24bit));
    // Bitmaps: 0 is white, 1 black.
    if (bilevel || gray) SetPalette(ColorManager.CreateGrayscalePalette(bilevel));
    SetBitmapSize(*this, width, height);
    if (width == 0 || height == 0) return;
    GrantOutputWork(uint64_t(RowBytes()) * height);
    if (type <= 3) ReadTextRows(type, width, height, maximum);
    else ReadBinaryRows(type, width, height, maximum);
}

void TPPMGraphic::ReadTextRows(int type, uint32_t width, uint32_t height, uint32_t maximum)
{
    for (uint32_t y = 0; y < height; ++y) {
        ChargeWork(kRowSetUp + uint64_t(RowBytes()));
        uint8_t* line = ScanLine(static_cast<int>(y));
        switch (type) {
        case 1:
            // Every pixel is one digit; digits need nothing between them.
            std::memset(line, 0, (width + 7) / 8);
            for (uint32_t x = 0; x < width; ++x)
                line[x >> 3] |= static_cast<uint8_t>((GetDigit() & 1) << (7 - (x & 7)));
            break;
        case 2:
            for (uint32_t x = 0; x < width; ++x) line[x] = Scale(GetNumber(), maximum);
            break;
        default:
            for (uint32_t x = 0; x < width; ++x) {
                line[3 * x + 2] = Scale(GetNumber(), maximum);
                line[3 * x + 1] = Scale(GetNumber(), maximum);
                line[3 * x] = Scale(GetNumber(), maximum);
            }
            break;
        }
    }
}

void TPPMGraphic::ReadBinaryRows(int type, uint32_t width, uint32_t height, uint32_t maximum)
{
    const size_t sampleBytes = maximum > 255 ? 2 : 1;
    // Binary samples are read a block of pixels at a time: a header may claim
    // rows of gigabytes that the file has no data for.
    constexpr uint32_t kBlock = 4096;
    const size_t pixelBytes = (type == 6 ? 3 : 1) * sampleBytes;
    std::vector<uint8_t> row;
    if (type >= 5) row.resize(std::min(width, kBlock) * pixelBytes);
    SampleBufferBytes += int64_t(row.size());
    auto binarySample = [&](size_t i) -> uint8_t {
        return sampleBytes == 2 ? Scale((uint32_t(row[2 * i]) << 8) | row[2 * i + 1], maximum) : Scale(row[i], maximum);
    };
    for (uint32_t y = 0; y < height; ++y) {
        ChargeWork(kRowSetUp + uint64_t(RowBytes()));
        uint8_t* line = ScanLine(static_cast<int>(y));
        if (type == 4) {
            ReadBytes(line, (width + 7) / 8);
            continue;
        }
        for (uint32_t x = 0; x < width;) {
            const uint32_t n = std::min(width - x, kBlock);
            ReadBytes(row.data(), n * pixelBytes);
            for (uint32_t i = 0; i < n; ++i, ++x) {
                if (type == 5) {
                    line[x] = binarySample(i);
                } else {
                    line[3 * size_t(x) + 2] = binarySample(3 * size_t(i));
                    line[3 * size_t(x) + 1] = binarySample(3 * size_t(i) + 1);
                    line[3 * size_t(x)] = binarySample(3 * size_t(i) + 2);
                }
            }
        }
    }
}
