// Crafted Windows bitmaps, icons and JPEG pictures: run-length data that
// walks the column counter past every limit, pictures that claim the largest
// size a bitmap may have with a few bytes of data, and progressive JPEG
// pictures with thousands of scans.
#include <cstdint>
#include <string>

#include "hostile_files.h"

namespace {

void Put16(std::string& b, uint32_t v)
{
    b += static_cast<char>(v & 0xFF);
    b += static_cast<char>((v >> 8) & 0xFF);
}
void Put32(std::string& b, uint32_t v)
{
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}
void PutBE16(std::string& b, uint32_t v)
{
    b += static_cast<char>((v >> 8) & 0xFF);
    b += static_cast<char>(v & 0xFF);
}

// An info header of 40 bytes for an 8-bit RLE picture with a colour table
// of `colours` grey entries after it.
std::string RleInfoHeader(uint32_t width, uint32_t storedHeight, uint32_t colours)
{
    std::string h;
    Put32(h, 40);
    Put32(h, width);
    Put32(h, storedHeight);
    Put16(h, 1);
    Put16(h, 8);
    Put32(h, 1);  // RLE8
    Put32(h, 0);  // image size: up to the end of the file
    Put32(h, 2835);
    Put32(h, 2835);
    Put32(h, colours);
    Put32(h, 0);
    for (uint32_t i = 0; i < colours; ++i) Put32(h, i * 0x010101u);
    return h;
}

std::string BitmapFile(uint32_t width, uint32_t height, const std::string& rle)
{
    const std::string info = RleInfoHeader(width, height, 2);
    std::string f = "BM";
    Put32(f, static_cast<uint32_t>(14 + info.size() + rle.size()));
    Put32(f, 0);
    Put32(f, static_cast<uint32_t>(14 + info.size()));
    return f + info + rle;
}

// An icon file of one image stored as a bitmap (its header holds the
// height of the image and of its mask together).
std::string IconFile(uint32_t width, uint32_t height, const std::string& rle)
{
    std::string f;
    Put16(f, 0);
    Put16(f, 1);
    Put16(f, 1);
    f += static_cast<char>(width & 0xFF);
    f += static_cast<char>(height & 0xFF);
    Put16(f, 0);
    Put16(f, 1);
    Put16(f, 8);
    const std::string image = RleInfoHeader(width, 2 * height, 2) + rle;
    Put32(f, static_cast<uint32_t>(image.size()));
    Put32(f, 22);
    return f + image;
}

// About 8.5 million runs of 255 pixels on a row of 8: the column passes 2^31.
std::string RunOverflowData()
{
    std::string d;
    d.reserve(17000002);
    for (int i = 0; i < 8500000; ++i) d.append("\xFF\x00", 2);
    d.append("\x00\x01", 2);
    return d;
}

// Runs that walk the column to just below 2^31, deltas that carry it round
// to -8, then a run of 8 pixels.
std::string WalkThenDeltaData()
{
    const int64_t runs = 0x7FFFFFFF / 255;
    const int64_t need = (int64_t(1) << 32) - 8 - runs * 255;
    std::string d;
    d.reserve(static_cast<size_t>(runs * 2 + (need / 255 + 1) * 4 + 8));
    for (int64_t i = 0; i < runs; ++i) d.append("\xFF\x00", 2);
    for (int64_t left = need; left > 0; left -= 255) {
        d.append("\x00\x02", 2);
        d += static_cast<char>(left >= 255 ? 255 : left);
        d += '\0';
    }
    d.append("\x08\x01\x00\x01", 4);
    return d;
}

// The largest picture a bitmap may be, from an end of bitmap alone.
const std::string kEndOfBitmap("\x00\x01", 2);

std::string MakeBmpRunOverflow() { return BitmapFile(8, 1, RunOverflowData()); }
std::string MakeBmpWalkThenDelta() { return BitmapFile(8, 1, WalkThenDeltaData()); }
std::string MakeIcoRunOverflow() { return IconFile(8, 1, RunOverflowData()); }
std::string MakeIcoWalkThenDelta() { return IconFile(8, 1, WalkThenDeltaData()); }
std::string MakeBmpBlankHuge() { return BitmapFile(32768, 32768, kEndOfBitmap); }
std::string MakeIcoBlankHuge() { return IconFile(32768, 32768, kEndOfBitmap); }

// Runs that end every row of a tall picture at once: 4 million rows of one
// run of 255 past a row of 8 and an end of line, in 16 MB.
std::string MakeBmpRowsOfLongRuns()
{
    std::string d;
    const int rows = 4000000;
    for (int i = 0; i < rows; ++i) d.append("\xFF\x05\x00\x00", 4);
    return BitmapFile(8, rows, d);
}

// ---- JPEG ------------------------------------------------------------------

// Entropy-coded bits, with a zero byte stuffed after every 0xFF.
struct TBitWriter {
    std::string out;
    uint32_t acc = 0;
    int bits = 0;
    void Put(uint32_t value, int count)
    {
        for (int i = count - 1; i >= 0; --i) {
            acc = (acc << 1) | ((value >> i) & 1);
            if (++bits == 8) Flush();
        }
    }
    void Flush()
    {
        out += static_cast<char>(acc & 0xFF);
        if ((acc & 0xFF) == 0xFF) out += '\0';
        acc = 0;
        bits = 0;
    }
    std::string Done()
    {
        while (bits != 0) Put(1, 1);
        return out;
    }
};

void Marker(std::string& f, int code, const std::string& body)
{
    f += '\xFF';
    f += static_cast<char>(code);
    PutBE16(f, static_cast<uint32_t>(body.size() + 2));
    f += body;
}

// SOI, a table of ones, a one-component frame (SOF0 or SOF2) and Huffman
// tables of one 1-bit code each: category 0 for DC, `acSymbol` for AC.
std::string JpegHead(int frameCode, uint32_t width, uint32_t height, int acSymbol)
{
    std::string f = "\xFF\xD8";
    Marker(f, 0xDB, std::string(1, '\0') + std::string(64, '\x01'));
    std::string sof;
    sof += '\x08';
    PutBE16(sof, height);
    PutBE16(sof, width);
    sof += std::string("\x01\x01\x11\x00", 4);
    Marker(f, frameCode, sof);
    std::string dht;
    dht += '\x00';
    dht += '\x01';
    dht += std::string(15, '\0');
    dht += '\x00';
    dht += '\x10';
    dht += '\x01';
    dht += std::string(15, '\0');
    dht += static_cast<char>(acSymbol);
    Marker(f, 0xC4, dht);
    return f;
}

std::string ScanHeader(int ss, int se)
{
    std::string sos("\x01\x01\x00", 3);
    sos += static_cast<char>(ss);
    sos += static_cast<char>(se);
    sos += '\0';
    std::string f;
    Marker(f, 0xDA, sos);
    return f;
}

// A baseline picture of the largest size a bitmap may hold, with 16 bytes
// of entropy-coded data and no end marker.
std::string MakeJpegHugeLittleData()
{
    return JpegHead(0xC0, 18918, 18918, 0x00) + ScanHeader(0, 63) + std::string(16, '\0');
}

// A progressive 8192 x 8192 grey picture of 20,000 scans; each scan skips
// all its million blocks in 33 runs of end-of-band (about 70 bytes).
std::string MakeJpegManyScans()
{
    const uint32_t side = 8192, blocks = (side / 8) * (side / 8);
    std::string f = JpegHead(0xC2, side, side, 0xE0);
    TBitWriter one;
    for (uint32_t left = blocks; left > 0;) {
        const uint32_t run = left < 32767 ? left : 32767;
        one.Put(0, 1);  // EOB14
        one.Put(run - 16384, 14);
        left -= run;
    }
    const std::string data = one.Done();
    for (int scan = 0; scan < 20000; ++scan) f += ScanHeader(1, 63) + data;
    return f + "\xFF\xD9";
}

// A progressive picture just within libjpeg's memory for coefficients, one
// scan, data for a few blocks.
std::string MakeJpegProgressiveHuge()
{
    return JpegHead(0xC2, 16000, 16000, 0xE0) + ScanHeader(1, 63) + std::string(16, '\0') + "\xFF\xD9";
}

// A CMYK picture of the given side, which goes through a conversion of its
// own, with 16 bytes of data.
std::string JpegCmyk(uint32_t side)
{
    std::string f = "\xFF\xD8";
    Marker(f, 0xDB, std::string(1, '\0') + std::string(64, '\x01'));
    std::string sof("\x08", 1);
    PutBE16(sof, side);
    PutBE16(sof, side);
    sof += '\x04';
    for (int c = 1; c <= 4; ++c) sof += std::string{static_cast<char>(c), '\x11', '\0'};
    Marker(f, 0xC0, sof);
    f += JpegHead(0xC0, 1, 1, 0x00).substr(2 + 69 + 13);  // the Huffman tables only
    std::string sos("\x04", 1);
    for (int c = 1; c <= 4; ++c) sos += std::string{static_cast<char>(c), '\0'};
    sos += std::string("\x00\x3F\x00", 3);
    Marker(f, 0xDA, sos);
    return f + std::string(16, '\0');
}

// Of the largest size a bitmap may hold, and the largest that is decoded
// (two samples for each pixel of the largest bitmap).
std::string MakeJpegCmykHuge() { return JpegCmyk(18918); }
std::string MakeJpegCmykLargestRead() { return JpegCmyk(13376); }

// The largest progressive grey picture whose coefficients and bitmap fit
// together: a first scan of every coefficient and refinements, each
// skipping every block.
std::string JpegProgressiveScans(int scans)
{
    const uint32_t side = 14000, blocks = (side / 8) * (side / 8);
    std::string f = JpegHead(0xC2, side, side, 0xE0);
    TBitWriter one;
    for (uint32_t left = blocks; left > 0;) {
        const uint32_t run = left < 32767 ? left : 32767;
        one.Put(0, 1);
        one.Put(run - 16384, 14);
        left -= run;
    }
    const std::string data = one.Done();
    for (int scan = 0; scan < scans; ++scan) {
        std::string sos("\x01\x01\x00\x01\x3F", 5);
        sos += scan == 0 ? '\x01' : '\x10';
        Marker(f, 0xDA, sos);
        f += data;
    }
    return f + "\xFF\xD9";
}

// Sixteen scans; and four, as many as the picture's size allows.
std::string MakeJpegProgressiveRefinements() { return JpegProgressiveScans(16); }
std::string MakeJpegProgressiveLargestRead() { return JpegProgressiveScans(4); }

// An icon directory of 65,535 entries that all name one 256-colour image
// with the longest colour table a header may claim.
std::string MakeIcoManyEntries()
{
    const uint32_t count = 65535, offset = 6 + 16 * count;
    std::string f;
    Put16(f, 0);
    Put16(f, 1);
    Put16(f, count);
    for (uint32_t i = 0; i < count; ++i) {
        f += std::string("\x10\x10\x00\x00\x01\x00\x08\x00", 8);
        Put32(f, 40 + 1024 + 256 + 64);
        Put32(f, offset);
    }
    std::string info = RleInfoHeader(16, 32, 0);
    info[16] = 0;  // not compressed
    info[32] = 0;
    info[33] = 0;
    info[34] = 1;  // 65,536 colours
    f += info + std::string(1024 + 256 + 64, '\0');
    return f;
}

THostileRegistration bmpRunOverflow{{"bmp_rle8_run_overflow.bmp", THostileKind::Picture, MakeBmpRunOverflow}};
THostileRegistration bmpWalkThenDelta{{"bmp_rle8_walk_then_delta.bmp", THostileKind::Picture, MakeBmpWalkThenDelta}};
THostileRegistration icoRunOverflow{{"ico_rle8_run_overflow.ico", THostileKind::Picture, MakeIcoRunOverflow}};
THostileRegistration icoWalkThenDelta{{"ico_rle8_walk_then_delta.ico", THostileKind::Picture, MakeIcoWalkThenDelta}};
THostileRegistration bmpBlankHuge{{"bmp_rle8_blank_huge.bmp", THostileKind::Picture, MakeBmpBlankHuge}};
THostileRegistration icoBlankHuge{{"ico_rle8_blank_huge.ico", THostileKind::Picture, MakeIcoBlankHuge}};
THostileRegistration bmpRowsOfLongRuns{
    {"bmp_rle8_rows_of_long_runs.bmp", THostileKind::Picture, MakeBmpRowsOfLongRuns}};
THostileRegistration jpegHuge{{"jpeg_huge_little_data.jpg", THostileKind::Picture, MakeJpegHugeLittleData}};
THostileRegistration jpegScans{{"jpeg_many_scans.jpg", THostileKind::Picture, MakeJpegManyScans}};
THostileRegistration jpegCmyk{{"jpeg_cmyk_huge_little_data.jpg", THostileKind::Picture, MakeJpegCmykHuge}};
THostileRegistration jpegRefinements{
    {"jpeg_progressive_refinements.jpg", THostileKind::Picture, MakeJpegProgressiveRefinements}};
THostileRegistration jpegCmykRead{{"jpeg_cmyk_largest_read.jpg", THostileKind::Picture, MakeJpegCmykLargestRead}};
THostileRegistration jpegProgressiveRead{
    {"jpeg_progressive_largest_read.jpg", THostileKind::Picture, MakeJpegProgressiveLargestRead}};
THostileRegistration icoManyEntries{{"ico_many_entries.ico", THostileKind::Picture, MakeIcoManyEntries}};
THostileRegistration jpegProgressive{{"jpeg_progressive_huge.jpg", THostileKind::Picture, MakeJpegProgressiveHuge}};

}  // namespace
