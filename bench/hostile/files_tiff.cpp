// Crafted TIFF pictures: huge value counts, strips and tiles that name the
// same bytes again and again, tiles far larger than their picture, a strip
// that claims far more rows than its data can give.
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "hostile_files.h"

namespace {

enum : uint16_t { kByte = 1, kShort = 3, kLong = 4 };

// A little-endian TIFF of one directory: data blocks first, then the
// directory with the entries given (in any order; they are written sorted).
class TTiffWriter {
public:
    TTiffWriter() : bytes_("II*\0\0\0\0\0", 8) {}

    // Appends a block (at an even offset) and returns its offset.
    uint32_t Append(const std::string& data)
    {
        if (bytes_.size() % 2) bytes_ += '\0';
        const auto at = static_cast<uint32_t>(bytes_.size());
        bytes_ += data;
        return at;
    }
    // One entry: value count and the value field (a value or an offset).
    TTiffWriter& Tag(uint16_t tag, uint16_t type, uint32_t count, uint32_t value)
    {
        entries_.push_back({tag, type, count, value});
        return *this;
    }
    // An entry whose values lie in a block of their own.
    TTiffWriter& Longs(uint16_t tag, const std::vector<uint32_t>& values)
    {
        std::string data;
        for (uint32_t v : values) Put(data, v, 4);
        return Tag(tag, kLong, static_cast<uint32_t>(values.size()), Append(data));
    }
    std::string Finish()
    {
        if (bytes_.size() % 2) bytes_ += '\0';
        const auto ifd = static_cast<uint32_t>(bytes_.size());
        std::string header;
        Put(header, ifd, 4);
        bytes_.replace(4, 4, header);
        std::vector<TEntry> sorted = entries_;
        for (size_t i = 1; i < sorted.size(); ++i)
            for (size_t j = i; j > 0 && sorted[j].tag < sorted[j - 1].tag; --j) std::swap(sorted[j], sorted[j - 1]);
        Put(bytes_, static_cast<uint32_t>(sorted.size()), 2);
        for (const TEntry& e : sorted) {
            Put(bytes_, e.tag, 2);
            Put(bytes_, e.type, 2);
            Put(bytes_, e.count, 4);
            Put(bytes_, e.value, 4);
        }
        Put(bytes_, 0, 4);
        return bytes_;
    }

    static void Put(std::string& out, uint32_t v, int size)
    {
        for (int i = 0; i < size; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
    }

private:
    struct TEntry {
        uint16_t tag, type;
        uint32_t count, value;
    };
    std::string bytes_;
    std::vector<TEntry> entries_;
};

// A picture's size, samples and compression (no strips yet).
TTiffWriter& Picture(TTiffWriter& w, uint32_t width, uint32_t height, uint32_t bits, uint32_t samples,
                     uint32_t photometric, uint32_t compression)
{
    return w.Tag(256, kLong, 1, width)
        .Tag(257, kLong, 1, height)
        .Tag(258, kShort, 1, bits)
        .Tag(259, kShort, 1, compression)
        .Tag(262, kShort, 1, photometric)
        .Tag(277, kShort, 1, samples);
}

// A 1 x 1 palette picture whose colour map claims 2^31 values: 112 bytes.
std::string MakeColorMapCount()
{
    TTiffWriter w;
    const uint32_t pixel = w.Append(std::string(2, '\0'));
    w.Tag(256, kLong, 1, 1).Tag(257, kLong, 1, 1).Tag(258, kShort, 1, 8).Tag(259, kShort, 1, 1);
    w.Tag(262, kShort, 1, 3).Tag(273, kLong, 1, pixel).Tag(279, kLong, 1, 1);
    w.Tag(320, kShort, 0x80000000u, pixel);
    return w.Finish();
}

// 500,000 one-row PackBits strips, all at the same offset and without byte
// counts, in front of 2 MB of offsets: each strip was read to the end of the file.
std::string MakeStripsWithoutCounts()
{
    constexpr uint32_t kStrips = 500000;
    TTiffWriter w;
    const uint32_t strip = w.Append(std::string("\x07\x01\x02\x03\x04\x05\x06\x07\x08", 9));
    Picture(w, 8, kStrips, 8, 1, 1, 32773).Tag(278, kLong, 1, 1);
    w.Longs(273, std::vector<uint32_t>(kStrips, strip));
    return w.Finish();
}

// One PackBits strip of 1 MB with its real byte count, listed as each of
// 125,000 one-row strips.
std::string MakeStripListedManyTimes()
{
    constexpr uint32_t kStrips = 125000, kStripBytes = 1 << 20;
    TTiffWriter w;
    std::string data;
    while (data.size() + 129 <= kStripBytes) data += '\x7F' + std::string(128, '\x55');
    data.resize(kStripBytes, '\x80');  // no-operation bytes
    const uint32_t strip = w.Append(data);
    Picture(w, 8, kStrips, 8, 1, 1, 32773).Tag(278, kLong, 1, 1);
    w.Longs(273, std::vector<uint32_t>(kStrips, strip));
    w.Longs(279, std::vector<uint32_t>(kStrips, kStripBytes));
    return w.Finish();
}

// A Group 3 fax of 500,000 one-row strips in reversed bit order, all at the
// same offset and without byte counts: every strip turned the bits of the
// rest of the file round before decoding its row.
std::string MakeFaxStripsWithoutCounts()
{
    constexpr uint32_t kStrips = 500000;
    TTiffWriter w;
    // EOL, then a white run of 8 (code 10011), in reversed bit order.
    const uint32_t strip = w.Append(std::string("\x00\x98\x01", 3));
    Picture(w, 8, kStrips, 1, 1, 0, 3).Tag(278, kLong, 1, 1).Tag(266, kShort, 1, 2);
    w.Longs(273, std::vector<uint32_t>(kStrips, strip));
    return w.Finish();
}

// A one-pixel-wide picture of 262,144 rows stored in tiles 65,536 pixels
// wide and one row high, all at the same offset: 16 GB of tiles for a
// picture of 256 KB.
std::string MakeTileWiderThanPicture()
{
    constexpr uint32_t kTiles = 1 << 18, kTileWidth = 1 << 16;
    TTiffWriter w;
    const uint32_t tile = w.Append(std::string(kTileWidth, '\x40'));
    Picture(w, 1, kTiles, 8, 1, 1, 1).Tag(322, kLong, 1, kTileWidth).Tag(323, kLong, 1, 1);
    w.Longs(324, std::vector<uint32_t>(kTiles, tile));
    return w.Finish();
}

// A one-pixel picture in one tile of 2^30 rows.
std::string MakeTileTallerThanPicture()
{
    TTiffWriter w;
    const uint32_t tile = w.Append(std::string(16, '\x40'));
    Picture(w, 1, 1, 8, 1, 1, 1).Tag(322, kLong, 1, 1).Tag(323, kLong, 1, 1u << 30);
    w.Tag(324, kLong, 1, tile).Tag(325, kLong, 1, 16);
    return w.Finish();
}

// A CMYK picture of 16-bit samples, just under the bitmap limit once shown,
// in one PackBits strip of two bytes: 2.9 GB of samples claimed.
std::string MakeStripWithoutData()
{
    TTiffWriter w;
    const uint32_t strip = w.Append(std::string("\xFF\x00", 2));
    Picture(w, 16384, 21845, 16, 4, 5, 32773);
    w.Tag(273, kLong, 1, strip).Tag(279, kLong, 1, 2);
    return w.Finish();
}

// The same picture in one deflate strip that really holds its 2.9 GB of
// samples, all zero: 2.8 MB of data.
std::string MakeDeflateWholePicture()
{
    constexpr uint32_t kWidth = 16384, kHeight = 21845;
    const uint64_t bytes = uint64_t(kWidth) * 8 * kHeight;
    std::string packed;
    z_stream z{};
    deflateInit(&z, 9);
    std::vector<unsigned char> zeros(1 << 20), out(1 << 16);
    for (uint64_t done = 0; done < bytes || z.avail_in;) {
        if (z.avail_in == 0) {
            const uint64_t n = std::min<uint64_t>(zeros.size(), bytes - done);
            z.next_in = zeros.data();
            z.avail_in = static_cast<uInt>(n);
            done += n;
        }
        z.next_out = out.data();
        z.avail_out = static_cast<uInt>(out.size());
        deflate(&z, Z_NO_FLUSH);
        packed.append(reinterpret_cast<const char*>(out.data()), out.size() - z.avail_out);
    }
    int status;
    do {
        z.next_out = out.data();
        z.avail_out = static_cast<uInt>(out.size());
        status = deflate(&z, Z_FINISH);
        packed.append(reinterpret_cast<const char*>(out.data()), out.size() - z.avail_out);
    } while (status != Z_STREAM_END);
    deflateEnd(&z);
    TTiffWriter w;
    const uint32_t strip = w.Append(packed);
    Picture(w, kWidth, kHeight, 16, 4, 5, 8);
    w.Tag(273, kLong, 1, strip).Tag(279, kLong, 1, static_cast<uint32_t>(packed.size()));
    return w.Finish();
}

// A baseline JPEG of 8 x 1 gray pixels: one block, every coefficient zero.
std::string TinyJpeg()
{
    std::string j("\xFF\xD8", 2);
    j += std::string("\xFF\xDB\x00\x43\x00", 5) + std::string(64, '\x01');
    j += std::string("\xFF\xC0\x00\x0B\x08\x00\x01\x00\x08\x01\x01\x11\x00", 13);
    const std::string oneCode = std::string("\x01", 1) + std::string(15, '\0') + std::string(1, '\0');
    j += std::string("\xFF\xC4\x00\x14\x00", 5) + oneCode;  // DC: category 0 is code 0
    j += std::string("\xFF\xC4\x00\x14\x10", 5) + oneCode;  // AC: end of block is code 0
    j += std::string("\xFF\xDA\x00\x08\x01\x01\x00\x00\x3F\x00", 10);
    j += std::string("\x3F\xFF\xD9", 3);
    return j;
}

// 500,000 one-row JPEG strips, all the same JPEG stream.
std::string MakeJpegStripsRepeated()
{
    constexpr uint32_t kStrips = 500000;
    TTiffWriter w;
    const std::string jpeg = TinyJpeg();
    const uint32_t strip = w.Append(jpeg);
    Picture(w, 8, kStrips, 8, 1, 1, 7).Tag(278, kLong, 1, 1);
    w.Longs(273, std::vector<uint32_t>(kStrips, strip));
    w.Longs(279, std::vector<uint32_t>(kStrips, static_cast<uint32_t>(jpeg.size())));
    return w.Finish();
}

THostileRegistration colorMapCount{{"tiff_colormap_count.tif", THostileKind::Picture, MakeColorMapCount}};
THostileRegistration stripsWithoutCounts{
    {"tiff_strips_without_counts.tif", THostileKind::Picture, MakeStripsWithoutCounts}};
THostileRegistration stripListedManyTimes{
    {"tiff_strip_listed_many_times.tif", THostileKind::Picture, MakeStripListedManyTimes}};
THostileRegistration faxStripsWithoutCounts{
    {"tiff_fax_strips_without_counts.tif", THostileKind::Picture, MakeFaxStripsWithoutCounts}};
THostileRegistration tileWiderThanPicture{
    {"tiff_tile_wider_than_picture.tif", THostileKind::Picture, MakeTileWiderThanPicture}};
THostileRegistration tileTallerThanPicture{
    {"tiff_tile_taller_than_picture.tif", THostileKind::Picture, MakeTileTallerThanPicture}};
THostileRegistration stripWithoutData{{"tiff_strip_without_data.tif", THostileKind::Picture, MakeStripWithoutData}};
THostileRegistration deflateWholePicture{
    {"tiff_deflate_whole_picture.tif", THostileKind::Picture, MakeDeflateWholePicture}};
THostileRegistration jpegStripsRepeated{
    {"tiff_jpeg_strips_repeated.tif", THostileKind::Picture, MakeJpegStripsRepeated}};

}  // namespace
