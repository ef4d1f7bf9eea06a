// TIFF files that libtiff's tiffcp writes from ImageMagick's plasma pictures,
// with every compression it offers, rows per strip from 1 to 64 and tiles,
// gray and RGB, 8 and 16 bits: each reads to the pixels of its uncompressed
// copy (JPEG ones to ImageMagick's decoding of them), or is refused with the
// message for a compression this reader does not decode.
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "codecs/tiff.h"
#include "picture_files.h"
#include "platform/gdi/graphics.h"
#include "support/scoped_value.h"
#include "support/temp_dir.h"

namespace {

const std::string kNoDecoder = "Cannot load image. The compression scheme is not supported for TIF/TIFF files.";

#define REQUIRE_TIFFCP() \
    REQUIRE_CONVERT();   \
    if (std::system("command -v tiffcp > /dev/null") != 0) GTEST_SKIP() << "tiffcp is not installed"

// Runs a command line with the distribution's programs; true when it succeeded.
bool RunTool(const std::string& command)
{
    return std::system(("export PATH=/usr/bin:/bin; " + command + " > /dev/null 2>&1").c_str()) == 0;
}

Bytes ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A plasma picture of the size and seed, as ImageMagick writes it
// uncompressed with the options (colour space, depth).
std::string Plasma(const TempDir& dir, const std::string& name, const std::string& size, int seed,
                   const std::string& options)
{
    const std::string path = dir.file(name + ".tif");
    EXPECT_TRUE(RunTool("convert -size " + size + " plasma:fractal -seed " + std::to_string(seed) + " " + options +
                        " -compress None " + path))
        << name;
    return path;
}

// The file that tiffcp writes of the source with its options.
Bytes Tiffcp(const TempDir& dir, const std::string& source, const std::string& options)
{
    const std::string out = dir.file("out.tif");
    std::remove(out.c_str());
    EXPECT_TRUE(RunTool("tiffcp " + options + " " + source + " " + out)) << options;
    return ReadFile(out);
}

// "" when both bitmaps have the size, the format and the bytes of every
// row, else where they first differ.
std::string SameBitmap(const TBitmap& a, const TBitmap& b)
{
    if (a.Width() != b.Width() || a.Height() != b.Height() || a.PixelFormat() != b.PixelFormat())
        return "the sizes or formats differ";
    for (int y = 0; y < a.Height(); ++y)
        if (!std::equal(a.ScanLine(y), a.ScanLine(y) + a.RowBytes(), b.ScanLine(y)))
            return "row " + std::to_string(y) + " differs";
    return "";
}

// What the reader makes of a file: "" when it reads as the reference, else
// the difference or the message of its refusal.
std::string ReadsAs(const Bytes& file, const TBitmap& reference)
{
    try {
        return SameBitmap(*Load("tif", file), reference);
    } catch (const std::exception& e) {
        return e.what();
    }
}

struct TSource {
    const char* name;
    const char* options;  // ImageMagick's, for the plasma picture
};

const TSource kSources[] = {
    {"gray8", "-colorspace Gray -depth 8"},
    {"rgb8", "-depth 8"},
    {"gray16", "-colorspace Gray -depth 16"},
    {"rgb16", "-depth 16"},
};

TEST(TiffTools, LosslessCompressionsReadAsTheUncompressedCopy)
{
    REQUIRE_TIFFCP();
    TempDir dir;
    const char* const compressions[] = {"packbits", "zip", "zip:2", "none"};
    for (const TSource& source : kSources) {
        const std::string plain = Plasma(dir, source.name, "97x67", 7, source.options);
        const auto reference = Load("tif", Tiffcp(dir, plain, "-c none"));
        for (const char* compression : compressions) {
            std::vector<std::string> layouts = {"-t -w 16 -l 16", "-t -w 32 -l 64", "-s -r 100"};
            for (int rows : {1, 2, 3, 5, 7, 16, 31, 64}) layouts.push_back("-s -r " + std::to_string(rows));
            for (const std::string& layout : layouts) {
                const std::string options = std::string("-c ") + compression + " " + layout;
                EXPECT_EQ(ReadsAs(Tiffcp(dir, plain, options), *reference), "") << source.name << " " << options;
            }
        }
    }
}

TEST(TiffTools, PackBitsStripsOfEveryRowCount)
{
    // libtiff packs a two-byte run between literals as a run: its strips
    // may be longer than an optimal encoder's.
    REQUIRE_TIFFCP();
    TempDir dir;
    for (const TSource& source : {kSources[0], kSources[1]}) {
        const std::string plain = Plasma(dir, source.name, "256x70", 3, source.options);
        const auto reference = Load("tif", ReadFile(plain));
        for (int rows = 1; rows <= 64; ++rows) {
            const std::string options = "-c packbits -r " + std::to_string(rows);
            EXPECT_EQ(ReadsAs(Tiffcp(dir, plain, options), *reference), "") << source.name << " " << options;
        }
    }
}

TEST(TiffTools, JpegReadsAsImageMagickDecodesIt)
{
    REQUIRE_TIFFCP();
    TempDir dir;
    for (const TSource& source : {kSources[0], kSources[1]}) {
        const std::string plain = Plasma(dir, source.name, "97x67", 11, source.options);
        for (const char* layout : {"-r 16", "-r 32", "-r 64", "-t -w 32 -l 32"}) {
            const std::string options = std::string("-c jpeg ") + layout, out = dir.file("jpeg.tif");
            ASSERT_TRUE(RunTool("tiffcp " + options + " " + plain + " " + out)) << options;
            TReferenceImage reference;
            std::string log;
            ASSERT_TRUE(ReadReference(out, reference, &log)) << log;
            EXPECT_EQ(ComparePixels(*Load("tif", ReadFile(out)), reference, 3), "") << source.name << " " << options;
        }
    }
}

TEST(TiffTools, BilevelFaxReadsAsTheUncompressedCopy)
{
    REQUIRE_TIFFCP();
    TempDir dir;
    const std::string plain =
        Plasma(dir, "bilevel", "301x67", 5, "-colorspace Gray -threshold 50% -type Bilevel -depth 1");
    const auto reference = Load("tif", Tiffcp(dir, plain, "-c none"));
    struct Case {
        const char* options;
        std::string expected;
    };
    const Case cases[] = {
        {"-c g3:1d -r 1", ""},           {"-c g3:1d:fill -r 7", ""},    {"-c g3:1d -r 64 -f lsb2msb", ""},
        {"-c g3:1d -t -w 64 -l 32", ""}, {"-c g3:2d -r 8", kNoDecoder}, {"-c g4 -r 8", kNoDecoder},
        {"-c lzw -r 8", kNoDecoder},
    };
    for (const Case& c : cases) EXPECT_EQ(ReadsAs(Tiffcp(dir, plain, c.options), *reference), c.expected) << c.options;
}

TEST(TiffTools, RefusedCompressionsSayWhy)
{
    REQUIRE_TIFFCP();
    TempDir dir;
    for (const TSource& source : kSources) {
        const std::string plain = Plasma(dir, source.name, "64x32", 13, source.options);
        for (const char* options : {"-c lzw -r 8", "-c lzw:2 -t -w 16 -l 16"})
            EXPECT_EQ(LoadError("tif", Tiffcp(dir, plain, options)), kNoDecoder) << source.name << " " << options;
    }
}

TEST(TiffTools, LargePicturesOfTheCasesSeenRead)
{
    // 2400 x 1800 gray in PackBits strips of one row, and a 512 x 2048 RGB
    // texture likewise: their strips are longer than an optimal encoder's.
    REQUIRE_TIFFCP();
    TempDir dir;
    for (const auto& [name, size, options] : {std::tuple{"gray", "2400x1800", "-colorspace Gray -depth 8"},
                                              std::tuple{"texture", "512x2048", "-depth 8"}}) {
        const std::string plain = Plasma(dir, name, size, 3, options);
        const auto reference = Load("tif", ReadFile(plain));
        EXPECT_EQ(ReadsAs(Tiffcp(dir, plain, "-c packbits -r 1"), *reference), "") << name;
    }
}

TEST(TiffTools, TileOverThePictureLimitReadsWhenTheBitmapFits)
{
    // 16-bit RGB in one deflate tile of 1024 x 768 (4.5 MiB of samples) with
    // pictures limited to 4 MiB: the bitmap (2.2 MiB) fits, and the tile is
    // decoded a slice at a time. A bitmap past the limit is refused.
    REQUIRE_TIFFCP();
    TempDir dir;
    TScopedValue<int64_t> limit(BitmapMemoryLimit, 4 << 20);
    const std::string plain = Plasma(dir, "rgb16", "1024x750", 17, "-depth 16");
    const auto reference = Load("tif", ReadFile(plain));
    EXPECT_EQ(ReadsAs(Tiffcp(dir, plain, "-c zip -t -w 1024 -l 768"), *reference), "");
    const std::string wide = Plasma(dir, "wide", "1024x1366", 17, "-depth 8");
    EXPECT_EQ(LoadError("tif", Tiffcp(dir, wide, "-c zip -t -w 1024 -l 1376")), EOutOfResources().what());
    const std::string inside = Plasma(dir, "inside", "1024x1365", 17, "-depth 8");
    EXPECT_EQ(LoadError("tif", Tiffcp(dir, inside, "-c zip -t -w 1024 -l 1376")), "");
}

}  // namespace
