// TIFF files that claim more than they hold: value counts up to 2^32 - 1,
// strips and tiles that name the same bytes many times or lack their byte
// counts, tiles larger than their picture. Each is refused with its message
// or read as far as its data goes; a strip reads its bytes as its decoder
// takes them, however many the format lets a writer put in.
#include <zlib.h>

#include <cstring>
#include <map>

#include "codecs/tiff.h"
#include "picture_files.h"
#include "platform/rtl/classes.h"
#include "platform/rtl/messages.h"
#include "support/jpeg_writer.h"
#include "support/scoped_value.h"
#include "support/tiff_writer.h"
#include "support/zlib_stream.h"

namespace {

const std::string kReadError = EReadError().what();
const std::string kInvalid = "Cannot load image. Invalid or unexpected TIF/TIFF image format.";

// A TIFF load: the picture as Describe gives it (or the error's message),
// the bytes read from the file and the most bytes of samples held at once.
struct TLoad {
    std::string outcome;
    int64_t read = 0;
    uint64_t held = 0;
};

TLoad LoadTiff(const Bytes& file, const std::vector<std::pair<int, int>>& points)
{
    const TCountedLoad load = LoadCounting("tif", file);
    return {load.Outcome(points), load.bytesRead, dynamic_cast<const TTIFFGraphic&>(*load.picture).PeakSampleBytes()};
}

Bytes Reversed(Bytes bytes)
{
    for (uint8_t& b : bytes) b = ReverseBitsTable[b];
    return bytes;
}

// A picture whose strips (or planes) are all one JPEG stream that ends before
// its data, loaded: the outcome, and each message box shown with the times
// it was shown.
struct TShown {
    std::string outcome;
    std::map<std::string, int> shown = {};
};

TShown LoadCutJpegStrips(TTiffWriter picture, uint32_t strips, const std::vector<std::pair<int, int>>& points)
{
    const Bytes jpeg = TinyJpeg(), cut = Head(jpeg, jpeg.size() - 3);
    const uint32_t at = picture.Append(cut);
    picture.Longs(273, std::vector<uint32_t>(strips, at));
    picture.Longs(279, std::vector<uint32_t>(strips, uint32_t(cut.size())));
    TRecordingSink sink;
    TScopedMessageSink scoped(sink);
    TShown load{LoadTiff(picture, points).outcome};
    for (const TMessageRecord& m : sink.messages) ++load.shown[m.text];
    return load;
}

// ---- colour map ----------------------------------------------------------------

TEST(TiffHostile, ColourMapCountIsCheckedAgainstTheFile)
{
    struct Case {
        const char* name;
        bool big;
        uint32_t count;
    };
    const Case cases[] = {
        {"2^31 values: twice that wraps to 0 in 32 bits", false, 0x80000000u},
        {"2^31 + 1 values: twice that wraps to 2", false, 0x80000001u},
        {"2^31 + 1 values, big-endian", true, 0x80000001u},
        {"2^32 - 1 values", false, 0xFFFFFFFFu},
        {"2^30 values: 2 GB the file does not hold", false, 0x40000000u},
    };
    for (const Case& c : cases) {
        TTiffWriter t(c.big);
        const uint32_t pixel = t.Append({0, 0});
        t.Picture(1, 1, 8, 1, 3, 1).Tag(273, Tiff::Long, 1, pixel).Tag(279, Tiff::Long, 1, 1);
        t.Tag(320, Tiff::Short, c.count, pixel);
        EXPECT_EQ(LoadError("tif", t), kReadError) << c.name;
    }
}

TEST(TiffHostile, ColourMapLongerThanAPaletteGivesItsFirstEntries)
{
    // 3 x 300 values: red, green and blue planes 300 values apart; a bitmap
    // palette takes the first 256 entries of each plane.
    std::vector<uint32_t> map(900, 0);
    map[5] = 0xFFFF, map[305] = 0x8080, map[605] = 0x1010;
    const Bytes file = Tiff().Picture(2, 1, 8, 1, 3, 1).Set(320, Tiff::Short, map).Strip({5, 0});
    EXPECT_EQ(Describe(*Load("tif", file), Row(0, 2)), "2x1/8 ff8010 00");
}

// ---- strips that name the same bytes ---------------------------------------

TEST(TiffHostile, StripsReadNoMoreThanTheirDecodersTake)
{
    // `strips` one-row strips of 8 pixels, all naming one strip's data that
    // 64 KB of zeros follow. A strip without a byte count must not read to
    // the end of the file, nor one whose count takes in the zeros read them
    // again and again: each reads its bytes as its decoder takes them, and
    // stops once its row is full, so the whole load reads less than twice the
    // file. libjpeg takes a strip's bytes at once: JPEG strips read their
    // counts, and no more.
    struct Case {
        const char* name;
        uint32_t compression, bits, photometric;
        Bytes strip;
        bool counts;
        uint32_t strips;
        std::string expected;
    };
    const Bytes packBits = {7, 1, 2, 3, 4, 5, 6, 7, 8};
    const Bytes deflate = ZlibCompress({1, 2, 3, 4, 5, 6, 7, 8}, 9);
    const Bytes group3 = TFaxBits().Eol().Run(true, 2).Run(false, 6).bytes;
    const Bytes huffman = TFaxBits().Run(true, 2).Run(false, 6).bytes;
    const Bytes thunder = {0xC1, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6, 0xC7, 0xC8};  // raw 4-bit pixels
    const Case cases[] = {
        {"PackBits without byte counts", 32773, 8, 1, packBits, false, 100, "8x100/8 01 08 01 08"},
        {"PackBits, counts of 64 KB", 32773, 8, 1, packBits, true, 100, "8x100/8 01 08 01 08"},
        {"deflate without byte counts", 8, 8, 1, deflate, false, 100, "8x100/8 01 08 01 08"},
        {"deflate, counts of 64 KB", 8, 8, 1, deflate, true, 100, "8x100/8 01 08 01 08"},
        {"Group 3 fax, reversed bits, without byte counts", 3, 1, 0, Reversed(group3), false, 100,
         "8x100/1 ff 00 ff 00"},
        {"modified Huffman, counts of 64 KB", 2, 1, 0, huffman, true, 100, "8x100/1 ff 00 ff 00"},
        {"ThunderScan without byte counts", 32809, 4, 1, thunder, false, 100, "8x100/4 11 88 11 88"},
        {"JPEG, counts of 64 KB", 7, 8, 1, TinyJpeg(), true, 10, "8x10/8 80 80 80 80"},
        {"uncompressed", 1, 8, 1, {1, 2, 3, 4, 5, 6, 7, 8}, false, 100, "8x100/8 01 08 01 08"},
    };
    for (const Case& c : cases) {
        TTiffWriter t;
        const uint32_t at = t.Append(Join({c.strip, Bytes(65536, 0)}));
        t.Picture(8, c.strips, c.bits, 1, c.photometric, c.compression).Tag(278, Tiff::Short, 1, 1);
        if (c.compression == 3) t.Tag(266, Tiff::Short, 1, 2);
        t.Longs(273, std::vector<uint32_t>(c.strips, at));
        if (c.counts) t.Longs(279, std::vector<uint32_t>(c.strips, uint32_t(c.strip.size() + 65536)));
        const Bytes file = t;
        const int last = int(c.strips) - 1;
        const TLoad load = LoadTiff(file, {{0, 0}, {7, 0}, {0, last}, {7, last}});
        EXPECT_EQ(load.outcome, c.expected) << c.name;
        const int64_t most = c.compression == 7 ? int64_t(file.size()) + c.strips * int64_t(c.strip.size() + 65536)
                                                : 2 * int64_t(file.size());
        EXPECT_LT(load.read, most) << c.name;
    }
}

TEST(TiffHostile, StripsPackedFarLongerThanTheirRowsAreReadWhole)
{
    // Each format may hold bytes that decode to nothing, as many as a writer
    // likes: PackBits no-operation bytes, deflate's empty blocks, fax fill
    // bits before an end-of-line code, ThunderScan runs of no pixels. Two
    // rows of 16 pixels, each row's data behind 100 KB of such bytes, decode
    // whole in strips of one or both rows.
    struct Case {
        const char* name;
        uint32_t compression, bits, photometric;
        Bytes rows[2], both;
        std::string expected;
    };
    const Bytes noOps(100000, 0x80), runsOfNothing(100000, 0x00);
    Bytes ramp = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}, flat(16, 0x42);
    auto fax = [](int white) {
        TFaxBits bits{Bytes(100000, 0)};  // fill bits
        bits.Eol().Run(true, white).Run(false, 16 - white);
        return bits.bytes;
    };
    const Bytes packBits[2] = {Join({noOps, {0x0F}, ramp}), Join({noOps, {0xF1, 0x42}})};
    const Bytes faxRows[2] = {fax(3), fax(10)};
    const Bytes thunder[2] = {Join({runsOfNothing, {0xC5, 0x0F}}), Join({runsOfNothing, {0xC9, 0x0F}})};
    const Case cases[] = {
        {"PackBits", 32773, 8, 1, {packBits[0], packBits[1]}, Join({packBits[0], packBits[1]}), "16x2/8 01 10 42 42"},
        {"deflate",
         8,
         8,
         1,
         {DeflateAfterEmptyBlocks(ramp, 20000), DeflateAfterEmptyBlocks(flat, 20000)},
         DeflateAfterEmptyBlocks(Join({ramp, flat}), 20000),
         "16x2/8 01 10 42 42"},
        {"Group 3 fax", 3, 1, 0, {faxRows[0], faxRows[1]}, Join({faxRows[0], faxRows[1]}), "16x2/1 ff 00 ff 00"},
        {"ThunderScan", 32809, 4, 1, {thunder[0], thunder[1]}, Join({thunder[0], thunder[1]}), "16x2/4 55 55 99 99"},
    };
    for (const Case& c : cases)
        for (uint32_t rowsPerStrip : {1u, 2u}) {
            Tiff t;
            t.Picture(16, 2, c.bits, 1, c.photometric, c.compression).Set(278, Tiff::Long, {rowsPerStrip});
            if (rowsPerStrip == 1) t.Strip(c.rows[0]).Strip(c.rows[1]);
            else t.Strip(c.both);
            EXPECT_EQ(LoadTiff(t, {{0, 0}, {15, 0}, {0, 1}, {15, 1}}).outcome, c.expected)
                << c.name << ", rows per strip " << rowsPerStrip;
        }
}

TEST(TiffHostile, DeflateStripShowsItsRowsWhateverItsCheckValue)
{
    Bytes strip = ZlibCompress({1, 2, 3, 4, 5, 6, 7, 8}, 9);
    for (size_t i = strip.size() - 4; i < strip.size(); ++i) strip[i] ^= 0x5A;
    EXPECT_EQ(LoadTiff(Tiff().Picture(8, 1, 8, 1, 1, 8).Strip(strip), {{0, 0}, {7, 0}}).outcome, "8x1/8 01 08");
}

TEST(TiffHostile, StripWithoutByteCountEndsWhereTheNextStarts)
{
    // Two one-row PackBits strips back to back, without byte counts: the
    // first strip's data gives half its row, and reading on would take the
    // second strip's packets for the rest of it.
    const Bytes data = {0x01, 10, 20, 0x03, 1, 2, 3, 4};
    for (bool firstIsFirst : {true, false}) {
        TTiffWriter t;
        const uint32_t at = t.Append(data);
        t.Picture(4, 2, 8, 1, 1, 32773).Tag(278, Tiff::Short, 1, 1);
        t.Longs(273, firstIsFirst ? std::vector<uint32_t>{at, at + 3} : std::vector<uint32_t>{at + 3, at});
        const std::string expected = firstIsFirst ? "4x2/8 0a 14 00 00 01 02 03 04" : "4x2/8 01 02 03 04 0a 14 00 00";
        EXPECT_EQ(LoadTiff(t, {{0, 0}, {1, 0}, {2, 0}, {3, 0}, {0, 1}, {1, 1}, {2, 1}, {3, 1}}).outcome, expected)
            << firstIsFirst;
    }
}

TEST(TiffHostile, StripByteCountPastTheEndIsAShortRead)
{
    TTiffWriter t;
    const uint32_t at = t.Append({7, 1, 2, 3, 4, 5, 6, 7, 8});
    t.Picture(8, 1, 8, 1, 1, 32773).Tag(273, Tiff::Long, 1, at).Tag(279, Tiff::Long, 1, 0xFFFFFFF0u);
    EXPECT_EQ(LoadTiff(t, {}).outcome, kReadError);
}

TEST(TiffHostile, JpegStripsCutShortWarnOnceAPicture)
{
    // 100 one-row strips, each a JPEG stream that ends before its data: each
    // is completed as an ended image, with one warning box for the picture
    // rather than one or two for every strip.
    TTiffWriter t;
    t.Picture(8, 100, 8, 1, 1, 7).Tag(278, Tiff::Short, 1, 1);
    TShown load = LoadCutJpegStrips(t, 100, {{0, 0}, {7, 99}});
    EXPECT_EQ(load.outcome, "8x100/8 80 80");
    EXPECT_EQ(load.shown["JPEG decompression error. Unexpected end of input."], 1);
    for (const auto& [text, times] : load.shown) EXPECT_EQ(times, 1) << text;
}

// ---- rows and tiles beyond the data ----------------------------------------

TEST(TiffHostile, RowsNoDataReachesTakeNoMemory)
{
    // 16-bit gray, 256 x 512 in one PackBits strip of two bytes: a run of
    // 128 bytes fills the first 64 pixels of row 0; every other row is zero.
    // Only the row that the data reaches is held, not the 256 KB of samples
    // the strip claims.
    TTiffWriter strip;
    const uint32_t at = strip.Append({0x81, 0x40});
    strip.Picture(256, 512, 16, 1, 1, 32773).Tag(273, Tiff::Long, 1, at).Tag(279, Tiff::Long, 1, 2);
    const TLoad a = LoadTiff(strip, {{0, 0}, {63, 0}, {64, 0}, {0, 1}, {255, 511}});
    EXPECT_EQ(a.outcome, "256x512/8 40 40 00 00 00");
    EXPECT_LE(a.held, 512u);

    // The same as 16 tiles of 64 x 128 pixels, each with the two bytes.
    TTiffWriter tiles;
    const uint32_t tile = tiles.Append({0x81, 0x40});
    tiles.Picture(256, 512, 16, 1, 1, 32773).Tag(322, Tiff::Long, 1, 64).Tag(323, Tiff::Long, 1, 128);
    tiles.Longs(324, std::vector<uint32_t>(16, tile)).Longs(325, std::vector<uint32_t>(16, 2));
    const TLoad b = LoadTiff(tiles, {{0, 0}, {63, 0}, {0, 1}, {64, 128}, {255, 511}});
    EXPECT_EQ(b.outcome, "256x512/8 40 40 00 40 00");
    EXPECT_LE(b.held, 4 * 512u + 128u);
}

TEST(TiffHostile, TilesFarLargerThanThePictureAreRefused)
{
    struct Case {
        const char* name;
        uint32_t width, height, tileWidth, tileLength, tiles;
        std::string expected;
    };
    const Case cases[] = {
        {"a column of 128 rows in tiles a million pixels wide", 1, 128, 1 << 20, 1, 128, kInvalid},
        {"one pixel in a tile of 2^27 rows", 1, 1, 1, 1 << 27, 1, kInvalid},
        {"one pixel in a tile of 16 x 16", 1, 1, 16, 16, 1, "1x1/8 07"},
        {"10 x 10 pixels in a tile of 256 x 256", 10, 10, 256, 256, 1, "10x10/8 07"},
    };
    for (const Case& c : cases) {
        TTiffWriter t;
        const uint32_t tile = t.Append(Bytes(16, 7));
        t.Picture(c.width, c.height, 8, 1, 1, 1)
            .Tag(322, Tiff::Long, 1, c.tileWidth)
            .Tag(323, Tiff::Long, 1, c.tileLength);
        t.Longs(324, std::vector<uint32_t>(c.tiles, tile));
        EXPECT_EQ(LoadTiff(t, {{0, 0}}).outcome, c.expected) << c.name;
    }
}

// ---- strips and tiles decoded a slice of rows at a time ----------------------

// PackBits runs of up to 128 bytes over the samples, whatever the rows.
Bytes PackRuns(const Bytes& samples)
{
    Bytes out;
    for (size_t i = 0, n = 0; i < samples.size(); i += n) {
        for (n = 1; i + n < samples.size() && n < 128 && samples[i + n] == samples[i];) ++n;
        out.insert(out.end(), {uint8_t(257 - n), samples[i]});
    }
    return out;
}

TEST(TiffHostile, LargeStripsAndTilesHoldASliceOfRows)
{
    // Each picture's strip, band of planes or tile holds 1.1 to 3 MB of
    // samples: whatever the compression, a load holds one slice of its rows
    // at a time, and the rows on either side of a slice's end are right.
    struct Case {
        const char* name;
        Bytes file;
        std::vector<std::pair<int, int>> points;
        std::string expected;
    };
    // "WxH/format" and each point's colour as `colour` gives it.
    auto expect = [](const char* size, const std::vector<std::pair<int, int>>& points, auto colour) {
        std::string s = size;
        char hex[16];
        for (auto [x, y] : points) {
            const uint32_t c = colour(x, y);
            if (c > 0xFF) std::snprintf(hex, sizeof hex, " %06x", c);
            else std::snprintf(hex, sizeof hex, " %02x", c);
            s += hex;
        }
        return s;
    };
    auto samples = [](uint32_t w, uint32_t h, unsigned perPixel, auto value) {
        Bytes b(size_t(w) * h * perPixel);
        for (size_t i = 0; i < b.size(); ++i) b[i] = value(uint32_t(i / perPixel % w), uint32_t(i / perPixel / w), i);
        return b;
    };
    auto ramp = [](uint32_t x, uint32_t y, size_t) { return uint8_t(x + 3 * y); };
    auto ramps = [](uint32_t x, uint32_t y, size_t i) { return uint8_t(i % 3 == 0 ? x : i % 3 == 1 ? y : x + y); };
    auto runs = [](uint32_t, uint32_t, size_t i) { return uint8_t(i / 100); };
    const std::vector<std::pair<int, int>> gray = {{0, 0}, {5, 1023}, {7, 1024}, {9, 1025}, {1023, 1099}};

    // 8-bit gray, 1024 x 1100 in one strip, also differenced.
    const Bytes plain = samples(1024, 1100, 1, ramp);
    Bytes differenced = plain;
    for (size_t i = differenced.size() - 1; i > 0; --i)
        if (i % 1024) differenced[i] = uint8_t(plain[i] - plain[i - 1]);
    const Bytes runBytes = samples(1024, 1100, 1, runs);
    // 1-bit rows of 4096 pixels, 2100 of them: white, then black from pixel 3y % 4096 on.
    TFaxBits group3, huffman;
    for (uint32_t y = 0; y < 2100; ++y) {
        const int white = int(3 * y % 4096);
        group3.Eol().Run(true, white).Run(false, 4096 - white);
        huffman.Run(true, white).Run(false, 4096 - white).Align();
    }
    auto fax = [](int x, int y) { return x >= 3 * y % 4096 ? 0x00u : 0xFFu; };
    const std::vector<std::pair<int, int>> faxPoints = {{0, 0},       {2044, 2047}, {2045, 2047},
                                                        {2047, 2048}, {2048, 2048}, {4095, 2099}};
    // ThunderScan 4-bit gray, rows of 2048 pixels of y % 16: the first pixel,
    // then runs of it.
    Bytes thunder;
    for (uint32_t y = 0; y < 1100; ++y) {
        thunder.push_back(uint8_t(0xC0 | (y % 16)));
        for (int left = 2047; left > 0; left -= 63) thunder.push_back(uint8_t(std::min(left, 63)));
    }
    const Bytes jpeg = EncodeJpeg(1024, 1100, 1), jpegSamples = DecodeJpeg(jpeg);
    // Subsampled YCbCr in blocks of 2 x 2: luma x + y, chroma of the block's column and row.
    Bytes blocks, pixels;
    for (uint32_t by = 0; by < 200; ++by)
        for (uint32_t bx = 0; bx < 512; ++bx) {
            for (uint32_t j = 0; j < 4; ++j) blocks.push_back(uint8_t(2 * bx + j % 2 + 2 * by + j / 2));
            blocks.insert(blocks.end(), {uint8_t(bx * 5), uint8_t(by * 7)});
        }
    for (uint32_t y = 0; y < 400; ++y)
        for (uint32_t x = 0; x < 1024; ++x)
            pixels.insert(pixels.end(), {uint8_t(x + y), uint8_t(x / 2 * 5), uint8_t(y / 2 * 7)});
    const std::vector<std::pair<int, int>> ycbcr = {{0, 0}, {5, 225}, {6, 226}, {1023, 399}};
    // RGB in planes of 1024 x 400 bytes each: red x, green y, blue x + y.
    const Bytes interleaved = samples(1024, 400, 3, ramps);
    Bytes planes;
    for (size_t s = 0; s < 3; ++s)
        for (size_t i = s; i < interleaved.size(); i += 3) planes.push_back(interleaved[i]);
    auto rgb = [](int x, int y) {
        return uint32_t(x & 0xFF) << 16 | uint32_t(y & 0xFF) << 8 | uint32_t((x + y) & 0xFF);
    };
    const std::vector<std::pair<int, int>> rgbPoints = {{0, 0}, {300, 340}, {301, 341}, {1023, 399}};

    const Case cases[] = {
        {"uncompressed", Tiff().Picture(1024, 1100, 8, 1, 1, 1).Strip(plain), gray,
         expect("1024x1100/8", gray, [](int x, int y) { return uint32_t((x + 3 * y) & 0xFF); })},
        {"PackBits, runs across rows and slices", Tiff().Picture(1024, 1100, 8, 1, 1, 32773).Strip(PackRuns(runBytes)),
         gray, expect("1024x1100/8", gray, [](int x, int y) { return uint32_t((y * 1024 + x) / 100 & 0xFF); })},
        {"deflate, differenced",
         Tiff().Picture(1024, 1100, 8, 1, 1, 8).Set(317, Tiff::Short, {2}).Strip(ZlibCompress(differenced, 6)), gray,
         expect("1024x1100/8", gray, [](int x, int y) { return uint32_t((x + 3 * y) & 0xFF); })},
        {"Group 3 fax", Tiff().Picture(4096, 2100, 1, 1, 0, 3).Strip(group3.bytes), faxPoints,
         expect("4096x2100/1", faxPoints, fax)},
        {"modified Huffman", Tiff().Picture(4096, 2100, 1, 1, 0, 2).Strip(huffman.bytes), faxPoints,
         expect("4096x2100/1", faxPoints, fax)},
        {"ThunderScan", Tiff().Picture(2048, 1100, 4, 1, 1, 32809).Strip(thunder), gray,
         expect("2048x1100/4", gray, [](int, int y) { return uint32_t(y % 16 * 17); })},
        {"JPEG", Tiff().Picture(1024, 1100, 8, 1, 1, 7).Strip(jpeg), gray,
         expect("1024x1100/8", gray, [&](int x, int y) { return uint32_t(jpegSamples[size_t(y) * 1024 + x]); })},
        {"subsampled YCbCr, deflate",
         Tiff().Picture(1024, 400, 8, 3, 6, 8).Set(530, Tiff::Short, {2, 2}).Strip(ZlibCompress(blocks, 6)), ycbcr,
         Describe(*Load("tif", Tiff().Picture(1024, 400, 8, 3, 6, 1).Set(530, Tiff::Short, {1, 1}).Strip(pixels)),
                  ycbcr)},
        {"planes side by side, deflate",
         Tiff()
             .Picture(1024, 400, 8, 3, 2, 8)
             .Set(284, Tiff::Short, {2})
             .Strip(ZlibCompress(Bytes(planes.begin(), planes.begin() + 409600), 6))
             .Strip(ZlibCompress(Bytes(planes.begin() + 409600, planes.begin() + 819200), 6))
             .Strip(ZlibCompress(Bytes(planes.begin() + 819200, planes.end()), 6)),
         rgbPoints, expect("1024x400/24", rgbPoints, rgb)},
        {"one tile larger than the picture, deflate",
         Tiff()
             .Picture(1000, 1100, 8, 1, 1, 8)
             .Set(322, Tiff::Long, {1024})
             .Set(323, Tiff::Long, {1104})
             .Strip(ZlibCompress(samples(1024, 1104, 1, ramp), 6)),
         {{0, 0}, {999, 1023}, {7, 1024}, {998, 1099}},
         expect("1000x1100/8", {{0, 0}, {999, 1023}, {7, 1024}, {998, 1099}},
                [](int x, int y) { return uint32_t((x + 3 * y) & 0xFF); })},
    };
    for (const Case& c : cases) {
        const TLoad load = LoadTiff(c.file, c.points);
        EXPECT_EQ(load.outcome, c.expected) << c.name;
        EXPECT_LE(load.held, TTIFFGraphic::SliceBytes) << c.name;
    }
}

TEST(TiffHostile, TilesOverThePictureLimitAreReadASliceAtATime)
{
    // With pictures limited to 1 MiB: a tile is decoded a slice of rows at a
    // time, so only its row counts, which may take what a row of raw samples
    // can (three times the limit); the bitmap itself must fit the limit.
    TScopedValue<int64_t> limit(BitmapMemoryLimit, 1 << 20);
    const std::string memory = EOutOfResources().what();
    auto tile = [](uint32_t width, uint32_t height, uint32_t tileWidth, uint32_t tileLength, const Bytes& data) {
        Tiff t;
        t.Picture(width, height, 16, 1, 1, 8).Set(322, Tiff::Long, {tileWidth}).Set(323, Tiff::Long, {tileLength});
        return Bytes(t.Strip(ZlibCompress(data, 6)));
    };
    // 16-bit gray whose both bytes are x + y, in one tile of 1008 x 1008.
    Bytes ramp(size_t(1008) * 1008 * 2);
    for (size_t i = 0; i < ramp.size(); i += 2) ramp[i] = ramp[i + 1] = uint8_t(i / 2 % 1008 + i / 2 / 1008);
    struct Case {
        const char* name;
        Bytes file;
        std::string expected;
    };
    const Case cases[] = {
        {"1000 x 1000 in a tile of 2 MB", tile(1000, 1000, 1008, 1008, ramp), "1000x1000/8 00 e7 e7 ce"},
        {"a tile row of 3 MiB", tile(1 << 20, 1, 3 << 19, 1, Bytes(size_t(3) << 20, 0)), "1048576x1/8 00 00"},
        {"a tile row of 3 MiB + 32 bytes", tile(1 << 20, 1, (3 << 19) + 16, 1, Bytes(16, 0)), memory},
        {"a bitmap of 1 MiB + 1 byte", tile((1 << 20) + 1, 1, 3 << 19, 1, Bytes(16, 0)), memory},
    };
    const std::vector<std::pair<int, int>> square = {{0, 0}, {999, 0}, {0, 999}, {999, 999}}, row = {{0, 0}, {999, 0}};
    for (const Case& c : cases)
        EXPECT_EQ(LoadTiff(c.file, c.expected.starts_with("1000x") ? square : row).outcome, c.expected) << c.name;
}

TEST(TiffHostile, RowsLikeTheRowAboveAreCopiedWhole)
{
    // Rows that repeat the row above them, in runs that cross the slices'
    // ends and change inside a run of slices: whole strip rows, and tile
    // rows three 4-bit pixels wide that start and end inside bitmap bytes.
    Bytes strip(size_t(1024) * 2100);
    for (size_t i = 0; i < strip.size(); ++i) strip[i] = uint8_t(i / 1024 / 700 * 40 + i % 1024 % 3);
    const std::vector<std::pair<int, int>> points = {{0, 0}, {2, 1023}, {2, 1024}, {1, 1400}, {1023, 2099}};
    EXPECT_EQ(LoadTiff(Tiff().Picture(1024, 2100, 8, 1, 1, 8).Strip(ZlibCompress(strip, 6)), points).outcome,
              "1024x2100/8 00 2a 2a 51 50");

    // Tiles of 3 x 4 pixels: rows 0 and 1 alike, rows 2 and 3 alike.
    TTiffWriter nibbles;
    const std::vector<uint32_t> offsets = {nibbles.Append({0x12, 0x30, 0x12, 0x30, 0x45, 0x60, 0x45, 0x60}),
                                           nibbles.Append({0x78, 0x90, 0x78, 0x90, 0xAB, 0xC0, 0xAB, 0xC0})};
    nibbles.Picture(5, 4, 4, 1, 1, 1).Tag(322, Tiff::Long, 1, 3).Tag(323, Tiff::Long, 1, 4);
    nibbles.Longs(324, offsets).Longs(325, {8, 8});
    std::vector<std::pair<int, int>> all;
    for (int y = 0; y < 4; ++y)
        for (auto point : Row(y, 5)) all.push_back(point);
    EXPECT_EQ(LoadTiff(nibbles, all).outcome, "5x4/4 11 22 33 77 88 11 22 33 77 88 44 55 66 aa bb 44 55 66 aa bb");
}

TEST(TiffHostile, TilesCutInsideAByteKeepTheirNeighbours)
{
    // Tiles three pixels wide: their parts of a row of 1-bit or 4-bit pixels
    // start and end inside bytes of the bitmap. The bits of a tile row past
    // its picture (all set here) are no pixels and stay out of the bitmap.
    TTiffWriter bilevel;
    std::vector<uint32_t> offsets;
    for (const Bytes& tile : std::vector<Bytes>{{0xBF, 0x5F}, {0xDF, 0x3F}, {0x7F, 0x9F}, {0xFF, 0x7F}})
        offsets.push_back(bilevel.Append(tile));
    bilevel.Picture(10, 2, 1, 1, 1, 1).Tag(322, Tiff::Long, 1, 3).Tag(323, Tiff::Long, 1, 2);
    bilevel.Longs(324, offsets).Longs(325, std::vector<uint32_t>(4, 2));
    std::vector<std::pair<int, int>> points = Row(0, 10);
    for (auto point : Row(1, 10)) points.push_back(point);
    const auto tiff = Load("tif", bilevel);
    EXPECT_EQ(Describe(*tiff, points), "10x2/1 ff 00 ff ff ff 00 00 ff ff ff 00 ff 00 00 00 ff ff 00 00 00");
    EXPECT_EQ(tiff->ScanLine(0)[1], 0xC0);
    EXPECT_EQ(tiff->ScanLine(1)[1], 0x00);

    TTiffWriter nibbles;
    offsets = {nibbles.Append({0x12, 0x3F}), nibbles.Append({0x45, 0x6F})};
    nibbles.Picture(5, 1, 4, 1, 1, 1).Tag(322, Tiff::Long, 1, 3).Tag(323, Tiff::Long, 1, 1);
    nibbles.Longs(324, offsets).Longs(325, {2, 2});
    EXPECT_EQ(LoadTiff(nibbles, Row(0, 5)).outcome, "5x1/4 11 22 33 44 55");
}

TEST(TiffHostile, FaxTilesHaveRowsOfTheirTileWidth)
{
    // Two modified-Huffman tiles of 8 x 2 pixels side by side: each row of a
    // tile is 8 pixels long, not as long as the picture's rows, and starts
    // on a byte of its own.
    TTiffWriter t;
    const Bytes left = TFaxBits().Run(true, 1).Run(false, 7).Align().Run(true, 5).Run(false, 3).bytes;
    const Bytes right = TFaxBits().Run(true, 0).Run(false, 8).Align().Run(true, 6).Run(false, 2).bytes;
    const std::vector<uint32_t> offsets = {t.Append(left), t.Append(right)};
    t.Picture(16, 2, 1, 1, 0, 2).Tag(322, Tiff::Long, 1, 8).Tag(323, Tiff::Long, 1, 2);
    t.Longs(324, offsets).Longs(325, {uint32_t(left.size()), uint32_t(right.size())});
    EXPECT_EQ(LoadTiff(t, {{0, 0}, {1, 0}, {8, 0}, {15, 0}, {4, 1}, {5, 1}, {13, 1}, {14, 1}}).outcome,
              "16x2/1 ff 00 00 00 ff 00 ff 00");
}

TEST(TiffHostile, JpegPlanesCutShortWarnOnceAPicture)
{
    // Red, green and blue in planes of their own, each a JPEG stream that
    // ends before its data: the planes are decoded side by side, and the
    // picture shows each warning box once.
    TTiffWriter t;
    t.Picture(8, 1, 8, 3, 2, 7).Tag(284, Tiff::Short, 1, 2);
    TShown load = LoadCutJpegStrips(t, 3, {{0, 0}, {7, 0}});
    EXPECT_EQ(load.outcome, "8x1/24 80 80");
    EXPECT_EQ(load.shown["JPEG decompression error. Unexpected end of input."], 1);
    for (const auto& [text, times] : load.shown) EXPECT_EQ(times, 1) << text;
}

}  // namespace
