#include "codecs/tiff.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <climits>
#include <cstring>
#include <memory>
#include <set>
#include <span>

#include "codecs/deflate_decoder.h"
#include "codecs/fax_decoders.h"
#include "codecs/picture_size.h"
#include "codecs/thunder_decoder.h"
#include "codecs/tiff_jpeg_decoder.h"
#include "platform/rtl/classes.h"

namespace {

enum : uint16_t {
    tagImageWidth = 256,
    tagImageLength = 257,
    tagBitsPerSample = 258,
    tagCompression = 259,
    tagPhotometric = 262,
    tagFillOrder = 266,
    tagStripOffsets = 273,
    tagSamplesPerPixel = 277,
    tagRowsPerStrip = 278,
    tagStripByteCounts = 279,
    tagXResolution = 282,
    tagYResolution = 283,
    tagPlanarConfig = 284,
    tagT4Options = 292,
    tagResolutionUnit = 296,
    tagPredictor = 317,
    tagColorMap = 320,
    tagTileWidth = 322,
    tagTileLength = 323,
    tagTileOffsets = 324,
    tagTileByteCounts = 325,
    tagExtraSamples = 338,
    tagJPEGTables = 347,
    tagYCbCrCoefficients = 529,
    tagYCbCrSubSampling = 530,
    tagYCbCrPositioning = 531,
};

enum : uint16_t {
    ftByte = 1,
    ftAscii,
    ftShort,
    ftLong,
    ftRational,
    ftSByte,
    ftUndefined,
    ftSShort,
    ftSLong,
    ftSRational,
    ftFloat,
    ftDouble,
};

const char* const kLabel = "TIF/TIFF";

unsigned TypeSize(uint16_t type)
{
    switch (type) {
    case ftByte:
    case ftAscii:
    case ftSByte:
    case ftUndefined: return 1;
    case ftShort:
    case ftSShort: return 2;
    case ftLong:
    case ftSLong:
    case ftFloat: return 4;
    case ftRational:
    case ftSRational:
    case ftDouble: return 8;
    default: return 0;
    }
}

uint16_t Swap16(uint16_t v) { return static_cast<uint16_t>((v >> 8) | (v << 8)); }

template <class T>
T Load(const uint8_t* p)
{
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

TImageCompression CompressionOf(uint32_t value)
{
    switch (value) {
    case 1: return ctNone;
    case 2: return ctFaxRLE;
    case 3: return ctFax3;
    case 4: return ctFax4;
    case 5: return ctLZW;
    case 6: return ctOJPEG;
    case 7: return ctJPEG;
    case 8: return ctLZ77;
    case 32766: return ctNext;
    case 32771: return ctFaxRLEW;
    case 32773: return ctPackedBits;
    case 32809: return ctThunderscan;
    case 32895: return ctIT8CTPAD;
    case 32896: return ctIT8LW;
    case 32897: return ctIT8MP;
    case 32898: return ctIT8BL;
    case 32908: return ctPixarFilm;
    case 32909: return ctPixarLog;
    case 32946: return ctLZ77;
    case 32947: return ctDCS;
    case 34661: return ctJBIG;
    default: return ctUnknown;
    }
}

// Directory order: by tag.
bool TagBefore(const TIFDEntry& a, const TIFDEntry& b) { return a.Tag < b.Tag; }

// a / b rounded up, for any a.
uint64_t CeilDiv(uint64_t a, uint64_t b) { return a / b + (a % b != 0); }

// Copies bits bits from src (starting at bit srcBit, most significant first)
// to dst (at bit dstBit); the other bits of dst stay.
void CopyBits(uint8_t* dst, uint64_t dstBit, const uint8_t* src, uint64_t srcBit, uint64_t bits)
{
    uint64_t i = 0;
    if (((dstBit | srcBit) & 7) == 0) {
        // Whole bytes at once, then the bits of a last part byte.
        i = bits / 8 * 8;
        std::memcpy(dst + dstBit / 8, src + srcBit / 8, static_cast<size_t>(bits / 8));
    }
    for (; i < bits; ++i) {
        const uint64_t s = srcBit + i, d = dstBit + i;
        const uint8_t m = static_cast<uint8_t>(0x80 >> (d & 7));
        if (src[s / 8] & (0x80 >> (s & 7))) dst[d / 8] |= m;
        else dst[d / 8] &= static_cast<uint8_t>(~m);
    }
}

// Undoes horizontal differencing on one row of `bytes` bytes holding pixels
// of `distance` samples each.
void DepredictRow(uint8_t* row, uint32_t pixels, uint32_t distance, unsigned bits, bool bigEndian, size_t bytes)
{
    if (pixels < 2 || distance == 0) return;
    if (bits == 16) {
        const size_t n = std::min<size_t>(size_t(pixels) * distance, bytes / 2);
        for (size_t i = distance; i < n; ++i) {
            uint16_t a = Load<uint16_t>(row + 2 * (i - distance)), b = Load<uint16_t>(row + 2 * i);
            if (bigEndian) {
                a = Swap16(a);
                b = Swap16(b);
            }
            uint16_t v = static_cast<uint16_t>(a + b);
            if (bigEndian) v = Swap16(v);
            std::memcpy(row + 2 * i, &v, 2);
        }
        return;
    }
    // Whole bytes, the distance being the pixel's samples (one byte each at 8 bits).
    const size_t n = std::min<size_t>(size_t(pixels) * distance, bytes);
    for (size_t i = distance; i < n; ++i) row[i] = static_cast<uint8_t>(row[i] + row[i - distance]);
}

// Subsampled YCbCr samples come in blocks of h x v pixels: the block's luma
// samples row by row, then its one Cb and one Cr sample; blocks run left to
// right, then down, over the picture padded to whole blocks. Lays `rows`
// rows of `width` pixels out as Y, Cb, Cr per pixel, each pixel taking its
// block's chroma. `blocks` holds whole blocks for those rows.
void ExpandYCbCrBlocks(std::span<const uint8_t> blocks, uint8_t* out, uint32_t width, uint32_t rows, unsigned h,
                       unsigned v, unsigned sampleBytes)
{
    assert(h >= 1 && v >= 1 && (sampleBytes == 1 || sampleBytes == 2));
    const size_t blockSize = size_t(h * v + 2) * sampleBytes;
    const auto across = static_cast<uint32_t>(CeilDiv(width, h)), down = static_cast<uint32_t>(CeilDiv(rows, v));
    assert(blocks.size() >= size_t(across) * down * blockSize);
    for (uint32_t by = 0; by < down; ++by) {
        for (uint32_t bx = 0; bx < across; ++bx) {
            const uint8_t* block = blocks.data() + (size_t(by) * across + bx) * blockSize;
            const uint8_t* chroma = block + size_t(h * v) * sampleBytes;
            for (unsigned j = 0; j < v; ++j) {
                const uint32_t y = by * v + j;
                if (y >= rows) break;
                for (unsigned i = 0; i < h; ++i) {
                    const uint32_t x = bx * h + i;
                    if (x >= width) break;
                    uint8_t* pixel = out + (size_t(y) * width + x) * 3 * sampleBytes;
                    std::memcpy(pixel, block + size_t(j * h + i) * sampleBytes, sampleBytes);
                    std::memcpy(pixel + sampleBytes, chroma, 2 * size_t(sampleBytes));
                }
            }
        }
    }
}

}  // namespace

// ---- header and directory ----------------------------------------------------

bool TTIFFGraphic::CanLoad(TStream& stream)
{
    const int64_t start = stream.Position();
    bool ok = false;
    if (stream.Remaining() > 8) {
        uint8_t h[8];
        if (stream.Read(h, 8) == 8 && ((h[0] == 'I' && h[1] == 'I') || (h[0] == 'M' && h[1] == 'M'))) {
            const bool big = h[0] == 'M';
            uint16_t version = Load<uint16_t>(h + 2);
            uint32_t offset = Load<uint32_t>(h + 4);
            if (big) {
                version = Swap16(version);
                offset = SwapLong(offset);
            }
            ok = version == 42 && int64_t(offset) < stream.Size() - start;
        }
    }
    stream.SetPosition(start);
    return ok;
}

void TTIFFGraphic::ReadDirectory(uint32_t offset)
{
    TStream& stream = *Stream;
    const bool big = (ImageProperties.Options & ioBigEndian) != 0;
    stream.SetPosition(BasePosition + offset);
    uint16_t count = 0;
    stream.ReadBuffer(&count, 2);
    if (big) count = Swap16(count);
    // Reading the entries, then sorting them.
    ChargeWork(uint64_t(count) * 12 * 4);
    ifd_.assign(count, TIFDEntry{});
    stream.ReadBuffer(ifd_.data(), int64_t(count) * 12);
    if (big) {
        for (TIFDEntry& e : ifd_) {
            e.Tag = Swap16(e.Tag);
            e.DataType = Swap16(e.DataType);
            e.DataLength = SwapLong(e.DataLength);
            const bool shorts = e.DataType == ftShort || e.DataType == ftSShort;
            const bool bytes = TypeSize(e.DataType) == 1 && e.DataLength <= 4;
            if (shorts && e.DataLength == 1) {
                uint8_t b[4];
                std::memcpy(b, &e.Offset, 4);
                e.Offset = uint32_t(b[0]) << 8 | b[1];
            } else if (shorts && e.DataLength == 2) {
                uint16_t w[2];
                std::memcpy(w, &e.Offset, 4);
                w[0] = Swap16(w[0]);
                w[1] = Swap16(w[1]);
                std::memcpy(&e.Offset, w, 4);
            } else if (!bytes) {
                e.Offset = SwapLong(e.Offset);
            }
        }
    }
    std::stable_sort(ifd_.begin(), ifd_.end(), TagBefore);
}

bool TTIFFGraphic::FindTag(uint16_t tag, size_t& index) const
{
    assert(std::is_sorted(ifd_.begin(), ifd_.end(), TagBefore));
    const auto it =
        std::lower_bound(ifd_.begin(), ifd_.end(), tag, [](const TIFDEntry& e, uint16_t t) { return e.Tag < t; });
    index = static_cast<size_t>(it - ifd_.begin());
    return it != ifd_.end() && it->Tag == tag;
}

uint32_t TTIFFGraphic::GetValue(uint16_t tag, uint32_t defaultValue) const
{
    uint32_t count;
    return GetValue(tag, count, defaultValue);
}

uint32_t TTIFFGraphic::GetValue(uint16_t tag, uint32_t& count, uint32_t defaultValue) const
{
    size_t i;
    if (!FindTag(tag, i)) {
        count = 0;
        return defaultValue;
    }
    const TIFDEntry& e = ifd_[i];
    count = e.DataLength;
    if (e.DataLength != 1) return e.Offset;
    switch (e.DataType) {
    case ftByte: return e.Offset & 0xFF;
    case ftShort:
    case ftSShort: return e.Offset & 0xFFFF;
    default: return e.Offset;
    }
}

std::vector<uint8_t> TTIFFGraphic::RawValues(const TIFDEntry& e)
{
    const uint64_t size = uint64_t(TypeSize(e.DataType)) * e.DataLength;
    std::vector<uint8_t> data;
    if (size == 0) return data;
    if (size <= 4) {
        // Held in the entry, already in the machine's order, first value lowest.
        data.resize(static_cast<size_t>(size));
        std::memcpy(data.data(), &e.Offset, data.size());
        return data;
    }
    data = FileBytes(e.Offset, size);
    if (ImageProperties.Options & ioBigEndian) {
        const unsigned ts = TypeSize(e.DataType);
        const bool pairs = e.DataType == ftRational || e.DataType == ftSRational;
        for (size_t i = 0; i < data.size(); i += ts) {
            uint8_t* p = &data[i];
            if (ts == 2) std::swap(p[0], p[1]);
            else if (ts == 4 || pairs) {
                std::reverse(p, p + 4);
                if (pairs) std::reverse(p + 4, p + 8);
            } else if (ts == 8) {
                std::reverse(p, p + 8);
            }
        }
    }
    return data;
}

std::vector<uint8_t> TTIFFGraphic::FileBytes(uint32_t offset, uint64_t size)
{
    TStream& stream = *Stream;
    const int64_t at = BasePosition + offset;
    // Values that the file cannot hold are refused before taking memory for them.
    if (at > stream.Size() || size > uint64_t(stream.Size() - at)) throw EReadError();
    ChargeWork(size);
    std::vector<uint8_t> data(static_cast<size_t>(size));
    stream.SetPosition(at);
    stream.ReadBuffer(data.data(), int64_t(size));
    return data;
}

namespace {
// Value i of raw machine-order data as a number.
double NumberAt(const uint8_t* p, uint16_t type, size_t i)
{
    switch (type) {
    case ftByte:
    case ftAscii:
    case ftUndefined: return p[i];
    case ftSByte: return static_cast<int8_t>(p[i]);
    case ftShort: return Load<uint16_t>(p + 2 * i);
    case ftSShort: return Load<int16_t>(p + 2 * i);
    case ftLong: return Load<uint32_t>(p + 4 * i);
    case ftSLong: return Load<int32_t>(p + 4 * i);
    case ftFloat: return Load<float>(p + 4 * i);
    case ftDouble: return Load<double>(p + 8 * i);
    case ftRational: {
        const uint32_t d = Load<uint32_t>(p + 8 * i + 4);
        return d ? double(Load<uint32_t>(p + 8 * i)) / d : 0.0;
    }
    case ftSRational: {
        const int32_t d = Load<int32_t>(p + 8 * i + 4);
        return d ? double(Load<int32_t>(p + 8 * i)) / d : 0.0;
    }
    default: return 0;
    }
}

uint32_t IntegerAt(const uint8_t* p, uint16_t type, size_t i)
{
    switch (type) {
    case ftByte:
    case ftAscii:
    case ftUndefined:
    case ftSByte: return p[i];
    case ftShort:
    case ftSShort: return Load<uint16_t>(p + 2 * i);
    case ftLong:
    case ftSLong:
    case ftFloat: return Load<uint32_t>(p + 4 * i);
    case ftRational:
    case ftSRational: return Load<uint32_t>(p + 8 * i);
    default: {
        const double v = NumberAt(p, type, i);
        return v > 0 && v < 4294967295.0 ? static_cast<uint32_t>(v) : 0;
    }
    }
}
}  // namespace

float TTIFFGraphic::GetFloatValue(uint16_t tag, float defaultValue)
{
    size_t i;
    if (!FindTag(tag, i) || ifd_[i].DataLength != 1 || TypeSize(ifd_[i].DataType) == 0) return defaultValue;
    const std::vector<uint8_t> raw = RawValues(ifd_[i]);
    const uint16_t type = ifd_[i].DataType;
    if ((type == ftRational || type == ftSRational) && Load<uint32_t>(raw.data() + 4) == 0) return defaultValue;
    return static_cast<float>(NumberAt(raw.data(), type, 0));
}

std::vector<uint8_t> TTIFFGraphic::GetByteList(uint16_t tag)
{
    size_t i;
    if (!FindTag(tag, i)) return {};
    const TIFDEntry e = ifd_[i];
    std::vector<uint8_t> raw = RawValues(e);
    if (TypeSize(e.DataType) == 1) return raw;
    std::vector<uint8_t> out(raw.empty() ? 0 : e.DataLength);
    for (size_t k = 0; k < out.size(); ++k) out[k] = static_cast<uint8_t>(IntegerAt(raw.data(), e.DataType, k));
    return out;
}

std::vector<uint32_t> TTIFFGraphic::GetValueList(uint16_t tag)
{
    size_t i;
    if (!FindTag(tag, i)) return {};
    const TIFDEntry e = ifd_[i];
    const std::vector<uint8_t> raw = RawValues(e);
    std::vector<uint32_t> out(raw.empty() ? 0 : e.DataLength);
    if (e.DataType == ftLong || e.DataType == ftSLong) {
        if (!out.empty()) std::memcpy(out.data(), raw.data(), out.size() * 4);
        return out;
    }
    for (size_t k = 0; k < out.size(); ++k) out[k] = IntegerAt(raw.data(), e.DataType, k);
    return out;
}

std::vector<float> TTIFFGraphic::GetFloatList(uint16_t tag)
{
    size_t i;
    if (!FindTag(tag, i)) return {};
    const TIFDEntry e = ifd_[i];
    const std::vector<uint8_t> raw = RawValues(e);
    std::vector<float> out(raw.empty() ? 0 : e.DataLength);
    for (size_t k = 0; k < out.size(); ++k) out[k] = static_cast<float>(NumberAt(raw.data(), e.DataType, k));
    return out;
}

bool TTIFFGraphic::ReadImageProperties(TStream& stream, unsigned ImageIndex)
{
    TCodecGraphic::ReadImageProperties(stream, ImageIndex);
    Stream = &stream;
    ifd_.clear();
    uint32_t offset = 0;
    if (!ReadHeader(stream, offset) || !FindDirectory(stream, ImageIndex, offset)) return false;
    ReadDirectory(offset);
    if (!ReadLayoutTags()) return false;
    ReadColorTags();
    ReadCodingTags();
    ReadResolutionTags();
    return true;
}

bool TTIFFGraphic::ReadHeader(TStream& stream, uint32_t& offset)
{
    TImageProperties& p = ImageProperties;
    stream.SetPosition(BasePosition);
    uint8_t h[8];
    if (stream.Read(h, 8) != 8) return false;
    const bool big = h[0] == 'M' && h[1] == 'M';
    if (!big && !(h[0] == 'I' && h[1] == 'I')) return false;
    uint16_t version = Load<uint16_t>(h + 2);
    offset = Load<uint32_t>(h + 4);
    if (big) {
        p.Options |= ioBigEndian;
        version = Swap16(version);
        offset = SwapLong(offset);
    }
    p.Version = version;
    p.FirstIFD = offset;
    return version == 42 && offset != 0;
}

namespace {
// The work charged for a step along the chain of directories.
constexpr uint64_t kDirectoryStepWork = 64;
}  // namespace

bool TTIFFGraphic::FindDirectory(TStream& stream, unsigned index, uint32_t& offset)
{
    const bool big = (ImageProperties.Options & ioBigEndian) != 0;
    // A chain that comes back to a directory it has seen ends there.
    std::set<uint32_t> seen{offset};
    for (unsigned i = 0; i < index; ++i) {
        // Each step reads a directory's count and its link, and remembers where it was.
        ChargeWork(kDirectoryStepWork);
        stream.SetPosition(BasePosition + offset);
        uint16_t count = 0;
        stream.ReadBuffer(&count, 2);
        if (big) count = Swap16(count);
        stream.Seek(int64_t(count) * 12, soCurrent);
        stream.ReadBuffer(&offset, 4);
        if (big) offset = SwapLong(offset);
        if (offset == 0 || !seen.insert(offset).second) return false;
    }
    return true;
}

bool TTIFFGraphic::ReadLayoutTags()
{
    TImageProperties& p = ImageProperties;
    p.Width = GetValue(tagImageWidth, 0);
    p.Height = GetValue(tagImageLength, 0);
    if (p.Width == 0 || p.Height == 0) return false;

    p.RowsPerStrip = GetValueList(tagRowsPerStrip);
    if (p.RowsPerStrip.empty() || p.RowsPerStrip[0] == 0xFFFFFFFF) p.RowsPerStrip.assign(1, p.Height);

    const uint32_t samples = GetValue(tagSamplesPerPixel, 1);
    p.SamplesPerPixel = static_cast<uint8_t>(std::min<uint32_t>(samples, 255));
    const std::vector<uint32_t> bits = GetValueList(tagBitsPerSample);
    p.BitsPerSample = static_cast<uint8_t>(bits.empty() ? 1 : std::min<uint32_t>(bits[0], 255));

    p.TileWidth = GetValue(tagTileWidth, 0);
    p.TileLength = GetValue(tagTileLength, 0);
    if (p.TileWidth && p.TileLength) p.Options |= ioTiled;

    const std::vector<uint32_t> extra = GetValueList(tagExtraSamples);
    p.HasAlpha = !extra.empty() && std::all_of(extra.begin(), extra.end(), [](uint32_t v) { return v <= 2; });

    p.BitsPerPixel = static_cast<uint8_t>(std::min<uint32_t>(uint32_t(p.BitsPerSample) * p.SamplesPerPixel, 255));
    return true;
}

void TTIFFGraphic::ReadColorTags()
{
    TImageProperties& p = ImageProperties;
    switch (GetValue(tagPhotometric, 0)) {
    case 0:
        p.ColorScheme = csG;
        p.Options |= ioMinIsWhite;
        break;
    case 1: p.ColorScheme = csG; break;
    case 2: p.ColorScheme = p.SamplesPerPixel < 4 ? csRGB : csRGBA; break;
    case 3: p.ColorScheme = csIndexed; break;
    case 5: p.ColorScheme = csCMYK; break;
    case 6: p.ColorScheme = csYCbCr; break;
    case 8: p.ColorScheme = csCIELab; break;
    default: p.ColorScheme = csUnknown; break;
    }
    if (p.ColorScheme == csYCbCr) {
        p.YCbCrSubSampling = GetByteList(tagYCbCrSubSampling);
        if (p.YCbCrSubSampling.size() < 2) p.YCbCrSubSampling = {2, 2};
        YCbCrPositioning = GetValue(tagYCbCrPositioning, 1);
        YCbCrCoefficients = GetFloatList(tagYCbCrCoefficients);
        if (YCbCrCoefficients.empty()) YCbCrCoefficients = {0.299f, 0.587f, 0.114f};
    }
}

void TTIFFGraphic::ReadCodingTags()
{
    TImageProperties& p = ImageProperties;
    p.Compression = CompressionOf(GetValue(tagCompression, 0));
    p.JPEGColorMode = 0;
    p.JPEGTablesMode = 3;
    p.PlanarConfig = GetValue(tagPlanarConfig, 0);
    p.Predictor = GetValue(tagPredictor, 0);
    if (GetValue(tagFillOrder, 1) == 2) p.Options |= ioReversed;
}

void TTIFFGraphic::ReadResolutionTags()
{
    TImageProperties& p = ImageProperties;
    p.XResolution = GetFloatValue(tagXResolution, 0);
    p.YResolution = GetFloatValue(tagYResolution, 0);
    // Resolutions per centimetre are kept per inch.
    if (GetValue(tagResolutionUnit, 2) == 3) {
        p.XResolution *= 2.54f;
        p.YResolution *= 2.54f;
    }
}

void TTIFFGraphic::SaveToStream(TStream&) {}

// ---- loading -----------------------------------------------------------------

namespace {

// Where the strips or tiles (the chunks) lie and how many bytes each holds.
struct TChunkList {
    std::vector<uint32_t> offsets, counts;
};

// Tiles, or strips; a tiled file that lists no tiles has them at the strip offsets.
TChunkList ReadChunkList(TTIFFGraphic& g, bool tiled)
{
    TChunkList chunks{g.GetValueList(tiled ? tagTileOffsets : tagStripOffsets),
                      g.GetValueList(tiled ? tagTileByteCounts : tagStripByteCounts)};
    if (tiled && chunks.offsets.empty()) {
        chunks.offsets = g.GetValueList(tagStripOffsets);
        chunks.counts = g.GetValueList(tagStripByteCounts);
    }
    return chunks;
}

// The colour scheme the rows come in (as the decoder hands them over), the
// one they are shown in, and the samples per pixel shown.
struct TSchemeChoice {
    TColorScheme source;
    TColorScheme target;
    unsigned targetSamples;
};

TSchemeChoice ChooseSchemes(const TImageProperties& p, bool separate)
{
    const unsigned spp = p.SamplesPerPixel;
    TSchemeChoice c{p.ColorScheme, csUnknown, spp};
    // libjpeg hands colour rows over already in the bitmap's order.
    if (p.Compression == ctJPEG && !separate && spp == 3 && (c.source == csRGB || c.source == csYCbCr))
        c.source = csBGR;
    switch (c.source) {
    case csIndexed:
        c.target = csIndexed;
        if (p.HasAlpha || spp == 2) {
            c.source = csGA;
            c.targetSamples = 1;
        }
        break;
    case csG:
        c.target = csG;
        // Gray with an extra (alpha) sample: the gray sample alone is shown.
        if (spp == 2) {
            c.source = csGA;
            c.targetSamples = 1;
        }
        break;
    case csRGB:
    case csBGR: c.target = csBGR; break;
    case csRGBA: c.target = csBGRA; break;
    case csCMY:
    case csCMYK:
    case csCIELab:
    case csYCbCr: c.target = csBGR; break;
    default: c.target = c.source; break;
    }
    return c;
}

// The samples per pixel the converters walk for a colour scheme.
unsigned SchemeSamples(TColorScheme scheme)
{
    switch (scheme) {
    case csIndexed:
    case csG: return 1;
    case csGA: return 2;
    case csRGBA:
    case csCMYK: return 4;
    default: return 3;
    }
}

// A fresh colour manager for the load, from the stored scheme to the shown one.
TSchemeChoice SetUpColorManager(TColorManager& cm, const TImageProperties& p, bool separate)
{
    const unsigned bps = p.BitsPerSample;
    const unsigned spp = p.SamplesPerPixel;
    cm = TColorManager();
    cm.SourceOptions = (p.Options & ioBigEndian) ? optSwapBytes : 0;
    TSchemeChoice c = ChooseSchemes(p, separate);
    // The converters walk as many samples as the scheme has: a file whose
    // sample count says otherwise cannot be converted.
    if (c.source != csUnknown && spp != SchemeSamples(c.source)) ColorManagerError(gesInvalidPixelDepth);
    if (c.source == csCMYK) c.targetSamples = 3;
    if (c.source == csCIELab) cm.SourceOptions |= optLabByteL;
    cm.SetSource(c.source, static_cast<int>(bps), static_cast<int>(spp));
    // 2-bit samples have no bitmap format of their own: they are shown as 4-bit ones.
    cm.SetTarget(c.target, static_cast<int>(bps == 16 ? 8 : (bps == 2 ? 4 : bps)), static_cast<int>(c.targetSamples));
    return c;
}

// Subsampled YCbCr stored in blocks of width x height pixels (libjpeg lays
// JPEG data out itself); the colour manager takes one chroma pair per pixel.
struct TYCbCrBlocks {
    bool on;
    unsigned width;
    unsigned height;
};

// Whether the rows come in such blocks, of the colour manager's subsampling.
TYCbCrBlocks ChooseYCbCrBlocks(const TColorManager& cm, const TImageProperties& p, TColorScheme source, bool separate)
{
    const unsigned bps = p.BitsPerSample;
    const unsigned width = cm.HSubsampling(), height = cm.VSubsampling();
    const bool on = source == csYCbCr && !separate && p.Compression != ctJPEG && (bps == 8 || bps == 16) &&
                    (width > 1 || height > 1);
    // Horizontal differencing over blocks has no rows of pixels to undo.
    if (on && p.Predictor == 2 && p.Compression != ctNone)
        CodecError(gesUnsupportedFeature, {LoadStr(gesCompressionScheme), kLabel});
    return {on, width, height};
}

// The decoder for the compression (none for none); refused compressions
// stop here. The fax and ThunderScan decoders make rows of `width` pixels,
// a chunk's own. Each decoder is resumed: a chunk is decoded a few rows at
// a time (a new deflate or PackBits stream starts at DecodeInit). Decoders
// of a picture's planes share the JPEG notices.
std::unique_ptr<TDecoder> CreateDecoder(TTIFFGraphic& g, uint32_t width, const std::shared_ptr<TJPEGNotices>& notices)
{
    TImageProperties& p = g.ImageProperties;
    const uint32_t t4 = g.GetValue(tagT4Options, 0);
    const bool reversed = (p.Options & ioReversed) != 0;
    switch (p.Compression) {
    case ctNone: return nullptr;
    case ctPackedBits: return std::make_unique<TPackbitsRLEDecoder>(true);
    case ctFax3:
        // Two-dimensional rows (T4 option bit 0) cannot be decoded.
        if (t4 & 1) CodecError(gesUnsupportedFeature, {LoadStr(gesCompressionScheme), kLabel});
        return std::make_unique<TCCITTFax3Decoder>(t4, reversed, false, width);
    case ctFaxRLE:
    case ctFaxRLEW: return std::make_unique<TCCITTMHDecoder>(t4, reversed, p.Compression == ctFaxRLEW, width);
    // The strip is shown as it decodes, whatever its check value says.
    case ctLZ77: return std::make_unique<TLZ77Decoder>(Z_PARTIAL_FLUSH, false, false);
    case ctJPEG: return std::make_unique<TTIFFJPEGDecoder>(&p, notices);
    case ctThunderscan:
        return std::make_unique<TThunderDecoder>(static_cast<int32_t>(std::min<uint32_t>((width + 1) / 2, INT32_MAX)),
                                                 static_cast<int32_t>(std::min<uint32_t>(width, INT32_MAX)));
    default: CodecError(gesUnsupportedFeature, {LoadStr(gesCompressionScheme), kLabel});
    }
}

// The bytes of a row of raw samples, refusing pictures whose raw samples
// are no picture this bitmap can show.
void SetBytesPerLine(TImageProperties& p)
{
    const uint64_t lineBits = uint64_t(p.BitsPerSample) * p.SamplesPerPixel * p.Width;
    p.BytesPerLine = static_cast<uint32_t>(std::min<uint64_t>((lineBits + 7) / 8, UINT32_MAX));
    // The raw samples may be up to twice the bitmap's bytes (16-bit samples
    // shown with 8); anything larger is refused.
    if (uint64_t(p.BytesPerLine) * p.Height > uint64_t(3) * uint64_t(BitmapMemoryLimit)) throw EOutOfResources();
}

// a * b, or UINT64_MAX when that does not fit.
uint64_t SaturatedProduct(uint64_t a, uint64_t b) { return b && a > UINT64_MAX / b ? UINT64_MAX : a * b; }

// What a compression makes of its data: how far a chunk's packed bytes can
// reach into its decoded bytes.
struct TPacking {
    TImageCompression compression;
    uint32_t width;  // pixels of a row as the fax and ThunderScan decoders make it

    // The most decoded bytes, from the start of the output on, that
    // `packed` bytes can give; UINT64_MAX when the decoder fills its output
    // whatever the data.
    uint64_t LargestUnpacked(uint64_t packed) const
    {
        switch (compression) {
        case ctPackedBits: return SaturatedProduct(packed, TPackbitsRLEDecoder::MostUnpackedPerByte);
        case ctLZ77: return SaturatedProduct(packed, TLZ77Decoder::MostUnpackedPerByte);
        // Every row the decoders move on from takes one bit at least.
        case ctFax3:
        case ctFaxRLE:
        case ctFaxRLEW: return SaturatedProduct(8 * (packed + 1), (uint64_t(width) + 7) / 8);
        // Every row that gets a pixel takes one byte at least.
        case ctThunderscan: return SaturatedProduct(packed, (uint64_t(width) + 1) / 2);
        // libjpeg completes a strip whose data ends early.
        default: return UINT64_MAX;
        }
    }
};

// The work charged for beginning a chunk besides the bytes it reads: a seek
// and the bookkeeping of its rows; and for an inflater reset for its stream.
constexpr uint64_t kChunkSetUpWork = 64;
constexpr uint64_t kInflaterSetUpWork = 64;

// A chunk's packed bytes are read in pieces as its decoder takes them: the
// first of about the bytes the chunk decodes to, within these bounds, each
// next one twice as large as the last.
constexpr uint64_t kSmallestPiece = 256;
constexpr uint64_t kLargestPiece = uint64_t(1) << 20;

// Reads the chunks: each one's bytes from the stream, through its plane's
// decoder if there is one, with subsampled YCbCr blocks laid out a pixel
// after the other. A chunk reads at most what the file holds for it: its
// byte count, or without one the bytes up to the next chunk's start or the
// end of the stream. Its decoder takes them in pieces as it consumes them
// and stops once its output is full or its input ends, so that the bytes
// after what the rows need are never read. Every piece read, every byte
// decoded and the set-up of every chunk are charged to the load's work: a
// chunk list that names one stream many times costs what it really reads. A
// chunk is decoded a slice of rows at a time (Begin, Next, End), the chunks
// of a column's planes side by side, each with its plane's decoder.
class TChunkReader {
public:
    // One decoder per plane, all null for uncompressed samples.
    TChunkReader(TStream& stream, int64_t base, const TChunkList& chunks, const std::vector<TDecoder*>& decoders,
                 const TPacking& packing, const TYCbCrBlocks& blocks, unsigned bitsPerSample)
        : stream_(stream), base_(base), chunks_(chunks), packing_(packing), blocks_(blocks), bps_(bitsPerSample)
    {
        for (TDecoder* d : decoders) planes_.push_back(TPlane{d});
        for (size_t plane = 0; plane < planes_.size(); ++plane) TakeInputFromReader(plane);
    }

    size_t Count() const { return chunks_.offsets.size(); }

    // Of the first `rows` rows of chunk `index` (`chunkRows` rows in all,
    // each `width` pixels and `lineBytes` bytes once laid out), those that
    // its data can reach: the rows after them come out zero. Raises the
    // stream's read error for a chunk whose data lies past the end.
    uint32_t RowsWithData(size_t index, uint32_t width, uint32_t rows, uint64_t lineBytes)
    {
        assert(lineBytes > 0);
        if (rows == 0) return 0;
        uint64_t reach;
        if (!planes_[0].decoder) {
            const int64_t at = base_ + chunks_.offsets[index];
            reach = at < stream_.Size() ? uint64_t(stream_.Size() - at) : 0;
        } else {
            reach = packing_.LargestUnpacked(Extent(index).bytes);
        }
        uint64_t filled;
        if (blocks_.on) {
            const uint64_t blockRow = DecodedBytes(width, blocks_.height, lineBytes);
            filled = CeilDiv(reach, blockRow) * blocks_.height;
        } else {
            filled = CeilDiv(reach, lineBytes);
        }
        return static_cast<uint32_t>(std::min<uint64_t>(filled, rows));
    }

    // The rows of a slice of chunks `width` pixels wide, laid out in rows of
    // lineBytes bytes, of every plane: as many as SliceBytes takes with
    // their blocks, one row (one row of blocks) at least.
    uint32_t SliceRows(uint32_t width, uint64_t lineBytes) const
    {
        const unsigned step = blocks_.on ? blocks_.height : 1;
        const uint64_t stepBytes = lineBytes * step * planes_.size() + BlockBytes(width, step, lineBytes);
        return static_cast<uint32_t>(std::max<uint64_t>(TTIFFGraphic::SliceBytes / stepBytes, 1) * step);
    }

    // The bytes of samples a slice of `rows` rows holds, of every plane
    // with their blocks.
    uint64_t SliceHeld(uint32_t width, uint32_t rows, uint64_t lineBytes) const
    {
        return lineBytes * rows * planes_.size() + BlockBytes(width, rows, lineBytes);
    }
    // The bytes one decoder call makes of such a slice for its plane.
    uint64_t SliceDecoded(uint32_t width, uint32_t rows, uint64_t lineBytes) const
    {
        return blocks_.on ? DecodedBytes(width, rows, lineBytes) : lineBytes * rows;
    }

    // The bytes of subsampled blocks held for a slice of `rows` rows besides
    // the rows they are laid out in (none without blocks).
    uint64_t BlockBytes(uint32_t width, uint32_t rows, uint64_t lineBytes) const
    {
        return blocks_.on ? DecodedBytes(width, rows, lineBytes) : 0;
    }

    // Starts decoding chunk `index` (`chunkRows` rows of `width` pixels,
    // each lineBytes bytes laid out) with the plane's decoder.
    void Begin(size_t plane, size_t index, uint32_t width, uint32_t chunkRows, uint64_t lineBytes)
    {
        ChargeWork(kChunkSetUpWork + (packing_.compression == ctLZ77 ? kInflaterSetUpWork : 0));
        TPlane& s = planes_[plane];
        s.width = width;
        s.lineBytes = lineBytes;
        if (!s.decoder) {
            s.at = base_ + chunks_.offsets[index];
            return;
        }
        const TExtent extent = Extent(index);
        s.next = extent.at;
        s.left = extent.bytes;
        s.in = nullptr;
        s.inLeft = 0;
        s.pieceSize = std::clamp(DecodedBytes(width, chunkRows, lineBytes), kSmallestPiece, kLargestPiece);
        switch (packing_.compression) {
        case ctPackedBits:
        case ctLZ77: s.decoder->DecodeInit(); break;
        case ctFax3:
        case ctFaxRLE:
        case ctFaxRLEW: static_cast<TCCITTDecoder*>(s.decoder)->Start(nullptr, 0); break;
        case ctJPEG: {
            // libjpeg takes the chunk's bytes at once.
            s.pieceSize = std::min<uint64_t>(s.left, INT32_MAX);
            uint8_t* data = nullptr;
            int32_t size = 0;
            MoreInput(s, data, size);
            static_cast<TTIFFJPEGDecoder*>(s.decoder)->StartStrip(data, size);
            break;
        }
        default: break;
        }
    }

    // Decodes the next `rows` rows of the plane's chunk into out, laid out a
    // pixel after the other (rows x lineBytes bytes); with blocks, whole rows
    // of blocks unless they are the last rows decoded.
    void Next(size_t plane, uint8_t* out, uint32_t rows)
    {
        TPlane& s = planes_[plane];
        if (!blocks_.on) {
            Decode(s, out, uint64_t(rows) * s.lineBytes);
            return;
        }
        blockData_.resize(static_cast<size_t>(DecodedBytes(s.width, rows, s.lineBytes)));
        Decode(s, blockData_.data(), blockData_.size());
        ExpandYCbCrBlocks(blockData_, out, s.width, rows, blocks_.width, blocks_.height, bps_ / 8);
    }

    // Ends the plane's chunk.
    void End(size_t plane)
    {
        TPlane& s = planes_[plane];
        if (s.decoder && packing_.compression == ctJPEG) static_cast<TTIFFJPEGDecoder*>(s.decoder)->EndStrip();
    }

private:
    // Where a chunk's packed bytes start and how many of them it has.
    struct TExtent {
        int64_t at;
        uint64_t bytes;
    };

    // The chunk a plane decodes: the piece of its packed bytes read last
    // and how far the decoder has consumed it, where the bytes not read yet
    // lie, or where the next uncompressed samples lie.
    struct TPlane {
        TDecoder* decoder;
        std::vector<uint8_t> piece = {};
        uint8_t* in = nullptr;
        int32_t inLeft = 0;
        int64_t next = 0;
        uint64_t left = 0;
        uint64_t pieceSize = 0;
        int64_t at = 0;
        uint32_t width = 0;
        uint64_t lineBytes = 0;
    };

    // The decoders that take their input as they go ask the reader for it.
    void TakeInputFromReader(size_t plane)
    {
        auto more = [this, plane](uint8_t*& data, int32_t& size) { return MoreInput(planes_[plane], data, size); };
        TDecoder* d = planes_[plane].decoder;
        if (!d) return;
        switch (packing_.compression) {
        case ctPackedBits: static_cast<TPackbitsRLEDecoder*>(d)->SetMoreInput(more); break;
        case ctFax3:
        case ctFaxRLE:
        case ctFaxRLEW: static_cast<TCCITTDecoder*>(d)->SetMoreInput(more); break;
        case ctThunderscan: static_cast<TThunderDecoder*>(d)->SetMoreInput(more); break;
        default: break;
        }
    }

    // Reads the next piece of the plane's chunk (the decoder has consumed
    // the last one); false once the chunk's bytes are all read.
    bool MoreInput(TPlane& s, uint8_t*& data, int32_t& size)
    {
        if (s.left == 0) return false;
        const auto n = static_cast<size_t>(std::min(s.left, s.pieceSize));
        ChargeWork(n);
        s.piece.resize(n);
        stream_.SetPosition(s.next);
        stream_.ReadBuffer(s.piece.data(), int64_t(n));
        s.next += int64_t(n);
        s.left -= n;
        s.pieceSize = std::min(2 * s.pieceSize, kLargestPiece);
        s.in = data = s.piece.data();
        s.inLeft = size = static_cast<int32_t>(n);
        return true;
    }

    // The bytes that `rows` rows of `width` pixels take as decoded: rows of
    // lineBytes, or whole blocks when subsampled.
    uint64_t DecodedBytes(uint32_t width, uint32_t rows, uint64_t lineBytes) const
    {
        if (!blocks_.on) return uint64_t(rows) * lineBytes;
        const uint64_t blockBytes = uint64_t(blocks_.width * blocks_.height + 2) * (bps_ / 8);
        return CeilDiv(width, blocks_.width) * CeilDiv(rows, blocks_.height) * blockBytes;
    }

    // A chunk's byte count, or without one the bytes up to the next chunk's
    // start or the end of the stream.
    TExtent Extent(size_t index)
    {
        const int64_t size = stream_.Size();
        const uint32_t offset = chunks_.offsets[index];
        const int64_t at = base_ + offset;
        if (at > size) throw EReadError();
        uint64_t bytes;
        if (index < chunks_.counts.size()) {
            bytes = chunks_.counts[index];
            if (bytes > uint64_t(size - at)) throw EReadError();
        } else {
            bytes = uint64_t(NextStart(offset) - at);
        }
        return {at, bytes};
    }

    // Where the first chunk that starts after offset starts, or the end of
    // the stream.
    int64_t NextStart(uint32_t offset)
    {
        if (starts_.empty()) {
            starts_ = chunks_.offsets;
            std::sort(starts_.begin(), starts_.end());
        }
        const auto next = std::upper_bound(starts_.begin(), starts_.end(), offset);
        return next == starts_.end() ? stream_.Size() : std::min<int64_t>(base_ + *next, stream_.Size());
    }

    // The next `size` decoded bytes of the plane's chunk into out; what the
    // data does not reach is zero.
    void Decode(TPlane& s, uint8_t* out, uint64_t size)
    {
        ChargeWork(size);
        if (!s.decoder) {
            stream_.SetPosition(s.at);
            const int64_t got = std::max<int64_t>(stream_.Read(out, int64_t(size)), 0);
            std::memset(out + got, 0, static_cast<size_t>(size - uint64_t(got)));
            s.at += int64_t(size);
            return;
        }
        const auto wanted = static_cast<int32_t>(size);
        switch (packing_.compression) {
        case ctFax3:
        case ctFaxRLE:
        // The fax decoders clear their output themselves.
        case ctFaxRLEW: static_cast<TCCITTDecoder*>(s.decoder)->DecodeNext(out, wanted); break;
        case ctJPEG:
            std::memset(out, 0, static_cast<size_t>(size));
            static_cast<TTIFFJPEGDecoder*>(s.decoder)->ReadRows(out, wanted);
            break;
        case ctLZ77: Inflate(s, out, wanted); break;
        default: {
            // PackBits and ThunderScan take more input as they need it and
            // move the source past what they consume.
            std::memset(out, 0, static_cast<size_t>(size));
            void* src = s.in;
            void* dst = out;
            s.decoder->Decode(src, dst, s.inLeft, wanted);
            const auto used = static_cast<int32_t>(static_cast<uint8_t*>(src) - s.in);
            s.in += used;
            s.inLeft -= used;
            break;
        }
        }
    }

    // Inflates until the output is full or the chunk's stream ends, a piece
    // of its bytes after the other; what the stream does not reach is zero.
    void Inflate(TPlane& s, uint8_t* out, int32_t size)
    {
        auto& inflater = static_cast<TLZ77Decoder&>(*s.decoder);
        int32_t done = 0;
        while (done < size) {
            uint8_t* data = nullptr;
            int32_t got = 0;
            // zlib is handed no empty input while the chunk has more.
            if (s.inLeft == 0) MoreInput(s, data, got);
            void* src = s.in;
            void* dst = out + done;
            inflater.Decode(src, dst, s.inLeft, size - done);
            const auto used = static_cast<int32_t>(static_cast<uint8_t*>(src) - s.in);
            const auto made = static_cast<int32_t>(static_cast<uint8_t*>(dst) - (out + done));
            s.in += used;
            s.inLeft -= used;
            done += made;
            if (inflater.Status() != Z_OK || (used == 0 && made == 0)) break;
        }
        std::memset(out + done, 0, static_cast<size_t>(size - done));
    }

    TStream& stream_;
    const int64_t base_;
    const TChunkList& chunks_;
    const TPacking packing_;
    const TYCbCrBlocks blocks_;
    const unsigned bps_;
    std::vector<TPlane> planes_;
    std::vector<uint32_t> starts_;  // the chunks' offsets in order, once a chunk lacks its byte count
    std::vector<uint8_t> blockData_;
};

// Horizontal differencing, if the rows are to be undone from it: pixels of
// `distance` samples of `bits` bits.
struct TPrediction {
    bool on;
    uint32_t distance;
    unsigned bits;
    bool bigEndian;
};

// Puts converted samples into the bitmap's scan lines: whole rows, or the
// part of a row a tile covers. Samples that are all zero (where no data
// reaches) are converted once for a whole row, in pieces from a small block
// of zeros, and then copied: a picture that claims far more rows than its
// data holds takes neither the memory nor the time of converting them.
class TRowWriter {
public:
    // Strip rows are rows as stored, the bits after their last pixel too;
    // a tile's rows are cut at its pixels.
    TRowWriter(TTIFFGraphic& g, bool stripRows)
        : g_(g),
          bits_(static_cast<uint32_t>(BitsPerPixelOf(g.PixelFormat()))),
          sampleBits_(uint64_t(g.ImageProperties.BitsPerSample) * g.ImageProperties.SamplesPerPixel),
          stripRows_(stripRows)
    {
    }

    // `count` pixels of samples into row y from pixel `left` on.
    void Convert(const uint8_t* samples, uint32_t y, uint32_t left, uint32_t count)
    {
        // The samples are read and the pixels written.
        ChargeWork((uint64_t(count) * (bits_ + sampleBits_) + 7) / 8);
        uint8_t* line = g_.ScanLine(static_cast<int>(y));
        const uint64_t at = uint64_t(left) * bits_;
        if (at % 8 == 0 && (uint64_t(count) * bits_ % 8 == 0 || stripRows_)) {
            g_.ColorManager.ConvertRow({samples}, line + at / 8, count);
            return;
        }
        // Pixels that start or end inside a byte: converted apart, then
        // copied in bit by bit, so that the neighbours' pixels stay.
        piece_.assign(static_cast<size_t>((uint64_t(count) * bits_ + 7) / 8), 0);
        g_.ColorManager.ConvertRow({samples}, piece_.data(), count);
        CopyBits(line, at, piece_.data(), 0, uint64_t(count) * bits_);
    }

    // Row y gets the pixels of row y - 1 from pixel `left` on, `count` of
    // them: the samples were the same.
    void Repeat(uint32_t y, uint32_t left, uint32_t count)
    {
        assert(y > 0);
        ChargeWork((uint64_t(count) * (bits_ + sampleBits_) + 7) / 8);
        const uint8_t* above = g_.ScanLine(static_cast<int>(y - 1));
        uint8_t* line = g_.ScanLine(static_cast<int>(y));
        const uint64_t at = uint64_t(left) * bits_, bits = uint64_t(count) * bits_;
        if (at % 8 == 0 && (bits % 8 == 0 || stripRows_)) std::memcpy(line + at / 8, above + at / 8, (bits + 7) / 8);
        else CopyBits(line, at, above, at, bits);
    }

    void ConvertZero(uint32_t y, uint32_t left, uint32_t count)
    {
        ChargeWork((uint64_t(count) * bits_ + 7) / 8);
        const TImageProperties& p = g_.ImageProperties;
        if (zeros_.empty()) {
            // Pieces of a multiple of 8 pixels start on whole bytes of any bitmap row.
            constexpr uint32_t kPiece = 4096;
            zeros_.assign(static_cast<size_t>(g_.RowBytes()), 0);
            const std::vector<uint8_t> samples(size_t(kPiece) * p.BitsPerSample * p.SamplesPerPixel / 8 + 8, 0);
            for (uint32_t x = 0; x < p.Width; x += std::min(kPiece, p.Width - x))
                g_.ColorManager.ConvertRow({samples.data()}, zeros_.data() + x / 8 * bits_,
                                           std::min(kPiece, p.Width - x));
        }
        uint8_t* line = g_.ScanLine(static_cast<int>(y));
        if (left == 0 && count == p.Width) std::memcpy(line, zeros_.data(), zeros_.size());
        else CopyBits(line, uint64_t(left) * bits_, zeros_.data(), uint64_t(left) * bits_, uint64_t(count) * bits_);
    }

private:
    TTIFFGraphic& g_;
    const uint32_t bits_;        // of a bitmap pixel
    const uint64_t sampleBits_;  // of a pixel's samples
    const bool stripRows_;
    std::vector<uint8_t> zeros_;  // a row converted from zero samples, once one is needed
    std::vector<uint8_t> piece_;
};

// Lays the samples of `width` pixels of `spp` planes (planeSize bytes
// apart) out a pixel after the other in row.
void InterleavePlanes(const uint8_t* line, size_t planeSize, uint8_t* row, uint32_t width, unsigned spp, unsigned bps)
{
    if (bps == 8 || bps == 16) {
        const unsigned b = bps / 8;
        for (uint32_t x = 0; x < width; ++x)
            for (uint32_t s = 0; s < spp; ++s)
                std::memcpy(&row[(size_t(x) * spp + s) * b], line + s * planeSize + size_t(x) * b, b);
    } else {
        for (uint32_t x = 0; x < width; ++x)
            for (uint32_t s = 0; s < spp; ++s)
                CopyBits(row, (uint64_t(x) * spp + s) * bps, line + s * planeSize, uint64_t(x) * bps, bps);
    }
}

// The most planes a picture has: the colour manager converts up to four
// samples a pixel.
constexpr size_t kMostPlanes = 4;

// A column of chunks: one of each plane side by side (an index, or none
// where a plane's is not listed), each `width` pixels and `chunkRows` rows,
// their rows laid out in lineBytes bytes; rows [top, top + rows) of the
// picture from pixel `left` on.
struct TColumn {
    std::array<int64_t, kMostPlanes> chunks;
    uint32_t width;
    uint32_t chunkRows;
    uint64_t lineBytes;
    uint32_t top;
    uint32_t rows;
    uint32_t left;
};

// The work charged for a column of chunks besides its rows: finding where
// each plane's data lies and how far it reaches.
constexpr uint64_t kColumnWork = 64;

// Decodes a column a slice of rows at a time, each slice converted before
// the next is decoded, so that the samples held stay within a slice however
// large the chunks; the planes' samples are interleaved first. Rows that
// none of the column's data reaches are zero. Returns the most bytes of
// samples held at once.
class TColumnReader {
public:
    TColumnReader(TTIFFGraphic& g, TChunkReader& reader, const TPrediction& prediction, size_t planes, bool strips)
        : g_(g), reader_(reader), prediction_(prediction), writer_(g, strips), planes_(planes), filled_(planes)
    {
        assert(planes >= 1 && planes <= kMostPlanes);
    }

    uint64_t Read(const TColumn& c)
    {
        TImageProperties& p = g_.ImageProperties;
        const uint32_t count = std::min(c.width, p.Width - c.left);
        // Each column costs its bookkeeping, listed chunks or not.
        ChargeWork(kColumnWork * planes_);
        uint32_t most = 0;
        for (size_t plane = 0; plane < planes_; ++plane) {
            filled_[plane] = c.chunks[plane] < 0 ? 0
                                                 : reader_.RowsWithData(static_cast<size_t>(c.chunks[plane]), c.width,
                                                                        c.rows, c.lineBytes);
            most = std::max(most, filled_[plane]);
        }
        uint64_t held = 0;
        if (most) {
            const uint32_t step = std::min(reader_.SliceRows(c.width, c.lineBytes), most);
            const auto planeBytes = static_cast<size_t>(uint64_t(step) * c.lineBytes);
            slice_.resize(planeBytes * planes_);
            if (planes_ > 1) row_.resize(static_cast<size_t>(p.BytesPerLine));
            held = slice_.size() + reader_.BlockBytes(c.width, step, c.lineBytes);
            p.CurrentRow = c.top;
            for (size_t plane = 0; plane < planes_; ++plane) {
                if (filled_[plane] == 0) continue;
                p.CurrentStrip = static_cast<uint32_t>(c.chunks[plane]);
                reader_.Begin(plane, static_cast<size_t>(c.chunks[plane]), c.width, c.chunkRows, c.lineBytes);
            }
            for (uint32_t r = 0; r < most; r += step) {
                const uint32_t n = std::min(step, most - r);
                for (size_t plane = 0; plane < planes_; ++plane) {
                    uint8_t* samples = slice_.data() + plane * planeBytes;
                    const uint32_t have = filled_[plane] > r ? std::min(n, filled_[plane] - r) : 0;
                    if (have) reader_.Next(plane, samples, have);
                    std::memset(samples + size_t(have) * c.lineBytes, 0, size_t(n - have) * c.lineBytes);
                    if (prediction_.on)
                        for (uint32_t j = 0; j < have; ++j)
                            DepredictRow(samples + size_t(j) * c.lineBytes, c.width, prediction_.distance,
                                         prediction_.bits, prediction_.bigEndian, size_t(c.lineBytes));
                }
                ConvertSlice(c, r, n, planeBytes, count);
            }
            for (size_t plane = 0; plane < planes_; ++plane)
                if (filled_[plane]) reader_.End(plane);
        }
        for (uint32_t r = most; r < c.rows; ++r) writer_.ConvertZero(c.top + r, c.left, count);
        return held;
    }

private:
    // Converts rows [r, r + n) of the column from the slice (each plane's
    // rows planeBytes apart), `count` pixels of each. A row whose samples
    // are those of the row above it in the column (of one plane) is copied
    // from that row's pixels rather than converted again.
    void ConvertSlice(const TColumn& c, uint32_t r, uint32_t n, size_t planeBytes, uint32_t count)
    {
        const TImageProperties& p = g_.ImageProperties;
        const auto lineBytes = static_cast<size_t>(c.lineBytes);
        for (uint32_t j = 0; j < n; ++j) {
            const uint8_t* line = slice_.data() + j * lineBytes;
            const uint8_t* above = j > 0 ? line - lineBytes : r > 0 ? last_.data() : nullptr;
            if (planes_ > 1) {
                InterleavePlanes(line, planeBytes, row_.data(), count, p.SamplesPerPixel, p.BitsPerSample);
                line = row_.data();
                above = nullptr;
            }
            if (above && std::memcmp(line, above, lineBytes) == 0) writer_.Repeat(c.top + r + j, c.left, count);
            else writer_.Convert(line, c.top + r + j, c.left, count);
        }
        // The slice's last row is the row above the next slice's first.
        if (planes_ == 1 && n > 0) last_.assign(slice_.data() + (n - 1) * lineBytes, slice_.data() + n * lineBytes);
    }

    TTIFFGraphic& g_;
    TChunkReader& reader_;
    const TPrediction prediction_;
    TRowWriter writer_;
    const size_t planes_;
    std::vector<uint32_t> filled_;  // of each plane's chunk, the rows its data reaches
    std::vector<uint8_t> slice_;    // a slice of rows of each plane, one plane after the other
    std::vector<uint8_t> row_;      // a row of the planes' samples interleaved
    std::vector<uint8_t> last_;     // the samples of the last row of the last slice
};

// Chunks are decoded a slice of rows at a time, however large they are: a
// slice holds one row of chunks `width` pixels wide (of every plane) at
// least. Such a row may take what a row of the picture's raw samples can
// (three times its bitmap row: four 16-bit samples shown as 24 bits), and
// one decoder call no more than a decoder can be asked for.
void CheckSlice(const TChunkReader& reader, uint32_t width, uint64_t lineBytes)
{
    const uint32_t rows = reader.SliceRows(width, lineBytes);
    if (reader.SliceHeld(width, rows, lineBytes) > 3 * uint64_t(BitmapMemoryLimit) ||
        reader.SliceDecoded(width, rows, lineBytes) > INT32_MAX)
        throw EOutOfResources();
}

// Each byte of samples that a picture's chunks decode to is written by its
// decoder and read again by the conversion.
constexpr uint64_t kWorkPerSampleByte = 2;
// The work charged for a strip listed besides its chunk: finding its rows.
constexpr uint64_t kStripWork = 8;

// Strips of interleaved samples, one after the other down the picture.
// RowsPerStrip holds at least one count (as ReadImageProperties leaves it).
// Returns the most bytes of samples held at once.
uint64_t ReadStrips(TTIFFGraphic& g, TChunkReader& reader, const TPrediction& prediction)
{
    TImageProperties& p = g.ImageProperties;
    assert(!p.RowsPerStrip.empty());
    const uint32_t width = p.Width, height = p.Height;
    const uint32_t lineBytes = p.BytesPerLine;
    if (lineBytes == 0) return 0;
    CheckSlice(reader, width, lineBytes);
    GrantWork(TWorkMeter::Product(uint64_t(lineBytes) * height, kWorkPerSampleByte));
    TColumnReader column(g, reader, prediction, 1, true);
    uint64_t held = 0;
    for (size_t s = 0; s < reader.Count() && p.CurrentRow < height; ++s) {
        ChargeWork(kStripWork);
        p.CurrentStrip = static_cast<uint32_t>(s);
        const uint32_t listed = p.RowsPerStrip[std::min(s, p.RowsPerStrip.size() - 1)];
        const uint32_t top = p.CurrentRow, rows = std::min(listed, height - top);
        if (rows == 0) continue;
        held = std::max(held, column.Read({{int64_t(s), -1, -1, -1}, width, rows, lineBytes, top, rows, 0}));
        p.CurrentRow = top + rows;
    }
    return held;
}

// The chunks of a tiled or planar picture: `planes` planes (one per sample,
// or one of whole pixels), each of `across` x `down` chunks; a row of a
// plane takes planeLineBytes across the picture, chunkLineBytes in a chunk.
struct TChunkGeometry {
    uint32_t planes;
    uint32_t chunkWidth;
    uint32_t rowsPer;
    uint64_t planeLineBytes;
    uint64_t chunkLineBytes;
    uint32_t across;  // chunks side by side
    uint32_t down;    // rows of chunks of each plane

    uint64_t ChunkBytes() const { return chunkLineBytes * rowsPer; }
};

// RowsPerStrip holds at least one count (as ReadImageProperties leaves it).
TChunkGeometry ChunkGeometry(const TImageProperties& p, bool tiled, bool separate)
{
    assert(!p.RowsPerStrip.empty());
    const unsigned bps = p.BitsPerSample, spp = p.SamplesPerPixel;
    const unsigned comps = separate ? 1 : spp;  // samples of a pixel in one plane
    TChunkGeometry c;
    c.planes = separate ? spp : 1;
    c.chunkWidth = tiled ? p.TileWidth : p.Width;
    c.rowsPer = tiled ? p.TileLength : std::min(p.RowsPerStrip[0], p.Height);
    c.planeLineBytes = (uint64_t(p.Width) * bps * comps + 7) / 8;
    c.chunkLineBytes = (uint64_t(c.chunkWidth) * bps * comps + 7) / 8;
    c.across = tiled && c.chunkWidth ? static_cast<uint32_t>(CeilDiv(p.Width, c.chunkWidth)) : 1;
    c.down = c.rowsPer ? static_cast<uint32_t>(CeilDiv(p.Height, c.rowsPer)) : 0;
    return c;
}

// Tiles may reach past the picture's right and bottom edges, but tiles
// that together would decode into many times the picture's own samples
// are no sound layout: such a picture is refused before anything is read,
// so that the work stays within a few times the picture.
void CheckChunkLayout(const TImageProperties& p, const TChunkGeometry& geometry)
{
    const uint64_t chunkBytes = geometry.ChunkBytes();
    if (chunkBytes == 0) return;
    const uint64_t allowed = 4 * geometry.planeLineBytes * geometry.planes * p.Height + (uint64_t(64) << 20);
    const uint64_t chunks = uint64_t(geometry.across) * geometry.down;
    if (chunks > allowed || chunks * geometry.planes > allowed / chunkBytes) CodecError(gesInvalidImage, {kLabel});
}

// Tiles, or one plane per sample: the picture is read a band (one row of
// chunks) at a time, and each band a column of chunks at a time, the
// chunks of every plane side by side. Returns the most bytes of samples
// held at once.
uint64_t ReadTilesOrPlanes(TTIFFGraphic& g, TChunkReader& reader, bool tiled, bool separate,
                           const TPrediction& prediction)
{
    TImageProperties& p = g.ImageProperties;
    const TChunkGeometry geometry = ChunkGeometry(p, tiled, separate);
    if (geometry.rowsPer == 0 || geometry.planeLineBytes == 0) return 0;
    CheckChunkLayout(p, geometry);
    CheckSlice(reader, geometry.chunkWidth, geometry.chunkLineBytes);
    GrantWork(TWorkMeter::Product(
        SaturatedProduct(uint64_t(geometry.across) * geometry.down * geometry.planes, geometry.ChunkBytes()),
        kWorkPerSampleByte));
    uint64_t held = 0;

    const uint64_t perPlane = uint64_t(geometry.across) * geometry.down;
    TColumnReader column(g, reader, prediction, geometry.planes, false);
    TColumn c{{-1, -1, -1, -1}, geometry.chunkWidth, geometry.rowsPer, geometry.chunkLineBytes, 0, 0, 0};
    for (uint32_t cy = 0; cy < geometry.down; ++cy) {
        c.top = cy * geometry.rowsPer;
        c.rows = std::min(geometry.rowsPer, p.Height - c.top);
        for (uint32_t cx = 0; cx < geometry.across; ++cx) {
            for (uint32_t plane = 0; plane < geometry.planes; ++plane) {
                const uint64_t index = plane * perPlane + uint64_t(cy) * geometry.across + cx;
                c.chunks[plane] = index < reader.Count() ? int64_t(index) : -1;
            }
            c.left = cx * geometry.chunkWidth;
            held = std::max(held, column.Read(c));
        }
    }
    return held;
}

}  // namespace

void TTIFFGraphic::LoadFromStream(TStream& stream)
{
    ReleaseHandle();
    BasePosition = stream.Position();
    LoadMetered(stream, kLabel, [&] { LoadImage(stream); });
}

void TTIFFGraphic::LoadImage(TStream& stream)
{
    peakSampleBytes_ = 0;
    if (!ReadImageProperties(stream, 0)) CodecError(gesInvalidImage, {kLabel});
    TImageProperties& p = ImageProperties;
    const bool tiled = (p.Options & ioTiled) != 0;
    const bool separate = p.PlanarConfig == 2 && p.SamplesPerPixel > 1;
    const TChunkList chunks = ReadChunkList(*this, tiled);

    const TSchemeChoice schemes = SetUpColorManager(ColorManager, p, separate);
    SetPixelFormat(schemes.source == csGA ? pf8bit : ColorManager.GetPixelFormat(1));
    if (p.Width > INT_MAX || p.Height > INT_MAX) CodecError(gesInvalidImage, {kLabel});
    SetUpPalette(schemes.source, schemes.target);
    const TYCbCrBlocks blocks = ChooseYCbCrBlocks(ColorManager, p, schemes.source, separate);

    // A decoder for each plane: the planes of a column are decoded side by side.
    const uint32_t chunkWidth = tiled ? p.TileWidth : p.Width;
    const auto notices = std::make_shared<TJPEGNotices>();
    // The tables every chunk's JPEG data refers to, read once for every plane.
    p.JPEGTables.clear();
    if (p.Compression == ctJPEG) p.JPEGTables = GetByteList(tagJPEGTables);
    std::vector<std::unique_ptr<TDecoder>> decoders;
    decoders.push_back(CreateDecoder(*this, chunkWidth, notices));
    CheckPictureSize(p.Width, p.Height, PixelFormat());
    SetSize(static_cast<int>(p.Width), static_cast<int>(p.Height));
    GrantOutputWork(uint64_t(RowBytes()) * p.Height);
    for (unsigned plane = 1; separate && plane < p.SamplesPerPixel; ++plane)
        decoders.push_back(CreateDecoder(*this, chunkWidth, notices));
    std::vector<TDecoder*> planes;
    for (const auto& decoder : decoders) {
        if (decoder) decoder->DecodeInit();
        planes.push_back(decoder.get());
    }
    SetBytesPerLine(p);

    TChunkReader reader(stream, BasePosition, chunks, planes, TPacking{p.Compression, chunkWidth}, blocks,
                        p.BitsPerSample);
    const TPrediction prediction{p.Predictor == 2 && p.Compression != ctNone, separate ? 1u : p.SamplesPerPixel,
                                 p.BitsPerSample, (p.Options & ioBigEndian) != 0};
    p.StripCount = static_cast<uint32_t>(chunks.offsets.size());
    p.CurrentRow = 0;
    p.CurrentStrip = 0;
    peakSampleBytes_ = !tiled && !separate ? ReadStrips(*this, reader, prediction)
                                           : ReadTilesOrPlanes(*this, reader, tiled, separate, prediction);
    for (const auto& decoder : decoders)
        if (decoder) decoder->DecodeEnd();
}

void TTIFFGraphic::SetUpPalette(TColorScheme source, TColorScheme target)
{
    const TImageProperties& p = ImageProperties;
    if (target == csG || target == csGA) {
        SetPalette(ColorManager.CreateGrayscalePalette((p.Options & ioMinIsWhite) != 0));
    } else if (target == csIndexed) {
        // Palettes of more than 256 colours (16-bit indexes) do not fit a bitmap.
        if (p.BitsPerSample > 8) CodecError(gesInvalidColorFormat, {kLabel});
        SetColorMapPalette();
    } else if (p.ColorScheme == csYCbCr && source == csYCbCr) {
        const auto& sub = p.YCbCrSubSampling;
        ColorManager.SetYCbCrParameters(YCbCrCoefficients, sub[0], sub[1]);
    }
}

void TTIFFGraphic::SetColorMapPalette()
{
    size_t i;
    if (!FindTag(tagColorMap, i)) return;
    const TIFDEntry& e = ifd_[i];
    if (e.DataType != ftShort && e.DataType != ftSShort) return;
    // The values as stored; the colour manager swaps big-endian ones. The
    // count may be anything up to 2^32 - 1, so the map's size in bytes is
    // reckoned in 64 bits: a map the file cannot hold is a short read.
    const uint64_t n = e.DataLength;
    std::vector<uint8_t> raw;
    if (n * 2 <= 4) {
        raw.resize(static_cast<size_t>(n * 2));
        uint16_t w[2];
        std::memcpy(w, &e.Offset, 4);
        if (ImageProperties.Options & ioBigEndian) w[0] = Swap16(w[0]), w[1] = Swap16(w[1]);
        if (!raw.empty()) std::memcpy(raw.data(), w, raw.size());
    } else {
        raw = FileBytes(e.Offset, n * 2);
    }
    const uint64_t third = n / 3;
    assert(raw.size() >= 6 * third);
    if (!raw.empty()) std::memcpy(ColorMap, raw.data(), std::min<size_t>(raw.size(), sizeof ColorMap));
    const void* planes[3] = {raw.data(), raw.data() + 2 * third, raw.data() + 4 * third};
    // A bitmap's palette holds 256 entries at most; the colour manager reads no more.
    if (third)
        SetPalette(ColorManager.CreateColorPalette(planes, pfPlane16Triple,
                                                   static_cast<uint32_t>(std::min<uint64_t>(third, 256)), false));
}

// ---- EPS ---------------------------------------------------------------------

namespace {
constexpr uint32_t kEPSMagic = 0xC6D3D0C5;
}

bool TEPSGraphic::CanLoad(TStream& stream)
{
    const int64_t start = stream.Position();
    bool ok = false;
    if (stream.Remaining() > 30) {
        uint8_t h[30];
        if (stream.Read(h, 30) == 30) {
            const uint32_t offset = Load<uint32_t>(h + 20), length = Load<uint32_t>(h + 24);
            ok = Load<uint32_t>(h) == kEPSMagic && int64_t(offset) > start + 30 && length > 0;
        }
    }
    stream.SetPosition(start);
    return ok;
}

void TEPSGraphic::LoadFromStream(TStream& stream)
{
    ReleaseHandle();
    uint8_t h[30];
    stream.ReadBuffer(h, 30);
    if (Load<uint32_t>(h) != kEPSMagic) CodecError(gesInvalidImage, {"EPS"});
    const int64_t target = stream.Position() + int64_t(Load<uint32_t>(h + 20)) - 30;
    stream.SetPosition(std::max<int64_t>(target, 0));
    TTIFFGraphic::LoadFromStream(stream);
}
