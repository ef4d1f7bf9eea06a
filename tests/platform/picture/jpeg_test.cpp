// JPEG pictures: files that cjpeg writes, decoded to djpeg's pixels; the
// bitmap limit, which alone refuses a picture for its size; and the work of
// scans and restarts, which a file pays for with its size.
#include <gtest/gtest.h>

#include <fstream>

#include <unistd.h>

#include "platform/picture/picture.h"
#include "platform/rtl/classes.h"
#include "platform/rtl/work_meter.h"
#include "support/imagemagick.h"
#include "support/jpeg_writer.h"
#include "support/scoped_value.h"
#include "support/temp_dir.h"

namespace {

using Bytes = std::vector<uint8_t>;

const std::string kInvalidJpeg = "Cannot load image. Invalid JPEG data: ";
const std::string kWorkSpent = kInvalidJpeg + EWorkSpent().what();
const std::string kTooLarge = EOutOfResources().what();

// What loading the bytes gives: "" when they load, else the error.
std::string LoadBytes(TJPEGImage& jpeg, const Bytes& bytes)
{
    TMemoryStream s(bytes.data(), bytes.size());
    try {
        jpeg.LoadFromStream(s);
    } catch (const std::exception& e) {
        return e.what();
    }
    return "";
}

TEST(JpegTools, PicturesCjpegWritesDecodeToTheirDjpegPixels)
{
    const std::string cjpeg = "/usr/bin/cjpeg", djpeg = "/usr/bin/djpeg";
    if (::access(cjpeg.c_str(), X_OK) != 0 || ::access(djpeg.c_str(), X_OK) != 0)
        GTEST_SKIP() << "libjpeg's cjpeg and djpeg are not installed";
    TempDir dir;
    // Odd sizes, so that blocks and MCUs are padded on both sides.
    const int width = 61, height = 37;
    ASSERT_TRUE(WritePpm(dir.file("source.ppm"), width, height, TestPatternRgb(width, height)));
    const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
        {"baseline 2x2", {}},
        {"baseline 1x1", {"-sample", "1x1"}},
        {"baseline gray", {"-grayscale"}},
        {"progressive 2x2", {"-progressive"}},
        {"progressive 1x1", {"-progressive", "-sample", "1x1"}},
        {"progressive gray", {"-progressive", "-grayscale"}},
        {"baseline, a restart every MCU", {"-restart", "1B"}},
        {"progressive, a restart every row", {"-progressive", "-restart", "1"}},
        {"progressive gray, a restart every block", {"-progressive", "-grayscale", "-restart", "1B"}},
        {"quality 100, 1x1", {"-quality", "100", "-sample", "1x1"}},
    };
    for (const auto& [name, options] : cases) {
        std::vector<std::string> args = options;
        args.insert(args.end(), {"-outfile", dir.file("p.jpg"), dir.file("source.ppm")});
        ASSERT_TRUE(RunProgram(cjpeg, args)) << name;
        ASSERT_TRUE(RunProgram(djpeg, {"-pnm", "-outfile", dir.file("p.pnm"), dir.file("p.jpg")})) << name;
        TReferenceImage reference;
        ASSERT_TRUE(ReadPam(dir.file("p.pnm"), reference)) << name;
        TJPEGImage jpeg;
        ASSERT_EQ(LoadBytes(jpeg, ReadFileBytes(dir.file("p.jpg"))), "") << name;
        EXPECT_EQ(ComparePixels(jpeg.Bitmap(), reference), "") << name;
    }
}

// A picture whose luminance comes in a scan for each coefficient, as a scan
// script may ask cjpeg for, costs as much as fifteen scans over every
// coefficient of that component: its scans are paid for although the load's
// input and base allowance are spent elsewhere (here, by an enclosing load).
TEST(JpegTools, APictureOfAScanForEachCoefficientIsRead)
{
    const std::string cjpeg = "/usr/bin/cjpeg";
    if (::access(cjpeg.c_str(), X_OK) != 0) GTEST_SKIP() << "libjpeg's cjpeg is not installed";
    TempDir dir;
    const int side = 256;
    ASSERT_TRUE(WritePpm(dir.file("source.ppm"), side, side, TestPatternRgb(side, side)));
    // The DC coefficients in two passes, each luminance coefficient on its
    // own, then the last bit of them and the colour in a scan each.
    std::string script = "0 1 2: 0 0 0 1;\n";
    for (int k = 1; k < 64; ++k) script += "0: " + std::to_string(k) + " " + std::to_string(k) + " 0 1;\n";
    script += "1: 1 63 0 0;\n2: 1 63 0 0;\n0 1 2: 0 0 1 0;\n0: 1 63 1 0;\n";
    {
        std::ofstream out(dir.file("scans.txt"));
        out << script;
    }
    ASSERT_TRUE(RunProgram(cjpeg, {"-sample", "1x1", "-scans", dir.file("scans.txt"), "-outfile", dir.file("p.jpg"),
                                   dir.file("source.ppm")}));
    const Bytes file = ReadFileBytes(dir.file("p.jpg"));
    TWorkScope container(0);
    container.Meter().Charge(container.Meter().Allowance());
    TJPEGImage jpeg;
    TMemoryStream s(file.data(), file.size());
    EXPECT_NO_THROW(jpeg.LoadFromStream(s));
    EXPECT_EQ(jpeg.Width(), side);
}

// A progressive picture of the sampling given, its first scan a DC scan of
// every component and no data (libjpeg completes it from nothing).
Bytes ProgressivePicture(int width, int height, const std::vector<TJpegComponent>& components)
{
    std::vector<int> ids;
    for (const auto& c : components) ids.push_back(c.id);
    return TJpegFile(true, width, height, components, 0x00).Scan(ids, 0, 0, 0, {}).Done();
}

// A picture is refused for its size only when its bitmap does not fit, what
// ever the memory its decoder needs besides: four components kept whole for
// a progressive picture take more than its bitmap.
TEST(Jpeg, OnlyTheBitmapLimitRefusesAPictureForItsSize)
{
    // A bitmap of 1024 x 1024 pixels at 24 bits fits; one row more does not.
    const TScopedValue limit(BitmapMemoryLimit, 3 << 20);
    const Bytes baseline444 =
        TJpegFile(false, 1024, 1024, {{1, 0x11}, {2, 0x11}, {3, 0x11}}, 0x00).Scan({1, 2, 3}, 0, 63, 0, {}).Done();
    const struct {
        const char* name;
        Bytes file;
        std::string outcome;
    } cases[] = {
        {"baseline 4:4:4", baseline444, ""},
        {"progressive gray", ProgressivePicture(1024, 1024, {{1, 0x11}}), ""},
        {"progressive 4:2:0", ProgressivePicture(1024, 1024, {{1, 0x22}, {2, 0x11}, {3, 0x11}}), ""},
        {"progressive CMYK", ProgressivePicture(1024, 1024, {{1, 0x11}, {2, 0x11}, {3, 0x11}, {4, 0x11}}), ""},
        {"progressive CMYK sampled 4x4", ProgressivePicture(1024, 1024, {{1, 0x44}, {2, 0x44}, {3, 0x44}, {4, 0x44}}),
         kInvalidJpeg + "Sampling factors too large for interleaved scan"},
        {"progressive gray, a row more", ProgressivePicture(1024, 1025, {{1, 0x11}}), kTooLarge},
        {"progressive CMYK, a row more", ProgressivePicture(1024, 1025, {{1, 0x11}, {2, 0x11}, {3, 0x11}, {4, 0x11}}),
         kTooLarge},
    };
    for (const auto& c : cases) {
        TJPEGImage jpeg;
        EXPECT_EQ(LoadBytes(jpeg, c.file), c.outcome) << c.name;
        EXPECT_EQ(jpeg.Width(), c.outcome.empty() ? 1024 : 0) << c.name;
    }
    // Components sampled 4 x 4 are padded to MCUs of 32 x 32 pixels; read
    // in scans of one component each, the picture fits.
    TJpegFile sampled(true, 1024, 1024, {{1, 0x44}, {2, 0x44}, {3, 0x44}, {4, 0x44}}, 0x00);
    for (int id = 1; id <= 4; ++id) sampled.Scan({id}, 0, 0, 0, {});
    TJPEGImage jpeg;
    EXPECT_EQ(LoadBytes(jpeg, sampled.Done()), "");
}

// The restart interval marker: one MCU between restarts.
const Bytes kRestartEveryMcu = {0xFF, 0xDD, 0x00, 0x04, 0x00, 0x01};

// A progressive 512 x 512 gray picture of `scans` scans of its AC band,
// each walking its 4,096 blocks without data.
Bytes EmptyScans(int scans, bool restarts)
{
    TJpegFile f(true, 512, 512, {{1, 0x11}}, 0x00);
    Bytes file = f.Unended();
    if (restarts) file.insert(file.end(), kRestartEveryMcu.begin(), kRestartEveryMcu.end());
    for (int i = 0; i < scans; ++i)
        file.insert(file.end(), {0xFF, 0xDA, 0x00, 0x08, 0x01, 0x01, 0x00, 0x01, 0x3F, 0x00});
    file.insert(file.end(), {0xFF, 0xD9});
    return file;
}

// Each scan walks every block of its components again, and each restart
// costs a little more: a picture may have as many as its size pays for.
// Scans of a small component cost little, and a file may have thousands.
TEST(Jpeg, ScansAndRestartsAreChargedToTheLoadsWork)
{
    TJpegFile chroma(true, 32, 32, {{1, 0x11}, {2, 0x11}, {3, 0x11}}, 0x00);
    for (int i = 0; i < 1000; ++i) chroma.Scan({2}, 0, 0, 0, {});
    TJpegFile manyChroma(true, 32, 32, {{1, 0x11}, {2, 0x11}, {3, 0x11}}, 0x00);
    for (int i = 0; i < 100000; ++i) manyChroma.Scan({2}, 0, 0, 0, {});
    const struct {
        const char* name;
        Bytes file;
        std::string outcome;
    } cases[] = {
        {"100 scans", EmptyScans(100, false), ""},
        {"200 scans", EmptyScans(200, false), ""},
        {"1,000 scans", EmptyScans(1000, false), kWorkSpent},
        {"100 scans with a restart every block", EmptyScans(100, true), ""},
        {"200 scans with a restart every block", EmptyScans(200, true), kWorkSpent},
        {"1,000 scans of one component of 16 blocks", chroma.Done(), ""},
        {"100,000 scans of one component of 16 blocks", manyChroma.Done(), kWorkSpent},
    };
    for (const auto& c : cases) {
        TJPEGImage jpeg;
        EXPECT_EQ(LoadBytes(jpeg, c.file), c.outcome) << c.name;
    }
}

// A picture inside another load (a container's) shares its meter, and a
// spent meter reaches the container, which refuses the whole file.
TEST(Jpeg, APictureInsideALoadSpendsThatLoadsWork)
{
    const Bytes file = EmptyScans(100, false);
    {
        TWorkScope container(0);
        container.Meter().Charge(TWorkMeter::BaseAllowance - 1000);
        TJPEGImage jpeg;
        TMemoryStream s(file.data(), file.size());
        EXPECT_THROW(jpeg.LoadFromStream(s), EWorkSpent);
    }
    TJPEGImage jpeg;
    EXPECT_EQ(LoadBytes(jpeg, file), "");
}

}  // namespace
