#include <gtest/gtest.h>

#include "codecs/cut.h"
#include "platform/rtl/classes.h"
#include "support/byte_writer.h"
#include "support/imagemagick.h"
#include "support/temp_dir.h"

namespace {

// One row as run-length packets: its byte count, then runs (0x80 | n and the
// value) and literal stretches (n and n bytes), then a zero.
std::vector<uint8_t> EncodeRow(const std::vector<uint8_t>& pixels)
{
    std::vector<uint8_t> packets;
    size_t i = 0;
    while (i < pixels.size()) {
        size_t run = 1;
        while (i + run < pixels.size() && run < 127 && pixels[i + run] == pixels[i]) ++run;
        if (run >= 3) {
            packets.push_back(static_cast<uint8_t>(0x80 | run));
            packets.push_back(pixels[i]);
            i += run;
            continue;
        }
        size_t literal = 0;
        while (i + literal < pixels.size() && literal < 127) {
            const size_t j = i + literal;
            if (j + 2 < pixels.size() && pixels[j] == pixels[j + 1] && pixels[j] == pixels[j + 2]) break;
            ++literal;
        }
        packets.push_back(static_cast<uint8_t>(literal));
        packets.insert(packets.end(), pixels.begin() + static_cast<long>(i), pixels.begin() + static_cast<long>(i + literal));
        i += literal;
    }
    packets.push_back(0);
    TByteWriter w;
    w.LE16(static_cast<unsigned>(packets.size())).Append(packets);
    return w.Bytes;
}

std::vector<uint8_t> CutFile(int width, int height, const std::vector<uint8_t>& pixels)
{
    TByteWriter w;
    w.LE16(width).LE16(height).LE16(0);
    for (int y = 0; y < height; ++y)
        w.Append(EncodeRow(std::vector<uint8_t>(pixels.begin() + y * width, pixels.begin() + (y + 1) * width)));
    return w.Bytes;
}

// A palette file of count entries (red, green, blue words), an entry never
// crossing a 512-byte block.
std::vector<uint8_t> PaletteFile(const std::vector<TPaletteEntry>& colours)
{
    TByteWriter w;
    w.Text("AH").LE16(0).LE16(0).U8('R').U8(0).LE16(0).LE16(0);
    w.LE16(static_cast<unsigned>(colours.size() - 1)).LE16(255).LE16(255).LE16(255).Text("Dr. Halo", 20);
    for (const TPaletteEntry& e : colours) {
        if (w.Size() % 512 > 506) w.PadTo((w.Size() / 512 + 1) * 512);
        w.LE16(e.peRed).LE16(e.peGreen).LE16(e.peBlue);
    }
    w.PadTo((w.Size() + 511) / 512 * 512);
    return w.Bytes;
}

std::vector<TPaletteEntry> Colours(int count)
{
    std::vector<TPaletteEntry> c(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        c[static_cast<size_t>(i)] = TPaletteEntry{uint8_t(i), uint8_t(255 - i), uint8_t(i * 7), 0};
    return c;
}

std::vector<uint8_t> Pixels(int width, int height)
{
    std::vector<uint8_t> p(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            p[static_cast<size_t>(y) * width + x] = static_cast<uint8_t>(y < height / 2 ? (x / 9) * 40 : (x * 31 + y * 17));
    return p;
}

TEST(Cut, ColoursComeFromThePaletteFileBesideThePicture)
{
    constexpr int w = 70, h = 23;
    TempDir dir;
    const std::string file = dir.file("picture.cut");
    const auto pixels = Pixels(w, h);
    WriteFileBytes(file, CutFile(w, h, pixels));
    const auto colours = Colours(256);
    WriteFileBytes(dir.file("picture.pal"), PaletteFile(colours));

    TCUTGraphic g;
    g.LoadFromFile(file);
    EXPECT_EQ(g.PaletteFile, dir.file("picture.pal"));
    ASSERT_EQ(g.PixelFormat(), pf8bit);
    ASSERT_EQ(g.Width(), w);
    ASSERT_EQ(g.Height(), h);
    // Entries 78 and 163 begin the second and third blocks.
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const TPaletteEntry& e = colours[pixels[static_cast<size_t>(y) * w + x]];
            ASSERT_EQ(g.GetPixel(x, y), RGB(e.peRed, e.peGreen, e.peBlue)) << x << "," << y;
        }

    if (ConvertProgram().empty()) return;
    TReferenceImage reference;
    std::string log;
    ASSERT_TRUE(ReadReference(file, reference, &log)) << log;
    EXPECT_EQ(ComparePixels(g, reference, 0, false), "");
}

TEST(Cut, WithoutAPaletteFileThePictureIsGray)
{
    const auto bytes = CutFile(3, 1, {0, 100, 255});
    TempDir dir;
    WriteFileBytes(dir.file("alone.cut"), bytes);
    TCUTGraphic fromFile;
    fromFile.LoadFromFile(dir.file("alone.cut"));
    EXPECT_EQ(fromFile.GetPixel(1, 0), RGB(100, 100, 100));

    TCUTGraphic fromStream;
    TMemoryStream s(bytes.data(), bytes.size());
    fromStream.LoadFromStream(s);
    EXPECT_EQ(fromStream.PaletteFile, "");
    EXPECT_EQ(fromStream.GetPixel(0, 0), RGB(0, 0, 0));
    EXPECT_EQ(fromStream.GetPixel(2, 0), RGB(255, 255, 255));
}

TEST(Cut, ShortPaletteFilesGiveBlackForTheEntriesTheyLack)
{
    auto palette = PaletteFile(Colours(100));
    palette.resize(600);  // entries from 78 on start in the second block; up to 91 fit
    TMemoryStream s(palette.data(), palette.size());
    const HPALETTE p = ReadCUTPalette(s);
    ASSERT_TRUE(p);
    ASSERT_EQ(p->entries.size(), 100u);
    EXPECT_EQ(p->entries[77].peRed, 77);
    EXPECT_EQ(p->entries[78].peRed, 78);
    EXPECT_EQ(p->entries[91].peRed, 91);
    EXPECT_EQ(p->entries[92].peGreen, 0);
    EXPECT_EQ(p->entries[99].peGreen, 0);

    // Too short for its entry count: no palette (the picture is then gray).
    TMemoryStream tiny(palette.data(), 20);
    EXPECT_FALSE(ReadCUTPalette(tiny));
    TempDir dir;
    WriteFileBytes(dir.file("p.cut"), CutFile(1, 1, {9}));
    WriteFileBytes(dir.file("p.pal"), std::vector<uint8_t>(palette.begin(), palette.begin() + 20));
    TCUTGraphic g;
    g.LoadFromFile(dir.file("p.cut"));
    EXPECT_EQ(g.GetPixel(0, 0), RGB(9, 9, 9));
}

TEST(Cut, AtMost256EntriesAreTaken)
{
    auto palette = PaletteFile(Colours(256));
    palette[12] = 0xFF;
    palette[13] = 0xFF;
    TMemoryStream s(palette.data(), palette.size());
    const HPALETTE p = ReadCUTPalette(s);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->entries.size(), 256u);
    EXPECT_EQ(p->entries[255].peBlue, static_cast<uint8_t>(255 * 7));
}

TEST(Cut, RowsContinueWhereTheLastEndedAndStopAtTheData)
{
    // A row that claims more pixels than the width, then the data ends.
    TByteWriter w;
    w.LE16(2).LE16(3).LE16(0);
    w.LE16(4).List({0x85, 7, 0});
    w.LE16(5).List({0x02, 1, 2, 0});
    TCUTGraphic g;
    TMemoryStream s(w.Bytes.data(), w.Size());
    g.LoadFromStream(s);
    EXPECT_EQ(g.GetPixel(1, 0), RGB(7, 7, 7));
    EXPECT_EQ(g.GetPixel(0, 1), RGB(1, 1, 1));
    EXPECT_EQ(g.GetPixel(1, 1), RGB(2, 2, 2));
    EXPECT_EQ(g.GetPixel(0, 2), RGB(0, 0, 0));
}

TEST(Cut, NoSignatureSoCanLoadSaysNo)
{
    const auto bytes = CutFile(1, 1, {1});
    TMemoryStream s(bytes.data(), bytes.size());
    TCUTGraphic g;
    EXPECT_FALSE(g.CanLoad(s));
    EXPECT_EQ(s.Position(), 0);
}

}  // namespace
