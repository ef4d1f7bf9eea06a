// SGI and RLA rows are found through tables of offsets. Writers that store each distinct record once let rows name one
// record in any pattern: every pattern decodes to the pixels of the same picture stored plainly (SGI: and to
// ImageMagick's decoding of the file); a record is read once however many rows name it. Records that overlap are each
// read; a load whose reads cost more than the file's size allows is refused as damaged; a bitmap at the limit the
// README names is read, one beyond it refused.
#include <map>
#include <set>

#include "codecs/decoders.h"
#include "codecs/row_records.h"
#include "picture_files.h"
#include "platform/rtl/byteorder.h"
#include "support/temp_dir.h"

namespace {

const std::string kInvalidSgi = "Cannot load image. Invalid or unexpected sgi, bw or rgb(a) image format.";
const std::string kTooLarge = "Not enough storage is available to process this command.";

// "" when the bitmaps have the same size, format and pixels, else where they first differ.
std::string SameBitmap(const TBitmap& a, const TBitmap& b)
{
    if (a.Width() != b.Width() || a.Height() != b.Height() || a.PixelFormat() != b.PixelFormat())
        return Describe(a, {}) + " against " + Describe(b, {});
    const size_t bytes = (size_t(a.Width()) * BitsPerPixelOf(a.PixelFormat()) + 7) / 8;
    for (int y = 0; y < a.Height(); ++y)
        if (std::memcmp(a.ScanLine(y), b.ScanLine(y), bytes) != 0) return "scan line " + std::to_string(y) + " differs";
    return "";
}

// ImageMagick's decoding of the file, against the bitmap: "" when they agree.
std::string LikeImageMagick(const TBitmap& picture, const std::string& format, const Bytes& file, int tolerance)
{
    TempDir dir;
    const std::string path = dir.file("picture." + format);
    WriteFileBytes(path, file);
    TReferenceImage reference;
    std::string log;
    if (!RunConvert({path, "-depth", "8", "pam:" + path + ".pam"}, &log) || !ReadPam(path + ".pam", reference))
        return "ImageMagick could not decode the file: " + log;
    return ComparePixels(picture, reference, tolerance, picture.PixelFormat() == pf32bit);
}

// ---- SGI -------------------------------------------------------------------------

// The samples of an SGI picture: channel k, file row r (the bottom row first), column x.
struct SgiSamples {
    int width = 1, height = 1, channels = 3, bytes = 1;  // bytes of a sample
    std::vector<uint16_t> values = std::vector<uint16_t>(size_t(width) * height * channels);
    uint16_t* Row(int k, int r) { return values.data() + (size_t(k) * height + r) * width; }
    const uint16_t* Row(int k, int r) const { return values.data() + (size_t(k) * height + r) * width; }
};

// Runs of three and steps between rows and channels: no two channel rows alike unless a pattern makes them so.
SgiSamples Varied(int width, int height, int channels, int bytes)
{
    SgiSamples s{width, height, channels, bytes};
    for (int k = 0; k < channels; ++k)
        for (int r = 0; r < height; ++r)
            for (int x = 0; x < width; ++x) {
                const unsigned v = (x / 3 * 37 + r * 11 + k * 71 + (x % 7 == 0 ? 90 : 0)) & 0xFF;
                s.Row(k, r)[x] = uint16_t(bytes == 1 ? v : v << 8 | (x & 0x0F));
            }
    return s;
}

// Run-length packets of a row: runs of two or more equal samples, literals of the rest, then the zero count.
Bytes SgiPackets(const uint16_t* s, int n, int bytes)
{
    TByteWriter w;
    auto put = [&](unsigned v) { bytes == 2 ? w.BE16(v) : w.U8(v); };
    for (int i = 0; i < n;) {
        int run = 1;
        while (i + run < n && run < 127 && s[i + run] == s[i]) ++run;
        int literal = run >= 2 ? 0 : 1;
        while (literal && i + literal < n && literal < 127 &&
               !(i + literal + 1 < n && s[i + literal] == s[i + literal + 1]))
            ++literal;
        put(literal ? 0x80 | literal : run);
        for (int j = 0; j < (literal ? literal : 1); ++j) put(s[i + j]);
        i += literal ? literal : run;
    }
    put(0);
    return w.Bytes;
}

// As a writer that stores each distinct record once: a channel row whose packets were stored before names them there.
// Lengths count bytes, as ImageMagick writes them.
Bytes SgiShared(const SgiSamples& s)
{
    const uint32_t n = uint32_t(s.height * s.channels), first = 512 + 8 * n;
    std::map<std::string, uint32_t> stored;
    TByteWriter starts, lengths, data;
    for (int k = 0; k < s.channels; ++k)
        for (int r = 0; r < s.height; ++r) {
            const Bytes record = SgiPackets(s.Row(k, r), s.width, s.bytes);
            const auto [at, added] =
                stored.try_emplace(std::string(record.begin(), record.end()), first + uint32_t(data.Size()));
            if (added) data.Append(record);
            starts.BE32(at->second);
            lengths.BE32(uint32_t(record.size()));
        }
    return Sgi{.storage = 1,
               .bpc = s.bytes,
               .width = s.width,
               .height = s.height,
               .channels = s.channels,
               .data = Join({starts.Bytes, lengths.Bytes, data.Bytes})};
}

// The same samples stored plainly.
Bytes SgiPlain(const SgiSamples& s)
{
    TByteWriter w;
    for (uint16_t v : s.values) s.bytes == 2 ? w.BE16(v) : w.U8(v);
    return Sgi{.bpc = s.bytes, .width = s.width, .height = s.height, .channels = s.channels, .data = w.Bytes};
}

// The records an SGI file's table names.
size_t DistinctStarts(const Bytes& file)
{
    const size_t n = size_t(ReadBE16(&file[8])) * ReadBE16(&file[10]);
    std::set<uint32_t> starts;
    for (size_t i = 0; i < n; ++i) starts.insert(ReadBE32(&file[512 + 4 * i]));
    return starts.size();
}

// Overlapping records: one stream of packets (runs of two and single literals) of which each channel row takes the
// width samples from a packet of its own on, its length the packets that give them (the last run may give more).
std::pair<Bytes, SgiSamples> SgiOverlapping(int width, int height, int channels)
{
    std::vector<uint16_t> samples;
    std::vector<uint32_t> packetAt, sampleAt;
    TByteWriter stream;
    for (int i = 0; samples.size() < size_t(3 * height + width + 8); ++i) {
        packetAt.push_back(uint32_t(stream.Size()));
        sampleAt.push_back(uint32_t(samples.size()));
        const uint8_t v = uint8_t(i * 29 + 5);
        if (i % 3 == 0) samples.insert(samples.end(), 2, v), stream.U8(2).U8(v);
        else samples.push_back(v), stream.U8(0x81).U8(v);
    }
    SgiSamples s{width, height, channels, 1};
    const uint32_t first = 512 + 8 * uint32_t(height * channels);
    TByteWriter starts, lengths;
    for (int k = 0; k < channels; ++k)
        for (int r = 0; r < height; ++r) {
            const size_t p = size_t(k * 5 + r * 2) % (packetAt.size() / 2);
            size_t end = p;
            while (sampleAt[end] < sampleAt[p] + width) ++end;
            std::copy_n(samples.begin() + sampleAt[p], width, s.Row(k, r));
            starts.BE32(first + packetAt[p]);
            lengths.BE32(packetAt[end] - packetAt[p]);
        }
    return {Sgi{.storage = 1,
                .width = width,
                .height = height,
                .channels = channels,
                .data = Join({starts.Bytes, lengths.Bytes, stream.Bytes})},
            s};
}

// Copies channel rows onto others: pairs (k, r) <- (k', r') chosen by a fixed sequence, across channels too.
SgiSamples Paired(SgiSamples s, int pairs)
{
    uint32_t seed = 7;
    auto next = [&](int n) { return int((seed = seed * 1103515245u + 12345u) >> 16) % n; };
    for (int i = 0; i < pairs; ++i) {
        const int k = next(s.channels), r = next(s.height), k2 = next(s.channels), r2 = next(s.height);
        std::copy_n(s.Row(k2, r2), s.width, s.Row(k, r));
    }
    return s;
}

SgiSamples RowsRepeat(SgiSamples s, int period)
{
    for (int k = 0; k < s.channels; ++k)
        for (int r = period; r < s.height; ++r) std::copy_n(s.Row(k, r % period), s.width, s.Row(k, r));
    return s;
}

SgiSamples ConstantChannel(SgiSamples s, int k, uint16_t value)
{
    std::fill_n(s.Row(k, 0), size_t(s.width) * s.height, value);
    return s;
}

SgiSamples GrayAsColour(SgiSamples s)
{
    for (int k = 1; k < s.channels; ++k) std::copy_n(s.Row(0, 0), size_t(s.width) * s.height, s.Row(k, 0));
    return s;
}

TEST(RowRecords, SgiSharingInEveryPatternDecodesAsStoredPlainly)
{
    const auto [overlapping, overlapped] = SgiOverlapping(50, 40, 4);
    const struct {
        const char* name;
        SgiSamples samples;
        Bytes file = {};  // else the writer that stores each distinct record once
    } cases[] = {
        {"rows repeating all their channels", RowsRepeat(Varied(40, 30, 4, 1), 4)},
        {"one channel the same across rows (constant alpha)", ConstantChannel(Varied(300, 40, 4, 1), 3, 255)},
        {"2048 x 2048 whose alpha rows all name one record",
         ConstantChannel(RowsRepeat(Varied(2048, 2048, 4, 1), 16), 3, 200)},
        {"channels the same within each row (gray stored as colour)", GrayAsColour(Varied(33, 20, 3, 1))},
        {"arbitrary pairs, across channels too", Paired(Varied(21, 50, 4, 1), 120)},
        {"16-bit, rows repeating and constant alpha", ConstantChannel(RowsRepeat(Varied(70, 30, 4, 2), 3), 3, 0x1234)},
        {"16-bit gray, arbitrary pairs", Paired(Varied(45, 60, 1, 2), 40)},
        {"gray and alpha, arbitrary pairs (the gray shows)", Paired(Varied(17, 64, 2, 1), 50)},
        {"overlapping records", overlapped, overlapping},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes file = c.file.empty() ? SgiShared(c.samples) : c.file;
        const TCountedLoad load = LoadCounting("sgi", file);
        ASSERT_EQ(load.error, "");
        const Bytes plain = SgiPlain(c.samples);
        EXPECT_LT(DistinctStarts(file), size_t(c.samples.height * c.samples.channels));  // records are shared
        EXPECT_EQ(SameBitmap(*load.picture, *Load("sgi", plain)), "");
        // A writer that stores each distinct record once: every byte is read once (lengths of 16-bit rows count
        // bytes, so their reads take as many again, up to what a row can use).
        if (c.samples.bytes == 1 && c.samples.channels != 2 && c.file.empty()) {
            EXPECT_EQ(load.bytesRead, int64_t(file.size()) + 512);  // the header is read twice
        }
        // ImageMagick reads no record that ends where the row is full rather than at its zero count.
        if (!ConvertProgram().empty() && c.file.empty()) {
            EXPECT_EQ(LikeImageMagick(*load.picture, "sgi", file, 1), "");
        }
    }
}

// ImageMagick stores every row (of a picture without repeated rows) at a record of its own, row after row.
TEST(RowRecords, SgiWrittenByImageMagick)
{
    REQUIRE_CONVERT();
    const struct {
        const char* name;
        int width, height;
        std::vector<std::string> options;
    } cases[] = {
        {"RGBA", 301, 77, {"-depth", "8"}},
        {"RGB", 64, 200, {"-alpha", "off", "-depth", "8"}},
        {"gray", 129, 33, {"-alpha", "off", "-colorspace", "Gray", "-depth", "8"}},
        {"RGBA, alpha constant",
         2048,
         64,
         {"-alpha", "set", "-channel", "A", "-evaluate", "set", "60%", "+channel", "-depth", "8"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        WritePamRgba(dir.file("src.pam"), c.width, c.height, TestPatternRgba(c.width, c.height));
        std::vector<std::string> args = {dir.file("src.pam")};
        args.insert(args.end(), c.options.begin(), c.options.end());
        args.insert(args.end(), {"-compress", "RLE", dir.file("x.sgi")});
        std::string log;
        ASSERT_TRUE(RunConvert(args, &log)) << log;
        const Bytes file = ReadFileBytes(dir.file("x.sgi"));
        ASSERT_EQ(file[2], 1) << "not run-length";
        const auto picture = Load("sgi", file);
        EXPECT_EQ(LikeImageMagick(*picture, "sgi", file, 0), "");
    }
}

// Every row of a 32-bit picture names one record: at 8192 x 8192 the bitmap takes the 256 MiB a picture may take;
// one row more is refused. The record is of literals of one sample, the longest a row can need; a record claiming
// more is read as far as a row can use.
TEST(RowRecords, SgiAtTheBitmapLimit)
{
    auto file = [](int width, int height, uint32_t claimed) {
        TByteWriter w;
        const uint32_t n = uint32_t(height) * 4, record = 512 + 8 * n;
        for (uint32_t i = 0; i < n; ++i) w.BE32(record);
        for (uint32_t i = 0; i < n; ++i) w.BE32(claimed);
        for (int x = 0; x < width; ++x) w.U8(0x81).U8(x & 0xFF);
        w.U8(0).Fill(4096, 0x81);  // what a longer claim would read on
        return Bytes(Sgi{.storage = 1, .width = width, .height = height, .channels = 4, .data = w.Bytes});
    };
    const TCountedLoad largest = LoadCounting("sgi", file(8192, 8192, 2 * 8192 + 1));
    EXPECT_EQ(largest.Outcome({{0, 0}, {8191, 8191}, {255, 4000}}), "8192x8192/32 00000000 ffffffff ffffffff");
    const TCountedLoad claiming = LoadCounting("sgi", file(256, 2, 0xFFFFFFFF));
    EXPECT_EQ(claiming.Outcome({{255, 1}}), "256x2/32 ffffffff");
    // The header (read twice), the tables, and once the most a row of 256 can use.
    EXPECT_EQ(claiming.bytesRead, 2 * 512 + 8 * 8 + 2 * 256 + 2);
    EXPECT_EQ(LoadError("sgi", file(8192, 8193, 2 * 8192 + 1)), kTooLarge);
}

// The largest tables a file can have, 65,535 rows of four channels, each channel row a record of its own: the tables
// are sorted and every record read within what the file's size allows.
TEST(RowRecords, SgiLargestTables)
{
    constexpr uint32_t rows = 65535, n = 4 * rows;
    auto value = [](uint32_t i) { return uint8_t(i * 7 + i / rows * 50); };  // channel row i: k * rows + r
    TByteWriter starts, lengths, records, plain;
    for (uint32_t i = 0; i < n; ++i) {
        starts.BE32(512 + 8 * n + 3 * i);
        lengths.BE32(3);
        records.U8(0x81).U8(value(i)).U8(0);
        plain.U8(value(i));
    }
    const Bytes packed =
        Sgi{.storage = 1, .height = rows, .channels = 4, .data = Join({starts.Bytes, lengths.Bytes, records.Bytes})};
    const auto picture = Load("sgi", packed);
    EXPECT_EQ(Describe(*picture, {{0, 0}, {0, rows - 1}}), "1x65535/32 f21d4873 002b5681");
    EXPECT_EQ(SameBitmap(*picture, *Load("sgi", Sgi{.height = rows, .channels = 4, .data = plain.Bytes})), "");
}

// Rows whose records a table hashed by start and length would put into one bucket (start * 2^32 + length a multiple
// of the bucket counts such a table passes through) are told apart like any others.
TEST(RowRecords, SgiRecordsThatWouldShareABucket)
{
    constexpr uint64_t modulus = uint64_t(85229) * 42043;
    TByteWriter starts, lengths;
    for (uint32_t r = 0; r < 3000; ++r) {
        starts.BE32(1 + r);
        lengths.BE32(uint32_t((modulus - (uint64_t(1 + r) << 32) % modulus) % modulus));
    }
    const Bytes file = Sgi{.storage = 1, .height = 3000, .channels = 1, .data = Join({starts.Bytes, lengths.Bytes})};
    // Row r (scan line 2999 - r) reads the four bytes from byte r + 1 on: from the low byte of the magic (474), a
    // literal whose sample is the storage byte 1; then a run of that byte; then a run of the next byte, 0.
    EXPECT_EQ(Describe(*Load("sgi", file), {{0, 2999}, {0, 2998}, {0, 2997}}), "1x3000/8 01 01 00");
}

// ---- RLA -------------------------------------------------------------------------

// ImageMagick writes no RLA file (and reads none of these): the reference is the picture's own pixels, and the same
// picture written without sharing.

// RLA of 8-bit channels, each distinct run of channel records stored once: a row whose records (red, green, blue,
// matte) already lie one after another (the whole of another row, or the end of one and the start of the next) names
// them there; otherwise its records go after those stored, reusing any at their end. rgba: rows top first.
Bytes RlaShared(int width, int height, bool matte, const Bytes& rgba)
{
    const int channels = matte ? 4 : 3;
    TByteWriter w;
    w.Append(Head(Rla{.width = width, .height = height, .rgba = rgba, .matte = matte}, 740));
    const size_t table = w.Size();
    w.Fill(4 * size_t(height));
    std::vector<Bytes> stored;    // records in the order they lie
    std::vector<uint32_t> where;  // and where each lies
    for (int i = 0; i < height; ++i) {
        const int y = height - 1 - i;  // the active window says bottom row first
        std::vector<Bytes> records;
        for (int c = 0; c < channels; ++c) {
            Bytes samples;
            for (int x = 0; x < width; ++x) samples.push_back(rgba[(size_t(y) * width + x) * 4 + c]);
            const Bytes packed = RunLength(samples, true);
            records.push_back(TByteWriter().BE16(unsigned(packed.size())).Append(packed).Bytes);
        }
        size_t at = 0;  // the first stored record from which the row's records follow, partly or all
        while (at < stored.size() &&
               !std::equal(stored.begin() + long(at), stored.begin() + long(std::min(stored.size(), at + channels)),
                           records.begin()))
            ++at;
        for (size_t c = stored.size() - at; c < size_t(channels); ++c) {
            where.push_back(uint32_t(w.Size()));
            stored.push_back(records[c]);
            w.Append(records[c]);
        }
        w.PutBE32(table + 4 * size_t(i), where[at]);
    }
    return w.Bytes;
}

// RGBA rows top first with runs, each row told apart from the others by its first pixels.
Bytes RlaPixels(int width, int height, uint32_t (*pixel)(int x, int y))
{
    Bytes rgba;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const uint32_t p = pixel(x, y);
            rgba.insert(rgba.end(), {uint8_t(p >> 24), uint8_t(p >> 16), uint8_t(p >> 8), uint8_t(p)});
        }
    return rgba;
}

TEST(RowRecords, RlaSharingInEveryPatternDecodesAsStoredPlainly)
{
    const struct {
        const char* name;
        int width, height;
        bool matte;
        uint32_t (*pixel)(int x, int y);
    } cases[] = {
        {"rows repeating", 40, 30, false,
         [](int x, int y) { return uint32_t((y % 4) * 0x11223344u + x / 5 * 0x10101); }},
        // Each row is the next one's red, green and blue moved on by one channel: its records begin in the middle of
        // the next row's and run on into the ones after.
        // Rows are stored bottom first, each the one above it moved on by one channel: the records of each row begin
        // inside those of the row stored before it and run on into one of their own.
        {"rows beginning inside other rows' records", 24, 20, true,
         [](int x, int y) {
             auto v = [x](int c) { return uint32_t((c * 40 + x / 4 * 3) & 0xFF); };
             const int i = 19 - y;
             return v(i) << 24 | v(i + 1) << 16 | v(i + 2) << 8 | v(i + 3);
         }},
        {"gray (channels alike) and constant matte", 60, 25, true,
         [](int x, int y) { return uint32_t((x / 6 + y / 4) * 0x01010100u + 0x80); }},
        {"arbitrary rows alike", 31, 64, false,
         [](int x, int y) { return uint32_t((y * 7 % 5) * 0x30507000u + (x / 3 * 11 & 0xFF) * 0x0100u); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes rgba = RlaPixels(c.width, c.height, c.pixel);
        const Bytes file = RlaShared(c.width, c.height, c.matte, rgba);
        const TCountedLoad load = LoadCounting("rla", file);
        ASSERT_EQ(load.error, "");
        const Bytes unshared = Rla{.width = c.width, .height = c.height, .rgba = rgba, .matte = c.matte};
        EXPECT_LT(file.size(), unshared.size());
        EXPECT_EQ(SameBitmap(*load.picture, *Load("rla", unshared)), "");
        EXPECT_EQ(ComparePixels(*load.picture, TReferenceImage{c.width, c.height, c.matte, rgba}, 0, c.matte), "");
        // Each record's bytes are read once; the length of a record that begins rows at two offsets twice at most.
        EXPECT_LE(load.bytesRead, int64_t(file.size()) + 2 * c.height * (c.matte ? 4 : 3));
    }
}

// The header of an RGB picture of 8-bit channels, stored bottom row first.
Bytes RlaHeader(int width, int height)
{
    Bytes header = Head(Rla{.width = width, .rgba = Bytes(size_t(width) * 4)}, 740);
    const unsigned bottom = 0x8000, top = unsigned(-32768 + height - 1) & 0xFFFF;  // the active window's
    return Patch(header, 12, {uint8_t(bottom >> 8), uint8_t(bottom), uint8_t(top >> 8), uint8_t(top)});
}

// A picture whose rows take turns among `sets` sets of three channel records, each of `length` bytes of runs of one
// 0x40.
Bytes RlaSharedRecords(int width, int height, unsigned length, int sets = 1)
{
    TByteWriter w;
    w.Append(RlaHeader(width, height));
    const uint32_t records = uint32_t(w.Size()) + 4 * uint32_t(height), set = 3 * (2 + length);
    for (int y = 0; y < height; ++y) w.BE32(records + uint32_t(y % sets) * set);
    for (int c = 0; c < 3 * sets; ++c) {
        w.BE16(length);
        for (unsigned i = 0; i < length; ++i) w.U8(i % 2 ? 0x40 : 0);
    }
    return w.Bytes;
}

// A row reads, of each channel record, no more than it can use (twice the row's bytes); a record named again is read
// once; records that overlap are each read. At 1365 x 65536 the RGB bitmap takes the 256 MiB a picture may take; one
// column more is refused.
TEST(RowRecords, RlaRecordsReadOnce)
{
    Bytes shifted = RlaSharedRecords(4096, 40, 4);
    shifted.resize(740 + 4 * 40);
    for (uint32_t y = 0; y < 40; ++y)
        shifted = Patch(shifted, 740 + 4 * y, {0, 0, uint8_t((900 + y) >> 8), uint8_t(900 + y)});
    shifted.resize(900 + 40 + 3 * (2 + 0xFEFE), 0xFE);  // at any offset, records of 65,278 bytes of literals of two
    const int64_t header = 740 + 40 * 4, row = 3 * (2 + 4);
    const struct {
        const char* name;
        Bytes file;
        std::string expected;  // the top left and bottom right pixels, or the message of the error loading raises
        int64_t bytesRead;
    } cases[] = {
        {"rows of their own records of 65535 bytes", RlaSharedRecords(2, 40, 65535, 40), "2x40/24 40 40",
         header + 40 * row},
        {"rows sharing records, two in turn", RlaSharedRecords(2, 40, 1000, 2), "2x40/24 40 40", header + 2 * row},
        {"rows all of the same records", RlaSharedRecords(2, 40, 1000), "2x40/24 40 40", header + row},
        {"rows of their own records, as long as they can fill", RlaSharedRecords(4096, 40, 8192, 40),
         "4096x40/24 40 40", header + 40 * 3 * (2 + 8192)},
        {"rows one byte apart", shifted, "4096x40/24 fe fe", header + 40 * 3 * (2 + 8192)},
        {"the largest bitmap", RlaSharedRecords(1365, 65536, 8), "1365x65536/24 40 00", 740 + 4 * 65536 + 3 * (2 + 8)},
        {"beyond the largest bitmap", RlaSharedRecords(1366, 65536, 8), kTooLarge, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const TCountedLoad load = LoadCounting("rla", c.file);
        EXPECT_EQ(load.Outcome({{0, 0}, {load.picture->Width() - 1, load.picture->Height() - 1}}), c.expected);
        if (c.bytesRead >= 0) { EXPECT_EQ(load.bytesRead, c.bytesRead); }
    }
}

// Rows that each start one byte further into a run of 0xFF bytes name records of 65,535 bytes that lie far apart and
// interleave with the other rows' records. Read from memory, each record costs the few bytes its one-pixel row uses;
// read from a file, each read lands outside what the file stream read last and costs it a buffer of the file, and the
// file is refused as damaged long before that work is done. The same records named by every row are read either way.
TEST(RowRecords, RlaRecordsFarApartInterleavedCostTheFileReadsTheyMake)
{
    auto file = [](bool interleaved) {
        TByteWriter w;
        w.Append(RlaHeader(1, 1000));
        const uint32_t region = uint32_t(w.Size()) + 4 * 1000;
        for (uint32_t y = 0; y < 1000; ++y) w.BE32(region + (interleaved ? y : 0));
        return w.Fill(1000 + 3 * (2 + 0xFFFF), 0xFF).Bytes;
    };
    EXPECT_EQ(Describe(*Load("rla", file(true)), {{0, 0}}), "1x1000/24 ff");
    TempDir dir;
    for (const auto& [interleaved, expected] : {std::pair{true, "Stream read error"}, std::pair{false, ""}}) {
        WriteFileBytes(dir.file("records.rla"), file(interleaved));
        std::string outcome;
        try {
            Reader("rla")->LoadFromFile(dir.file("records.rla"));
        } catch (const std::exception& e) {
            outcome = e.what();
        }
        EXPECT_EQ(outcome, expected) << interleaved;
    }
}

// ---- the records' samples --------------------------------------------------------

// A record named again keeps its samples until its last use, within the memory given; one that does not fit is
// decoded again at its next use.
TEST(RowRecords, KeptWithinTheMemoryGiven)
{
    const std::vector<uint64_t> keys = {5, 7, 5, 9, 7, 5, 9, 9};
    for (const auto& [memory, decodes] : std::vector<std::pair<uint64_t, std::string>>{
             {3 * 4, "5 7 9 "},      // all three records kept
             {1 * 4, "5 7 9 7 9 "},  // 5 kept, then 9 in the slot 5 leaves
             {0, "5 7 5 9 7 5 9 9 "},
         }) {
        SCOPED_TRACE(memory);
        TRowRecords records(keys, 4, memory);
        std::string decoded;
        uint8_t scratch[4];
        for (size_t use = 0; use < keys.size(); ++use) {
            const uint8_t* samples = records.Samples(use, scratch, [&](uint8_t* target) {
                decoded += std::to_string(keys[use]) + " ";
                std::fill_n(target, 4, uint8_t(keys[use]));
            });
            EXPECT_EQ(Bytes(samples, samples + 4), Bytes(4, uint8_t(keys[use])));
            records.Release();
        }
        EXPECT_EQ(decoded, decodes);
    }
    EXPECT_TRUE(TRowRecords(keys, 4, 0).NamedAgain(0));
    EXPECT_FALSE(TRowRecords(keys, 4, 0).NamedAgain(7));
}

}  // namespace
