// Crafted Windows bitmaps, icons and JPEG pictures: run-length data that
// walks the column counter past every limit, pictures that claim the largest
// size a bitmap may have with a few bytes of data, progressive JPEG pictures
// with thousands of scans or restarts, icons of many entries, and the same
// JPEG data inside TIFF strips.
#include <cstdint>
#include <string>
#include <vector>

#include "hostile_files.h"
#include "support/byte_writer.h"
#include "support/jpeg_writer.h"
#include "support/rle8_walks.h"
#include "support/tiff_writer.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::string Str(const Bytes& b) { return std::string(b.begin(), b.end()); }

// An info header of 40 bytes for an 8-bit RLE picture with a colour table
// of `colours` grey entries after it.
Bytes RleInfoHeader(uint32_t width, uint32_t storedHeight, uint32_t colours)
{
    TByteWriter h;
    h.LE32(40).LE32(width).LE32(storedHeight).LE16(1).LE16(8);
    h.LE32(1);  // RLE8
    h.LE32(0);  // image size: up to the end of the file
    h.LE32(2835).LE32(2835).LE32(colours).LE32(0);
    for (uint32_t i = 0; i < colours; ++i) h.LE32(i * 0x010101u);
    return h.Bytes;
}

std::string BitmapFile(uint32_t width, uint32_t height, const std::string& rle)
{
    const Bytes info = RleInfoHeader(width, height, 2);
    TByteWriter f;
    f.Text("BM").LE32(static_cast<uint32_t>(14 + info.size() + rle.size())).LE32(0);
    f.LE32(static_cast<uint32_t>(14 + info.size())).Append(info);
    return Str(f.Bytes) + rle;
}

// An icon file of one image stored as a bitmap (its header holds the
// height of the image and of its mask together).
std::string IconFile(uint32_t width, uint32_t height, const std::string& rle)
{
    const Bytes info = RleInfoHeader(width, 2 * height, 2);
    TByteWriter f;
    f.LE16(0).LE16(1).LE16(1).U8(width & 0xFF).U8(height & 0xFF).LE16(0).LE16(1).LE16(8);
    f.LE32(static_cast<uint32_t>(info.size() + rle.size())).LE32(22).Append(info);
    return Str(f.Bytes) + rle;
}

// Runs of 255 pixels on a row of 8 whose column passes 2^31, then the end
// of the bitmap.
std::string RunOverflowData() { return Str(Rle8RunsPast2To31()) + std::string("\x00\x01", 2); }

// The column walked round to -8, then a run of 8 pixels and the end of the
// bitmap.
std::string WalkThenDeltaData() { return Str(Rle8WalkRoundToMinus8()) + std::string("\x08\x01\x00\x01", 4); }

// The largest picture a bitmap may be, from an end of bitmap alone.
const std::string kEndOfBitmap("\x00\x01", 2);

std::string MakeBmpRunOverflow() { return BitmapFile(8, 1, RunOverflowData()); }
std::string MakeBmpWalkThenDelta() { return BitmapFile(8, 1, WalkThenDeltaData()); }
std::string MakeIcoRunOverflow() { return IconFile(8, 1, RunOverflowData()); }
std::string MakeIcoWalkThenDelta() { return IconFile(8, 1, WalkThenDeltaData()); }
std::string MakeBmpBlankHuge() { return BitmapFile(32768, 32768, kEndOfBitmap); }
std::string MakeIcoBlankHuge() { return IconFile(32768, 32768, kEndOfBitmap); }
// The largest 8-bit pictures whose bitmap fits (an icon's with its mask),
// from an end of bitmap alone: the whole bitmap is made and cleared.
std::string MakeBmpBlankLargest() { return BitmapFile(16384, 16384, kEndOfBitmap); }
std::string MakeIcoBlankLargest() { return IconFile(16384, 14563, kEndOfBitmap); }

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

// A picture of one gray component.
TJpegFile Gray(bool progressive, uint32_t side, int acSymbol)
{
    return TJpegFile(progressive, int(side), int(side), {{1, 0x11}}, acSymbol);
}

// Entropy-coded data of an AC scan that skips `blocks` blocks in runs of
// end-of-band (EOB14, the AC code 0 for the symbol 0xE0).
Bytes SkipBlocks(uint32_t blocks)
{
    TJpegBits bits;
    for (uint32_t left = blocks; left > 0;) {
        const uint32_t run = left < 32767 ? left : 32767;
        bits.Put(0, 1);
        bits.Put(run - 16384, 14);
        left -= run;
    }
    return bits.Done();
}

// A baseline picture of the largest size a bitmap may hold, with 16 bytes
// of entropy-coded data and no end marker.
std::string MakeJpegHugeLittleData()
{
    return Str(Gray(false, 18918, 0x00).Scan({1}, 0, 63, 0, Bytes(16, 0)).Unended());
}

// A progressive 8192 x 8192 grey picture of 20,000 scans; each scan skips
// all its million blocks in 33 runs of end-of-band (about 70 bytes).
std::string MakeJpegManyScans()
{
    const uint32_t side = 8192;
    TJpegFile f = Gray(true, side, 0xE0);
    const Bytes data = SkipBlocks((side / 8) * (side / 8));
    for (int scan = 0; scan < 20000; ++scan) f.Scan({1}, 1, 63, 0, data);
    return Str(f.Done());
}

// A progressive picture of 16000 x 16000 pixels (its bitmap is refused), one
// scan, data for a few blocks.
std::string MakeJpegProgressiveHuge() { return Str(Gray(true, 16000, 0xE0).Scan({1}, 1, 63, 0, Bytes(16, 0)).Done()); }

// A CMYK picture of the given side, which goes through a conversion of its
// own, with 16 bytes of data.
std::string JpegCmyk(uint32_t side)
{
    TJpegFile f(false, int(side), int(side), {{1, 0x11}, {2, 0x11}, {3, 0x11}, {4, 0x11}}, 0x00);
    return Str(f.Scan({1, 2, 3, 4}, 0, 63, 0, Bytes(16, 0)).Unended());
}

// Of 18918 x 18918 pixels (a gigabyte of bitmap, refused), and of 13376 x
// 13376 (refused too).
std::string MakeJpegCmykHuge() { return JpegCmyk(18918); }
std::string MakeJpegCmykLargestRead() { return JpegCmyk(13376); }

// A progressive grey picture of 14000 x 14000 pixels (its bitmap is
// refused): a first scan of every coefficient and refinements, each
// skipping every block.
std::string JpegProgressiveScans(int scans)
{
    const uint32_t side = 14000;
    TJpegFile f = Gray(true, side, 0xE0);
    const Bytes data = SkipBlocks((side / 8) * (side / 8));
    for (int scan = 0; scan < scans; ++scan) f.Scan({1}, 1, 63, scan == 0 ? 0x01 : 0x10, data);
    return Str(f.Done());
}

// Sixteen scans; and four.
std::string MakeJpegProgressiveRefinements() { return JpegProgressiveScans(16); }
std::string MakeJpegProgressiveLargestRead() { return JpegProgressiveScans(4); }

// An icon directory of 65,535 entries that all name one 256-colour image
// with the longest colour table a header may claim.
std::string MakeIcoManyEntries()
{
    const uint32_t count = 65535, offset = 6 + 16 * count;
    TByteWriter f;
    f.LE16(0).LE16(1).LE16(count);
    for (uint32_t i = 0; i < count; ++i)
        f.List({0x10, 0x10, 0x00, 0x00, 0x01, 0x00, 0x08, 0x00}).LE32(40 + 1024 + 256 + 64).LE32(offset);
    Bytes info = RleInfoHeader(16, 32, 0);
    info[16] = 0;  // not compressed
    info[32] = 0;
    info[33] = 0;
    info[34] = 1;  // 65,536 colours
    return Str(f.Append(info).Fill(1024 + 256 + 64).Bytes);
}

// ---- JPEG at the largest bitmap -------------------------------------------

// The largest square bitmap that fits: 9458 x 9458 pixels at 24 bits.
constexpr int kLargestSide = 9458;

// The picture whose decoder needs the most memory of all whose bitmap fits:
// four components, each sampled 4 x 4 and so padded to MCUs of 32 x 32
// pixels, 65500 pixels wide; one DC scan of each and no data.
std::string MakeJpegLargestDecoder()
{
    TJpegFile f(true, 65500, 1366, {{1, 0x44}, {2, 0x44}, {3, 0x44}, {4, 0x44}}, 0x00);
    for (int id = 1; id <= 4; ++id) f.Scan({id}, 0, 0, 0, {});
    return Str(f.Done());
}

// A CMYK picture of the largest bitmap with 2,000 DC scans of its four
// components, which walk all its blocks again each time (16 bytes a scan).
std::string MakeJpegCmykManyScans()
{
    TJpegFile f(true, kLargestSide, kLargestSide, {{1, 0x11}, {2, 0x11}, {3, 0x11}, {4, 0x11}}, 0x00);
    for (int i = 0; i < 2000; ++i) f.Scan({1, 2, 3, 4}, 0, 0, 0, {});
    return Str(f.Done());
}

// A grey picture of the largest bitmap with a restart after every block and
// 2,000 AC scans without data: each scan resynchronises at every block.
std::string MakeJpegRestartEveryBlock()
{
    Bytes file = Gray(true, kLargestSide, 0x00).Unended();
    file.insert(file.end(), {0xFF, 0xDD, 0x00, 0x04, 0x00, 0x01});
    for (int i = 0; i < 2000; ++i)
        file.insert(file.end(), {0xFF, 0xDA, 0x00, 0x08, 0x01, 0x01, 0x00, 0x01, 0x3F, 0x00});
    file.insert(file.end(), {0xFF, 0xD9});
    return Str(file);
}

// A million DC scans of one chroma component of one block: each scan is
// cheap, and there is a scan for every 12 bytes of the file.
std::string MakeJpegTinyScans()
{
    TJpegFile f(true, 8, 8, {{1, 0x11}, {2, 0x11}, {3, 0x11}}, 0x00);
    TJpegBits dc;
    dc.Put(0, 1);
    const Bytes data = dc.Done();
    for (int i = 0; i < 1000000; ++i) f.Scan({2}, 0, 0, 0, data);
    return Str(f.Done());
}

// ---- icons ------------------------------------------------------------------

// 65,535 entries, each naming an image of its own whose header follows the
// one before it, and whose 256-colour table is the headers after it: every
// entry's header and table are read.
std::string MakeIcoEntriesOverlapping()
{
    const uint32_t count = 65535, first = 6 + 16 * count;
    TByteWriter f;
    f.LE16(0).LE16(1).LE16(count);
    for (uint32_t i = 0; i < count; ++i)
        f.List({16, 16, 0, 0, 1, 0, 8, 0}).LE32(40 + 1024 + 256 + 64).LE32(first + 40 * i);
    Bytes info = RleInfoHeader(16, 32, 0);
    info[16] = 0;  // not compressed
    for (uint32_t i = 0; i < count; ++i) f.Append(info);
    return Str(f.Fill(1024 + 256 + 64).Bytes);
}

// ---- JPEG in TIFF strips ------------------------------------------------------

// One 2048 x 4096 grey strip of 5,000 progressive AC scans without data.
std::string MakeTiffJpegStripManyScans()
{
    TJpegFile f(true, 2048, 4096, {{1, 0x11}}, 0x00);
    for (int i = 0; i < 5000; ++i) f.Scan({1}, 1, 63, 0, {});
    const Bytes jpeg = f.Done();
    TTiffWriter w;
    const uint32_t at = w.Append(jpeg);
    w.Picture(2048, 4096, 8, 1, 1, 7).Tag(278, TTiffWriter::Long, 1, 4096);
    w.Tag(273, TTiffWriter::Long, 1, at).Tag(279, TTiffWriter::Long, 1, static_cast<uint32_t>(jpeg.size()));
    return Str(w);
}

// 8,000,000 one-row strips of 8 grey pixels whose offsets and byte counts
// take a byte each, all naming one JPEG stream: a set-up of libjpeg for
// every two bytes of the file.
std::string MakeTiffJpegByteOffsets()
{
    constexpr uint32_t kStrips = 8000000;
    const Bytes jpeg = TinyJpeg();
    TTiffWriter w;
    const uint32_t at = w.Append(jpeg);
    w.Picture(8, kStrips, 8, 1, 1, 7).Tag(278, TTiffWriter::Long, 1, 1);
    w.Values(273, TTiffWriter::Byte, std::vector<uint32_t>(kStrips, at));
    w.Values(279, TTiffWriter::Byte, std::vector<uint32_t>(kStrips, static_cast<uint32_t>(jpeg.size())));
    return Str(w);
}

THostileRegistration bmpRunOverflow{{"bmp_rle8_run_overflow.bmp", THostileKind::Picture, MakeBmpRunOverflow}};
THostileRegistration bmpWalkThenDelta{{"bmp_rle8_walk_then_delta.bmp", THostileKind::Picture, MakeBmpWalkThenDelta}};
THostileRegistration icoRunOverflow{{"ico_rle8_run_overflow.ico", THostileKind::Picture, MakeIcoRunOverflow}};
THostileRegistration icoWalkThenDelta{{"ico_rle8_walk_then_delta.ico", THostileKind::Picture, MakeIcoWalkThenDelta}};
THostileRegistration bmpBlankHuge{{"bmp_rle8_blank_huge.bmp", THostileKind::Picture, MakeBmpBlankHuge}};
THostileRegistration icoBlankHuge{{"ico_rle8_blank_huge.ico", THostileKind::Picture, MakeIcoBlankHuge}};
THostileRegistration bmpBlankLargest{{"bmp_rle8_blank_largest.bmp", THostileKind::Picture, MakeBmpBlankLargest}};
THostileRegistration icoBlankLargest{{"ico_rle8_blank_largest.ico", THostileKind::Picture, MakeIcoBlankLargest}};
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
THostileRegistration jpegLargestDecoder{{"jpeg_largest_decoder.jpg", THostileKind::Picture, MakeJpegLargestDecoder}};
THostileRegistration jpegCmykManyScans{{"jpeg_cmyk_many_scans.jpg", THostileKind::Picture, MakeJpegCmykManyScans}};
THostileRegistration jpegRestarts{{"jpeg_restart_every_block.jpg", THostileKind::Picture, MakeJpegRestartEveryBlock}};
THostileRegistration jpegTinyScans{{"jpeg_tiny_scans.jpg", THostileKind::Picture, MakeJpegTinyScans}};
THostileRegistration icoOverlapping{{"ico_entries_overlapping.ico", THostileKind::Picture, MakeIcoEntriesOverlapping}};
THostileRegistration tiffJpegScans{
    {"tiff_jpeg_strip_many_scans.tif", THostileKind::Picture, MakeTiffJpegStripManyScans}};
THostileRegistration tiffJpegByteOffsets{
    {"tiff_jpeg_byte_offsets.tif", THostileKind::Picture, MakeTiffJpegByteOffsets}};

}  // namespace
