// Crafted TIFF pictures: huge value counts, strips and tiles that name the
// same bytes again and again, tiles far larger than their picture, a strip
// that claims far more rows than its data can give. Then strips, planes and
// tiles that each really hold hundreds of megabytes of samples: the reader
// decodes them a slice of rows at a time, so that besides the bitmap it holds
// a slice, not a strip. And many one-row strips, each a deflate stream of its
// own. Then work that only the bytes present may pay for: strips listed a
// byte each that all name one stream, tiles that are not listed, strips
// that read one stream again, and the largest picture whose rows all differ.
#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

#include "hostile_files.h"
#include "support/jpeg_writer.h"
#include "support/tiff_writer.h"
#include "support/zlib_stream.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Tiff = TTiffWriter;

std::string Str(const Bytes& b) { return std::string(b.begin(), b.end()); }

// ---- claims beyond the data ---------------------------------------------------

// A 1 x 1 palette picture whose colour map claims 2^31 values: 112 bytes.
std::string MakeColorMapCount()
{
    Tiff w;
    const uint32_t pixel = w.Append({0, 0});
    w.Tag(256, Tiff::Long, 1, 1).Tag(257, Tiff::Long, 1, 1).Tag(258, Tiff::Short, 1, 8).Tag(259, Tiff::Short, 1, 1);
    w.Tag(262, Tiff::Short, 1, 3).Tag(273, Tiff::Long, 1, pixel).Tag(279, Tiff::Long, 1, 1);
    w.Tag(320, Tiff::Short, 0x80000000u, pixel);
    return Str(w);
}

// 500,000 one-row PackBits strips, all at the same offset and without byte
// counts, in front of 2 MB of offsets: each strip was read to the end of the file.
std::string MakeStripsWithoutCounts()
{
    constexpr uint32_t kStrips = 500000;
    Tiff w;
    const uint32_t strip = w.Append({7, 1, 2, 3, 4, 5, 6, 7, 8});
    w.Picture(8, kStrips, 8, 1, 1, 32773).Tag(278, Tiff::Long, 1, 1);
    w.Longs(273, std::vector<uint32_t>(kStrips, strip));
    return Str(w);
}

// One PackBits strip of 1 MB with its real byte count, listed as each of
// 125,000 one-row strips.
std::string MakeStripListedManyTimes()
{
    constexpr uint32_t kStrips = 125000, kStripBytes = 1 << 20;
    Tiff w;
    Bytes data;
    while (data.size() + 129 <= kStripBytes) {
        data.push_back(0x7F);
        data.resize(data.size() + 128, 0x55);
    }
    data.resize(kStripBytes, 0x80);  // no-operation bytes
    const uint32_t strip = w.Append(data);
    w.Picture(8, kStrips, 8, 1, 1, 32773).Tag(278, Tiff::Long, 1, 1);
    w.Longs(273, std::vector<uint32_t>(kStrips, strip));
    w.Longs(279, std::vector<uint32_t>(kStrips, kStripBytes));
    return Str(w);
}

// A Group 3 fax of 500,000 one-row strips in reversed bit order, all at the
// same offset and without byte counts: every strip turned the bits of the
// rest of the file round before decoding its row.
std::string MakeFaxStripsWithoutCounts()
{
    constexpr uint32_t kStrips = 500000;
    Tiff w;
    // EOL, then a white run of 8 (code 10011), in reversed bit order.
    const uint32_t strip = w.Append({0x00, 0x98, 0x01});
    w.Picture(8, kStrips, 1, 1, 0, 3).Tag(278, Tiff::Long, 1, 1).Tag(266, Tiff::Short, 1, 2);
    w.Longs(273, std::vector<uint32_t>(kStrips, strip));
    return Str(w);
}

// A one-pixel-wide picture of 262,144 rows stored in tiles 65,536 pixels
// wide and one row high, all at the same offset: 16 GB of tiles for a
// picture of 256 KB.
std::string MakeTileWiderThanPicture()
{
    constexpr uint32_t kTiles = 1 << 18, kTileWidth = 1 << 16;
    Tiff w;
    const uint32_t tile = w.Append(Bytes(kTileWidth, 0x40));
    w.Picture(1, kTiles, 8, 1, 1, 1).Tag(322, Tiff::Long, 1, kTileWidth).Tag(323, Tiff::Long, 1, 1);
    w.Longs(324, std::vector<uint32_t>(kTiles, tile));
    return Str(w);
}

// A one-pixel picture in one tile of 2^30 rows.
std::string MakeTileTallerThanPicture()
{
    Tiff w;
    const uint32_t tile = w.Append(Bytes(16, 0x40));
    w.Picture(1, 1, 8, 1, 1, 1).Tag(322, Tiff::Long, 1, 1).Tag(323, Tiff::Long, 1, 1u << 30);
    w.Tag(324, Tiff::Long, 1, tile).Tag(325, Tiff::Long, 1, 16);
    return Str(w);
}

// A CMYK picture of 16-bit samples, just under the bitmap limit once shown,
// in one PackBits strip of two bytes: 2.9 GB of samples claimed.
std::string MakeStripWithoutData()
{
    Tiff w;
    const uint32_t strip = w.Append({0xFF, 0x00});
    w.Picture(16384, 21845, 16, 4, 5, 32773);
    w.Tag(273, Tiff::Long, 1, strip).Tag(279, Tiff::Long, 1, 2);
    return Str(w);
}

// The same picture in one deflate strip that really holds its 2.9 GB of
// samples, all zero: 2.8 MB of data.
std::string MakeDeflateWholePicture()
{
    constexpr uint32_t kWidth = 16384, kHeight = 21845;
    const Bytes packed = TDeflater().Zeros(uint64_t(kWidth) * 8 * kHeight).Finish();
    Tiff w;
    const uint32_t strip = w.Append(packed);
    w.Picture(kWidth, kHeight, 16, 4, 5, 8);
    w.Tag(273, Tiff::Long, 1, strip).Tag(279, Tiff::Long, 1, static_cast<uint32_t>(packed.size()));
    return Str(w);
}

// 500,000 one-row JPEG strips, all the same JPEG stream.
std::string MakeJpegStripsRepeated()
{
    constexpr uint32_t kStrips = 500000;
    Tiff w;
    const Bytes jpeg = TinyJpeg();
    const uint32_t strip = w.Append(jpeg);
    w.Picture(8, kStrips, 8, 1, 1, 7).Tag(278, Tiff::Long, 1, 1);
    w.Longs(273, std::vector<uint32_t>(kStrips, strip));
    w.Longs(279, std::vector<uint32_t>(kStrips, static_cast<uint32_t>(jpeg.size())));
    return Str(w);
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

// ---- strips, planes and tiles decoded a slice of rows at a time ---------------

// A CMYK picture of 16-bit samples just under the bitmap limit once shown,
// in one plane of samples each, all four planes one deflate strip that
// holds 716 MB of zeros: 2.9 GB of samples gathered a band at a time.
std::string MakeDeflatePlanesWholePicture()
{
    constexpr uint32_t kWidth = 16384, kHeight = 21845;
    Tiff t;
    const Bytes plane = TDeflater().Zeros(uint64_t(kWidth) * 2 * kHeight).Finish();
    const uint32_t at = t.Append(plane);
    t.Picture(kWidth, kHeight, 16, 4, 5, 8).Tag(284, Tiff::Short, 1, 2);
    t.Longs(273, std::vector<uint32_t>(4, at)).Longs(279, std::vector<uint32_t>(4, uint32_t(plane.size())));
    return Str(t);
}

// A CMYK picture of 8-bit samples, 16384 pixels square (768 MB shown), in
// one deflate tile of 1 GB of zeros: a band and a tile as large as the
// picture.
std::string MakeDeflateTileWholePicture()
{
    constexpr uint32_t kSide = 16384;
    Tiff t;
    const Bytes tile = TDeflater().Zeros(uint64_t(kSide) * kSide * 4).Finish();
    const uint32_t at = t.Append(tile);
    t.Picture(kSide, kSide, 8, 4, 5, 8).Tag(322, Tiff::Long, 1, kSide).Tag(323, Tiff::Long, 1, kSide);
    t.Tag(324, Tiff::Long, 1, at).Tag(325, Tiff::Long, 1, uint32_t(tile.size()));
    return Str(t);
}

// One JPEG strip of 65,496 x 16,384 gray pixels (1 GB) that ends right
// after its headers: libjpeg completes the picture from nothing.
std::string MakeJpegStripWithoutData()
{
    constexpr uint32_t kWidth = 65496, kHeight = 16384;
    const Bytes j = JpegHeaders(kWidth, kHeight);
    Tiff t;
    const uint32_t at = t.Append(j);
    t.Picture(kWidth, kHeight, 8, 1, 1, 7).Tag(273, Tiff::Long, 1, at).Tag(279, Tiff::Long, 1, uint32_t(j.size()));
    return Str(t);
}

// The 16-bit CMYK picture of one deflate strip of zeros, at the largest size
// a bitmap limit of 256 MB takes: 716 MB of samples.
std::string MakeDeflateQuarterPicture()
{
    constexpr uint32_t kWidth = 8192, kHeight = 10922;
    Tiff t;
    const Bytes strip = TDeflater().Zeros(uint64_t(kWidth) * 8 * kHeight).Finish();
    const uint32_t at = t.Append(strip);
    t.Picture(kWidth, kHeight, 16, 4, 5, 8).Tag(273, Tiff::Long, 1, at).Tag(279, Tiff::Long, 1, uint32_t(strip.size()));
    return Str(t);
}

// 500,000 one-row deflate strips, all at the same offset and without byte
// counts: a new deflate stream for every strip.
std::string MakeDeflateStripsWithoutCounts()
{
    constexpr uint32_t kStrips = 500000;
    Tiff t;
    const uint32_t at = t.Append(ZlibCompress(Bytes(8, 1), 9));
    t.Picture(8, kStrips, 8, 1, 1, 8).Tag(278, Tiff::Long, 1, 1).Longs(273, std::vector<uint32_t>(kStrips, at));
    return Str(t);
}

// ---- work that the bytes present must pay for --------------------------------

// 4,000,000 one-row strips whose offsets and byte counts take one byte
// each, all naming one stream: a decoder made ready for every byte of the
// lists.
std::string ByteOffsetStrips(uint32_t compression, const Bytes& stream)
{
    constexpr uint32_t kStrips = 4000000;
    Tiff t;
    const uint32_t at = t.Append(stream);
    t.Picture(8, kStrips, 8, 1, 1, compression).Tag(278, Tiff::Long, 1, 1);
    t.Values(273, Tiff::Byte, std::vector<uint32_t>(kStrips, at));
    t.Values(279, Tiff::Byte, std::vector<uint32_t>(kStrips, uint32_t(stream.size())));
    return Str(t);
}
std::string MakeByteOffsetsDeflate() { return ByteOffsetStrips(8, ZlibCompress(Bytes(8, 1), 9)); }
std::string MakeByteOffsetsJpeg() { return ByteOffsetStrips(7, TinyJpeg()); }
std::string MakeByteOffsetsPackBits() { return ByteOffsetStrips(32773, {7, 1, 2, 3, 4, 5, 6, 7, 8}); }

// A gray picture of 16384 x 16384 pixels (the largest bitmap of 8 bits) in
// tiles of one pixel, one of them listed: every tile, listed or not, is
// looked up and cleared.
std::string MakeUnlistedTinyTiles()
{
    Tiff t;
    const uint32_t at = t.Append({0x40});
    t.Picture(16384, 16384, 8, 1, 1, 1).Tag(322, Tiff::Long, 1, 1).Tag(323, Tiff::Long, 1, 1);
    t.Tag(324, Tiff::Long, 1, at).Tag(325, Tiff::Long, 1, 1);
    return Str(t);
}

// 2,000 one-row deflate strips all naming one stream whose row lies behind
// 1 MB of empty stored blocks, which the format allows without bound: each
// strip reads through the whole megabyte to its row.
std::string MakeDeflateStripsBehindEmptyBlocks()
{
    constexpr uint32_t kStrips = 2000;
    const Bytes stream = DeflateAfterEmptyBlocks(Bytes(8, 0x33), (1 << 20) / 5);
    Tiff t;
    const uint32_t at = t.Append(stream);
    t.Picture(8, kStrips, 8, 1, 1, 8).Tag(278, Tiff::Long, 1, 1);
    t.Longs(273, std::vector<uint32_t>(kStrips, at));
    t.Longs(279, std::vector<uint32_t>(kStrips, uint32_t(stream.size())));
    return Str(t);
}

// The 16-bit CMYK picture at the largest size a bitmap limit of 256 MB
// takes, in one deflate strip whose rows all differ (each the one above it
// moved by a pixel): 716 MB of samples converted row by row.
std::string MakeDeflateVariedQuarterPicture()
{
    constexpr uint32_t kWidth = 8192, kHeight = 10922;
    Bytes pattern;
    for (uint32_t x = 0; x < kWidth + 256; ++x)
        for (uint32_t v : {x & 255, x * 3 & 255, x * 7 & 255, 0u})
            pattern.insert(pattern.end(), {uint8_t(v), uint8_t(v)});
    TDeflater deflater(1);
    for (uint32_t y = 0; y < kHeight; ++y)
        deflater.Add(Bytes(pattern.begin() + (y % 256) * 8, pattern.begin() + (y % 256) * 8 + kWidth * 8));
    const Bytes strip = deflater.Finish();
    Tiff t;
    const uint32_t at = t.Append(strip);
    t.Picture(kWidth, kHeight, 16, 4, 5, 8).Tag(273, Tiff::Long, 1, at).Tag(279, Tiff::Long, 1, uint32_t(strip.size()));
    return Str(t);
}

THostileRegistration byteOffsetsDeflate{
    {"tiff_byte_offsets_deflate.tif", THostileKind::Picture, MakeByteOffsetsDeflate}};
THostileRegistration byteOffsetsJpeg{{"tiff_byte_offsets_jpeg.tif", THostileKind::Picture, MakeByteOffsetsJpeg}};
THostileRegistration byteOffsetsPackBits{
    {"tiff_byte_offsets_packbits.tif", THostileKind::Picture, MakeByteOffsetsPackBits}};
THostileRegistration unlistedTinyTiles{{"tiff_unlisted_tiny_tiles.tif", THostileKind::Picture, MakeUnlistedTinyTiles}};
THostileRegistration deflateStripsBehindEmptyBlocks{
    {"tiff_deflate_strips_behind_empty_blocks.tif", THostileKind::Picture, MakeDeflateStripsBehindEmptyBlocks}};
THostileRegistration deflateVariedQuarterPicture{
    {"tiff_deflate_varied_quarter_picture.tif", THostileKind::Picture, MakeDeflateVariedQuarterPicture}};

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
