// Pictures written by ImageMagick, netpbm and the libtiff tools, each loaded by the reader of its extension and
// compared pixel by pixel with ImageMagick's own decoding; and the Truevision writer read back by it.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "codecs/targa.h"
#include "codecs/tiff.h"
#include "picture_files.h"
#include "support/temp_dir.h"

namespace {

constexpr int kWidth = 101, kHeight = 47;  // the binary portable maps cross the reader's 4096-byte buffer

struct ToolCase {
    const char* file;     // its extension chooses the reader
    const char* command;  // convert's options for the test pattern, or a whole command line
    int tolerance = 0;
    const char* refused = "";  // the error expected instead of a picture
};

// Runs convert's options for the RGBA test pattern {src} and the file {out}; or those options then "| tool" reading
// their output, or "; tiffcp options" rewriting their TIFF; or a whole command line ({tmp} a scratch name, {ref} a
// picture to compare with instead of the file), with the distribution's programs.
bool Write(const TempDir& dir, const std::string& command, const std::string& out, std::string& log)
{
    WritePamRgba(dir.file("src.pam"), kWidth, kHeight, TestPatternRgba(kWidth, kHeight));
    std::string c = command;
    const size_t tiffcp = c.find(" ; ");
    if (c.rfind("convert ", 0) == 0) c = command;
    else if (c.find(" | ") != std::string::npos) c = "convert {src} " + c + " > {out}";
    else if (tiffcp != std::string::npos)
        c = "convert {src} " + c.substr(0, tiffcp) + " {tmp}.tif && " + c.substr(tiffcp + 3) + " {tmp}.tif {out}";
    else c = "convert {src} " + c + (c.find("{out}") == std::string::npos ? " {out}" : "");
    for (const auto& [key, value] : {std::pair<std::string, std::string>{"{src}", dir.file("src.pam")},
                                     {"{out}", out},
                                     {"{tmp}", dir.file("tmp")},
                                     {"{ref}", dir.file("ref.png")}})
        for (size_t at; (at = c.find(key)) != std::string::npos;) c.replace(at, key.size(), value);
    log = c;
    return std::system(("export PATH=/usr/bin:/bin; (" + c + ") 2>" + dir.file("log")).c_str()) == 0;
}

// ImageMagick's decoding in sRGB (CMYK and L*a*b* files would stay in their colour space; Photo-CD ones are left in
// PhotoYCC), Photoshop colours as stored rather than blended with white.
bool Reference(const std::string& file, TReferenceImage& out, std::string& log)
{
    const std::string pam = file.substr(file.find(':') + 1) + ".ref.pam";  // without a "format:" prefix
    const bool ycc = file.ends_with(".pcd");
    return RunConvert({"-define", "psd:alpha-unblend=off", file, "-auto-orient", "-colorspace", ycc ? "YCC" : "sRGB",
                       "-depth", "8", "pam:" + pam},
                      &log) &&
           ReadPam(pam, out);
}

// ImageMagick leaves Photo-CD samples in PhotoYCC: they are converted with the base image's luma weights.
void PhotoYCCToRGB(TReferenceImage& image)
{
    for (size_t i = 0; i < image.Rgba.size(); i += 4) {
        uint8_t* p = &image.Rgba[i];
        const double y = p[0], cb = p[1] - 156.0, cr = p[2] - 137.0, kr = 0.2125, kg = 0.7154, kb = 0.0721;
        const double r = y + cr * (2 - 2 * kr), b = y + cb * (2 - 2 * kb);
        const double g = y - cr * kr * (2 - 2 * kr) / kg - cb * kb * (2 - 2 * kb) / kg;
        for (int k = 0; k < 3; ++k)
            p[k] = static_cast<uint8_t>(std::clamp(std::nearbyint(k == 0 ? r : k == 1 ? g : b), 0.0, 255.0));
    }
}

class ToolPictures : public ::testing::TestWithParam<ToolCase> {};

TEST_P(ToolPictures, DecodeLikeImageMagick)
{
    REQUIRE_CONVERT();
    const ToolCase& c = GetParam();
    TempDir dir;
    const std::string file = dir.file(c.file), ext = file.substr(file.rfind('.') + 1);
    std::string log;
    ASSERT_TRUE(Write(dir, c.command, file, log)) << log;
    if (*c.refused) {
        EXPECT_EQ(LoadError(ext, ReadFileBytes(file)), c.refused);
        return;
    }
    TReferenceImage reference;
    const bool ownReference = std::string(c.command).find("{ref}") != std::string::npos;
    ASSERT_TRUE(Reference(ownReference   ? dir.file("ref.png")
                          : ext == "eps" ? "tif:" + file
                                         : file,
                          reference, log))
        << log;
    if (ext == "eps")
        WriteFileBytes(file, Eps(ReadFileBytes(file)));  // ImageMagick's TIFF as the preview of an EPS file
    auto picture = Reader(ext);
    picture->LoadFromFile(file);
    if (ext == "pcd") PhotoYCCToRGB(reference);
    EXPECT_EQ(ComparePixels(*picture, reference, c.tolerance, picture->PixelFormat() == pf32bit && reference.HasAlpha),
              "");
}

const char* const kNoDecoder = "Cannot load image. The compression scheme is not supported for TIF/TIFF files.";

// 16-bit samples and 5-bit Truevision channels are rounded where ImageMagick scales; ImageMagick writes a PNG gamma
// of 1/2.2, nearly linear with the display's 2.2; Photoshop and TIFF CMYK and L*a*b* go through other conversions
// than ImageMagick's.
const ToolCase kCases[] = {
    {"rgb_rle_top.tga", "-alpha off -type TrueColor -compress RLE -orient TopLeft"},
    {"rgba_rle.tga", "-type TrueColorAlpha -compress RLE"},
    {"mapped_rle_top.tga", "-alpha off -type Palette -compress RLE -orient TopLeft"},
    {"gray_rle.tga", "-alpha off -type Grayscale -compress RLE"},
    {"rgb15.tga", "-alpha off -type TrueColor -depth 5 -compress None", 1},
    {"rgb15_rle_top.tga", "-alpha off -type TrueColor -depth 5 -compress RLE -orient TopLeft", 1},

    {"rgba8_interlaced.png", "-depth 8 -interlace PNG PNG32:{out}", 1},
    {"rgba16.png", "-depth 16 PNG64:{out}", 1},
    {"gray1_interlaced.png", "-alpha off -define png:color-type=0 -define png:bit-depth=1 -type Bilevel -interlace PNG",
     1},
    {"gray2.png", "-alpha off -define png:color-type=0 -define png:bit-depth=2 -type Grayscale -depth 2", 1},
    {"gray4_interlaced.png",
     "-alpha off -define png:color-type=0 -define png:bit-depth=4 -type Grayscale -depth 4 -interlace PNG", 1},
    {"gray16.png", "-alpha off -define png:color-type=0 -define png:bit-depth=16 -type Grayscale -depth 16", 1},
    {"gray_alpha8.png", "-define png:color-type=4 -define png:bit-depth=8 -type GrayscaleAlpha", 1},
    {"gray_alpha16_interlaced.png",
     "-define png:color-type=4 -define png:bit-depth=16 -type GrayscaleAlpha -depth 16 -interlace PNG", 1},
    {"palette8_interlaced.png", "-alpha off -colors 200 -interlace PNG PNG8:{out}", 1},
    {"palette4.png", "-alpha off -define png:color-type=3 -define png:bit-depth=4 -colors 12", 1},
    {"average.png", "-alpha off -depth 8 -define png:compression-filter=3 PNG24:{out}", 1},
    {"paeth.png", "-depth 8 -define png:compression-filter=4 PNG32:{out}", 1},
    {"adaptive16_interlaced.png", "-alpha off -depth 16 -define png:compression-filter=5 -interlace PNG PNG48:{out}",
     1},
    {"netpbm_alpha.png",
     "convert {src} -alpha extract {tmp}.pgm && convert {src} -alpha off ppm:- | pnmtopng -alpha {tmp}.pgm > {out}"},
    {"netpbm_gray_interlaced.png", "-colorspace Gray -depth 8 pgm:- | pnmtopng -interlace -compression 9"},
    {"netpbm_two_colours.png", "-alpha off -colors 2 ppm:- | pnmtopng"},
    {"netpbm_four_colours_interlaced.png", "-alpha off -colors 4 ppm:- | pnmtopng -interlace"},

    {"rgb_packbits_strips.tif", "-alpha off -depth 8 -compress RLE -define tiff:rows-per-strip=7"},
    {"rgb_deflate_predictor.tif", "-alpha off -depth 8 -compress Zip -define tiff:predictor=2"},
    {"rgba_deflate_predictor.tif", "-depth 8 -compress Zip -define tiff:predictor=2"},
    {"rgb16_big_endian_predictor.tif", "-alpha off -depth 16 -compress Zip -endian MSB -define tiff:predictor=2", 1},
    {"rgba16_little_endian.tif", "-depth 16 -compress Zip -endian LSB", 1},
    {"gray16.tif", "-alpha off -type Grayscale -depth 16 -compress Zip", 1},
    {"gray4.tif", "-alpha off -type Grayscale -depth 4 -compress None"},
    {"gray_alpha.tif", "-depth 8 -type GrayscaleAlpha -compress None"},
    {"palette2.tif", "-alpha off -colors 4 -type Palette -compress RLE"},
    {"cmyk.tif", "-alpha off -depth 8 -colorspace CMYK -compress None", 2},
    {"cmyk16_big_endian.tif", "-alpha off -depth 16 -colorspace CMYK -compress None ; tiffcp -B", 2},
    // ImageMagick keeps L*a*b* relative to another white than the D50 of colour-managed decoders, which tells only in
    // colours: gray pictures.
    {"lab8_grays.tif", "-alpha off -modulate 100,0 -depth 8 -colorspace Lab -compress None", 3},
    {"lab16_grays_big_endian.tif", "-alpha off -modulate 100,0 -depth 16 -colorspace Lab -compress None ; tiffcp -B",
     2},
    {"planes_deflate_predictor.tif", "-alpha off -depth 8 -compress Zip -interlace Plane -define tiff:predictor=2"},
    {"planes16.tif", "-alpha off -depth 16 -compress Zip -interlace Plane -endian MSB", 1},
    {"jpeg_gray.tif", "-alpha off -depth 8 -type Grayscale -compress JPEG", 2},
    {"tiffcp_plain_big_endian.tif", "-alpha off -depth 8 -compress None ; tiffcp -B -c none"},
    {"tiffcp_tiles_alpha_big_endian.tif", "-depth 8 -compress None ; tiffcp -c packbits -t -B"},
    {"tiffcp_planes_tiles.tif", "-alpha off -depth 8 -compress None ; tiffcp -c zip -p separate -t -w 16 -l 16"},
    {"tiffcp_gray_tiles_predictor.tif", "-alpha off -depth 8 -type Grayscale ; tiffcp -c zip:2 -t -w 32 -l 16"},
    {"tiffcp_jpeg_ycbcr.tif", "-alpha off -depth 8 -compress None ; tiffcp -c jpeg -r 16", 3},
    {"tiffcp_jpeg_tiles.tif", "-alpha off -depth 8 -compress None ; tiffcp -c jpeg -t -w 16 -l 16", 3},
    // ImageMagick writes 1-bit pictures only with a fax compression; tiffcp recompresses them.
    {"tiffcp_bilevel_packbits.tif", "-alpha off -type Bilevel -compress Group4 ; tiffcp -c packbits -B"},
    {"tiffcp_g3_fill.tif", "-alpha off -type Bilevel -compress Group4 ; tiffcp -c g3:1d:fill -r 9"},
    {"tiffcp_g3_reversed.tif", "-alpha off -type Bilevel -compress Group4 ; tiffcp -c g3:1d -f lsb2msb"},
    {"lzw.tif", "-alpha off -depth 8 -compress LZW", 0, kNoDecoder},
    {"g3_2d.tif", "-alpha off -type Bilevel -compress Fax ; tiffcp -c g3:2d", 0, kNoDecoder},

    {"rgb16_rle.psd", "-alpha off -depth 16 -compress RLE", 1},
    {"rgba_rle.psd", "-depth 8 -compress RLE"},
    {"cmyk_rle.psd", "-alpha off -depth 8 -colorspace CMYK -compress RLE", 2},
    {"cmyk16.psd", "-alpha off -depth 16 -colorspace CMYK -compress None", 2},
    {"gray16.psd", "-alpha off -depth 16 -colorspace Gray -compress None", 1},
    {"gray16_rle.psd", "-alpha off -depth 16 -colorspace Gray -compress RLE", 1},
    {"gray_alpha_rle.psd", "-depth 8 -colorspace Gray -compress RLE"},  // the gray plane shows
    // ImageMagick does not read back the indexed files it writes: the picture it was written from is the reference.
    {"indexed_rle.psd",
     "convert {src} -alpha off -colors 200 {ref} && convert {ref} -depth 8 -type Palette -compress RLE {out}"},
    {"bitmap.psd", "-alpha off -monochrome -depth 1 -compress None"},

    {"rgb.pcx", "-alpha off -depth 8"},
    {"palette.pcx", "-alpha off -depth 8 -type Palette"},
    // ImageMagick shows 1-bit files black where their palette and the picture say white.
    {"bilevel.pcx", "convert {src} -alpha off -monochrome {ref} && convert {ref} ppm:- | ppmtopcx > {out}"},
    {"four_colours_packed.pcx", "-alpha off -colors 4 ppm:- | ppmtopcx -packed"},
    {"sixteen_colours_packed.pcx", "-alpha off -colors 16 ppm:- | ppmtopcx -packed"},
    {"sixteen_colours_planes.pcx", "-alpha off -colors 16 ppm:- | ppmtopcx"},
    {"eight_colours_planes.pcx", "-alpha off -colors 8 ppm:- | ppmtopcx -planes 3"},
    {"two_planes.pcx", "-alpha off -colors 4 ppm:- | ppmtopcx -planes 2", 0, "Invalid color format in PCX file."},

    {"rgb.sgi", "-alpha off -depth 8 -compress None"},
    {"rgba_rle.sgi", "-depth 8 -compress RLE"},
    {"gray_rle.sgi", "-alpha off -depth 8 -colorspace Gray -compress RLE"},
    {"rgb16.sgi", "-alpha off -depth 16 -compress None", 1},
    // netpbm's writer, which unlike ImageMagick compresses 16-bit samples.
    {"netpbm_rgb16_rle.sgi", "-alpha off -depth 16 ppm:- | pnmtosgi -rle", 1},
    {"netpbm_gray16_rle.sgi", "-alpha off -depth 16 -colorspace Gray pgm:- | pnmtosgi -rle", 1},

    {"plain.pbm", "-alpha off -monochrome pbm:- | pnmtoplainpnm"},
    {"plain15.pgm", "-alpha off -colorspace Gray -depth 8 pgm:- | pamdepth 15 | pnmtoplainpnm", 1},
    {"plain.ppm", "-alpha off -depth 8 -compress None"},
    {"binary.pbm", "-alpha off -monochrome"},
    {"binary1000.pgm", "-alpha off -colorspace Gray -depth 8 pgm:- | pamdepth 1000", 1},
    {"binary16.ppm", "-alpha off -depth 16", 1},
    {"binary31.ppm", "-alpha off -depth 8 ppm:- | pamdepth 31", 1},

    // Only the rounding of the PhotoYCC conversion differs.
    {"preview.eps", "-alpha off -depth 8 -compress RLE tif:{out}"},
    {"landscape.pcd", "-alpha off -resize 768x512!", 1},
    {"portrait.pcd", "-alpha off -resize 768x512! -rotate 90", 1},
};

INSTANTIATE_TEST_SUITE_P(Variants, ToolPictures, ::testing::ValuesIn(kCases), [](const auto& info) {
    std::string name = info.param.file;
    std::replace(name.begin(), name.end(), '.', '_');
    return name;
});

// Every depth the writer takes, with and without compression, is read by ImageMagick and by the reader as the bitmap
// shows.
TEST(ToolPictures, TruevisionWriterIsReadBackByImageMagickAndByTheReader)
{
    REQUIRE_CONVERT();
    TempDir dir;
    const Bytes rgb = TestPatternRgb(kWidth, kHeight);
    for (TPixelFormat format : {pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit})
        for (bool compressed : {false, true}) {
            TTargaGraphic picture, copy;
            picture.SetPixelFormat(format);
            picture.SetSize(kWidth, kHeight);
            for (int i = 0; i < kWidth * kHeight; ++i)
                picture.SetPixel(i % kWidth, i / kWidth, RGB(rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2]));
            {
                TFileStream out(dir.file("written.tga"), fmCreate);
                picture.SaveToStream(out, compressed);
            }
            TReferenceImage reference;
            std::string log;
            ASSERT_TRUE(ReadReference(dir.file("written.tga"), reference, &log)) << log;
            copy.LoadFromFile(dir.file("written.tga"));
            const int tolerance = format == pf16bit ? 6 : format == pf15bit ? 1 : 0;  // 5 or 6 bits a channel
            SCOPED_TRACE(testing::Message() << "format " << format << ", compressed " << compressed);
            EXPECT_EQ(ComparePixels(picture, reference, tolerance), "") << "the picture and the file written";
            EXPECT_EQ(ComparePixels(copy, reference, tolerance), "") << "the file read back and the file written";
        }
    TMemoryStream nothing;  // an empty bitmap writes nothing
    TTargaGraphic().SaveToStream(nothing);
    EXPECT_EQ(nothing.Size(), 0);
}

}  // namespace
