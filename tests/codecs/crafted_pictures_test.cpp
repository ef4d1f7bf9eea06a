// Hand-made files of every reader, for what no tool here writes and for damaged files: each loads as the fields that
// built it say, or is refused with its message; and the header tests by which a file's kind is told.
#include "codecs/cut.h"
#include "codecs/pcd.h"
#include "codecs/tiff.h"
#include "picture_files.h"
#include "support/temp_dir.h"

namespace {

// Rows of 8-bit gray pixels x * 10 + y, from row `first` on.
Bytes GrayRows(int w, int rows, int first = 0)
{
    Bytes d;
    for (int i = 0; i < w * rows; ++i) d.push_back(uint8_t(i % w * 10 + first + i / w));
    return d;
}
// The trailing 256-colour palette of a PCX file: entry 5 red 250 and blue 10.
Bytes TrailingPalette(uint8_t marker)
{
    return Patch(Bytes(769, 0), 0, {marker, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 250, 0, 10});
}
// A CUT file: the size, then each row's byte count, packets and closing zero.
Bytes CutFile(int width, int height, const Bytes& pixels)
{
    TByteWriter w;
    w.LE16(width).LE16(height).LE16(0);
    for (int y = 0; y < height; ++y) {
        const Bytes packets =
            Join({RunLength(Bytes(pixels.begin() + y * width, pixels.begin() + (y + 1) * width)), {0}});
        w.LE16(unsigned(packets.size())).Append(packets);
    }
    return w.Bytes;
}
uint8_t Diagonal(int x, int y) { return uint8_t(x + 3 * y); }
// A 3 x 2 Paint Shop Pro picture of red, green and blue planes (and transparency), after a layer of the type given
// (planes of 0x11) if any.
Psp PspColour(int major, int compression, bool alpha = false, int before = -1)
{
    Psp f{.major = major, .width = 3, .height = 2, .compression = compression};
    if (before >= 0)
        f.layers.push_back({uint8_t(before), {{1, Bytes(6, 0x11)}, {2, Bytes(6, 0x11)}, {3, Bytes(6, 0x11)}}});
    f.layers.push_back({0, {{1, {9, 9, 9, 9, 9, 60}}, {2, {1, 2, 3, 4, 5, 6}}, {3, {7, 7, 7, 8, 8, 8}}}});
    if (alpha) f.layers.back().second.push_back({0, {0, 50, 100, 150, 200, 255}});
    return f;
}

struct Crafted {
    const char* name;
    const char* extension;
    Bytes file;
    std::vector<std::pair<int, int>> points;
    std::string expected;  // as Describe gives it, or the message of the error that loading raises
};

void Check(const std::vector<Crafted>& cases)
{
    for (const Crafted& c : cases) EXPECT_EQ(LoadCounting(c.extension, c.file).Outcome(c.points), c.expected) << c.name;
}

TEST(CraftedPictures, LoadAsTheirFieldsSay)
{
    const Bytes z = ZlibCompress(RgbRows(6, 5), 6);
    const auto half = long(z.size() / 2);
    Bytes map300;
    for (int i = 0; i < 300; ++i) map300.insert(map300.end(), {uint8_t(i), 0, 1});
    Tiff strips{.big = true};  // 3 rows, then 2 for every further strip; PackBits literals of five
    strips.Picture(5, 8, 8, 1, 1, 32773).Set(278, Tiff::Long, {3, 2});
    for (int row = 0; int rows : {3, 2, 2, 1}) {
        Bytes packed;
        for (int y = row; y < row + rows; ++y) packed = Join({packed, {4}, GrayRows(5, 1, y)});
        strips.Strip(packed);
        row += rows;
    }
    Bytes thunder;  // per row a raw 9 and a run of five, then (x + y) mod 16 as raw pixels
    for (int i = 0; i < 40; ++i)
        thunder = Join({thunder, i % 8 ? Bytes{uint8_t(0xC0 | (i % 8 + 5 + i / 8) % 16)} : Bytes{0xC9, 5}});
    std::vector<uint32_t> map(48);
    for (uint32_t i = 0; i < 16; ++i) {
        map[i] = i * 4096;
        map[16 + i] = 65535;
        map[32 + i] = 257 * (15 - i);
    }
    std::vector<uint32_t> map256(768);
    for (uint32_t i = 0; i < 256; ++i) {
        map256[i] = i * 257;
        map256[256 + i] = (255 - i) * 257;
        map256[512 + i] = 0x8080;
    }
    const Bytes planes = {0x80, 0x00, 0x80, 0x00, 0x80, 0x40, 0x80, 0x00};
    Psp emptyRed = PspColour(5, 0), oversized = PspColour(5, 2);
    emptyRed.layers[0].second[0].second.clear();
    for (auto& c : oversized.layers[0].second) c.second.resize(300, 7);

    Check({
        {"Truevision packets across rows",
         "tga",
         Tga{.type = 10, .width = 3, .height = 4, .data = {0x85, 10, 20, 30, 0x03, 1, 1,    1, 2, 2, 2,
                                                           3,    3,  3,  4,  4,    4, 0x81, 9, 9, 9}},
         {{0, 0}, {2, 1}, {0, 2}, {2, 2}, {0, 3}, {1, 3}, {2, 3}},
         "3x4/24 1e140a 1e140a 01 03 04 09 09"},
        {"16-bit map, blue lowest", "tga",
         Tga{.mapType = 1,
             .type = 1,
             .mapLength = 2,
             .mapEntry = 16,
             .width = 2,
             .depth = 8,
             .data = {0x1F, 0x00, 0x00, 0x7C, 1, 0}},
         Row(0, 2), "2x1/8 f80000 0000f8"},
        {"32-bit map", "tga",
         Tga{.mapType = 1, .type = 1, .mapLength = 1, .mapEntry = 32, .depth = 8, .data = {7, 8, 9, 255, 0}}, Row(0, 1),
         "1x1/8 090807"},
        {"300-entry map: 256 taken, pixels after all", "tga",
         Join({Tga{.mapType = 1, .type = 1, .mapLength = 300, .mapEntry = 24, .depth = 8}, map300, {255}}), Row(0, 1),
         "1x1/8 0100ff"},
        {"16-bit pixels after a 16-bit map", "tga",
         Tga{.mapType = 1,
             .mapLength = 3,
             .mapEntry = 16,
             .depth = 16,
             .data = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x7C}},
         Row(0, 1), "1x1/15 ff0000"},
        {"gray with a map: the ramp", "tga",
         Tga{.mapType = 1,
             .type = 3,
             .mapLength = 2,
             .mapEntry = 24,
             .width = 2,
             .depth = 8,
             .data = {1, 2, 3, 4, 5, 6, 0, 200}},
         Row(0, 2), "2x1/8 00 c8"},
        {"image id skipped", "tga", Tga{.id = 3, .data = {'a', 'b', 'c', 40, 50, 60}}, Row(0, 1), "1x1/24 3c3228"},
        {"type 0: no pixels", "tga", Tga{.type = 0, .width = 5, .height = 4}, {}, "5x4/24"},
        {"short packed image keeps what it has",
         "tga",
         Tga{.type = 10, .width = 4, .height = 2, .data = {0x81, 1, 2, 3, 1, 4, 5}},
         {{1, 0}},
         "4x2/24 030201"},
        {"lower-case chunk types",
         "png",
         Png().Header(4, 3, 8, 2).Chunk("idat", ZlibCompress(RgbRows(4, 3), 6)).Chunk("iend", {}),
         {{0, 0}, {3, 2}},
         "4x3/24 00 3c3c05"},
        {"data over chunks; CRCs of skipped chunks unread",
         "png",
         Png()
             .Header(6, 5, 8, 2)
             .Chunk("PLTE", {1, 2, 3, 4, 5, 6})
             .Chunk("IDAT", Head(z, half))
             .Chunk("IDAT", {})
             .Chunk("IDAT", {z.begin() + half, z.end()})
             .Chunk("prIv", {9, 9}, false)
             .Chunk("IEND", {}, false),
         {{1, 2}, {5, 4}},
         "6x5/24 143c03 647809"},
        {"a private chunk ends the data",
         "png",
         Png()
             .Header(6, 5, 8, 2)
             .Chunk("IDAT", Head(z, 6))
             .Chunk("prIv", {})
             .Chunk("IDAT", {z.begin() + 6, z.end()})
             .End(),
         {{5, 4}},
         "6x5/24 ff"},
        {"a pass starting with Up sees zeros",
         "png",
         Png().Header(2, 2, 8, 0, 1).Image({0, 10, 2, 20, 2, 30, 40}).End(),
         {{0, 0}, {1, 0}, {0, 1}, {1, 1}},
         "2x2/8 0a 14 1e 28"},
        {"gamma 1/2.2, transparency, background where rows lack",
         "png",
         Png()
             .Header(2, 2, 8, 2)
             .Chunk("gAMA", {0, 0, 0xB1, 0x8F})
             .Chunk("bKGD", {0, 10, 0, 20, 0, 30})
             .Chunk("tRNS", {0, 1, 0, 2, 0, 3})
             .Image({0, 1, 2, 3, 200, 100, 50})
             .End(),
         {{1, 0}, {0, 1}, {1, 1}},
         "2x2/24 c86432 0a141e 0a141e t=010203"},
        {"gray transparency: the level shown",
         "png",
         Png().Header(8, 1, 1, 0).Chunk("tRNS", {0, 1}).Image({0, 0xF0}).End(),
         {{0, 0}, {7, 0}},
         "8x1/1 ff 00 t=ff"},
        // A file gamma of 1.0 with the display's 2.2 changes the colours shown, but pixels stored in the transparent
        // colour show it.
        {"transparent RGB under gamma", "png",
         Png()
             .Header(2, 1, 8, 2)
             .Chunk("gAMA", {0, 1, 0x86, 0xA0})
             .Chunk("tRNS", {0, 10, 0, 20, 0, 30})
             .Image({0, 10, 20, 30, 200, 100, 50})
             .End(),
         Row(0, 2), "2x1/24 0a141e e4a77a t=0a141e"},
        {"transparent 16-bit RGB, interlaced", "png",
         Png()
             .Header(2, 1, 16, 2, 1)
             .Chunk("gAMA", {0, 1, 0x86, 0xA0})
             .Chunk("tRNS", {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC})
             .Image({0, 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0, 200, 0, 100, 0, 50, 0})
             .End(),
         Row(0, 2), "2x1/24 12569a e4a678 t=12569a"},
        {"transparent gray under gamma", "png",
         Png().Header(2, 1, 8, 0).Chunk("gAMA", {0, 1, 0x86, 0xA0}).Chunk("tRNS", {0, 100}).Image({0, 100, 200}).End(),
         Row(0, 2), "2x1/8 64 e4 t=64"},
        {"palette background: its entry",
         "png",
         Png()
             .Header(2, 2, 8, 3)
             .Chunk("PLTE", {255, 0, 0, 0, 0, 255})
             .Chunk("bKGD", {1})
             .Chunk("tRNS", {0, 255})
             .Image({0, 0, 1})
             .End(),
         {{0, 0}, {1, 0}, {0, 1}},
         "2x2/8 ff0000 0000ff 0000ff"},
        {"no rows per strip: one strip",
         "tif",
         Tiff().Picture(6, 7, 8, 1, 1, 1).Strip(GrayRows(6, 7)),
         {{0, 0}, {5, 6}},
         "6x7/8 00 38"},
        {"rows-per-strip list shorter; last strip short", "tif", strips, {{0, 3}, {4, 5}, {4, 7}}, "5x8/8 03 2d 2f"},
        {"ThunderScan",
         "tif",
         Tiff().Picture(13, 5, 4, 1, 1, 32809).Strip(thunder),
         {{0, 0}, {5, 4}, {6, 0}, {8, 3}, {12, 4}},
         "13x5/4 99 99 66 bb 00"},
        {"big-endian 4-bit palette",
         "tif",
         Tiff{.big = true}.Picture(4, 1, 4, 1, 3, 1).Set(320, Tiff::Short, map).Strip({0x01, 0xF7}),
         {{1, 0}, {2, 0}},
         "4x1/4 0fff0e efff00"},
        {"plain strip past the end",
         "tif",
         Tiff().Picture(4, 4, 8, 1, 1, 1).Set(273, Tiff::Long, {0x7FFFFFF0}),
         {{3, 3}},
         "4x4/8 00"},
        {"tiles without offsets of their own: at the strip offsets",
         "tif",
         Tiff()
             .Picture(4, 4, 8, 1, 1, 1)
             .Set(322, Tiff::Long, {4})
             .Set(323, Tiff::Long, {2})
             .Strip(GrayRows(4, 2))
             .Strip(GrayRows(4, 2, 2)),
         {{0, 0}, {3, 1}, {1, 2}, {3, 3}},
         "4x4/8 00 1f 0c 21"},
        {"1-bit tiles, the right ones cut",
         "tif",
         Tiff()
             .Picture(10, 3, 1, 1, 1, 1)
             .Set(322, Tiff::Long, {8})
             .Set(323, Tiff::Long, {2})
             .Set(324, Tiff::Long, {8, 10, 12, 14})
             .Set(325, Tiff::Long, {2, 2, 2, 2})
             .Strip({0xF0, 0x0F})
             .Strip({0x80, 0x40})
             .Strip({0xAA, 0xFF})
             .Strip({0xC0, 0x00}),
         {{3, 0}, {4, 0}, {8, 0}, {9, 0}, {8, 1}, {9, 1}, {0, 2}, {1, 2}, {8, 2}, {9, 2}},
         "10x3/1 ff 00 ff 00 00 ff ff 00 ff ff"},
        {"palette with an extra sample: the index shown", "tif",
         Tiff().Picture(2, 1, 8, 2, 3, 1).Set(320, Tiff::Short, map256).Strip({5, 255, 200, 0}), Row(0, 2),
         "2x1/8 05fa80 c83780"},
        {"colour map of two values: no palette", "tif",
         Tiff().Picture(2, 1, 1, 1, 3, 1).Set(320, Tiff::Short, {0xFFFF, 0}).Strip({0x40}), Row(0, 2), "2x1/1 00 ff"},
        {"PNG ancillary chunk after the data, no end", "png",
         Png().Header(2, 1, 8, 0).Image({0, 7, 9}).Chunk("tEXt", {'a'}), Row(0, 2), "2x1/8 07 09"},
        {"five channels: four planes", "psd",
         Psd{.channels = 5, .columns = 2, .image = {10, 11, 20, 21, 30, 31, 255, 128, 99, 99}}, Row(0, 2),
         "2x1/32 0a141eff 0b151f80"},
        {"multichannel of three: RGB", "psd", Psd{.mode = 7, .image = {1, 2, 3}}, Row(0, 1), "1x1/24 010203"},
        {"duotone: mode data skipped", "psd",
         Psd{.channels = 1, .columns = 3, .mode = 8, .modeData = Bytes(40, 0xEE), .image = {0, 100, 255}}, Row(0, 3),
         "3x1/8 00 64 ff"},
        // White, black and sRGB red (L* 54.1, a* 81, b* 70 under D50).
        {"L*a*b*: full-range L, offset axes", "psd",
         Psd{.columns = 3, .mode = 9, .image = {255, 0, 138, 128, 128, 209, 128, 128, 198}}, Row(0, 3),
         "3x1/24 ff 00 ff0000"},
        {"16-bit L*a*b*", "psd",
         Psd{.columns = 3,
             .depth = 16,
             .mode = 9,
             .image = {255, 255, 0, 0, 138, 138, 128, 0, 128, 0, 209, 0, 128, 0, 128, 0, 198, 0}},
         Row(0, 3), "3x1/24 ff 00 ff0000"},
        {"L*a*b* and a fourth channel",
         "psd",
         Psd{.channels = 4, .columns = 2, .mode = 9, .image = {0, 0, 128, 128, 128, 128, 7, 7}},
         {{1, 0}},
         "2x1/24 00"},
        {"PackBits run clipped to the planes", "psd",
         Psd{.columns = 2, .compression = 1, .rowLengths = {2, 0, 0}, .image = {0x81, 7}}, Row(0, 2), "2x1/24 07 07"},
        {"mode without pixels keeps the size", "psd", Psd{.rows = 2, .columns = 3, .mode = 5}, {}, "3x2/24"},
        {"gray and alpha: the gray", "sgi", Sgi{.width = 2, .channels = 2, .data = {10, 20, 255, 0}}, Row(0, 2),
         "2x1/8 0a 14"},
        {"run-length rows by their tables",
         "sgi",
         Join({Sgi{.storage = 1, .width = 4, .height = 2, .channels = 1},
               TByteWriter().BE32(534).BE32(528).BE32(3).BE32(6).List({0x84, 1, 2, 3, 4, 0, 0x04, 9, 0}).Bytes}),
         {{0, 0}, {3, 0}, {0, 1}, {3, 1}},
         "4x2/8 01 04 09 09"},
        {"rows past the end, huge, unclosed",
         "sgi",
         Join({Sgi{.storage = 1, .width = 8, .height = 3, .channels = 1}, TByteWriter()
                                                                              .BE32(0x7FFFFFF0)
                                                                              .BE32(536)
                                                                              .BE32(542)
                                                                              .BE32(10)
                                                                              .BE32(~0u)
                                                                              .BE32(2)
                                                                              .List({0x7F, 5, 0x85, 1, 2, 3, 0x82, 7})
                                                                              .Bytes}),
         {{0, 2}, {7, 1}, {0, 0}, {1, 0}},
         "8x3/8 00 05 07 00"},
        {"raw file cut short",
         "sgi",
         Sgi{.width = 4, .height = 3, .channels = 1, .data = {1, 1, 1, 1, 2, 2}},
         {{0, 2}, {1, 1}, {2, 1}, {0, 0}},
         "4x3/8 01 02 00 00"},
        {"gamma 2.2: the table of 1 / (2.2 x 2.2)", "rla",
         Rla{.width = 3, .rgba = {0, 64, 255, 0, 128, 128, 128, 0, 255, 255, 255, 0}, .gamma = "2.2"}, Row(0, 3),
         "3x1/24 00c0ff dd ff"},
        {"XYZ channels: nothing", "rla", Rla{.width = 2, .rgba = Bytes(8, 9), .channelType = "xyz"}, {}, "0x0/device"},
        {"no gamma: nothing", "rla", Rla{.width = 2, .rgba = Bytes(8, 9), .gamma = ""}, {}, "0x0/device"},
        {"gamma not a number: nothing", "rla", Rla{.width = 2, .rgba = Bytes(8, 9), .gamma = "two"}, {}, "0x0/device"},
        {"matte of another depth: nothing",
         "rla",
         Rla{.width = 2, .rgba = Bytes(8, 9), .matte = true, .bits = 16, .matteBits = 8},
         {},
         "0x0/device"},
        {"header cut: nothing", "rla", Head(Rla{.width = 2, .rgba = Bytes(8, 9)}, 700), {}, "0x0/device"},
        {"raw rows, trailing palette",
         "pcx",
         Pcx{.encoding = 0,
             .xMax = 2,
             .yMax = 1,
             .bytesPerLine = 4,
             .data = Join({{5, 0, 5, 9, 0, 5, 0, 9}, TrailingPalette(12)})},
         {{0, 0}, {1, 0}, {1, 1}},
         "3x2/8 fa000a 00 fa000a"},
        {"no marker: the gray type; the 769 bytes no pixels",
         "pcx",
         Pcx{.encoding = 0, .xMax = 1, .yMax = 1, .paletteType = 2, .data = Join({{1, 2}, TrailingPalette(11)})},
         {{1, 0}, {0, 1}, {1, 1}},
         "2x2/8 02 00 00"},
        {"bit planes, gray palette type",
         "pcx",
         Pcx{.encoding = 0, .bits = 1, .xMax = 9, .planes = 4, .paletteType = 2, .data = planes},
         {{0, 0}, {9, 0}},
         "10x1/4 ff 44"},
        {"four planes of 8 bits: alpha", "pcx", Pcx{.xMax = 1, .planes = 4, .data = {1, 2, 3, 4, 5, 6, 7, 8}},
         Row(0, 2), "2x1/32 01030507 02040608"},
        {"rows the data does not reach: black",
         "pcx",
         Pcx{.bits = 1, .xMax = 7, .yMax = 59999, .bytesPerLine = 1, .data = {0xC2, 0xFF}},
         {{0, 1}, {0, 2}, {7, 59999}},
         "8x60000/1 ff 00 00"},
        {"unknown manufacturer: nothing", "pcx", Pcx{.manufacturer = 7, .data = {1, 2}}, {}, "0x0/device"},
        {"inverted window: nothing", "pcx", Pcx{.xMin = 5, .xMax = 2}, {}, "0x0/device"},
        {"plain bitmap digits need no space",
         "pbm",
         Text("P1\n10 2\n1000000111\n0000000001\n"),
         {{8, 1}, {9, 1}},
         "10x2/1 ff 00"},
        {"gray samples: low byte", "pgm", Text("P2\n3 1\n65535\n300 65535 32768\n"), Row(0, 3), "3x1/8 01 ff 80"},
        {"gray samples above the maximum", "pgm", Text("P2\n3 1\n15\n0 15 99\n"), Row(0, 3), "3x1/8 00 ff ff"},
        {"binary graymap", "pgm", Text("P5\n2 1\n255\n\x07\xF0"), Row(0, 2), "2x1/8 07 f0"},
        {"numbers on the magic's line", "pgm", Text("P2 3 1 255\n10 20 30\n"), Row(0, 3), "3x1/8 0a 14 1e"},
        {"pixmap header on one line", "ppm", Text("P6 1 1 255\nabc"), Row(0, 1), "1x1/24 616263"},
        {"comment lines between numbers", "pgm", Join({Text("P5\n2\n# a comment line\n1 # height\n255\n"), {1, 2}}),
         Row(0, 2), "2x1/8 01 02"},
        {"comment after the magic, CR LF", "ppm", Text("P6 # comment\r\n1 1\r\n255\nabc"), Row(0, 1), "1x1/24 616263"},
        {"last number ends the file", "pgm", Text("P2\n2 1\n255\n4 5"), Row(0, 2), "2x1/8 04 05"},
        {"P7: nothing", "ppm", Text("P7\nWIDTH 1\nHEIGHT 1\nDEPTH 1\nMAXVAL 255\nENDHDR\nx"), {}, "0x0/device"},
        {"overview pack: image at sector five", "pcd", PhotoCD(0, true, Diagonal), {{7, 9}}, "768x512/24 22"},
        {"unknown pack: nothing", "pcd", Patch(PhotoCD(0), 2048, {'X'}), {}, "0x0/device"},
        {"CUT rows go on where the last ended",
         "cut",
         TByteWriter().LE16(2).LE16(3).LE16(0).LE16(4).List({0x85, 7, 0}).LE16(5).List({0x02, 1, 2, 0}).Bytes,
         {{1, 0}, {0, 1}, {1, 1}, {0, 2}},
         "2x3/8 07 01 02 00"},
        {"VGA palette widened, rows top first",
         "cel",
         Cel{.width = 3, .height = 2, .rows = {0, 1, 63, 255, 64, 2}},
         {{0, 0}, {1, 0}, {2, 0}, {0, 1}, {1, 1}},
         "3x2/8 00fc00 04f800 fc003c fc00fc 00fc40"},
        {"palette above six bits: 400 keeps 144", "cel", Patch(Cel{.rows = {0}}, 32, {100}), Row(0, 1), "1x1/8 90fc00"},
        {"short rows: no error",
         "cel",
         Cel{.width = 4, .height = 3, .rows = {5, 5, 5, 5, 6}},
         {{3, 0}, {0, 1}, {1, 1}, {0, 2}},
         "4x3/8 14e804 18e404 00fc00 00fc00"},
        {"transparency: alpha", "psp", PspColour(5, 2, true), {{0, 0}, {2, 1}}, "3x2/32 09010700 3c0608ff"},
        {"raster layers only (0 or 1)", "psp", PspColour(5, 1, false, 2), {{0, 0}, {2, 1}}, "3x2/24 090107 3c0608"},
        {"raster layers only (0 in version 3)",
         "psp",
         PspColour(3, 0, false, 1),
         {{0, 0}, {2, 1}},
         "3x2/24 090107 3c0608"},
        {"empty plain channel: black", "psp", emptyRed, {{0, 0}, {2, 1}}, "3x2/24 000107 000608"},
        {"channel beyond its plane: cut", "psp", oversized, {{0, 0}, {2, 1}}, "3x2/24 090107 3c0608"},
    });
}

// Every version and compression, and palette and gray pictures of every depth whose pixel (x, y) has index (x + 2y)
// mod colours; at 1 bit a row of 10 pixels takes two bytes.
TEST(CraftedPictures, PaintShopProVersionsAndDepths)
{
    for (int major : {3, 4, 5})
        for (int compression : {0, 1, 2}) {
            SCOPED_TRACE(testing::Message() << "version " << major << ", compression " << compression);
            EXPECT_EQ(Describe(*Load("psp", PspColour(major, compression)), {{0, 0}, {2, 1}}), "3x2/24 090107 3c0608");
            for (auto [depth, grey] : {std::pair{1, false}, {4, false}, {8, false}, {8, true}}) {
                const int colours = 1 << depth, row = depth == 1 ? 2 : depth == 4 ? 6 : 10;
                Psp f{
                    .major = major, .width = 10, .height = 2, .depth = depth, .compression = compression, .grey = grey};
                for (int i = 0; i < colours && !grey; ++i)
                    f.palette.insert(f.palette.end(), {uint8_t(i * 7), uint8_t(255 - i), uint8_t(i * 3)});
                Bytes plane(2 * row);
                for (int i = 0; i < 20; ++i)
                    plane[i / 10 * row + i % 10 * depth / 8] |=
                        uint8_t((i % 10 + i / 10 * 2) % colours << (8 - depth - i % 10 * depth % 8));
                f.layers.push_back({0, {{0, plane}}});
                auto psp = Load("psp", f);
                for (int i = 0; i < 20; ++i) {
                    const int v = (i % 10 + i / 10 * 2) % colours, g = v * 255 / (colours - 1);
                    ASSERT_EQ(psp->GetPixel(i % 10, i / 10),
                              grey ? RGB(g, g, g) : RGB(uint8_t(v * 7), uint8_t(255 - v), uint8_t(v * 3)))
                        << i;
                }
            }
        }
    EXPECT_FLOAT_EQ(Load("psp", Psp{.resolution = 100, .unit = 2})->ImageProperties.XResolution,
                    254.0f);  // given per inch
}

// RLA channels of 8 bits and of more (two byte planes), with and without matte, in either row order.
TEST(CraftedPictures, RlaChannels)
{
    const Bytes rgba = {0, 64, 255, 10, 128, 128, 128, 20, 255, 255, 255, 30,
                        1, 2,  3,   40, 200, 100, 50,  50, 9,   9,   9,   60};
    for (int bits : {8, 10, 16})
        for (bool matte : {false, true})
            for (int bottom : {0, 1}) {
                auto g = Load("rla", Rla{.width = 3,
                                         .height = 2,
                                         .rgba = rgba,
                                         .matte = matte,
                                         .bottom = bottom,
                                         .top = 1 - bottom,
                                         .bits = bits});
                EXPECT_EQ(Describe(*g, {{0, 0}, {2, 1}}), matte ? "3x2/32 0040ff0a 0909093c" : "3x2/24 0040ff 09")
                    << bits << " " << bottom;
                EXPECT_EQ(g->ImageProperties.BottomUp, bottom == 0);
            }
}

// Modified Huffman rows, each starting on a byte (on an even byte when word-aligned), of a bilevel pattern.
TEST(CraftedPictures, TiffModifiedHuffmanRowsAlsoWordAligned)
{
    auto black = [](int x, int y) { return (x / 3 + y) % 5 == 0 || (x > 70 && y % 4 < 2); };
    const int w = 90, h = 11;
    for (uint32_t compression : {2u, 32771u}) {
        TFaxBits b;
        for (int y = 0; y < h; ++y) {
            for (int x = 0, run = 0, white = 1; x < w; x += run, white = !white) {
                for (run = 0; x + run < w && black(x + run, y) != bool(white);) ++run;
                b.Run(white, run);
            }
            b.Align();
            if (compression == 32771 && b.bytes.size() % 2) b.bytes.push_back(0);
        }
        auto tiff = Load("tif", Tiff().Picture(w, h, 1, 1, 0, compression).Set(278, Tiff::Short, {h}).Strip(b.bytes));
        for (int i = 0; i < w * h; ++i)
            ASSERT_EQ(tiff->GetPixel(i % w, i / w), black(i % w, i / w) ? clBlack : clWhite) << i;
    }
}

// Subsampled YCbCr comes in blocks of luma samples and one chroma pair. The pixels of a block share their chroma and
// differ in gray only, so the picture comes through but for rounding.
TEST(CraftedPictures, TiffSubsampledYCbCrIsLaidOutInBlocks)
{
    constexpr int w = 13, h = 9;
    for (const auto& [bw, bh] : {std::pair{2, 1}, {2, 2}, {4, 2}, {4, 4}}) {
        for (int bits : {8, 16}) {
            Tiff t{.big = bits == 16};
            t.Picture(w, h, uint32_t(bits), 3, 6, 1)
                .Set(530, Tiff::Short, {uint32_t(bw), uint32_t(bh)})
                .Set(278, Tiff::Short, {4});
            TReferenceImage expected{w, h, false, Bytes(size_t(w) * h * 4, 255)};
            Bytes strip;
            auto put = [&](double v) {
                strip.insert(strip.end(), bits / 8, uint8_t(std::lround(v)));
            };  // s * 257 in either order
            for (int by = 0; by < (h + bh - 1) / bh; ++by) {
                for (int bx = 0; bx < (w + bw - 1) / bw; ++bx) {
                    int rgb[3];
                    for (int k = 0; k < 3; ++k) rgb[k] = 60 + (bx * 37 + by * 71 + k * 50) % 130;
                    const double luma = 0.299 * rgb[0] + 0.587 * rgb[1] + 0.114 * rgb[2];
                    for (int j = 0; j < bh * bw; ++j) {
                        const int x = bx * bw + j % bw, y = by * bh + j / bw, d = (x * 7 + y * 13) % 81 - 40;
                        put(luma + d);
                        for (int k = 0; k < 3 && x < w && y < h; ++k)
                            expected.Rgba[(size_t(y) * w + x) * 4 + k] = uint8_t(rgb[k] + d);
                    }
                    put(128 + (rgb[2] - luma) / 1.772);
                    put(128 + (rgb[0] - luma) / 1.402);
                }
                if ((by + 1) * bh % 4 == 0 || (by + 1) * bh >= h) t.Strip(std::exchange(strip, {}));
            }
            EXPECT_EQ(ComparePixels(*Load("tif", t), expected, 2), "") << bw << "x" << bh << ", " << bits << " bits";
        }
    }
}

// Resolutions per centimetre are given per inch; the fill order; a chain whose next directory is itself ends there.
TEST(CraftedPictures, TiffDirectoryValues)
{
    const Bytes bytes = Tiff{.big = true}
                            .Picture(3, 2, 8, 1, 1, 1)
                            .Set(282, Tiff::Rational, {300, 2})
                            .Set(283, Tiff::Rational, {100, 1})
                            .Set(296, Tiff::Short, {3})
                            .Set(266, Tiff::Short, {2})
                            .Set(305, Tiff::Ascii, {'a', 'b', 'c', 0})
                            .Strip(GrayRows(3, 2));
    Bytes loop = Tiff().Picture(2, 2, 8, 1, 1, 1).Strip(GrayRows(2, 2));
    std::copy(loop.begin() + 4, loop.begin() + 8, loop.end() - 4);
    TMemoryStream stream(bytes.data(), bytes.size()), looped(loop.data(), loop.size());
    TTIFFGraphic tiff;
    uint32_t count = 0;
    ASSERT_TRUE(tiff.ReadImageProperties(stream, 0));
    EXPECT_EQ(
        std::tuple(tiff.ImageProperties.XResolution, tiff.ImageProperties.YResolution,
                   tiff.ImageProperties.Options & ioReversed, tiff.GetValue(9999, count, 9), tiff.GetByteList(305)),
        std::tuple(150 * 2.54f, 100 * 2.54f, ioReversed, 9u, Bytes{'a', 'b', 'c', 0}));
    EXPECT_TRUE(std::is_sorted(tiff.IFD().begin(), tiff.IFD().end(), [](auto& a, auto& b) { return a.Tag < b.Tag; }));
    EXPECT_FALSE(tiff.ReadImageProperties(stream, 1));
    EXPECT_FALSE(tiff.ReadImageProperties(looped, 5));
}

// The base image of a pack with each rotation code (only its low two bits count); Upsample of a plane of two by two
// samples, rows four bytes apart.
TEST(CraftedPictures, PhotoCDRotations)
{
    for (int rotate : {0, 1, 2, 3}) {
        auto g = Load("pcd", PhotoCD(rotate | 0xFC, false, Diagonal));
        ASSERT_EQ(g->Width(), rotate % 2 ? 512 : 768) << rotate;
        for (int y : {0, 1, 200, 511})
            for (int x : {0, 5, 300, 767}) {
                const int col = rotate == 1   ? y
                                : rotate == 3 ? 511 - y
                                              : x,
                          row = rotate == 1   ? 767 - x
                                : rotate == 3 ? x
                                              : y;
                ASSERT_EQ(g->GetPixel(col, row), RGB(Diagonal(x, y), Diagonal(x, y), Diagonal(x, y)))
                    << rotate << " " << x << "," << y;
            }
    }
    uint8_t plane[16] = {10, 20, 0, 0, 30, 50, 0, 0};
    Upsample(2, 2, 4, plane);
    EXPECT_EQ(Bytes(plane, plane + 16), (Bytes{10, 15, 20, 20, 20, 28, 35, 35, 30, 40, 50, 50, 30, 40, 50, 50}));
}

// CUT colours come from the palette file beside the picture: entries never cross its 512-byte blocks; at most 256 are
// taken; those a short file lacks are black; a file too short for any leaves the picture gray.
TEST(CraftedPictures, CutPaletteFiles)
{
    auto palette = [](int count) {
        TByteWriter w;
        w.Text("AH").Fill(10).LE16(unsigned(count - 1)).Fill(26);
        for (int i = 0; i < count; ++i) {
            if (w.Size() % 512 > 506) w.PadTo((w.Size() / 512 + 1) * 512);
            w.LE16(i).LE16(255 - i).LE16(i * 7);
        }
        return w.PadTo((w.Size() + 511) / 512 * 512).Bytes;
    };
    constexpr int w = 70, h = 23;
    Bytes pixels(w * h);
    for (int i = 0; i < w * h; ++i) pixels[i] = uint8_t(i / w < h / 2 ? (i % w / 9) * 40 : i % w * 31 + i / w * 17);
    TempDir dir;
    WriteFileBytes(dir.file("picture.cut"), CutFile(w, h, pixels));
    WriteFileBytes(dir.file("picture.pal"), Patch(palette(256), 12, {0xFF, 0xFF}));
    TCUTGraphic g;
    g.LoadFromFile(dir.file("picture.cut"));
    for (int i = 0; i < w * h; ++i)
        ASSERT_EQ(g.GetPixel(i % w, i / w), RGB(pixels[i], 255 - pixels[i], uint8_t(pixels[i] * 7))) << i;
    const Bytes cut = Head(palette(100), 600);  // entries from 78 on start in the second block; up to 91 fit
    TMemoryStream c(cut.data(), cut.size());
    const HPALETTE p = ReadCUTPalette(c);
    EXPECT_EQ(
        Describe(g, {}) + " " + std::to_string(p->entries[91].peRed) + " " + std::to_string(p->entries[92].peGreen),
        "70x23/8 91 0");
    WriteFileBytes(dir.file("picture.pal"), Head(cut, 20));
    g.LoadFromFile(dir.file("picture.cut"));
    EXPECT_EQ(g.GetPixel(0, 0), RGB(pixels[0], pixels[0], pixels[0]));
}

TEST(Refusals, EachWithItsMessage)
{
    const std::string read = EReadError().what(), memory = EOutOfResources().what();
    const std::string samples = "Sample count per pixel does not correspond to the given color scheme.";
    const std::string compression = "Cannot load image. The compression scheme is not supported for TIF/TIFF files.";
    const std::string crc = "Cannot load image. CRC error found in PNG file.";
    const std::string conversion = "Color conversion failed. Could not find a proper method.";
    auto invalid = [](std::string format) {
        return "Cannot load image. Invalid or unexpected " + format + " image format.";
    };
    auto colour = [](std::string format) { return "Invalid color format in " + format + " file."; };
    const Bytes z = ZlibCompress({0, 1, 2, 3, 4, 5, 6, 0, 7, 8, 9, 10, 11, 12}, 6);  // two RGB rows of two
    const Bytes extra =
        Join({ZlibCompress({0, 1, 2, 3, 4, 5, 6}, 6), {1, 2, 3}});  // one row where two are due, then more
    auto png = [](uint8_t depth = 8, uint8_t type = 2) { return Png().Header(2, 2, depth, type); };
    auto tiff = [] { return Tiff().Picture(4, 4, 8, 1, 1, 1).Strip(Bytes(16, 7)); };
    Psp deep = PspColour(5, 0);
    deep.depth = 16;
    const Bytes psp = PspColour(5, 0), pspRle = PspColour(5, 1);
    const size_t channel = std::string(pspRle.begin(), pspRle.end()).find(std::string("~BK\0\5\0", 6)) + 14;
    const Bytes rla = Rla{.width = 6, .height = 2, .rgba = Bytes(48, 9)};
    Tiff noHeight = tiff();
    noHeight.tags.erase(257);
    Check({
        {"Truevision depth 12", "tga", Tga{.depth = 12}, {}, samples},
        {"Truevision rows not there, before their memory is taken",
         "tga",
         Tga{.width = 65535, .height = 65535, .depth = 32, .data = {1, 2, 3, 4}},
         {},
         read},
        {"Truevision short colour map",
         "tga",
         Tga{.mapType = 1, .type = 1, .mapLength = 200, .mapEntry = 24, .depth = 8},
         {},
         read},
        {"Truevision compressed picture larger than a bitmap may be",
         "tga",
         Tga{.type = 10, .width = 65535, .height = 65535, .depth = 32, .data = {0xFF, 1, 2, 3, 4}},
         {},
         memory},
        {"PNG data CRC", "png", png().Chunk("IDAT", z, false).End(), {}, crc},
        {"PNG gAMA CRC", "png", png().Chunk("gAMA", {0, 0, 0, 1}, false).Chunk("IDAT", z).End(), {}, crc},
        {"PNG bad deflate data",
         "png",
         png().Chunk("IDAT", {0x78, 0x9C, 0xFF, 0xFF, 0xFF}).End(),
         {},
         "Cannot load image. Compression error found in PNG file."},
        {"PNG data after the stream",
         "png",
         png().Chunk("IDAT", extra).End(),
         {},
         "Cannot load image. Extra compressed data found in PNG file."},
        {"PNG palette not of triples",
         "png",
         png(8, 3).Chunk("PLTE", {1, 2, 3, 4}).Chunk("IDAT", z).End(),
         {},
         "Cannot load image. Palette in PNG file is invalid."},
        {"PNG unknown critical chunk",
         "png",
         png().Chunk("CRIT", {}).Chunk("IDAT", z).End(),
         {},
         "Cannot load PNG image. Unexpected but critical chunk detected."},
        {"PNG palette after the image data",
         "png",
         png().Chunk("IDAT", z).Chunk("PLTE", {1, 2, 3}).End(),
         {},
         "Cannot load PNG image. Unexpected but critical chunk detected."},
        {"PNG compression method 1",
         "png",
         Png().Header(2, 2, 8, 2, 0, 1).Chunk("IDAT", z).End(),
         {},
         "Cannot load image. The compression scheme is not supported for PNG files."},
        {"PNG colour type 5", "png", png(8, 5).Chunk("IDAT", z).End(), {}, colour("PNG")},
        {"PNG gray of 3 bits", "png", png(3, 0).Chunk("IDAT", z).End(), {}, colour("PNG")},
        {"PNG palette of 16 bits", "png", png(16, 3).Chunk("IDAT", z).End(), {}, colour("PNG")},
        {"PNG width 0", "png", Png().Header(0, 2, 8, 2).End(), {}, invalid("PNG")},
        {"PNG without header chunk", "png", Png().Chunk("IDAT", z).End(), {}, invalid("PNG")},
        {"PNG signature", "png", Text("GIF89a\1\1\1\1"), {}, invalid("PNG")},
        {"PNG chunk longer than the file",
         "png",
         Join({png(), {0x7F, 0xFF, 0xFF, 0xF0, 'I', 'D', 'A', 'T', 1, 2, 3}}),
         {},
         read},
        {"PNG cut before the image data", "png", png(), {}, read},
        {"PNG cut inside the image data", "png", png().Chunk("IDAT", Head(z, z.size() / 2)), {}, read},
        {"PNG larger than any bitmap",
         "png",
         Png().Header(0x7FFFFFFF, 0x7FFFFFFF, 8, 6).Chunk("IDAT", z).End(),
         {},
         memory},
        {"TIFF width 0", "tif", tiff().Set(256, Tiff::Long, {0}), {}, invalid("TIF/TIFF")},
        {"TIFF without height", "tif", noHeight, {}, invalid("TIF/TIFF")},
        {"TIFF version 43", "tif", Patch(tiff(), 2, {43}), {}, invalid("TIF/TIFF")},
        {"TIFF directory offset 0", "tif", {'I', 'I', 42, 0, 0, 0, 0, 0}, {}, invalid("TIF/TIFF")},
        {"TIFF directory past the end", "tif", {'I', 'I', 42, 0, 0xFF, 0xFF, 0, 0}, {}, read},
        {"TIFF unknown compression", "tif", tiff().Set(259, Tiff::Short, {12345}), {}, compression},
        {"TIFF old-style JPEG", "tif", tiff().Set(259, Tiff::Short, {6}), {}, compression},
        {"TIFF group 4 fax", "tif", tiff().Set(259, Tiff::Short, {4}), {}, compression},
        {"TIFF differencing over YCbCr blocks",
         "tif",
         Tiff().Picture(2, 1, 8, 3, 6, 8).Set(317, Tiff::Short, {2}).Strip(z),
         {},
         compression},
        {"TIFF RGB of 2 samples", "tif", Tiff().Picture(4, 4, 8, 2, 2, 1).Strip(Bytes(32, 7)), {}, samples},
        {"TIFF photometric 4", "tif", Tiff().Picture(2, 1, 8, 1, 4, 1).Strip({1, 2}), {}, conversion},
        {"TIFF 4-bit gray and alpha planes",
         "tif",
         Tiff()
             .Picture(3, 2, 4, 2, 1, 1)
             .Set(284, Tiff::Short, {2})
             .Strip({0x12, 0x30, 0x45, 0x60})
             .Strip({0x89, 0xA0, 0xBC, 0xD0}),
         {},
         conversion},
        {"TIFF 16-bit palette indexes", "tif", Tiff().Picture(1, 1, 16, 1, 3, 1).Strip({0, 0}), {}, colour("TIF/TIFF")},
        {"TIFF compressed strip past the end",
         "tif",
         tiff().Set(259, Tiff::Short, {32773}).Set(273, Tiff::Long, {0x7FFFFFF0}).Set(279, Tiff::Long, {16}),
         {},
         read},
        {"TIFF compressed strip longer than the file",
         "tif",
         tiff().Set(259, Tiff::Short, {8}).Set(273, Tiff::Long, {8}).Set(279, Tiff::Long, {0xFFFFFFF0}),
         {},
         read},
        {"TIFF strips without byte counts", "tif", tiff().Set(273, Tiff::Long, {8, 9}), {}, "4x4/8"},
        {"TIFF tiles far larger than any picture",
         "tif",
         tiff().Set(322, Tiff::Long, {0x10000}).Set(323, Tiff::Long, {0x10000}).Set(324, Tiff::Long, {8}),
         {},
         invalid("TIF/TIFF")},
        {"EPS without a preview: the TIFF header test finds the EPS header", "eps", Eps({}), {}, invalid("TIF/TIFF")},
        {"EPS header missing", "eps", tiff(), {}, invalid("EPS")},
        {"TIFF larger than any bitmap",
         "tif",
         tiff().Set(256, Tiff::Long, {0x7FFFFFFF}).Set(257, Tiff::Long, {0x7FFFFFFF}),
         {},
         memory},
        {"Photoshop signature", "psd", Patch(Psd{.image = {1, 2, 3}}, 0, {'X'}), {}, invalid("PSD or PDD")},
        {"Photoshop RGB of 2 channels", "psd", Psd{.channels = 2, .image = {1, 2}}, {}, invalid("PSD or PDD")},
        {"Photoshop gray of 10 bits",
         "psd",
         Psd{.channels = 1, .columns = 7, .depth = 10, .mode = 1, .image = Bytes(9, 0xFF)},
         {},
         invalid("PSD or PDD")},
        {"Photoshop planes not in the file", "psd", Psd{.rows = 100, .columns = 100, .image = {1, 2, 3}}, {}, read},
        {"Photoshop row lengths not in the file", "psd", Psd{.rows = 1000, .compression = 1}, {}, read},
        {"Photoshop packed rows not in the file",
         "psd",
         Psd{.compression = 1, .rowLengths = {60000, 60000, 60000}},
         {},
         read},
        {"Photoshop header cut", "psd", Head(Psd{}, 20), {}, read},
        {"Paint Shop Pro of 16 bits", "psp", deep, {}, colour("PSP")},
        {"Paint Shop Pro signature", "psp", Patch(psp, 0, {'X'}), {}, invalid("PSP")},
        {"Paint Shop Pro version 2", "psp", Patch(psp, 32, {2}), {}, invalid("PSP")},
        {"Paint Shop Pro cut in the channels", "psp", Head(psp, psp.size() - 10), {}, read},
        {"Paint Shop Pro channel longer than the file", "psp", Patch(pspRle, channel, {0xFF, 0xFF, 0xFF}), {}, read},
        {"SGI magic", "sgi", Sgi{.magic = 475}, {}, invalid("sgi, bw or rgb(a)")},
        {"SGI 3 bytes a sample", "sgi", Sgi{.bpc = 3}, {}, invalid("sgi, bw or rgb(a)")},
        {"SGI no channels", "sgi", Sgi{.channels = 0}, {}, samples},
        {"SGI five channels", "sgi", Sgi{.channels = 5}, {}, samples},
        {"SGI row tables not in the file", "sgi", Sgi{.storage = 1, .width = 10, .height = 1000}, {}, read},
        {"SGI header cut", "sgi", Bytes(100, 0), {}, read},
        {"RLA channel longer than the file", "rla", Patch(rla, 740 + 8, {0xFF, 0xFF}), {}, read},
        {"RLA offsets not in the file", "rla", Rla{.rgba = Bytes(4, 9), .top = 30000}, {}, read},
        {"PCX two planes", "pcx", Pcx{.planes = 2}, {}, colour("PCX")},
        {"PCX three bits", "pcx", Pcx{.bits = 3}, {}, colour("PCX")},
        {"PCX no planes", "pcx", Pcx{.planes = 0}, {}, samples},
        {"PCX lines narrower than the picture", "pcx", Pcx{.xMax = 99, .bytesPerLine = 50}, {}, invalid("PCX or SCR")},
        {"portable map magic", "ppm", Text("Q6\n1 1\n255\nabc"), {}, invalid("PBM, PGM or PPM")},
        {"portable map magic not first", "ppm", Text("\nP6\n1 1\n255\nabc"), {}, invalid("PBM, PGM or PPM")},
        {"portable map type not a digit", "ppm", Text("PX\n1 1\n255\nabc"), {}, invalid("PBM, PGM or PPM")},
        {"portable map maximum 0", "pgm", Text("P2\n1 1\n0\n0\n"), {}, invalid("PBM, PGM or PPM")},
        {"binary map maximum above 16 bits", "pgm", Text("P5\n1 1\n70000\n\x01\x02"), {}, invalid("PBM, PGM or PPM")},
        {"binary gray cut", "pgm", Text("P5\n4 4\n255\nab"), {}, "Stream read error in PPM file."},
        {"plain pixmap cut", "ppm", Text("P3\n2 2\n255\n1 2 3"), {}, "Stream read error in PPM file."},
        {"magic alone", "ppm", Text("P6"), {}, "Stream read error in PPM file."},
        {"bitmap size of twenty digits", "pbm", Text("P4\n99999999999999999999 99999999999\n"), {}, memory},
        {"pixmap larger than a bitmap may be", "ppm", Text("P6\n70000 70000\n255\n"), {}, memory},
        {"Photo-CD cut in its image", "pcd", Head(PhotoCD(0), 600000), {}, read},
        {"Autodesk magic", "cel", Patch(Cel{}, 0, {0x18}), {}, invalid("Autodesk")},
    });
}

// A header test takes a file of its kind and leaves the stream where it was.
TEST(Refusals, HeaderTests)
{
    const Bytes psp = PspColour(5, 0), rla = Rla{.width = 2, .rgba = Bytes(8, 9)},
                tiff = Tiff().Picture(1, 1, 8, 1, 1, 1).Strip({0});
    Bytes upper = psp;
    std::transform(psp.begin(), psp.begin() + 25, upper.begin(), [](uint8_t c) { return uint8_t(std::toupper(c)); });
    const struct {
        const char* extension;
        Bytes file;
        bool expected;
    } cases[] = {
        {"tga", Tga{.mapEntry = 24, .data = {1, 2, 3}}, true},
        {"tga", Tga{.data = {1, 2, 3}}, false},  // map entries of 0 bits
        {"png", Png().Header(1, 1, 8, 0).End(), true},
        {"png", Join({{1}, Png().Header(1, 1, 8, 0).End()}), false},
        {"tif", Tiff{.big = true}.Picture(1, 1, 8, 1, 1, 1).Strip({0}), true},
        {"tif", Patch(tiff, 2, {43}), false},
        {"tif", Patch(tiff, 4, {0xFF}), false},  // a directory past the end
        {"eps", Eps(tiff), true},
        {"eps", Eps({}), false},
        {"psd", Patch(Psd{.image = {1, 2, 3}}, 0, {'8', 'b', 'p', 's'}), true},
        {"psd", Patch(Psd{.image = {1, 2, 3}}, 5, {2}), false},
        {"psp", upper, true},
        {"psp", Patch(psp, 32, {2}), false},
        {"sgi", Sgi{.data = Bytes(88, 0)}, true},
        {"sgi", Sgi{}, false},
        {"sgi", Sgi{.bpc = 2, .dimension = 4, .data = Bytes(88, 0)}, false},
        {"rla", rla, true},
        {"rla", Rla{.width = 2, .rgba = Bytes(8, 9), .revision = 0xFFFD}, false},
        {"pcx", Pcx{.manufacturer = 12, .data = Bytes(72, 0)}, true},
        {"pcx", Pcx{.version = 4, .data = Bytes(72, 0)}, false},
        {"pcx", Pcx{.version = 0, .encoding = 2, .data = Bytes(72, 0)}, false},
        {"ppm", Text("P1\n1 1\n1\n\n\n\n"), true},
        {"ppm", Text("P7\n1 1\n255\nabc"), false},
        {"ppm", Text("P6\n1 1\n255"), false},
        {"pcd", PhotoCD(0, true), true},
        {"pcd", Patch(PhotoCD(0), 2050, {'C'}), false},
        {"cel", Cel{}, true},
        {"cel", Cel{.depth = 4}, false},
        {"cut", {1, 0, 1, 0, 0, 0, 3, 0, 0x81, 1, 0}, false},  // no signature to test
    };
    for (const auto& c : cases) {
        const Bytes file = Join({{9, 9}, c.file});
        TMemoryStream stream(file.data(), file.size());
        stream.SetPosition(2);
        EXPECT_EQ(Reader(c.extension)->CanLoad(stream), c.expected) << c.extension << " " << &c - cases;
        EXPECT_EQ(stream.Position(), 2);
    }
}

}  // namespace
