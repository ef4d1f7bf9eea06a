// The Truevision, PCX, Photoshop, CUT, Autodesk and portable map readers: a picture whose bitmap takes the 256 MiB a
// picture may take is read, one a row larger refused; the work of a load follows its bytes and its bitmap, and a file
// that asks for more (PCX lines far wider than their pixels) is refused as damaged; PCX rows decoded one at a time
// give what one decoding of all the data gives.
#include "codecs/decoders.h"
#include "picture_files.h"

namespace {

const std::string kTooLarge = "Not enough storage is available to process this command.";

// Each reader's file of the given size, with little or no pixel data.
struct LimitCase {
    const char* name;
    const char* extension;
    Bytes (*file)(int width, int height);
    int width, height;   // the bitmap at the limit
    std::string inside;  // what loading it gives: the top left and bottom right pixels, or an error
};

Bytes TargaRuns(int w, int h)
{
    TByteWriter data;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; x += 128) data.U8(0xFF).LE32(0x80402010u);  // runs of 128 pixels
    return Tga{.type = 10, .width = w, .height = h, .depth = 32, .data = data.Bytes};
}
Bytes PcxRun(int w, int h)
{
    // Three bytes of 0x40, then the place of the trailing palette (whose marker is missing: gray).
    return Pcx{.xMax = w - 1,
               .yMax = h - 1,
               .bytesPerLine = w + w % 2,
               .paletteType = 2,
               .data = Join({{0xC3, 0x40}, Bytes(769)})};
}
Bytes PsdRows(int w, int h)
{
    Psd f{.channels = 1, .rows = h, .columns = w, .mode = 1, .compression = 1};
    f.rowLengths.assign(size_t(h), 2);
    for (int y = 0; y < h; ++y) f.image.insert(f.image.end(), {0x81, uint8_t(y + 1)});  // 128 bytes of y + 1
    return f;
}
Bytes CutRow(int w, int h) { return TByteWriter().LE16(w).LE16(h).LE16(0).LE16(3).List({0x83, 0x50, 0}).Bytes; }
Bytes CelEmpty(int w, int h) { return Cel{.width = w, .height = h}; }
Bytes GrayMapEmpty(int w, int h)
{
    const std::string header = "P5\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
    return Join({Text(header), {7, 8, 9}});
}

TEST(SmallReaders, BitmapAtTheLimitReadOneBeyondRefused)
{
    const LimitCase cases[] = {
        {"Truevision, 32-bit runs", "tga", TargaRuns, 8192, 8192, "8192x8192/32 40201080 40201080"},
        {"PCX, 8-bit, one run", "pcx", PcxRun, 16384, 16384, "16384x16384/8 40 00"},
        {"Photoshop, 8-bit gray, a run a row", "psd", PsdRows, 16384, 16384, "16384x16384/8 01 00"},
        {"CUT, one run", "cut", CutRow, 16384, 16384, "16384x16384/8 50 00"},
        {"Autodesk, no rows", "cel", CelEmpty, 16384, 16384, "16384x16384/8 00fc00 00fc00"},
        // The bitmap is taken, then the samples are missing.
        {"portable gray map, three samples", "pgm", GrayMapEmpty, 16384, 16384, "Stream read error in PPM file."},
    };
    for (const LimitCase& c : cases) {
        SCOPED_TRACE(c.name);
        const TCountedLoad inside = LoadCounting(c.extension, c.file(c.width, c.height));
        EXPECT_EQ(inside.Outcome({{0, 0}, {c.width - 1, c.height - 1}}), c.inside);
        EXPECT_EQ(LoadError(c.extension, c.file(c.width, c.height + 1)), kTooLarge);
    }
}

// A PCX file whose plane lines are far wider than its pixels: the data (runs of 63 bytes) fills every line, and
// decoding it costs 32 times its size, more than a file of that size may ask; the same rows in lines as wide as the
// pixels need are read.
TEST(SmallReaders, PcxLinesFarWiderThanTheirPixelsAreRefused)
{
    auto file = [](int bytesPerLine) {
        Pcx f{.xMax = 7, .yMax = 1999, .bytesPerLine = bytesPerLine, .paletteType = 2};
        for (int i = 0; i < 2000 * bytesPerLine / 63 + 1; ++i) f.data.insert(f.data.end(), {0xFF, uint8_t(i)});
        f.data.resize(f.data.size() + 769);  // the place of the trailing palette
        return Bytes(f);
    };
    EXPECT_EQ(LoadError("pcx", file(65534)), "Cannot load image. Invalid or unexpected PCX or SCR image format.");
    EXPECT_EQ(Describe(*Load("pcx", file(8)), {{0, 0}, {7, 1999}}), "8x2000/8 00 fd");
}

// Run-length packets chosen by a fixed sequence: bytes below 0xC0 stand for themselves, 0xC0 | n repeats the next
// byte n times (n may be 0).
Bytes PcxPackets(uint32_t seed)
{
    auto next = [&](uint32_t n) { return ((seed = seed * 1103515245u + 12345u) >> 16) % n; };
    TByteWriter w;
    while (w.Size() < 400) {
        if (next(3) == 0) w.U8(next(0xC0));
        else w.U8(0xC0 | next(64)).U8(next(256));
    }
    return w.Bytes;
}

TEST(SmallReaders, PcxRowsDecodedOneAtATimeGiveOneDecoding)
{
    for (uint32_t seed = 1; seed <= 30; ++seed)
        for (int32_t rowBytes : {1, 7, 64, 200}) {
            SCOPED_TRACE(std::to_string(seed) + ", rows of " + std::to_string(rowBytes));
            const Bytes in = PcxPackets(seed);
            const int32_t total = 20 * rowBytes;
            TPCXRLEDecoder whole;
            const Bytes expected = Unpack(whole, in, int32_t(in.size()), total, size_t(total));
            TPCXRLEDecoder rows(true);
            Bytes got(size_t(total), kUnwritten);
            void* source = const_cast<uint8_t*>(in.data());
            for (int32_t at = 0; at < total; at += rowBytes) {
                void* dest = got.data() + at;
                const auto used = static_cast<int32_t>(static_cast<const uint8_t*>(source) - in.data());
                rows.Decode(source, dest, int32_t(in.size()) - used, rowBytes);
            }
            EXPECT_EQ(got, expected);
        }
}

// PackBits packets of the row (runs of 2 to 128, literals of the rest), and with `extra` bytes more or fewer when
// asked (a damaged row, which moves every later sample of the one stream the channels form); ImageMagick ends each row
// with a no-op packet.
Bytes PackRow(const Bytes& row, int extra, bool noOp)
{
    Bytes samples = row;
    samples.resize(size_t(std::max<int>(0, int(row.size()) + extra)), 0x77);
    TByteWriter w;
    for (size_t i = 0; i < samples.size();) {
        size_t run = 1;
        while (i + run < samples.size() && run < 128 && samples[i + run] == samples[i]) ++run;
        if (run >= 2) {
            w.U8(unsigned(257 - run)).U8(samples[i]);
            i += run;
            continue;
        }
        size_t literal = 1;
        while (i + literal < samples.size() && literal < 128 && samples[i + literal] != samples[i + literal - 1])
            ++literal;
        w.U8(unsigned(literal - 1)).Append(Bytes(samples.begin() + long(i), samples.begin() + long(i + literal)));
        i += literal;
    }
    if (noOp) w.U8(0x80);
    return w.Bytes;
}

// RGB Photoshop pictures of several bands of rows (or of rows wider than a band, read in strips) whose PackBits rows
// each unpack to their width, or some of them to more or fewer bytes: each loads as decoding all its data in one call
// into the three planes gives, and holds a band beside the bitmap, not the planes.
TEST(SmallReaders, PhotoshopPlanesAsOneStreamABandAtATime)
{
    const struct {
        const char* name;
        int w, h;
        int (*extra)(int i);  // of packed row i (channel i / h, row i % h)
        bool noOp;
        int64_t band;  // bytes
    } cases[] = {
        {"every row its width", 2000, 300, [](int) { return 0; }, false, 174 * 3 * 2000},
        {"every row its width and a no-op", 2000, 300, [](int) { return 0; }, true, 174 * 3 * 2000},
        {"rows longer and shorter", 2000, 300, [](int i) { return i % 97 == 5 ? 3 : (i % 89 == 7 ? -2 : 0); }, false,
         174 * 3 * 2000},
        {"the last red row longer, into green", 2000, 300, [](int i) { return i == 299 ? 300 : 0; }, true,
         174 * 3 * 2000},
        {"rows wider than a band", 400000, 2, [](int) { return 0; }, true, 349525 * 3},
        {"rows wider than a band, one longer", 400000, 2, [](int i) { return i == 2 ? 1000 : 0; }, false, 349525 * 3},
    };
    for (const auto& [name, w, h, extra, noOp, bandBytes] : cases) {
        SCOPED_TRACE(name);
        Psd f{.rows = h, .columns = w, .compression = 1};
        for (int i = 0; i < 3 * h; ++i) {
            Bytes row(static_cast<size_t>(w));
            for (int x = 0; x < w; ++x) row[size_t(x)] = uint8_t(x / 5 * 7 + i * 3 + (x % 11 == 0 ? 40 : 0));
            if (w > 100000)
                for (int x = 0; x < w; ++x) row[size_t(x)] = uint8_t(x / 200 + i);  // runs: a row's length fits
            const Bytes packed = PackRow(row, extra(i), noOp);
            f.rowLengths.push_back(uint16_t(packed.size()));
            f.image.insert(f.image.end(), packed.begin(), packed.end());
        }
        const TReferenceImage reference = f.SingleStreamRgb();
        const auto picture = Load("psd", f);
        EXPECT_EQ(ComparePixels(*picture, reference), "");
        EXPECT_EQ(picture->SampleBufferBytes, bandBytes);
    }
}

}  // namespace
