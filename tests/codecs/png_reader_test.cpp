// What a PNG load costs: ancillary chunks, however many, cost about their bytes; the work a file asks for beyond
// that is refused as a damaged picture.
#include "codecs/png.h"
#include "picture_files.h"
#include "platform/rtl/work_meter.h"
#include "support/scoped_value.h"

namespace {

// Chunks appended to a writer (the test's Png joins whole files, too slow for thousands of chunks).
TByteWriter& Chunk(TByteWriter& w, const char* type, const Bytes& data)
{
    const Bytes body = Join({Text(type), data});
    return w.BE32(uint32_t(data.size())).Append(body).BE32(uint32_t(crc32(0, body.data(), uInt(body.size()))));
}

// A 2 x 2 picture of the colour type and depth (8 bits) after `count` copies of the chunks given.
Bytes Flooded(uint8_t colorType, const std::vector<std::pair<const char*, Bytes>>& chunks, int count)
{
    TByteWriter w;
    w.Append(Png().Header(2, 2, 8, colorType));
    for (int i = 0; i < count; ++i)
        for (const auto& [type, data] : chunks) Chunk(w, type, data);
    const Bytes rows =
        colorType == 2 ? Bytes{0, 10, 20, 30, 40, 50, 60, 0, 70, 80, 90, 100, 110, 120} : Bytes{0, 0, 200, 0, 1, 0};
    Chunk(w, "IDAT", ZlibCompress(rows, 6));
    return Chunk(w, "IEND", {}).Bytes;
}

// The outcome of a load and the work it spent, counted by a meter around it whose allowance nothing spends.
std::pair<std::string, uint64_t> MeteredOutcome(const Bytes& file)
{
    TWorkScope scope(uint64_t(1) << 40);
    const std::string outcome = LoadCounting("png", file).Outcome({{0, 0}, {1, 0}, {1, 1}});
    return {outcome, scope.Meter().Spent()};
}

Bytes Gamma(uint32_t value) { return TByteWriter().BE32(value).Bytes; }

}  // namespace

// Thousands of ancillary chunks load as the last of them alone would, and each costs about its bytes: a gamma table
// is built once, whatever the number of gamma chunks, a palette once per palette chunk.
TEST(PngReader, AncillaryChunksCostTheirBytes)
{
    const Bytes text = Join({Text("Comment"), {0, 0}, ZlibCompress(Bytes(4000, 'x'), 9)});
    const struct {
        const char* name;
        uint8_t colorType;
        std::vector<std::pair<const char*, Bytes>> chunks;  // repeated
        std::vector<std::pair<const char*, Bytes>> last;    // the last ones alone
    } cases[] = {
        {"gamma chunks", 0, {{"gAMA", Gamma(100000)}, {"gAMA", Gamma(45455)}}, {{"gAMA", Gamma(45455)}}},
        {"gamma chunks of a colour picture",
         2,
         {{"gAMA", Gamma(50000)}, {"gAMA", Gamma(45455)}},
         {{"gAMA", Gamma(45455)}}},
        {"palette chunks", 3, {{"PLTE", {1, 2, 3}}, {"PLTE", Bytes(30, 40)}}, {{"PLTE", Bytes(30, 40)}}},
        {"background chunks", 0, {{"bKGD", {0, 1}}, {"bKGD", {0, 9}}}, {{"bKGD", {0, 9}}}},
        {"transparency chunks",
         2,
         {{"tRNS", {0, 1, 0, 2, 0, 3}}, {"tRNS", {0, 10, 0, 20, 0, 30}}},
         {{"tRNS", {0, 10, 0, 20, 0, 30}}}},
        {"compressed text chunks", 0, {{"zTXt", text}, {"iCCP", text}}, {}},
    };
    constexpr int kCopies = 3000;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes flooded = Flooded(c.colorType, c.chunks, kCopies), alone = Flooded(c.colorType, c.last, 1);
        const auto [outcome, spent] = MeteredOutcome(flooded);
        const auto [expected, spentAlone] = MeteredOutcome(alone);
        EXPECT_EQ(outcome, expected);
        EXPECT_LE(int64_t(spent) - int64_t(spentAlone), 2 * int64_t(flooded.size() - alone.size()));
    }
}

// Gamma and palette chunks in turn would have the gamma table built for every palette: such a file (a PNG has one of
// each, gamma first) is refused once it has spent the work its size allows.
TEST(PngReader, WorkBeyondTheAllowanceIsRefused)
{
    const Bytes pairs = Flooded(3, {{"gAMA", Gamma(45455)}, {"PLTE", {1, 2, 3}}, {"gAMA", Gamma(50000)}}, 1000);
    EXPECT_EQ(LoadError("png", pairs), "Cannot load image. Invalid or unexpected PNG image format.");
    const Bytes few = Flooded(3, {{"gAMA", Gamma(45455)}, {"PLTE", {1, 2, 3}}, {"gAMA", Gamma(50000)}}, 10);
    EXPECT_EQ(Describe(*Load("png", few), {{0, 0}}), "2x2/8 010203");
}

// A picture is refused only when its bitmap would pass the memory a bitmap may take (lowered here to reach it with
// small files): 24-bit rows of 16 pixels take 48 bytes.
TEST(PngReader, BitmapsUpToTheLimit)
{
    const TScopedValue limit(BitmapMemoryLimit, 48 * 100);
    auto picture = [](uint32_t height) {
        return Png().Header(16, height, 8, 2).Image(Bytes(size_t(height) * (1 + 48), 0x30)).End();
    };
    EXPECT_EQ(Describe(*Load("png", picture(100)), {{15, 99}}), "16x100/24 30");
    EXPECT_EQ(LoadError("png", picture(101)), "Not enough storage is available to process this command.");
}

// Small rows are inflated many at a time: where and how the image data ends decides as it does row by row. A
// deflate stream may end at the end of a row whose next chunk is not image data (the rows after it show the
// background), never inside a row, before more image data, or before the end of its chunk.
TEST(PngReader, ImageDataEndsWhereItsRowsSay)
{
    Bytes rows;  // 4 x 6 gray: row y is 10 * y + x, each after filter byte 0
    for (int y = 0; y < 6; ++y) rows = Join({rows, {0, uint8_t(10 * y), uint8_t(10 * y + 1), uint8_t(10 * y + 2), 50}});
    const Bytes all = ZlibCompress(rows, 9), twoRows = ZlibCompress(Head(rows, 10), 9);
    const Bytes partRow = ZlibCompress(Head(rows, 12), 9), trailing = Join({all, {0}});
    auto gray = [] { return Png().Header(4, 6, 8, 0).Chunk("bKGD", {0, 99}); };
    Png bytewise = gray();
    for (uint8_t b : all) bytewise.Chunk("IDAT", {b});
    const std::string extra = "Cannot load image. Extra compressed data found in PNG file.";
    const struct {
        const char* name;
        Bytes file;
        std::string expected;
    } cases[] = {
        {"all rows", gray().Chunk("IDAT", all).End(), "4x6/8 00 14 32 32"},
        {"a chunk of image data per byte", bytewise.End(), "4x6/8 00 14 32 32"},
        {"two rows, then the end", gray().Chunk("IDAT", twoRows).End(), "4x6/8 00 63 32 63"},
        {"two rows, then more image data", gray().Chunk("IDAT", twoRows).Chunk("IDAT", {1, 2}).End(), extra},
        {"two rows, then an empty image data chunk and the end", gray().Chunk("IDAT", twoRows).Chunk("IDAT", {}).End(),
         "4x6/8 00 63 32 63"},
        {"a stream ending inside a row", gray().Chunk("IDAT", partRow).End(), extra},
        {"a byte after the stream in its chunk", gray().Chunk("IDAT", trailing).End(), extra},
        {"the data cut inside the second row, then another chunk", gray().Chunk("IDAT", Head(all, 12)).End(),
         "4x6/8 00 63 63 63"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(LoadCounting("png", c.file).Outcome({{0, 0}, {0, 2}, {3, 1}, {3, 5}}), c.expected);
    }
}
