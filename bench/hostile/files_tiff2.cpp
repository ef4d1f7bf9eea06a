// Crafted TIFF pictures whose strips, planes or tiles each really hold
// hundreds of megabytes of samples: the reader decodes them a slice of rows
// at a time, so that besides the bitmap it holds a slice, not a strip. And
// many one-row strips, each a deflate stream of its own.
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "hostile_files.h"

namespace {

constexpr uint16_t kShort = 3, kLong = 4;

void Put(std::string& out, uint32_t v, int size)
{
    for (int i = 0; i < size; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

// A little-endian TIFF: the data blocks, then one directory of the entries
// given (a value each, or the offset of a block of values).
struct TTiff {
    std::string bytes = std::string("II*\0\0\0\0\0", 8);
    std::map<uint16_t, std::pair<uint16_t, std::vector<uint32_t>>> entries = {};

    uint32_t Append(const std::string& data)
    {
        if (bytes.size() % 2) bytes += '\0';
        const auto at = static_cast<uint32_t>(bytes.size());
        bytes += data;
        return at;
    }
    TTiff& Tag(uint16_t tag, uint16_t type, std::vector<uint32_t> values)
    {
        entries[tag] = {type, std::move(values)};
        return *this;
    }
    TTiff& Picture(uint32_t width, uint32_t height, uint32_t bits, uint32_t samples, uint32_t photometric,
                   uint32_t compression)
    {
        return Tag(256, kLong, {width})
            .Tag(257, kLong, {height})
            .Tag(258, kShort, {bits})
            .Tag(259, kShort, {compression})
            .Tag(262, kShort, {photometric})
            .Tag(277, kShort, {samples});
    }
    std::string Finish()
    {
        std::map<uint16_t, uint32_t> blocks;
        for (const auto& [tag, entry] : entries) {
            if (entry.second.size() <= 1) continue;
            std::string data;
            for (uint32_t v : entry.second) Put(data, v, 4);
            blocks[tag] = Append(data);
        }
        if (bytes.size() % 2) bytes += '\0';
        std::string header;
        Put(header, static_cast<uint32_t>(bytes.size()), 4);
        bytes.replace(4, 4, header);
        Put(bytes, static_cast<uint32_t>(entries.size()), 2);
        for (const auto& [tag, entry] : entries) {
            const auto& [type, values] = entry;
            const bool many = values.size() > 1;
            Put(bytes, tag, 2);
            Put(bytes, many ? kLong : type, 2);
            Put(bytes, static_cast<uint32_t>(values.size()), 4);
            Put(bytes, many ? blocks[tag] : values.empty() ? 0 : values[0], 4);
        }
        Put(bytes, 0, 4);
        return bytes;
    }
};

// A zlib stream of `count` zero bytes.
std::string DeflateZeros(uint64_t count)
{
    std::string packed;
    z_stream z{};
    deflateInit(&z, 9);
    std::vector<unsigned char> zeros(1 << 20), out(1 << 16);
    uint64_t done = 0;
    int status = Z_OK;
    while (status != Z_STREAM_END) {
        if (z.avail_in == 0 && done < count) {
            const uint64_t n = std::min<uint64_t>(zeros.size(), count - done);
            z.next_in = zeros.data();
            z.avail_in = static_cast<uInt>(n);
            done += n;
        }
        z.next_out = out.data();
        z.avail_out = static_cast<uInt>(out.size());
        status = deflate(&z, done < count ? Z_NO_FLUSH : Z_FINISH);
        packed.append(reinterpret_cast<const char*>(out.data()), out.size() - z.avail_out);
    }
    deflateEnd(&z);
    return packed;
}

// A CMYK picture of 16-bit samples just under the bitmap limit once shown,
// in one plane of samples each, all four planes one deflate strip that
// holds 716 MB of zeros: 2.9 GB of samples gathered a band at a time.
std::string MakeDeflatePlanesWholePicture()
{
    constexpr uint32_t kWidth = 16384, kHeight = 21845;
    TTiff t;
    const std::string plane = DeflateZeros(uint64_t(kWidth) * 2 * kHeight);
    const uint32_t at = t.Append(plane);
    t.Picture(kWidth, kHeight, 16, 4, 5, 8).Tag(284, kShort, {2});
    t.Tag(273, kLong, std::vector<uint32_t>(4, at))
        .Tag(279, kLong, std::vector<uint32_t>(4, static_cast<uint32_t>(plane.size())));
    return t.Finish();
}

// A CMYK picture of 8-bit samples, 16384 pixels square (768 MB shown), in
// one deflate tile of 1 GB of zeros: a band and a tile as large as the
// picture.
std::string MakeDeflateTileWholePicture()
{
    constexpr uint32_t kSide = 16384;
    TTiff t;
    const std::string tile = DeflateZeros(uint64_t(kSide) * kSide * 4);
    const uint32_t at = t.Append(tile);
    t.Picture(kSide, kSide, 8, 4, 5, 8).Tag(322, kLong, {kSide}).Tag(323, kLong, {kSide});
    t.Tag(324, kLong, {at}).Tag(325, kLong, {static_cast<uint32_t>(tile.size())});
    return t.Finish();
}

// One JPEG strip of 65,496 x 16,384 gray pixels (1 GB) that ends right
// after its headers: libjpeg completes the picture from nothing.
std::string MakeJpegStripWithoutData()
{
    constexpr uint32_t kWidth = 65496, kHeight = 16384;
    std::string j("\xFF\xD8", 2);
    j += std::string("\xFF\xDB\x00\x43\x00", 5) + std::string(64, '\x01');
    j += std::string("\xFF\xC0\x00\x0B\x08", 5);
    j += {char(kHeight >> 8), char(kHeight & 0xFF), char(kWidth >> 8), char(kWidth & 0xFF)};
    j += std::string("\x01\x01\x11\x00", 4);
    const std::string oneCode = std::string("\x01", 1) + std::string(15, '\0') + std::string(1, '\0');
    j += std::string("\xFF\xC4\x00\x14\x00", 5) + oneCode;  // DC: category 0 is code 0
    j += std::string("\xFF\xC4\x00\x14\x10", 5) + oneCode;  // AC: end of block is code 0
    j += std::string("\xFF\xDA\x00\x08\x01\x01\x00\x00\x3F\x00", 10);
    TTiff t;
    const uint32_t at = t.Append(j);
    t.Picture(kWidth, kHeight, 8, 1, 1, 7).Tag(273, kLong, {at}).Tag(279, kLong, {static_cast<uint32_t>(j.size())});
    return t.Finish();
}

// The 16-bit CMYK picture of one deflate strip of zeros, at the largest size
// a bitmap limit of 256 MB takes: 716 MB of samples.
std::string MakeDeflateQuarterPicture()
{
    constexpr uint32_t kWidth = 8192, kHeight = 10922;
    TTiff t;
    const std::string strip = DeflateZeros(uint64_t(kWidth) * 8 * kHeight);
    const uint32_t at = t.Append(strip);
    t.Picture(kWidth, kHeight, 16, 4, 5, 8).Tag(273, kLong, {at}).Tag(279, kLong, {uint32_t(strip.size())});
    return t.Finish();
}

// 500,000 one-row deflate strips, all at the same offset and without byte
// counts: a new deflate stream for every strip.
std::string MakeDeflateStripsWithoutCounts()
{
    constexpr uint32_t kStrips = 500000;
    TTiff t;
    const std::string row(8, '\x01');
    uLongf size = compressBound(8);
    std::string packed(size, '\0');
    compress2(reinterpret_cast<Bytef*>(packed.data()), &size, reinterpret_cast<const Bytef*>(row.data()), 8, 9);
    packed.resize(size);
    const uint32_t at = t.Append(packed);
    t.Picture(8, kStrips, 8, 1, 1, 8).Tag(278, kLong, {1}).Tag(273, kLong, std::vector<uint32_t>(kStrips, at));
    return t.Finish();
}

THostileRegistration deflatePlanesWholePicture{
    {"tiff_deflate_planes_whole_picture.tif", THostileKind::Picture, MakeDeflatePlanesWholePicture}};
THostileRegistration deflateTileWholePicture{
    {"tiff_deflate_tile_whole_picture.tif", THostileKind::Picture, MakeDeflateTileWholePicture}};
THostileRegistration jpegStripWithoutData{
    {"tiff_jpeg_strip_without_data.tif", THostileKind::Picture, MakeJpegStripWithoutData}};
THostileRegistration deflateQuarterPicture{
    {"tiff_deflate_quarter_picture.tif", THostileKind::Picture, MakeDeflateQuarterPicture}};
THostileRegistration deflateStripsWithoutCounts{
    {"tiff_deflate_strips_without_counts.tif", THostileKind::Picture, MakeDeflateStripsWithoutCounts}};

}  // namespace
