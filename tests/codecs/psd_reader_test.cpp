// The Photoshop reader takes its packed data a window at a time: pictures ImageMagick writes, of more data than a
// window holds, decode to ImageMagick's own pixels; a picture whose bitmap is just inside a (lowered) bitmap limit is
// read and one a row taller refused; planes that are not where their row lengths say, or that hold any number of
// no-op packets, decode as their one stream does, with every packed byte read a few times at most and no read larger
// than a window.
#include <algorithm>
#include <cstring>

#include "codecs/decoders.h"
#include "codecs/psd.h"
#include "picture_files.h"
#include "platform/rtl/byteorder.h"
#include "platform/rtl/work_meter.h"
#include "support/scoped_value.h"
#include "support/temp_dir.h"

namespace {

constexpr uint64_t kWindow = TPSDGraphic::PackedWindowBytes;

// A load of the file through a recording stream, under a work meter of the load's own allowance.
struct TRecordedLoad {
    std::unique_ptr<TCodecGraphic> picture = Reader("psd");
    std::string error = {};
    int64_t bytesRead = 0, largestRead = 0;
    uint64_t spent = 0, allowance = 0;
};
TRecordedLoad LoadRecording(const Bytes& file)
{
    TRecordedLoad load;
    TCountingStream stream(file.data(), file.size());
    TWorkScope scope(file.size());
    try {
        load.picture->LoadFromStream(stream);
    } catch (const std::exception& e) {
        load.error = e.what();
    }
    load.bytesRead = stream.BytesRead;
    load.largestRead = stream.LargestRead;
    load.spent = scope.Meter().Spent();
    load.allowance = scope.Meter().Allowance();
    return load;
}

// ImageMagick's decoding, Photoshop colours as stored rather than blended with white.
bool Reference(const std::string& file, TReferenceImage& out, std::string& log)
{
    const std::string pam = file + ".ref.pam";
    return RunConvert({"-define", "psd:alpha-unblend=off", file, "-colorspace", "sRGB", "-depth", "8", "pam:" + pam},
                      &log) &&
           ReadPam(pam, out);
}

// Has ImageMagick write the test pattern of the size as a Photoshop file with the options; its bytes, and
// ImageMagick's decoding of them.
bool WritePsd(const TempDir& dir, int w, int h, const std::string& options, Bytes& file, TReferenceImage& reference,
              std::string& log)
{
    WritePamRgba(dir.file("src.pam"), w, h, TestPatternRgba(w, h));
    std::vector<std::string> args = {dir.file("src.pam")};
    for (size_t at = 0, next; at < options.size(); at = next + 1) {
        next = std::min(options.find(' ', at), options.size());
        args.push_back(options.substr(at, next - at));
    }
    args.push_back(dir.file("out.psd"));
    if (!RunConvert(args, &log) || !Reference(dir.file("out.psd"), reference, log)) return false;
    file = ReadFileBytes(dir.file("out.psd"));
    return true;
}

// Packed planes of 1 to 5 MB each, raw planes of as much, at 8 and 16 bits, gray, RGB and CMYK, with alpha and
// without: every plane is read a window at a time at most, every packed byte twice at most (once to find where the
// planes end, once to unpack them).
TEST(PhotoshopReader, ImageMagickPicturesOfMoreDataThanAWindow)
{
    REQUIRE_CONVERT();
    constexpr int w = 1500, h = 900;
    const struct {
        const char* name;
        const char* options;
        int tolerance;  // 16-bit samples are rounded where ImageMagick scales; CMYK goes through other conversions
    } cases[] = {
        {"RGB, 8 bits, packed", "-alpha off -depth 8 -compress RLE", 0},
        {"RGB, 8 bits, raw", "-alpha off -depth 8 -compress None", 0},
        {"RGB and alpha, 16 bits, packed", "-depth 16 -compress RLE", 1},
        {"RGB and alpha, 16 bits, raw", "-depth 16 -compress None", 1},
        {"gray, 8 bits, packed", "-alpha off -colorspace Gray -depth 8 -compress RLE", 0},
        {"gray, 8 bits, raw", "-alpha off -colorspace Gray -depth 8 -compress None", 0},
        {"gray and alpha, 16 bits, packed", "-colorspace Gray -depth 16 -compress RLE", 1},
        {"CMYK, 16 bits, packed", "-alpha off -colorspace CMYK -depth 16 -compress RLE", 2},
        {"CMYK and alpha, 8 bits, packed", "-colorspace CMYK -depth 8 -compress RLE", 2},
        {"CMYK and alpha, 8 bits, raw", "-colorspace CMYK -depth 8 -compress None", 2},
    };
    TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes file;
        TReferenceImage reference;
        std::string log;
        ASSERT_TRUE(WritePsd(dir, w, h, c.options, file, reference, log)) << log;
        const TRecordedLoad load = LoadRecording(file);
        ASSERT_EQ(load.error, "");
        const TCodecGraphic& picture = *load.picture;
        EXPECT_EQ(
            ComparePixels(picture, reference, c.tolerance, picture.PixelFormat() == pf32bit && reference.HasAlpha), "");
        EXPECT_GT(file.size(), kWindow);
        EXPECT_LE(load.largestRead, int64_t(kWindow));
        EXPECT_LE(load.bytesRead, 2 * int64_t(file.size()));
    }
}

// A 16-bit CMYK picture whose bitmap takes all that a (lowered) limit allows is read, packed or raw, with its many
// windows of data; one a row taller is refused before anything is read.
TEST(PhotoshopReader, BitmapJustInsideALoweredLimit)
{
    REQUIRE_CONVERT();
    constexpr int w = 1200, h = 1000;  // rows of 3600 bytes in the bitmap
    const TScopedValue<int64_t> limit(BitmapMemoryLimit, int64_t(w) * 3 * h);
    TempDir dir;
    for (const char* compression : {"RLE", "None"}) {
        SCOPED_TRACE(compression);
        Bytes file;
        TReferenceImage reference;
        std::string log;
        ASSERT_TRUE(WritePsd(dir, w, h, std::string("-alpha off -colorspace CMYK -depth 16 -compress ") + compression,
                             file, reference, log))
            << log;
        const TRecordedLoad inside = LoadRecording(file);
        ASSERT_EQ(inside.error, "");
        EXPECT_EQ(ComparePixels(*inside.picture, reference, 2), "");
        EXPECT_LE(inside.largestRead, int64_t(kWindow));
        Bytes taller = file;
        taller[17] = uint8_t(h + 1);  // the low byte of the row count
        ASSERT_EQ(ReadBE32(&taller[14]), uint32_t(h + 1));
        EXPECT_EQ(LoadError("psd", taller), "Not enough storage is available to process this command.");
    }
}

// A row packed as PackBits runs (of 3 bytes and more) and literals, then `noOps` no-op bytes.
Bytes Pack(const Bytes& row, size_t noOps)
{
    TByteWriter w;
    for (size_t i = 0; i < row.size();) {
        size_t run = 1;
        while (i + run < row.size() && run < 128 && row[i + run] == row[i]) ++run;
        if (run >= 3) {
            w.U8(unsigned(257 - run)).U8(row[i]);
            i += run;
            continue;
        }
        size_t literal = 0;
        while (i + literal < row.size() && literal < 128 &&
               !(i + literal + 2 < row.size() && row[i + literal] == row[i + literal + 1] &&
                 row[i + literal] == row[i + literal + 2]))
            ++literal;
        literal = std::max<size_t>(literal, 1);
        w.U8(unsigned(literal - 1)).Append(Bytes(row.begin() + long(i), row.begin() + long(i + literal)));
        i += literal;
    }
    return w.Fill(noOps, 0x80).Bytes;
}

// 8-bit RGB pictures of 1000 x 600 (planes of 600 KB) whose packed data, 1 to 18 MB, holds no-op packets after its
// rows, or whose first channel holds a packet more than its rows or ends two bytes short of them (so that the planes
// after it are not where the row lengths say), or which holds nothing but no-op packets: each decodes as one decoding
// of all its data into the three planes does. Every packed byte is read three times at most (to find where the planes
// end, to find where the one stream puts them, to unpack them), no more than a window at a time, and the work of the
// load stays well within its allowance.
TEST(PhotoshopReader, PlanesAsTheirOneStreamAWindowAtATime)
{
    constexpr int w = 1000, h = 600;
    const struct {
        const char* name;
        size_t noOps;      // after each row
        int firstChannel;  // bytes more (a packet) or fewer (of its last literal) in the first channel's last row
        bool onlyNoOps;
    } cases[] = {
        {"no-op packets after every row", 3000, 0, false},
        {"the first channel a packet longer", 0, 2, false},
        {"the first channel two bytes short, no-op packets after every row", 1000, -2, false},
        {"nothing but no-op packets", 10000, 0, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Psd f{.rows = h, .columns = w, .compression = 1};
        for (int i = 0; i < 3 * h; ++i) {
            Bytes row(static_cast<size_t>(c.onlyNoOps ? 0 : w));
            for (int x = 0; x < int(row.size()); ++x) row[size_t(x)] = uint8_t(x < 300 ? x / 50 + i : x * 7 + i * 3);
            Bytes packed = Pack(row, c.noOps);
            if (i == h - 1 && c.firstChannel > 0) packed.insert(packed.end(), {0x00, 0x55});
            if (i == h - 1 && c.firstChannel < 0) packed.resize(packed.size() - c.noOps - 2);  // its last literal cut
            f.rowLengths.push_back(uint16_t(packed.size()));
            f.image.insert(f.image.end(), packed.begin(), packed.end());
        }
        const TReferenceImage reference = f.SingleStreamRgb();
        const Bytes file = f;
        const TRecordedLoad load = LoadRecording(file);
        ASSERT_EQ(load.error, "");
        EXPECT_EQ(ComparePixels(*load.picture, reference), "");
        EXPECT_GT(file.size(), kWindow);
        EXPECT_LE(load.largestRead, int64_t(kWindow));
        EXPECT_LE(load.bytesRead, 3 * int64_t(file.size()) + 3 * int64_t(kWindow));
        EXPECT_LE(load.spent, (load.allowance - TWorkMeter::BaseAllowance) / 2);
    }
}

// A 16-bit CMYK picture packed as tightly as PackBits packs (runs of 128 bytes for two) asks the most work of the
// load for each byte of its input: it is read as its raw samples are, well within its allowance, with the work of
// finding where its planes end (passing over their packets) far less than that of unpacking them again.
TEST(PhotoshopReader, MostTightlyPackedPlanesWithinTheirWork)
{
    constexpr int w = 1000, h = 600;
    Psd packed{.channels = 4, .rows = h, .columns = w, .depth = 16, .mode = 4, .compression = 1};
    Psd raw{.channels = 4, .rows = h, .columns = w, .depth = 16, .mode = 4};
    for (int i = 0; i < 4 * h; ++i) {
        Bytes row;
        for (int x = 0; x < 2 * w; x += 128) {
            const int n = std::min(128, 2 * w - x);
            row.insert(row.end(), {uint8_t(257 - n), uint8_t(i * 3 + x)});
            raw.image.insert(raw.image.end(), size_t(n), uint8_t(i * 3 + x));
        }
        packed.rowLengths.push_back(uint16_t(row.size()));
        packed.image.insert(packed.image.end(), row.begin(), row.end());
    }
    const TRecordedLoad load = LoadRecording(packed);
    ASSERT_EQ(load.error, "");
    const auto stored = Load("psd", raw);
    for (int y = 0; y < h; ++y)
        ASSERT_EQ(std::memcmp(load.picture->ScanLine(y), stored->ScanLine(y), size_t(3 * w)), 0) << "row " << y;
    EXPECT_LE(load.spent, (load.allowance - TWorkMeter::BaseAllowance) / 100 * 85);
}

}  // namespace
