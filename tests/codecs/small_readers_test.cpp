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

}  // namespace
