// JPEG data in TIFF strips: strips that cjpeg writes decode to djpeg's
// pixels, and the work of each strip's set-up and of its scans is charged
// to the load's work meter as JPEG pictures charge it.
#include <unistd.h>

#include "codec_test.h"
#include "codecs/tiff.h"
#include "platform/rtl/messages.h"
#include "platform/rtl/work_meter.h"
#include "support/jpeg_writer.h"
#include "support/temp_dir.h"
#include "support/tiff_writer.h"

namespace {

using Tiff = TTiffWriter;

const std::string kWorkSpent = EWorkSpent().what();

// Loads the TIFF file as the editor's loads run, under a work meter for its
// bytes; "" when it loads, else the error. Warning boxes are recorded.
std::string LoadTiff(TTIFFGraphic& tiff, const Bytes& file)
{
    TRecordingSink sink;
    TScopedMessageSink scoped(sink);
    TWorkScope load(file.size());
    TMemoryStream s(file.data(), file.size());
    try {
        tiff.LoadFromStream(s);
    } catch (const std::exception& e) {
        return e.what();
    }
    return "";
}

// A picture of one strip holding the JPEG stream: gray, or YCbCr with the
// stream's own chroma sampling.
Bytes OneStrip(uint32_t width, uint32_t height, bool colour, int sampling, const Bytes& jpeg)
{
    Tiff w;
    const uint32_t strip = w.Append(jpeg);
    w.Picture(width, height, 8, colour ? 3 : 1, colour ? 6 : 1, 7).Tag(278, Tiff::Long, 1, height);
    if (colour) w.Values(530, Tiff::Short, {uint32_t(sampling), uint32_t(sampling)});
    w.Tag(273, Tiff::Long, 1, strip).Tag(279, Tiff::Long, 1, static_cast<uint32_t>(jpeg.size()));
    return w;
}

TEST(TiffJpeg, StripsCjpegWritesDecodeToTheirDjpegPixels)
{
    const std::string cjpeg = "/usr/bin/cjpeg", djpeg = "/usr/bin/djpeg";
    if (::access(cjpeg.c_str(), X_OK) != 0 || ::access(djpeg.c_str(), X_OK) != 0)
        GTEST_SKIP() << "libjpeg's cjpeg and djpeg are not installed";
    TempDir dir;
    const int width = 45, height = 29;
    ASSERT_TRUE(WritePpm(dir.file("source.ppm"), width, height, TestPatternRgb(width, height)));
    const struct {
        const char* name;
        std::vector<std::string> options;
        bool colour;
        int sampling;
    } cases[] = {
        {"baseline gray", {"-grayscale"}, false, 1},
        {"progressive gray", {"-grayscale", "-progressive"}, false, 1},
        {"baseline 1x1", {"-sample", "1x1", "-restart", "1B"}, true, 1},
        {"progressive 1x1", {"-sample", "1x1", "-progressive"}, true, 1},
        {"progressive 2x2", {"-sample", "2x2", "-progressive", "-restart", "1"}, true, 2},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = c.options;
        args.insert(args.end(), {"-outfile", dir.file("p.jpg"), dir.file("source.ppm")});
        ASSERT_TRUE(RunProgram(cjpeg, args)) << c.name;
        ASSERT_TRUE(RunProgram(djpeg, {"-pnm", "-outfile", dir.file("p.pnm"), dir.file("p.jpg")})) << c.name;
        TReferenceImage reference;
        ASSERT_TRUE(ReadPam(dir.file("p.pnm"), reference)) << c.name;
        TTIFFGraphic tiff;
        const Bytes file = OneStrip(width, height, c.colour, c.sampling, ReadFileBytes(dir.file("p.jpg")));
        ASSERT_EQ(LoadTiff(tiff, file), "") << c.name;
        EXPECT_EQ(ComparePixels(tiff, reference), "") << c.name;
    }
}

// A strip of a progressive 512 x 512 gray picture whose scans each walk its
// 4,096 blocks without data: as many as the picture's size pays for are read.
Bytes EmptyScans(int scans)
{
    TJpegFile f(true, 512, 512, {{1, 0x11}}, 0x00);
    for (int i = 0; i < scans; ++i) f.Scan({1}, 1, 63, 0, {});
    return OneStrip(512, 512, false, 1, f.Done());
}

// Strips of one row of 8 gray pixels, all naming one JPEG stream, their
// offsets and byte counts a byte each: every strip sets up libjpeg anew.
Bytes RepeatedStrips(uint32_t strips)
{
    Tiff w;
    const Bytes jpeg = TinyJpeg();
    const uint32_t at = w.Append(jpeg);
    w.Picture(8, strips, 8, 1, 1, 7).Tag(278, Tiff::Long, 1, 1);
    w.Values(273, Tiff::Byte, std::vector<uint32_t>(strips, at));
    w.Values(279, Tiff::Byte, std::vector<uint32_t>(strips, static_cast<uint32_t>(jpeg.size())));
    return w;
}

TEST(TiffJpeg, ScansAndStripSetUpsAreChargedToTheLoadsWork)
{
    ASSERT_LT(TinyJpeg().size(), 256u);
    const struct {
        const char* name;
        Bytes file;
        std::string outcome;
    } cases[] = {
        {"100 empty scans", EmptyScans(100), ""},
        {"5,000 empty scans", EmptyScans(5000), kWorkSpent},
        {"1,000 strips of one stream", RepeatedStrips(1000), ""},
        {"100,000 strips of one stream", RepeatedStrips(100000), kWorkSpent},
    };
    for (const auto& c : cases) {
        TTIFFGraphic tiff;
        EXPECT_EQ(LoadTiff(tiff, c.file), c.outcome) << c.name;
    }
}

}  // namespace
