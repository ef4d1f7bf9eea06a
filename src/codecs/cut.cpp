#include "codecs/cut.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "codecs/decoders.h"
#include "codecs/reader_helpers.h"
#include "platform/rtl/classes.h"
#include "platform/rtl/sysutils.h"

namespace {

constexpr int kBlock = 512;
constexpr int kFirstEntry = 40;
constexpr int kEntrySize = 6;
// The work of decoding a row, whatever its size.
constexpr uint64_t kRowSetUp = 64;

HPALETTE GrayPalette()
{
    TLogPalette log;
    log.entries.resize(256);
    for (int i = 0; i < 256; ++i) log.entries[i] = TPaletteEntry{uint8_t(i), uint8_t(i), uint8_t(i), 0};
    return CreatePalette(log);
}

}  // namespace

HPALETTE ReadCUTPalette(TStream& stream)
{
    // 256 entries never reach past the fourth block.
    uint8_t data[4 * kBlock] = {};
    const int64_t got = stream.Read(data, sizeof data);
    if (got < kFirstEntry) return nullptr;
    const unsigned count = std::min<unsigned>(ReadLE16(data + 12) + 1u, 256);
    TLogPalette log;
    log.entries.resize(count);
    int64_t at = kFirstEntry;
    for (unsigned i = 0; i < count; ++i) {
        if (at % kBlock > kBlock - kEntrySize) at = (at / kBlock + 1) * kBlock;
        if (at + kEntrySize > got) break;
        log.entries[i] = TPaletteEntry{data[at], data[at + 2], data[at + 4], 0};
        at += kEntrySize;
    }
    return CreatePalette(log);
}

void TCUTGraphic::LoadFromFile(const std::string& fileName)
{
    PaletteFile = ChangeFileExt(fileName, ".pal");
    TCodecGraphic::LoadFromFile(fileName);
}

bool TCUTGraphic::CanLoad(TStream&) { return false; }

bool TCUTGraphic::ReadImageProperties(TStream& stream, unsigned ImageIndex)
{
    TCodecGraphic::ReadImageProperties(stream, ImageIndex);
    SetPixelFormat(pf8bit);
    uint8_t size[4] = {};
    stream.Read(size, sizeof size);
    TImageProperties& p = ImageProperties;
    p.Width = ReadLE16(size);
    p.Height = ReadLE16(size + 2);
    p.ColorScheme = csIndexed;
    p.BitsPerSample = 8;
    p.SamplesPerPixel = 1;
    p.BitsPerPixel = 8;
    p.Compression = ctRLE;
    return true;
}

void TCUTGraphic::LoadFromStream(TStream& stream)
{
    // A file that asks for more work than its size allows is damaged like one
    // that ends early.
    MeteredLoad(
        static_cast<uint64_t>(std::max<int64_t>(stream.Remaining(), 0)), [&] { Load(stream); },
        [] { throw EReadError(); });
}

void TCUTGraphic::Load(TStream& stream)
{
    ReleaseHandle();
    BasePosition = stream.Position();
    ReadImageProperties(stream, 0);
    stream.SetPosition(BasePosition + 6);
    SetPixelFormat(pf8bit);
    const uint32_t width = ImageProperties.Width, height = ImageProperties.Height;

    HPALETTE palette;
    if (!PaletteFile.empty() && FileExists(PaletteFile)) {
        TFileStream file(PaletteFile, fmOpenRead | fmShareDenyNone);
        palette = ReadCUTPalette(file);
    }
    SetPalette(palette ? palette : GrayPalette());
    SetBitmapSize(*this, width, height);
    if (width == 0 || height == 0) return;
    GrantOutputWork(uint64_t(RowBytes()) * height);

    std::vector<uint8_t> data(static_cast<size_t>(stream.Remaining()));
    const int64_t got = stream.Read(data.data(), static_cast<int64_t>(data.size()));
    TCUTRLEDecoder decoder;
    void* source = data.data();
    const auto* end = data.data() + got;
    for (uint32_t y = 0; y < height; ++y) {
        void* dest = ScanLine(static_cast<int>(y));
        const auto* from = static_cast<uint8_t*>(source);
        const auto left = static_cast<int32_t>(std::min<int64_t>(end - from, INT32_MAX));
        decoder.Decode(source, dest, left, static_cast<int32_t>(width));
        ChargeWork(kRowSetUp + width + uint64_t(static_cast<uint8_t*>(source) - from));
    }
}
