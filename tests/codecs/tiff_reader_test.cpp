// TIFF pictures written by ImageMagick and recompressed by tiffcp, each
// compared pixel by pixel with ImageMagick's own decoding of the same file.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "codecs/tiff.h"
#include "platform/rtl/classes.h"
#include "support/imagemagick.h"
#include "support/temp_dir.h"
#include "support/tools.h"
#include "require_convert.h"

namespace {

constexpr int kWidth = 53;
constexpr int kHeight = 41;

#define REQUIRE_TOOL(name)                                                                           \
    do {                                                                                             \
        if (ToolProgram(name).empty()) GTEST_SKIP() << name << " is not installed (libtiff-tools)";  \
    } while (0)

struct TiffCase {
    const char* name;
    bool alpha;                           // the source has an alpha channel (compared too)
    std::vector<std::string> convert;     // ImageMagick's options
    std::vector<std::string> tiffcp;      // tiffcp's options, empty: ImageMagick's file as it is
    int tolerance;
};

void PrintTo(const TiffCase& c, std::ostream* os) { *os << c.name; }

// Writes the test pattern through ImageMagick (and tiffcp) into a TIFF file.
bool WriteCase(const TempDir& dir, const TiffCase& c, std::string& file, std::string& log)
{
    const std::string source = dir.file("source.pam");
    WritePamRgba(source, kWidth, kHeight, TestPatternRgba(kWidth, kHeight));
    const std::string magick = dir.file("magick.tif");
    if (!ConvertPicture(source, c.alpha, c.convert, magick, &log)) return false;
    file = magick;
    if (c.tiffcp.empty()) return true;
    file = dir.file("tiffcp.tif");
    std::vector<std::string> cp = c.tiffcp;
    cp.push_back(magick);
    cp.push_back(file);
    return RunTool("tiffcp", cp, &log);
}

// ImageMagick's decoding in RGB (CMYK pictures would come out as CMYK).
bool ReadReferenceRgb(const std::string& file, TReferenceImage& out, std::string* log)
{
    const std::string pam = file + ".rgb.pam";
    if (!RunConvert({file, "-colorspace", "sRGB", "-depth", "8", "pam:" + pam}, log)) return false;
    const bool ok = ReadPam(pam, out);
    std::remove(pam.c_str());
    return ok;
}

class TiffFromTools : public ::testing::TestWithParam<TiffCase> {};

TEST_P(TiffFromTools, DecodesLikeImageMagick)
{
    REQUIRE_CONVERT();
    const TiffCase& c = GetParam();
    if (!c.tiffcp.empty()) REQUIRE_TOOL("tiffcp");
    TempDir dir;
    std::string file, log;
    ASSERT_TRUE(WriteCase(dir, c, file, log)) << log;
    TReferenceImage reference;
    ASSERT_TRUE(ReadReferenceRgb(file, reference, &log)) << log;
    TTIFFGraphic tiff;
    tiff.LoadFromFile(file);
    // Alpha is kept only in 32-bit bitmaps (gray and palette pictures drop it).
    EXPECT_EQ(ComparePixels(tiff, reference, c.tolerance, c.alpha && tiff.PixelFormat() == pf32bit), "");
}

const std::vector<std::string> k8 = {"-depth", "8"};
std::vector<std::string> With(std::vector<std::string> a, const std::vector<std::string>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const TiffCase kCases[] = {
    {"rgb_plain", false, With(k8, {"-compress", "None"}), {}, 0},
    {"rgb_packbits", false, With(k8, {"-compress", "RLE"}), {}, 0},
    {"rgb_deflate", false, With(k8, {"-compress", "Zip"}), {}, 0},
    {"rgb_deflate_predictor", false, With(k8, {"-compress", "Zip", "-define", "tiff:predictor=2"}), {}, 0},
    {"rgb_big_endian", false, With(k8, {"-compress", "Zip", "-endian", "MSB"}), {}, 0},
    {"rgb_rows_per_strip", false, With(k8, {"-compress", "RLE", "-define", "tiff:rows-per-strip=7"}), {}, 0},
    {"rgba_plain", true, With(k8, {"-compress", "None"}), {}, 0},
    {"rgba_deflate_predictor", true, With(k8, {"-compress", "Zip", "-define", "tiff:predictor=2"}), {}, 0},
    {"rgb16_plain", false, {"-depth", "16", "-compress", "None"}, {}, 1},
    {"rgb16_big_endian_predictor", false, {"-depth", "16", "-compress", "Zip", "-endian", "MSB"}, {}, 1},
    {"rgba16_little_endian", true, {"-depth", "16", "-compress", "Zip", "-endian", "LSB"}, {}, 1},
    {"gray8", false, With(k8, {"-type", "Grayscale", "-compress", "None"}), {}, 0},
    {"gray8_deflate", false, With(k8, {"-type", "Grayscale", "-compress", "Zip"}), {}, 0},
    {"gray16", false, {"-type", "Grayscale", "-depth", "16", "-compress", "Zip"}, {}, 1},
    {"gray4", false, {"-type", "Grayscale", "-depth", "4", "-compress", "None"}, {}, 0},
    {"gray_alpha", true, With(k8, {"-type", "GrayscaleAlpha", "-compress", "None"}), {}, 0},
    {"bilevel", false, {"-type", "Bilevel", "-compress", "None"}, {}, 0},
    {"bilevel_packbits", false, {"-type", "Bilevel", "-compress", "RLE"}, {}, 0},
    {"palette8", false, With(k8, {"-type", "Palette", "-compress", "None"}), {}, 0},
    {"palette8_deflate", false, With(k8, {"-type", "Palette", "-compress", "Zip"}), {}, 0},
    {"palette4", false, {"-colors", "16", "-type", "Palette", "-compress", "None"}, {}, 0},
    {"palette2", false, {"-colors", "4", "-type", "Palette", "-compress", "RLE"}, {}, 0},
    {"cmyk", false, With(k8, {"-colorspace", "CMYK", "-compress", "None"}), {}, 2},
    {"cmyk_deflate", false, With(k8, {"-colorspace", "CMYK", "-compress", "Zip"}), {}, 2},
    {"cmyk16", false, {"-depth", "16", "-colorspace", "CMYK", "-compress", "None"}, {}, 2},
    {"cmyk16_big_endian", false, {"-depth", "16", "-colorspace", "CMYK", "-compress", "None"}, {"-B"}, 2},
    // ImageMagick keeps L*a*b* relative to another white than the D50 of
    // colour-managed decoders, which tells only in colours: gray pictures.
    {"lab8_grays", false, {"-modulate", "100,0", "-depth", "8", "-colorspace", "Lab", "-compress", "None"}, {}, 3},
    {"lab16_grays", false, {"-modulate", "100,0", "-depth", "16", "-colorspace", "Lab", "-compress", "None"}, {}, 2},
    {"lab16_grays_big_endian", false,
     {"-modulate", "100,0", "-depth", "16", "-colorspace", "Lab", "-compress", "None"}, {"-B"}, 2},
    {"tiles", false, With(k8, {"-compress", "Zip", "-define", "tiff:tile-geometry=16x16"}), {}, 0},
    {"tiles_alpha", true, With(k8, {"-compress", "None", "-define", "tiff:tile-geometry=32x16"}), {}, 0},
    {"planes", false, With(k8, {"-compress", "None", "-interlace", "Plane"}), {}, 0},
    {"planes_deflate_predictor", false,
     With(k8, {"-compress", "Zip", "-interlace", "Plane", "-define", "tiff:predictor=2"}), {}, 0},
    {"planes16", false, {"-depth", "16", "-compress", "Zip", "-interlace", "Plane", "-endian", "MSB"}, {}, 1},
    {"jpeg_rgb", false, With(k8, {"-compress", "JPEG", "-quality", "90"}), {}, 2},
    {"jpeg_gray", false, With(k8, {"-type", "Grayscale", "-compress", "JPEG"}), {}, 2},
    {"fax_group3", false, {"-type", "Bilevel", "-compress", "Fax"}, {}, 0},
    // tiffcp's recompressions of ImageMagick's plain file
    {"tiffcp_none_big_endian", false, With(k8, {"-compress", "None"}), {"-B", "-c", "none"}, 0},
    {"tiffcp_none_little_endian", false, With(k8, {"-compress", "None"}), {"-L", "-c", "none"}, 0},
    {"tiffcp_packbits", false, With(k8, {"-compress", "None"}), {"-c", "packbits", "-r", "5"}, 0},
    {"tiffcp_zip", false, With(k8, {"-compress", "None"}), {"-c", "zip", "-B"}, 0},
    {"tiffcp_zip_predictor", false, With(k8, {"-compress", "None"}), {"-c", "zip:2", "-L"}, 0},
    {"tiffcp_tiles", false, With(k8, {"-compress", "None"}), {"-c", "zip", "-t", "-w", "16", "-l", "32"}, 0},
    {"tiffcp_tiles_big_endian", true, With(k8, {"-compress", "None"}), {"-c", "packbits", "-t", "-B"}, 0},
    {"tiffcp_planes", false, With(k8, {"-compress", "None"}), {"-c", "packbits", "-p", "separate"}, 0},
    {"tiffcp_planes_tiles", false, With(k8, {"-compress", "None"}),
     {"-c", "zip", "-p", "separate", "-t", "-w", "16", "-l", "16"}, 0},
    {"tiffcp_jpeg_ycbcr", false, With(k8, {"-compress", "None"}), {"-c", "jpeg", "-r", "16"}, 3},
    {"tiffcp_jpeg_tiles", false, With(k8, {"-compress", "None"}), {"-c", "jpeg", "-t", "-w", "16", "-l", "16"}, 3},
    // ImageMagick writes 1-bit pictures only with a fax compression; tiffcp recompresses them.
    {"tiffcp_bilevel_plain", false, {"-type", "Bilevel", "-compress", "Group4"}, {"-c", "none"}, 0},
    {"tiffcp_bilevel_packbits", false, {"-type", "Bilevel", "-compress", "Group4"}, {"-c", "packbits", "-B"}, 0},
    {"tiffcp_g3", false, {"-type", "Bilevel", "-compress", "Group4"}, {"-c", "g3:1d"}, 0},
    {"tiffcp_g3_fill", false, {"-type", "Bilevel", "-compress", "Group4"}, {"-c", "g3:1d:fill", "-r", "9"}, 0},
    {"tiffcp_g3_reversed", false, {"-type", "Bilevel", "-compress", "Group4"}, {"-c", "g3:1d", "-f", "lsb2msb"}, 0},
    {"tiffcp_gray_tiles", false, With(k8, {"-type", "Grayscale", "-compress", "None"}),
     {"-c", "zip:2", "-t", "-w", "32", "-l", "16"}, 0},
};

INSTANTIATE_TEST_SUITE_P(Variants, TiffFromTools, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- refusals of tool-written files -------------------------------------------

struct RefusalCase {
    const char* name;
    std::vector<std::string> convert;
    std::vector<std::string> tiffcp;
};

void PrintTo(const RefusalCase& c, std::ostream* os) { *os << c.name; }

class TiffRefusals : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(TiffRefusals, CompressionsWithoutDecoderAreRefused)
{
    REQUIRE_CONVERT();
    const RefusalCase& c = GetParam();
    if (!c.tiffcp.empty()) REQUIRE_TOOL("tiffcp");
    TempDir dir;
    std::string file, log;
    ASSERT_TRUE(WriteCase(dir, TiffCase{c.name, false, c.convert, c.tiffcp, 0}, file, log)) << log;
    TTIFFGraphic tiff;
    try {
        tiff.LoadFromFile(file);
        FAIL() << "loaded";
    } catch (const EInvalidGraphic& e) {
        EXPECT_STREQ(e.what(), "Cannot load image. The compression scheme is not supported for TIF/TIFF files.");
    }
}

const RefusalCase kRefusals[] = {
    {"lzw", With(k8, {"-compress", "LZW"}), {}},
    {"group4", {"-type", "Bilevel", "-compress", "Group4"}, {}},
    {"tiffcp_lzw", With(k8, {"-compress", "None"}), {"-c", "lzw"}},
    {"tiffcp_g4", {"-type", "Bilevel", "-compress", "Fax"}, {"-c", "g4"}},
    {"tiffcp_g3_2d", {"-type", "Bilevel", "-compress", "Fax"}, {"-c", "g3:2d"}},
};

INSTANTIATE_TEST_SUITE_P(Compressions, TiffRefusals, ::testing::ValuesIn(kRefusals),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(TiffFromTools, BigAndLittleEndianFilesLoadIdentically)
{
    REQUIRE_CONVERT();
    REQUIRE_TOOL("tiffcp");
    TempDir dir;
    std::string file, log;
    ASSERT_TRUE(WriteCase(dir, TiffCase{"base", true, With(k8, {"-compress", "None"}), {}, 0}, file, log)) << log;
    const std::string big = dir.file("big.tif"), little = dir.file("little.tif");
    ASSERT_TRUE(RunTool("tiffcp", {"-B", "-c", "zip", file, big}, &log)) << log;
    ASSERT_TRUE(RunTool("tiffcp", {"-L", "-c", "zip", file, little}, &log)) << log;
    TTIFFGraphic a, b;
    a.LoadFromFile(big);
    b.LoadFromFile(little);
    EXPECT_TRUE(a.ImageProperties.Options & ioBigEndian);
    EXPECT_FALSE(b.ImageProperties.Options & ioBigEndian);
    ASSERT_EQ(a.PixelFormat(), pf32bit);
    ASSERT_EQ(b.PixelFormat(), pf32bit);
    for (int y = 0; y < kHeight; ++y)
        ASSERT_EQ(std::memcmp(a.ScanLine(y), b.ScanLine(y), kWidth * 4), 0) << "row " << y;
}

TEST(TiffFromTools, EpsPreviewLoadsLikeItsTiff)
{
    REQUIRE_CONVERT();
    TempDir dir;
    std::string file, log;
    ASSERT_TRUE(WriteCase(dir, TiffCase{"eps", false, With(k8, {"-compress", "RLE"}), {}, 0}, file, log)) << log;
    const std::vector<uint8_t> tiffBytes = ReadFileBytes(file);
    const std::string postscript = "%!PS-Adobe-3.0 EPSF-3.0\n%%BoundingBox: 0 0 53 41\nshowpage\n";
    std::vector<uint8_t> eps(30 + postscript.size() + tiffBytes.size(), 0);
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) eps[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    put32(0, 0xC6D3D0C5);
    put32(4, 30);
    put32(8, static_cast<uint32_t>(postscript.size()));
    put32(20, static_cast<uint32_t>(30 + postscript.size()));
    put32(24, static_cast<uint32_t>(tiffBytes.size()));
    eps[28] = eps[29] = 0xFF;
    std::copy(postscript.begin(), postscript.end(), eps.begin() + 30);
    std::copy(tiffBytes.begin(), tiffBytes.end(), eps.begin() + 30 + static_cast<long>(postscript.size()));
    const std::string epsFile = dir.file("preview.eps");
    WriteFileBytes(epsFile, eps);

    TReferenceImage reference;
    ASSERT_TRUE(ReadReference(file, reference, &log)) << log;
    TEPSGraphic graphic;
    EXPECT_TRUE(graphic.CanLoad(epsFile));
    graphic.LoadFromFile(epsFile);
    EXPECT_EQ(ComparePixels(graphic, reference), "");

    // Without a preview the header test refuses it, and loading finds the EPS header, no TIFF one.
    put32(20, 0);
    put32(24, 0);
    const std::string bare = dir.file("bare.eps");
    WriteFileBytes(bare, std::vector<uint8_t>(eps.begin(), eps.begin() + 30 + static_cast<long>(postscript.size())));
    std::vector<uint8_t> bareBytes = ReadFileBytes(bare);
    std::copy(eps.begin(), eps.begin() + 30, bareBytes.begin());
    WriteFileBytes(bare, bareBytes);
    TEPSGraphic none;
    EXPECT_FALSE(none.CanLoad(bare));
    try {
        none.LoadFromFile(bare);
        FAIL() << "loaded";
    } catch (const EInvalidGraphic& e) {
        EXPECT_STREQ(e.what(), "Cannot load image. Invalid or unexpected TIF/TIFF image format.");
    }
    // A file that is no EPS at all.
    TEPSGraphic wrong;
    try {
        wrong.LoadFromFile(file);
        FAIL() << "loaded";
    } catch (const EInvalidGraphic& e) {
        EXPECT_STREQ(e.what(), "Cannot load image. Invalid or unexpected EPS image format.");
    }
}

}  // namespace
