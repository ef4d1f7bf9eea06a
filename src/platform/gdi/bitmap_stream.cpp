// Windows bitmap files: reading every depth and compression a bitmap file
// can hold, and writing the bitmap's own depth.
#include <algorithm>
#include <cassert>
#include <cstring>

#include "platform/gdi/dib.h"
#include "platform/gdi/graphics.h"
#include "platform/rtl/byteorder.h"
#include "platform/rtl/classes.h"
#include "platform/rtl/work_meter.h"

namespace {

// One colour channel of a bit-field pixel: where it sits and how to widen it to 8 bits.
struct TMaskChannel {
    uint32_t mask = 0;
    int shift = 0;
    int bits = 0;
    uint8_t Get(uint32_t pixel) const
    {
        if (bits == 0) return 0;
        const uint32_t v = (pixel & mask) >> shift;
        if (bits >= 8) return static_cast<uint8_t>(v >> (bits - 8));
        const uint32_t max = (1u << bits) - 1;
        return static_cast<uint8_t>((v * 255 + max / 2) / max);
    }
};

TMaskChannel MakeChannel(uint32_t mask)
{
    TMaskChannel c;
    c.mask = mask;
    if (mask == 0) return c;
    while (!((mask >> c.shift) & 1)) ++c.shift;
    uint32_t m = mask >> c.shift;
    while (m & 1) {
        ++c.bits;
        m >>= 1;
    }
    // Only the contiguous low run of the mask counts.
    c.mask = ((c.bits >= 32) ? 0xFFFFFFFFu : ((1u << c.bits) - 1)) << c.shift;
    return c;
}

int64_t FileStride(int width, int bitCount) { return ((int64_t(width) * bitCount + 31) / 32) * 4; }

// Expands RLE8 / RLE4 data into the indexed bitmap. The column stays
// within 0 .. w: a run or delta that would take it past the row end only
// takes it to the end, so no count in the data can carry it round or out
// of the row, and a run costs only the pixels it writes. Each pixel is
// written at most once (the position only moves right and down), and
// decoding stops as soon as nothing more can be written: below the last
// row, or past the end of the last row, where only the last row's end of
// line and the end of the bitmap are still taken. Returns the bytes used.
size_t DecodeRLE(const uint8_t* data, size_t size, const TDIBHeader& h, TBitmap& bitmap)
{
    assert(h.compression == BI_RLE8 || h.compression == BI_RLE4);
    assert(bitmap.Width() == h.width && bitmap.Height() == h.height);
    const bool four = h.compression == BI_RLE4;
    const int w = h.width, ht = h.height;
    int x = 0, y = 0;
    // Stores pixel `at` of a row; the caller keeps it below w.
    auto put = [&](uint8_t* row, int at, unsigned v) {
        if (four) {
            uint8_t& b = row[at >> 1];
            b = (at & 1) ? uint8_t((b & 0xF0) | (v & 15)) : uint8_t((b & 0x0F) | (v << 4));
        } else {
            row[at] = static_cast<uint8_t>(v);
        }
    };
    auto rowOf = [&](int fileRow) { return bitmap.ScanLine(h.topDown ? fileRow : ht - 1 - fileRow); };
    // Moves the column right by n, no further than the row end.
    auto advance = [&](unsigned n) { x = static_cast<int>(std::min<int64_t>(w, int64_t(x) + n)); };
    size_t pos = 0;
    while (pos + 1 < size) {
        const unsigned count = data[pos], value = data[pos + 1];
        if (y >= ht || (y == ht - 1 && x >= w)) {
            // Full: only the escapes that close the picture are taken.
            if (count != 0 || value > 1 || (value == 0 && y >= ht)) break;
            pos += 2;
            if (value == 1) break;
            ++y;
            continue;
        }
        pos += 2;
        if (count > 0) {
            // A run; what lies past the row end is dropped.
            const int n = std::min(static_cast<int>(count), w - x);
            if (n > 0) {
                uint8_t* row = rowOf(y);
                for (int i = 0; i < n; ++i) put(row, x + i, four ? ((i & 1) ? (value & 15) : (value >> 4)) : value);
            }
            advance(count);
            continue;
        }
        if (value == 0) {  // end of line
            x = 0;
            ++y;
        } else if (value == 1) {  // end of bitmap
            break;
        } else if (value == 2) {  // delta
            if (pos + 1 >= size) break;
            advance(data[pos]);
            y = std::min(ht, y + data[pos + 1]);
            pos += 2;
        } else {  // absolute run of `value` pixels, padded to a 16-bit boundary
            const size_t bytes = four ? (value + 1) / 2 : value;
            const size_t avail = std::min(bytes, size - pos);
            const size_t given = four ? std::min<size_t>(value, 2 * avail) : avail;
            const int n = static_cast<int>(std::min<size_t>(given, static_cast<size_t>(w - x)));
            if (n > 0) {
                uint8_t* row = rowOf(y);
                for (int i = 0; i < n; ++i) {
                    const uint8_t b = data[pos + (four ? size_t(i) / 2 : size_t(i))];
                    put(row, x + i, four ? ((i & 1) ? (b & 15) : (b >> 4)) : b);
                }
            }
            advance(value);
            pos += std::min((bytes + 1) & ~size_t(1), size - pos);
        }
    }
    return pos;
}

// ---- The info header ---------------------------------------------------------

// The bytes of an info header that are decoded; the rest of a larger one is skipped.
constexpr uint32_t kKeptHeaderBytes = 124;

// The header versions, told apart by their size.
enum class THeaderKind { Core, OS2, Info };

THeaderKind HeaderKindOf(uint32_t headerSize, const std::string& label)
{
    if (headerSize == 12) return THeaderKind::Core;
    if (headerSize == 16 || headerSize == 64 || (headerSize > 12 && headerSize < 40)) return THeaderKind::OS2;
    if (headerSize < 40 || headerSize > 4096) RaiseInvalidImage(label);
    return THeaderKind::Info;
}

// Reads the header after its size field into buf, skipping what lies past
// the bytes decoded.
void ReadRestOfHeader(TStream& stream, uint8_t (&buf)[kKeptHeaderBytes], uint32_t headerSize)
{
    const uint32_t keep = std::min<uint32_t>(headerSize, sizeof buf);
    stream.ReadBuffer(buf + 4, keep - 4);
    if (headerSize > keep) stream.Seek(headerSize - keep, soCurrent);
}

// The fields of a header that are checked once the version is read: the
// size as stored (a negative height is a top-down image) and the number of
// colours used.
struct TStoredFields {
    int64_t width = 0;
    int64_t height = 0;
    uint32_t clrUsed = 0;
};

TStoredFields ReadCoreHeader(const uint8_t* buf, TDIBHeader& h)
{
    TStoredFields f;
    f.width = ReadLE16(buf + 4);
    f.height = static_cast<int16_t>(ReadLE16(buf + 6));
    h.bitCount = ReadLE16(buf + 10);
    return f;
}

// An OS/2 or Windows info header; the fields a shorter header leaves out
// keep their defaults, and only a Windows header carries masks.
TStoredFields ReadInfoHeader(const uint8_t* buf, bool os2, const std::string& label, TDIBHeader& h)
{
    TStoredFields f;
    f.width = static_cast<int32_t>(ReadLE32(buf + 4));
    f.height = static_cast<int32_t>(ReadLE32(buf + 8));
    h.bitCount = ReadLE16(buf + 14);
    if (h.headerSize >= 20) h.compression = ReadLE32(buf + 16);
    if (h.headerSize >= 24) h.sizeImage = ReadLE32(buf + 20);
    if (h.headerSize >= 36) f.clrUsed = ReadLE32(buf + 32);
    if (os2 && h.compression > BI_RLE4) RaiseInvalidImage(label);  // OS/2 Huffman and RLE24
    if (!os2 && h.headerSize >= 52) {
        h.masks[0] = ReadLE32(buf + 40);
        h.masks[1] = ReadLE32(buf + 44);
        h.masks[2] = ReadLE32(buf + 48);
    }
    if (!os2 && h.headerSize >= 56) h.masks[3] = ReadLE32(buf + 52);
    return f;
}

void SetImageSize(const TStoredFields& stored, bool heightHolds2, const std::string& label, TDIBHeader& h)
{
    const int64_t width = stored.width;
    int64_t height = stored.height;
    if (height < 0) {
        h.topDown = true;
        height = -height;
    }
    if (heightHolds2) height /= 2;
    if (width <= 0 || height <= 0 || width > 0x7FFFFFF || height > 0x7FFFFFF) RaiseInvalidImage(label);
    h.width = static_cast<int>(width);
    h.height = static_cast<int>(height);
}

// The depths each compression allows; embedded JPEG or PNG and anything
// unknown are refused.
void CheckCompression(const TDIBHeader& h, const std::string& label)
{
    switch (h.compression) {
    case BI_RGB:
        if (h.bitCount != 1 && h.bitCount != 4 && h.bitCount != 8 && h.bitCount != 16 && h.bitCount != 24 &&
            h.bitCount != 32)
            RaiseInvalidImage(label);
        break;
    case BI_RLE8:
        if (h.bitCount != 8) RaiseInvalidImage(label);
        break;
    case BI_RLE4:
        if (h.bitCount != 4) RaiseInvalidImage(label);
        break;
    case BI_BITFIELDS:
    case BI_ALPHABITFIELDS:
        if (h.bitCount != 16 && h.bitCount != 32) RaiseInvalidImage(label);
        break;
    default: RaiseInvalidImage(label);
    }
}

// The masks that follow a version 1 header (three, or four with alpha);
// they take their room from the colour table's.
void ReadMasksAfterHeader(TStream& stream, TDIBHeader& h, int64_t& tableBytes)
{
    assert(h.headerSize == 40 && (h.compression == BI_BITFIELDS || h.compression == BI_ALPHABITFIELDS));
    uint8_t m[16];
    const int n = h.compression == BI_ALPHABITFIELDS ? 16 : 12;
    stream.ReadBuffer(m, n);
    for (int i = 0; i < n / 4; ++i) h.masks[i] = ReadLE32(m + 4 * i);
    if (tableBytes >= 0) tableBytes -= n;
}

// The colour table: 3-byte entries after a core header, 4-byte otherwise.
// Entries past what the depth can index are skipped.
void ReadColourTable(TStream& stream, bool core, uint32_t clrUsed, int64_t tableBytes, const std::string& label,
                     TDIBHeader& h)
{
    const int entrySize = core ? 3 : 4;
    uint32_t entries = 0;
    if (h.bitCount <= 8) entries = clrUsed ? clrUsed : (1u << h.bitCount);
    else entries = clrUsed;
    // Old writers leave out part of the table; the data offset tells.
    if (tableBytes >= 0)
        entries = static_cast<uint32_t>(std::min<int64_t>(entries, std::max<int64_t>(tableBytes, 0) / entrySize));
    if (entries > 0 && entries <= 65536) {
        const uint32_t keepEntries = std::min<uint32_t>(entries, h.bitCount <= 8 ? (1u << h.bitCount) : 0);
        std::vector<uint8_t> table(static_cast<size_t>(keepEntries) * entrySize);
        ChargeWork(table.size());
        stream.ReadBuffer(table.data(), static_cast<int64_t>(table.size()));
        if (entries > keepEntries) stream.Seek(int64_t(entries - keepEntries) * entrySize, soCurrent);
        h.palette.resize(keepEntries);
        for (uint32_t i = 0; i < keepEntries; ++i) {
            const uint8_t* e = table.data() + static_cast<size_t>(i) * entrySize;
            h.palette[i] = TPaletteEntry{e[2], e[1], e[0], 0};
        }
    } else if (entries > 65536) {
        RaiseInvalidImage(label);
    }
    // Indexes past a short table show black rather than reading past it.
    if (h.bitCount <= 8) h.palette.resize(size_t(1) << h.bitCount);
}

// The bitmap's format for the header's pixels; bit-field layouts that match
// a native one are copied as they are, the others converted to 32 bits.
TPixelFormat FormatOf(const TDIBHeader& h, bool& convert)
{
    const bool fields = h.compression == BI_BITFIELDS || h.compression == BI_ALPHABITFIELDS;
    const uint32_t* masks = h.masks;
    convert = false;
    switch (h.bitCount) {
    case 1: return pf1bit;
    case 4: return pf4bit;
    case 8: return pf8bit;
    case 16:
        if (!fields || (masks[0] == 0x7C00 && masks[1] == 0x03E0 && masks[2] == 0x001F)) return pf15bit;
        if (masks[0] == 0xF800 && masks[1] == 0x07E0 && masks[2] == 0x001F) return pf16bit;
        convert = true;
        return pf32bit;
    case 24: return pf24bit;
    default: convert = fields && !(masks[0] == 0xFF0000 && masks[1] == 0xFF00 && masks[2] == 0xFF); return pf32bit;
    }
}

}  // namespace

void RaiseInvalidImage(const std::string& label)
{
    throw EInvalidGraphic("Cannot load image. Invalid or unexpected " + label + " image format.");
}

TDIBHeader ReadDIBHeader(TStream& stream, const std::string& label, bool heightHolds2, int64_t tableBytes)
{
    TDIBHeader h;
    uint8_t buf[kKeptHeaderBytes] = {};
    stream.ReadBuffer(buf, 4);
    h.headerSize = ReadLE32(buf);
    const THeaderKind kind = HeaderKindOf(h.headerSize, label);
    ReadRestOfHeader(stream, buf, h.headerSize);
    const TStoredFields stored =
        kind == THeaderKind::Core ? ReadCoreHeader(buf, h) : ReadInfoHeader(buf, kind == THeaderKind::OS2, label, h);
    SetImageSize(stored, heightHolds2, label, h);
    CheckCompression(h, label);
    if (h.headerSize == 40 && (h.compression == BI_BITFIELDS || h.compression == BI_ALPHABITFIELDS))
        ReadMasksAfterHeader(stream, h, tableBytes);
    ReadColourTable(stream, kind == THeaderKind::Core, stored.clrUsed, tableBytes, label, h);
    return h;
}

void ReadDIBPixels(TStream& stream, const TDIBHeader& h, TBitmap& bitmap, const std::string& label, int64_t dataSize)
{
    (void)label;
    const int w = h.width, ht = h.height;
    const bool rle = h.compression == BI_RLE8 || h.compression == BI_RLE4;
    const int64_t stride = FileStride(w, h.bitCount);

    bool convert = false;
    const TPixelFormat format = FormatOf(h, convert);
    const uint32_t* masks = h.masks;

    // Uncompressed data must all be there before the bitmap is allocated.
    if (!rle && stream.Remaining() < stride * ht) throw EReadError();

    bitmap.ReleaseHandle();
    bitmap.SetPixelFormat(format);
    if (h.bitCount <= 8) {
        TLogPalette log;
        log.entries = h.palette;
        bitmap.SetPalette(CreatePalette(log));
    }
    bitmap.SetSize(w, ht);
    const uint64_t bitmapBytes = uint64_t(bitmap.RowBytes()) * uint64_t(ht);
    GrantOutputWork(bitmapBytes);

    if (rle) {
        int64_t n = stream.Remaining();
        if (dataSize >= 0) n = std::min(n, dataSize);
        if (h.sizeImage > 0) n = std::min<int64_t>(n, h.sizeImage);
        const int64_t dataStart = stream.Position();
        // Each step of the runs takes two bytes and each pixel is written
        // once at most.
        ChargeWork(static_cast<uint64_t>(n) + uint64_t(w) * uint64_t(ht));
        std::vector<uint8_t> data(static_cast<size_t>(n));
        stream.ReadBuffer(data.data(), n);
        const size_t used = DecodeRLE(data.data(), data.size(), h, bitmap);
        // What follows (an icon's mask) starts where the header's image
        // size says, or else where the runs ended.
        stream.SetPosition(dataStart + (h.sizeImage > 0 ? n : static_cast<int64_t>(used)));
        return;
    }

    std::vector<uint8_t> row(static_cast<size_t>(stride));
    const TMaskChannel r = MakeChannel(masks[0]), g = MakeChannel(masks[1]), b = MakeChannel(masks[2]),
                       a = MakeChannel(masks[3]);
    const size_t copy = static_cast<size_t>(std::min<int64_t>(stride, bitmap.RowBytes()));
    ChargeWork(static_cast<uint64_t>(stride * ht) + (convert ? bitmapBytes : 0));
    for (int y = 0; y < ht; ++y) {
        uint8_t* line = bitmap.ScanLine(h.topDown ? y : ht - 1 - y);
        if (!convert) {
            stream.ReadBuffer(line, static_cast<int64_t>(copy));
            if (static_cast<int64_t>(copy) < stride) stream.Seek(stride - static_cast<int64_t>(copy), soCurrent);
            continue;
        }
        stream.ReadBuffer(row.data(), stride);
        for (int x = 0; x < w; ++x) {
            const uint32_t p = h.bitCount == 16 ? ReadLE16(row.data() + 2 * x) : ReadLE32(row.data() + 4 * x);
            line[4 * x] = b.Get(p);
            line[4 * x + 1] = g.Get(p);
            line[4 * x + 2] = r.Get(p);
            line[4 * x + 3] = a.bits ? a.Get(p) : 0;
        }
    }
}

namespace {

// Reads a bitmap file, or a bare device-independent bitmap, into the bitmap.
void LoadBitmapFile(TStream& stream, TBitmap& bitmap)
{
    const std::string label = "BMP";
    const int64_t start = stream.Position();
    uint8_t fileHeader[14];
    const int64_t got = stream.Read(fileHeader, 2);
    int64_t dataOffset = -1;
    if (got == 2 && fileHeader[0] == 'B' && fileHeader[1] == 'M') {
        stream.ReadBuffer(fileHeader + 2, 12);
        dataOffset = ReadLE32(fileHeader + 10);
    } else {
        // A bare device-independent bitmap: the info header comes first.
        stream.SetPosition(start);
    }
    const int64_t headerStart = stream.Position();
    uint8_t sizeField[4] = {0, 0, 0, 0};
    stream.Read(sizeField, 4);
    stream.SetPosition(headerStart);
    const int64_t tableBytes =
        dataOffset > 0 ? start + dataOffset - headerStart - static_cast<int64_t>(ReadLE32(sizeField)) : -1;
    const TDIBHeader h = ReadDIBHeader(stream, label, false, tableBytes);
    // The file header's data offset wins when it points past the colour table.
    if (dataOffset > 0 && start + dataOffset >= stream.Position()) stream.SetPosition(start + dataOffset);
    ReadDIBPixels(stream, h, bitmap, label);
}

}  // namespace

void TBitmap::LoadFromStream(TStream& stream)
{
    MeteredLoad(
        static_cast<uint64_t>(std::max<int64_t>(stream.Remaining(), 0)), [&] { LoadBitmapFile(stream, *this); },
        [] { RaiseInvalidImage("BMP"); });
}

void TBitmap::SaveToStream(TStream& stream)
{
    int bitCount;
    uint32_t compression = BI_RGB;
    switch (PixelFormat()) {
    case pf1bit: bitCount = 1; break;
    case pf4bit: bitCount = 4; break;
    case pf8bit: bitCount = 8; break;
    case pf15bit: bitCount = 16; break;
    case pf16bit:
        bitCount = 16;
        compression = BI_BITFIELDS;
        break;
    case pf24bit: bitCount = 24; break;
    default: bitCount = 32; break;
    }
    std::vector<TPaletteEntry> table;
    if (bitCount <= 8) {
        if (Palette()) table = Palette()->entries;
        table.resize(std::min<size_t>(table.size(), size_t(1) << bitCount));
    }
    const int w = Width(), h = Height();
    const uint32_t stride = static_cast<uint32_t>(FileStride(w, bitCount));
    const uint32_t extra = compression == BI_BITFIELDS ? 12 : static_cast<uint32_t>(table.size() * 4);
    const uint32_t offBits = 14 + 40 + extra;
    const uint32_t imageSize = stride * static_cast<uint32_t>(h);

    std::vector<uint8_t> head(offBits, 0);
    head[0] = 'B';
    head[1] = 'M';
    WriteLE32(&head[2], offBits + imageSize);
    WriteLE32(&head[10], offBits);
    uint8_t* info = &head[14];
    WriteLE32(info, 40);
    WriteLE32(info + 4, static_cast<uint32_t>(w));
    WriteLE32(info + 8, static_cast<uint32_t>(h));
    WriteLE16(info + 12, 1);
    WriteLE16(info + 14, static_cast<uint32_t>(bitCount));
    WriteLE32(info + 16, compression);
    WriteLE32(info + 20, imageSize);
    WriteLE32(info + 24, 2835);  // 72 dots per inch
    WriteLE32(info + 28, 2835);
    WriteLE32(info + 32, static_cast<uint32_t>(table.size()));
    uint8_t* tail = info + 40;
    if (compression == BI_BITFIELDS) {
        WriteLE32(tail, 0xF800);
        WriteLE32(tail + 4, 0x07E0);
        WriteLE32(tail + 8, 0x001F);
    } else {
        for (size_t i = 0; i < table.size(); ++i) {
            tail[4 * i] = table[i].peBlue;
            tail[4 * i + 1] = table[i].peGreen;
            tail[4 * i + 2] = table[i].peRed;
        }
    }
    stream.WriteBuffer(head.data(), static_cast<int64_t>(head.size()));
    for (int y = h - 1; y >= 0; --y) stream.WriteBuffer(ScanLine(y), stride);
}
