// PNG files as an encoder writes them, of every colour type and bit depth, plain and interlaced, their image data in
// many chunks or in stored deflate blocks: each decodes to ImageMagick's pixels; and the work the load of a large one
// counts stays within what its bytes and its output grant, without the allowance every load starts with (for its
// set-up: colour and gamma tables).
#include "codecs/png.h"
#include "picture_files.h"
#include "platform/rtl/byteorder.h"
#include "platform/rtl/work_meter.h"
#include "support/temp_dir.h"

namespace {

struct EncoderCase {
    const char* name;
    int width, height;
    std::vector<std::string> options;  // convert's, for the RGBA test pattern
    bool large = false;
    int imageChunks = 1;  // at least
    int tolerance = 1;    // ImageMagick writes a gamma of 1/2.2 that our decoding applies, nearly linear
};

std::vector<std::string> Type(int colorType, int depth, bool interlaced = false)
{
    std::vector<std::string> o = {"-define", "png:color-type=" + std::to_string(colorType),
                                  "-define", "png:bit-depth=" + std::to_string(depth),
                                  "-depth",  std::to_string(depth)};
    if (colorType == 0) o.insert(o.end(), {"-alpha", "off", "-colorspace", "Gray"});
    if (colorType == 2) o.insert(o.end(), {"-alpha", "off", "-type", "TrueColor"});
    if (colorType == 3) o.insert(o.end(), {"-alpha", "off", "-colors", std::to_string(depth == 8 ? 200 : 1 << depth)});
    if (colorType == 4) o.insert(o.end(), {"-colorspace", "Gray", "-type", "GrayscaleAlpha"});
    if (colorType == 6) o.insert(o.end(), {"-type", "TrueColorAlpha"});
    if (interlaced) o.insert(o.end(), {"-interlace", "PNG"});
    return o;
}

std::vector<EncoderCase> Cases()
{
    std::vector<EncoderCase> cases;
    const std::pair<int, std::vector<int>> types[] = {
        {0, {1, 2, 4, 8, 16}}, {2, {8, 16}}, {3, {1, 2, 4, 8}}, {4, {8, 16}}, {6, {8, 16}}};
    for (bool interlaced : {false, true})
        for (const auto& [colorType, depths] : types)
            for (int depth : depths)
                cases.push_back({"colour type and depth", 37, 23, Type(colorType, depth, interlaced)});
    // Interlaced pictures narrower and shorter than a pass's step: passes without pixels are skipped.
    for (int side = 1; side <= 9; ++side) {
        cases.push_back({"a narrow interlaced picture", side, 11, Type(0, 4, true)});
        cases.push_back({"a short interlaced picture", 13, side, Type(6, 16, true)});
    }
    // ImageMagick writes the image data of a large picture in many chunks.
    auto level = [](std::vector<std::string> options, int compression) {
        options.insert(options.end(), {"-define", "png:compression-level=" + std::to_string(compression)});
        return options;
    };
    cases.push_back({"many image data chunks", 700, 500, level(Type(2, 8), 1), true, 5});
    cases.push_back({"stored deflate blocks", 300, 200, level(Type(6, 16, true), 0), true, 5});
    // The most work for their bytes: deep samples, or bilevel rows walked by every pass.
    cases.push_back({"16-bit RGBA, interlaced", 600, 400, level(Type(6, 16, true), 9), true});
    cases.push_back({"bilevel, interlaced", 2000, 1000, level(Type(0, 1, true), 9), true});
    return cases;
}

int Chunks(const Bytes& file, const char* type)
{
    int n = 0;
    for (size_t at = 8; at + 8 <= file.size(); at += 12 + ReadBE32(&file[at]))
        n += std::memcmp(&file[at + 4], type, 4) == 0;
    return n;
}

}  // namespace

TEST(PngEncoders, DecodeLikeImageMagick)
{
    REQUIRE_CONVERT();
    for (const EncoderCase& c : Cases()) {
        std::string args;
        for (const std::string& o : c.options) args += " " + o;
        SCOPED_TRACE(std::string(c.name) + ", " + std::to_string(c.width) + " x " + std::to_string(c.height) + ":" +
                     args);
        TempDir dir;
        const std::string source = dir.file("src.pam"), file = dir.file("picture.png");
        WritePamRgba(source, c.width, c.height, TestPatternRgba(c.width, c.height));
        std::vector<std::string> command = {source};
        command.insert(command.end(), c.options.begin(), c.options.end());
        command.push_back("png:" + file);
        std::string log;
        ASSERT_TRUE(RunConvert(command, &log)) << log;
        TReferenceImage reference;
        ASSERT_TRUE(ReadReference(file, reference, &log)) << log;
        const Bytes bytes = ReadFileBytes(file);
        EXPECT_GE(Chunks(bytes, "IDAT"), c.imageChunks);

        TWorkScope scope(bytes.size());
        auto picture = Reader("png");
        TMemoryStream stream(bytes.data(), bytes.size());
        picture->LoadFromStream(stream);
        EXPECT_EQ(ComparePixels(*picture, reference, c.tolerance, picture->PixelFormat() == pf32bit), "");
        const TWorkMeter& meter = scope.Meter();
        if (c.large) { EXPECT_LE(meter.Spent(), meter.Allowance() - TWorkMeter::BaseAllowance); }
    }
}
