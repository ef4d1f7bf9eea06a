#include "codecs/png.h"

#include <algorithm>
#include <cassert>
#include <climits>
#include <cstring>

#include <zlib.h>

#include "codecs/deflate_decoder.h"
#include "codecs/picture_size.h"
#include "platform/gdi/canvas.h"
#include "platform/rtl/byteorder.h"
#include "platform/rtl/classes.h"

namespace {

const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
const char* const kLabel = "PNG";

// Adam7: starting row and column, row and column steps, and the mask of the
// pass's pixels within each group of eight.
const int kStartRow[7] = {0, 0, 4, 0, 2, 0, 1};
const int kStartColumn[7] = {0, 4, 0, 2, 0, 1, 0};
const int kRowStep[7] = {8, 8, 8, 4, 4, 2, 2};
const int kColumnStep[7] = {8, 8, 4, 4, 2, 2, 1};
const uint8_t kPassMask[7] = {0x80, 0x08, 0x88, 0x22, 0xAA, 0x55, 0xFF};

inline uint8_t Paeth(int a, int b, int c)
{
    const int p = a + b - c;
    const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    if (pa <= pb && pa <= pc) return static_cast<uint8_t>(a);
    return static_cast<uint8_t>(pb <= pc ? b : c);
}

}  // namespace

TPNGGraphic::TPNGGraphic() = default;
TPNGGraphic::~TPNGGraphic() = default;

bool TPNGGraphic::CanLoad(TStream& stream)
{
    const int64_t start = stream.Position();
    bool ok = false;
    if (stream.Remaining() > 8) {
        uint8_t s[8];
        ok = stream.Read(s, 8) == 8 && std::memcmp(s, kSignature, 8) == 0;
    }
    stream.SetPosition(start);
    return ok;
}

bool TPNGGraphic::IsChunk(const char* type) const
{
    for (int i = 0; i < 4; ++i)
        if ((CurrentChunk.Type[i] ^ static_cast<uint8_t>(type[i])) & ~0x20) return false;
    return true;
}

void TPNGGraphic::ReadChunkHeader()
{
    uint8_t h[8];
    ChargeWork(8);
    Stream->ReadBuffer(h, 8);
    CurrentChunk.Length = ReadBE32(h);
    std::memcpy(CurrentChunk.Type, h + 4, 4);
    CRC = static_cast<uint32_t>(crc32(0, h + 4, 4));
}

void TPNGGraphic::ReadChunkData()
{
    const uint32_t length = CurrentChunk.Length;
    // A length the file cannot hold is refused before taking memory for it.
    if (int64_t(length) + 4 > Stream->Remaining()) throw EReadError();
    if (RawBuffer.size() < length) RawBuffer.resize(length);
    ChargeWork(length);
    Stream->ReadBuffer(RawBuffer.data(), length);
    uint8_t stored[4];
    Stream->ReadBuffer(stored, 4);
    CRC = static_cast<uint32_t>(crc32(CRC, RawBuffer.data(), length));
    if (CRC != ReadBE32(stored)) CodecError(gesCRCError, {kLabel});
}

void TPNGGraphic::SkipChunkData() { Stream->Seek(int64_t(CurrentChunk.Length) + 4, soCurrent); }

bool TPNGGraphic::ReadImageProperties(TStream& stream, unsigned ImageIndex)
{
    TCodecGraphic::ReadImageProperties(stream, ImageIndex);
    Stream = &stream;
    uint8_t s[8];
    if (stream.Read(s, 8) != 8 || std::memcmp(s, kSignature, 8) != 0) return false;
    ReadChunkHeader();
    if (!IsChunk("IHDR") || CurrentChunk.Length != 13) return false;
    TImageProperties& p = ImageProperties;
    p.Options |= ioBigEndian;
    ReadChunkData();
    const uint8_t* h = RawBuffer.data();
    p.Width = ReadBE32(h);
    p.Height = ReadBE32(h + 4);
    if (p.Width == 0 || p.Height == 0 || p.Width > INT_MAX || p.Height > INT_MAX) return false;
    p.Compression = h[10] == 0 ? ctLZ77 : ctUnknown;
    p.BitsPerSample = h[8];
    p.SamplesPerPixel = 1;
    switch (h[9]) {
    case 0: p.ColorScheme = csG; break;
    case 2:
        p.ColorScheme = csRGB;
        p.SamplesPerPixel = 3;
        break;
    case 3: p.ColorScheme = csIndexed; break;
    case 4: p.ColorScheme = csGA; break;
    case 6:
        p.ColorScheme = csRGBA;
        p.SamplesPerPixel = 4;
        break;
    default: p.ColorScheme = csUnknown; break;
    }
    p.BitsPerPixel = static_cast<uint8_t>(p.SamplesPerPixel * p.BitsPerSample);
    p.FilterMode = h[11];
    p.Interlaced = h[12] != 0;
    p.HasAlpha = p.ColorScheme == csGA || p.ColorScheme == csRGBA || p.ColorScheme == csBGRA;

    // The file gamma, if a gAMA chunk comes before the end.
    while (stream.Remaining() >= 8) {
        ReadChunkHeader();
        if (IsChunk("gAMA")) {
            ReadChunkData();
            if (CurrentChunk.Length >= 4) p.FileGamma = static_cast<float>(ReadBE32(RawBuffer.data()) / 100000.0);
            break;
        }
        SkipChunkData();
        if (IsChunk("IEND")) break;
    }
    return true;
}

void TPNGGraphic::SetupColorDepth()
{
    ApplyGamma();
    TColorManager& cm = ColorManager;
    const unsigned depth = BitDepth;
    auto set = [&](TColorScheme source, int samples, TColorScheme target, int targetBits, int targetSamples) {
        cm.SetSource(source, static_cast<int>(depth), samples);
        cm.SetTarget(target, targetBits, targetSamples);
    };
    const bool wide = depth == 8 || depth == 16;
    switch (ColorType) {
    case 0:
        if (depth != 1 && depth != 2 && depth != 4 && !wide) break;
        set(csG, 1, csG, depth == 2 ? 4 : (depth == 16 ? 8 : static_cast<int>(depth)), 1);
        SetPixelFormat(cm.GetPixelFormat(1));
        Palette = cm.CreateGrayscalePalette(false);
        SourceBPP = (depth + 7) / 8;
        DepthSet = true;
        return;
    case 2:
        if (!wide) break;
        set(csRGB, 3, csBGR, 8, 3);
        SetPixelFormat(pf24bit);
        SourceBPP = depth * 3 / 8;
        DepthSet = true;
        return;
    case 3:
        if (depth != 1 && depth != 2 && depth != 4 && depth != 8) break;
        set(csIndexed, 1, csIndexed, depth == 2 ? 4 : static_cast<int>(depth), 1);
        SetPixelFormat(cm.GetPixelFormat(1));
        SourceBPP = 1;
        DepthSet = true;
        return;
    case 4:
        if (!wide) break;
        set(csGA, 1, csIndexed, 8, 1);
        SetPixelFormat(pf8bit);
        Palette = cm.CreateGrayscalePalette(false);
        SourceBPP = depth * 2 / 8;
        DepthSet = true;
        return;
    case 6:
        if (!wide) break;
        set(csRGBA, 4, csBGRA, 8, 4);
        SetPixelFormat(pf32bit);
        SourceBPP = depth * 4 / 8;
        DepthSet = true;
        return;
    default: break;
    }
    CodecError(gesInvalidColorFormat, {kLabel});
}

uint8_t TPNGGraphic::Level(uint16_t value) const
{
    switch (BitDepth) {
    case 1: return value & 1 ? 255 : 0;
    case 2: return static_cast<uint8_t>((value & 3) * 85);
    case 4: return static_cast<uint8_t>((value & 15) * 17);
    case 16: return static_cast<uint8_t>(MulDiv16(value, 255, 65535));
    default: return static_cast<uint8_t>(value);
    }
}

// The colour of a bKGD or tRNS chunk of a gray or RGB image; used says how
// many bytes it needs (0: the chunk is too short or the type has none).
TColor TPNGGraphic::ChunkColor(size_t& used) const
{
    assert(IsChunk("bKGD") || IsChunk("tRNS"));
    const uint8_t* d = RawBuffer.data();
    const uint32_t n = CurrentChunk.Length;
    used = 0;
    if ((ColorType == 0 || ColorType == 4) && n >= 2) {
        used = 2;
        const uint8_t g = Level(ReadBE16(d));
        return RGB(g, g, g);
    }
    if ((ColorType == 2 || ColorType == 6) && n >= 6) {
        used = 6;
        return RGB(Level(ReadBE16(d)), Level(ReadBE16(d + 2)), Level(ReadBE16(d + 4)));
    }
    return clNone;
}

void TPNGGraphic::LoadFromStream(TStream& stream)
{
    ReleaseHandle();
    BasePosition = stream.Position();
    Stream = &stream;
    Decoder.reset();
    LoadMetered(stream, kLabel, [this] { Load(); });
}

void TPNGGraphic::Load()
{
    TStream& stream = *Stream;
    if (!ReadImageProperties(stream, 0)) CodecError(gesInvalidImage, {kLabel});
    ResetLoadState();
    ReadHeaderChunk();
    if (ImageProperties.Compression != ctLZ77)
        CodecError(gesUnsupportedFeature, {LoadStr(gesCompressionScheme), kLabel});
    struct TRelease {
        TPNGGraphic* self;
        ~TRelease()
        {
            self->Decoder.reset();
            std::vector<uint8_t>().swap(self->RawBuffer);
            std::vector<uint8_t>().swap(self->Ahead);
        }
    } release{this};
    Decoder = std::make_unique<TLZ77Decoder>(Z_PARTIAL_FLUSH, false);
    Decoder->DecodeInit();
    ReadChunks();
}

void TPNGGraphic::ResetLoadState()
{
    ColorManager = TColorManager();
    Palette.reset();
    BackgroundColorValue = clWhite;
    TransparentColorValue = clNone;
    DepthSet = false;
    GammaPending = false;
    AtEnd = false;
    SourceLeft = 0;
    IDATSize = 0;
    InflateLeft = 0;
    AheadAt = AheadEnd = 0;
    StreamEnded = false;
}

void TPNGGraphic::ReadHeaderChunk()
{
    Stream->SetPosition(BasePosition + 8);
    ReadChunkHeader();
    ReadChunkData();
    BitDepth = RawBuffer[8];
    ColorType = RawBuffer[9];
    ColorManager.SourceOptions = optSwapBytes;  // 16-bit samples are big-endian
}

void TPNGGraphic::ReadChunks()
{
    bool decoded = false;
    for (;;) {
        if (Stream->Remaining() < 8) {
            // A file may lack its end chunk once the picture is complete; cut
            // before any image data it holds no picture at all.
            if (!decoded) throw EReadError();
            break;
        }
        ReadChunkHeader();
        if (IsChunk("IDAT")) {
            // Image data after the first run of it (past a chunk that ended
            // that run) is read and not used: the picture is decoded once.
            if (decoded) {
                ReadChunkData();
                continue;
            }
            DecodeImage();
            decoded = true;
            if (AtEnd) break;
        } else if (ReadColorChunk()) {
            continue;
        }
        // Every other chunk, and the one that follows the image data.
        if (IsChunk("IEND")) break;
        if (!(CurrentChunk.Type[0] & 0x20)) CodecError(gesUnknownCriticalChunk);
        SkipChunkData();
    }
}

bool TPNGGraphic::ReadColorChunk()
{
    if (IsChunk("PLTE")) ReadPaletteChunk();
    else if (IsChunk("gAMA")) ReadGammaChunk();
    else if (IsChunk("bKGD")) ReadBackgroundChunk();
    else if (IsChunk("tRNS")) ReadTransparencyChunk();
    else return false;
    return true;
}

void TPNGGraphic::ReadPaletteChunk()
{
    if (CurrentChunk.Length % 3 != 0) CodecError(gesInvalidPalette, {kLabel});
    ReadChunkData();
    if (ColorType == 3) {
        SetupColorDepth();
        const void* data[1] = {RawBuffer.data()};
        Palette = ColorManager.CreateColorPalette(data, pfInterlaced8Triple, CurrentChunk.Length / 3, false);
    }
}

// The gamma table is built when it is first used, once for any number of
// gamma chunks: by then the colour depths are those in force at the last
// gamma chunk, as set-up changes them only after building a pending table.
void TPNGGraphic::ReadGammaChunk()
{
    ReadChunkData();
    if (CurrentChunk.Length >= 4) {
        PendingGamma = static_cast<float>(ReadBE32(RawBuffer.data()) / 100000.0);
        GammaPending = true;
        ColorManager.TargetOptions |= optGamma;
        ImageProperties.Options |= ioUseGamma;
    }
}

void TPNGGraphic::ApplyGamma()
{
    if (!GammaPending) return;
    GammaPending = false;
    ColorManager.SetGamma(PendingGamma, 2.2f);
}

void TPNGGraphic::ReadBackgroundChunk()
{
    ReadChunkData();
    size_t used;
    const TColor c = ChunkColor(used);
    if (used) {
        BackgroundColorValue = c;
    } else if (ColorType == 3 && CurrentChunk.Length >= 1 && Palette) {
        // The background of a palette image is one of its entries.
        const uint8_t index = RawBuffer[0];
        if (index < Palette->entries.size()) {
            const TPaletteEntry& e = Palette->entries[index];
            BackgroundColorValue = RGB(e.peRed, e.peGreen, e.peBlue);
        }
    }
}

void TPNGGraphic::ReadTransparencyChunk()
{
    ReadChunkData();
    size_t used;
    const TColor c = ChunkColor(used);
    if (used && (ColorType == 0 || ColorType == 2)) {
        TransparentColorValue = c;
        // The samples as stored, at their depth (the colour takes the low byte at 8 bits).
        for (int i = 0; i < 3; ++i) {
            const uint16_t v = ColorType == 2 ? ReadBE16(RawBuffer.data() + 2 * i) : 0;
            TransparentSamples[i] = BitDepth == 16 ? v : (v & 0xFF);
        }
    }
}

void TPNGGraphic::DecodeImage()
{
    ApplyGamma();
    if (!DepthSet) SetupColorDepth();
    const bool keyRGB = SetUpBitmap();
    InflateLeft = ImageDataBytes();
    if (ImageProperties.Interlaced) DecodeInterlaced(keyRGB);
    else DecodeRows(keyRGB);
    // Image data past the picture is read (CRC checked) and not used.
    while (!AtEnd && IsChunk("IDAT")) {
        ReadChunkData();
        if (Stream->Remaining() < 8) AtEnd = true;
        else ReadChunkHeader();
    }
}

bool TPNGGraphic::SetUpBitmap()
{
    const TImageProperties& p = ImageProperties;
    // Gamma correction changes the colours the pixels show but not the
    // transparent colour, which is compared with the colour as stored: the
    // pixels stored in that colour show it as it is.
    const bool keyStored = TransparentColorValue != clNone && (ColorManager.TargetOptions & optGamma) != 0;
    if (keyStored && ColorType == 0 && Palette && !Palette->entries.empty()) {
        // A gray pixel is the index of its level on the ramp.
        const size_t last = Palette->entries.size() - 1;
        const uint8_t level = GetRValue(TransparentColorValue);
        Palette->entries[level * last / 255] = TPaletteEntry{level, level, level, 0};
    }
    if (Palette) SetPalette(Palette);
    CheckPictureSize(p.Width, p.Height, PixelFormat());
    SetSize(static_cast<int>(p.Width), static_cast<int>(p.Height));
    GrantOutputWork(uint64_t(RowBytes()) * p.Height);
    if (TransparentColorValue != clNone) {
        SetTransparentColor(TransparentColorValue);
        SetTransparent(true);
    }
    return keyStored && ColorType == 2;
}

uint64_t TPNGGraphic::ImageDataBytes() const
{
    const uint32_t width = ImageProperties.Width, height = ImageProperties.Height;
    if (!ImageProperties.Interlaced) return uint64_t(height) * RowSize(width);
    uint64_t bytes = 0;
    for (int pass = 0; pass < 7; ++pass) {
        if (width <= uint32_t(kStartColumn[pass]) || height <= uint32_t(kStartRow[pass])) continue;
        const uint32_t passWidth = (width + kColumnStep[pass] - 1 - kStartColumn[pass]) / kColumnStep[pass];
        const uint32_t rows = (height + kRowStep[pass] - 1 - kStartRow[pass]) / kRowStep[pass];
        bytes += uint64_t(rows) * RowSize(passWidth);
    }
    return bytes;
}

size_t TPNGGraphic::RowSize(uint32_t width) const
{
    const unsigned samples = BitDepth == 16 ? SourceBPP / 2 : SourceBPP;
    return (size_t(width) * BitDepth + 7) / 8 * samples + 1;
}

// Every row gets the same pixels: the first is filled, the others copy the
// rows filled before them, twice as many rows at each step.
void TPNGGraphic::FillBackground(uint32_t fromRow)
{
    const uint32_t width = ImageProperties.Width, height = ImageProperties.Height;
    if (fromRow >= height) return;
    const size_t rowBytes = size_t(RowBytes());
    ChargeWork(uint64_t(rowBytes) * (height - fromRow));
    const int first = static_cast<int>(fromRow);
    Canvas().Brush.Color = BackgroundColorValue;
    Canvas().FillRect(Rect(0, first, static_cast<int>(width), first + 1));
    uint8_t* const filled = Bits() + size_t(fromRow) * rowBytes;
    for (size_t rows = 1, left = height - fromRow - 1; left > 0;) {
        const size_t copied = std::min(rows, left);
        std::memcpy(filled + rows * rowBytes, filled, copied * rowBytes);
        rows += copied;
        left -= copied;
    }
}

// The row buffers take what the image data fills: a header may claim rows of
// gigabytes that the file has no data for. The row above the first one (of
// the image or of a pass) is zeros, taken once a row is there.
bool TPNGGraphic::NextRow(std::vector<uint8_t>& current, std::vector<uint8_t>& previous, size_t size, bool first)
{
    if (!ReadRow(current, size)) return false;
    if (first) {
        previous.assign(std::max(previous.size(), size), 0);
        SampleBufferBytes += int64_t(previous.size());
    }
    // The row's unfiltering and its conversion into a scan line.
    ChargeWork(size + size_t(RowBytes()));
    Unfilter(current.data(), previous.data(), size);
    return true;
}

void TPNGGraphic::DecodeRows(bool keyRGB)
{
    const uint32_t width = ImageProperties.Width, height = ImageProperties.Height;
    const size_t size = RowSize(width);
    std::vector<uint8_t> current, previous;
    uint32_t y = 0;
    for (; y < height && NextRow(current, previous, size, y == 0); ++y) {
        uint8_t* line = Line(y);
        ColorManager.ConvertRow({current.data() + 1}, line, width);
        if (keyRGB) KeyStoredPixels(current.data() + 1, line, width, 0, 1);
        current.swap(previous);
    }
    // Rows for which no image data remains show the background.
    FillBackground(y);
}

void TPNGGraphic::DecodeInterlaced(bool keyRGB)
{
    const uint32_t width = ImageProperties.Width, height = ImageProperties.Height;
    FillBackground(0);
    std::vector<uint8_t> current, previous;
    for (int pass = 0; pass < 7; ++pass) {
        if (width <= uint32_t(kStartColumn[pass])) continue;
        const uint32_t first = uint32_t(kStartColumn[pass]), step = uint32_t(kColumnStep[pass]);
        const uint32_t passWidth = (width + step - 1 - first) / step;
        const size_t size = RowSize(passWidth);
        for (uint32_t y = kStartRow[pass]; y < height; y += kRowStep[pass]) {
            if (!NextRow(current, previous, size, y == uint32_t(kStartRow[pass]))) return;
            uint8_t* line = Line(y);
            ColorManager.ConvertRow({current.data() + 1}, line, width, kPassMask[pass]);
            if (keyRGB) KeyStoredPixels(current.data() + 1, line, passWidth, first, step);
            current.swap(previous);
        }
    }
}

bool TPNGGraphic::ReadRow(std::vector<uint8_t>& row, size_t size)
{
    if (AheadEnd - AheadAt >= size && row.size() >= size) {
        // The usual small row, whole in the data inflated ahead.
        std::memcpy(row.data(), Ahead.data() + AheadAt, size);
        AheadAt += size;
        return true;
    }
    size_t filled = 0;
    while (filled < size) {
        if (filled == row.size()) {
            // Room for what the data gives next: twice the room before (at
            // least a block), never beyond the row.
            const size_t grown = std::min(size, std::max<size_t>(2 * row.size(), 1 << 16));
            SampleBufferBytes += int64_t(grown - row.size());
            row.resize(grown);
        }
        const size_t room = std::min(size, row.size()) - filled;
        size_t got = 0;
        if (AheadAt < AheadEnd) {
            got = std::min(room, AheadEnd - AheadAt);
            std::memcpy(row.data() + filled, Ahead.data() + AheadAt, got);
            AheadAt += got;
        } else if (StreamEnded) {
            // The stream ended inside this row, or at its start with more
            // image data after it; at the start of a row followed by another
            // chunk, the rows from there on are missing.
            uint8_t none;
            if (filled > 0 || Inflate(&none, 1, got)) CodecError(gesExtraCompressedData, {kLabel});
            return false;
        } else if (size >= kAheadBytes) {
            if (!Inflate(row.data() + filled, room, got)) return false;
        } else {
            // Small rows are taken from data inflated ahead, many rows at a
            // time: a call of the inflater per row of a few bytes costs far
            // more than the bytes. What is inflated ahead is image data still
            // due, never more.
            if (InflateLeft == 0) return false;
            if (Ahead.empty()) {
                Ahead.resize(size_t(std::min<uint64_t>(kAheadBytes, InflateLeft)));
                SampleBufferBytes += int64_t(Ahead.size());
            }
            AheadAt = 0;
            if (!Inflate(Ahead.data(), size_t(std::min<uint64_t>(Ahead.size(), InflateLeft)), AheadEnd)) return false;
        }
        filled += got;
    }
    return true;
}

bool TPNGGraphic::Inflate(uint8_t* dest, size_t room, size_t& produced)
{
    produced = 0;
    while (SourceLeft == 0) {
        // The stream ends where image data is still due: the file is cut,
        // and a picture with made-up rows must not pass for the real one.
        if (AtEnd) throw EReadError();
        if (!IsChunk("IDAT")) return false;
        ReadChunkData();
        CurrentSource = RawBuffer.data();
        IDATSize = CurrentChunk.Length;
        SourceLeft = IDATSize;
        if (Stream->Remaining() < 8) AtEnd = true;
        else ReadChunkHeader();
    }
    void* source = const_cast<uint8_t*>(CurrentSource);
    void* out = dest;
    Decoder->Decode(source, out, static_cast<int32_t>(std::min<uint32_t>(SourceLeft, INT32_MAX)),
                    static_cast<int32_t>(std::min<size_t>(room, INT32_MAX)));
    const size_t consumed = static_cast<size_t>(static_cast<const uint8_t*>(source) - CurrentSource);
    produced = static_cast<size_t>(static_cast<uint8_t*>(out) - dest);
    CurrentSource = static_cast<const uint8_t*>(source);
    SourceLeft -= static_cast<uint32_t>(consumed);
    InflateLeft -= std::min<uint64_t>(produced, InflateLeft);
    // Inflated bytes are output of their own; each call costs at least a byte's work.
    GrantOutputWork(produced);
    ChargeWork(1 + produced);
    const int32_t status = Decoder->Status();
    if (status == Z_STREAM_END) {
        // The stream ends with its image data chunk.
        if (SourceLeft > 0) CodecError(gesExtraCompressedData, {kLabel});
        StreamEnded = true;
    } else if (status != Z_OK) {
        CodecError(gesDecompression, {kLabel});
    }
    return true;
}

void TPNGGraphic::KeyStoredPixels(const uint8_t* samples, uint8_t* line, uint32_t count, uint32_t first,
                                  uint32_t step) const
{
    assert(ColorType == 2 && (BitDepth == 8 || BitDepth == 16) && SourceBPP == 3u * BitDepth / 8);
    const bool wide = BitDepth == 16;
    for (uint32_t i = 0; i < count; ++i, samples += SourceBPP) {
        bool match = true;
        for (int k = 0; k < 3 && match; ++k)
            match = (wide ? ReadBE16(samples + 2 * k) : samples[k]) == TransparentSamples[k];
        if (!match) continue;
        uint8_t* p = line + (size_t(first) + size_t(i) * step) * 3;  // blue, green, red
        p[0] = GetBValue(TransparentColorValue);
        p[1] = GetGValue(TransparentColorValue);
        p[2] = GetRValue(TransparentColorValue);
    }
}

void TPNGGraphic::Unfilter(uint8_t* row, const uint8_t* prior, size_t size) const
{
    uint8_t* x = row + 1;
    const uint8_t* b = prior + 1;
    const size_t n = size - 1;
    const size_t bpp = std::min<size_t>(SourceBPP ? SourceBPP : 1, n);
    switch (row[0]) {
    case 1:
        for (size_t i = bpp; i < n; ++i) x[i] = static_cast<uint8_t>(x[i] + x[i - bpp]);
        break;
    case 2:
        for (size_t i = 0; i < n; ++i) x[i] = static_cast<uint8_t>(x[i] + b[i]);
        break;
    case 3:
        for (size_t i = 0; i < bpp; ++i) x[i] = static_cast<uint8_t>(x[i] + (b[i] >> 1));
        for (size_t i = bpp; i < n; ++i) x[i] = static_cast<uint8_t>(x[i] + ((x[i - bpp] + b[i]) >> 1));
        break;
    case 4:
        for (size_t i = 0; i < bpp; ++i) x[i] = static_cast<uint8_t>(x[i] + b[i]);
        for (size_t i = bpp; i < n; ++i) x[i] = static_cast<uint8_t>(x[i] + Paeth(x[i - bpp], b[i], b[i - bpp]));
        break;
    default: break;
    }
}
