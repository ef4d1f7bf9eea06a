// Crafted pictures for the readers whose rows are found through tables of
// offsets (SGI, RLA) and for the other small readers: tables of row records
// whose keys all fall into one bucket of a hash, records that overlap so
// that no two rows read the same bytes as the same record, and bitmaps at
// the largest size a picture may take, filled from little data; and
// Photoshop pictures whose packed data is large, or not where its row
// lengths say.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "hostile_files.h"
#include "support/byte_writer.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::string Str(const Bytes& b) { return std::string(b.begin(), b.end()); }

// ---- SGI -------------------------------------------------------------------------

TByteWriter SgiHeader(int bytesPerSample, uint32_t width, uint32_t height, uint32_t channels)
{
    TByteWriter w;
    w.BE16(474).U8(1).U8(bytesPerSample).BE16(3).BE16(width).BE16(height).BE16(channels).PadTo(512);
    return w;
}

// A gray picture of 1 x 65535 whose row records each start at a byte of their
// own and claim a length chosen so that start * 2^32 + length is a multiple
// of 85229 * 42043: the bucket counts a hash table of that many keys passes
// through last. A table that hashes a record by its start and length puts
// every row into one bucket.
std::string MakeSgiRowHash()
{
    constexpr uint32_t rows = 65535;
    constexpr uint64_t modulus = uint64_t(85229) * 42043;
    TByteWriter w = SgiHeader(1, 1, rows, 1);
    for (uint32_t r = 0; r < rows; ++r) w.BE32(1 + r);
    for (uint32_t r = 0; r < rows; ++r) {
        const uint64_t high = ((uint64_t(1 + r) << 32) % modulus);
        w.BE32(uint32_t((modulus - high) % modulus));
    }
    return Str(w.Bytes);
}

// A 16-bit RGBA picture of 8192 x 8192 (a bitmap at the 256 MiB limit) whose
// row records each start one byte further into a run of 0x81 bytes: at any
// offset, literals of one sample (four bytes for two), as long as a row of
// 8192 samples can read. No two rows name the same record, so every one is
// read and decoded: 32,768 records of 32 KB from a file of 300 KB.
std::string MakeSgiOverlappingRecords()
{
    constexpr uint32_t side = 8192, entries = 4 * side, data = 512 + 8 * entries;
    TByteWriter w = SgiHeader(2, side, side, 4);
    for (uint32_t i = 0; i < entries; ++i) w.BE32(data + i);
    for (uint32_t i = 0; i < entries; ++i) w.BE32(2 * side + 2);
    w.Fill(entries + 4 * (2 * side + 2), 0x81);
    return Str(w.Bytes);
}

// ---- RLA -------------------------------------------------------------------------

// The header of a picture of the size with 8 or 16 bits a channel, with or
// without matte (bottom row stored first).
TByteWriter RlaHeader(int width, int height, int bits, bool matte)
{
    TByteWriter w;
    const unsigned bottom = 0x8000, top = unsigned(-32768 + height - 1) & 0xFFFF;
    w.BE16(0).BE16(width - 1).BE16(bottom).BE16(top);
    w.BE16(0).BE16(width - 1).BE16(bottom).BE16(top);
    w.BE16(1).BE16(0).BE16(3).BE16(matte ? 1 : 0).BE16(0).BE16(0xFFFE).Text("1.0", 16).Fill(528).Text("1.0", 8);
    w.Text("rgb", 32).Fill(46).BE16(bits).BE16(0).BE16(bits).Fill(76);
    return w;
}

// 65,536 rows of one pixel taking turns among 1,200 row offsets that are all
// multiples of 2357, the bucket count of a hash table of that many keys: a
// table that hashes a row by its offset puts them all into one bucket. Each
// offset names three records of one run.
std::string MakeRlaRowHash()
{
    constexpr uint32_t rows = 65536, offsets = 1200, step = 2357;
    TByteWriter w = RlaHeader(1, int(rows), 8, false);
    const uint32_t first = uint32_t(w.Size() + 4 * rows) / step + 1;  // the first multiple after the table
    for (uint32_t y = 0; y < rows; ++y) w.BE32(step * (first + y % offsets));
    for (uint32_t k = first; k < first + offsets; ++k) {
        w.PadTo(step * k);
        for (int c = 0; c < 3; ++c) w.BE16(2).U8(0).U8(0x40);
    }
    return Str(w.Bytes);
}

// A 16-bit RGBA picture of 1024 x 65536 (a bitmap at the 256 MiB limit) whose
// rows each start one byte further into a run of 0xFF bytes: at any offset,
// four records of 65,535 bytes of literals of one byte (two bytes for one),
// of which a row reads as much as it can use. No two rows name the same
// records.
std::string MakeRlaOverlappingRecords()
{
    constexpr uint32_t rows = 65536;
    TByteWriter w = RlaHeader(1024, int(rows), 16, true);
    const uint32_t region = uint32_t(w.Size() + 4 * rows);
    for (uint32_t y = 0; y < rows; ++y) w.BE32(region + y);
    w.Fill(rows + 4 * (2 + 0xFFFF), 0xFF);
    return Str(w.Bytes);
}

// ---- bitmaps at the limit, filled from little data ---------------------------------

// A 32-bit run-length Truevision picture of 8192 x 8192 (a bitmap at the
// 256 MiB limit), each row 64 runs of 128 pixels: 2.6 MB.
std::string MakeTgaLargestRuns()
{
    TByteWriter w;
    w.U8(0).U8(0).U8(10).LE16(0).LE16(0).U8(0).LE32(0).LE16(8192).LE16(8192).U8(32).U8(0x20);
    for (int y = 0; y < 8192; ++y)
        for (int i = 0; i < 64; ++i) w.U8(0xFF).LE32(0x01020304u * uint32_t(i + y));
    return Str(w.Bytes);
}

// An 8-bit run-length PCX picture of 16384 x 16384 (a bitmap at the limit),
// runs of 63 bytes across the rows: 8.5 MB.
std::string MakePcxLargestRuns()
{
    TByteWriter w;
    w.U8(10).U8(5).U8(1).U8(8).LE16(0).LE16(0).LE16(16383).LE16(16383).LE16(72).LE16(72).Fill(48);
    w.U8(0).U8(1).LE16(16384).LE16(2).Fill(58);
    for (uint32_t i = 0; i < 16384u * 16384u / 63 + 1; ++i) w.U8(0xFF).U8(i);
    return Str(w.Bytes);
}

// An 8-bit gray PackBits Photoshop picture of 16384 x 16384 (a bitmap at the
// limit), each row 128 runs of 128 bytes: 4 MB.
std::string MakePsdLargestRuns()
{
    TByteWriter w;
    w.Text("8BPS").BE16(1).Fill(6).BE16(1).BE32(16384).BE32(16384).BE16(8).BE16(1);
    w.BE32(0).BE32(0).BE32(0).BE16(1);
    for (int y = 0; y < 16384; ++y) w.BE16(256);
    for (int y = 0; y < 16384; ++y)
        for (int i = 0; i < 128; ++i) w.U8(0x81).U8(y + i);
    return Str(w.Bytes);
}

// An 8-bit run-length PCX picture of 8 x 65535 whose lines claim 65,534 bytes
// each, filled by 36 MB of runs of 63 bytes: the lines' padding is 1.2 GB.
std::string MakePcxPaddedLines()
{
    TByteWriter w;
    w.U8(10).U8(5).U8(1).U8(8).LE16(0).LE16(0).LE16(7).LE16(65534).LE16(72).LE16(72).Fill(48);
    w.U8(0).U8(1).LE16(65534).LE16(2).Fill(58);
    for (uint32_t i = 0; i < 18u << 20; ++i) w.U8(0xFF).U8(i);
    return Str(w.Fill(769).Bytes);
}

// A CUT picture of 16384 x 16384 (a bitmap at the limit), each row runs of
// 127 bytes: 4.3 MB.
std::string MakeCutLargestRows()
{
    TByteWriter w;
    w.LE16(16384).LE16(16384).LE16(0);
    for (int y = 0; y < 16384; ++y) {
        w.LE16(2 * 130 + 1);
        for (int i = 0; i < 130; ++i) w.U8(0xFF).U8(y + i);
        w.U8(0);
    }
    return Str(w.Bytes);
}

// An Autodesk picture of 16384 x 16384 (a bitmap at the limit) without rows.
std::string MakeCelLargestEmpty()
{
    TByteWriter w;
    w.LE16(0x9119).LE16(16384).LE16(16384).LE32(0).U8(8).U8(0).LE32(0).Fill(16).Fill(768, 0x3F);
    return Str(w.Bytes);
}

// ---- Photoshop packed data ---------------------------------------------------------

// The header of a PackBits picture without colour data, resources or layers.
TByteWriter PsdHeader(uint32_t channels, uint32_t width, uint32_t height, uint32_t depth, uint32_t mode)
{
    TByteWriter w;
    w.Text("8BPS").BE16(1).Fill(6).BE16(channels).BE32(height).BE32(width).BE16(depth).BE16(mode);
    w.BE32(0).BE32(0).BE32(0).BE16(1);
    return w;
}

// The header, then `count` rows (of every channel) each packed as `row`, its
// second byte the row's number when varied; the row `longer` has one more
// literal of one byte after it.
std::string PsdRows(TByteWriter header, uint32_t count, Bytes row, bool varied, uint32_t longer = UINT32_MAX)
{
    for (uint32_t r = 0; r < count; ++r) header.BE16(uint32_t(row.size()) + (r == longer ? 2 : 0));
    std::string file = Str(header.Bytes);
    file.reserve(file.size() + size_t(count) * row.size() + 2);
    for (uint32_t r = 0; r < count; ++r) {
        if (varied) row[1] = uint8_t(r);
        file.append(row.begin(), row.end());
        if (r == longer) file.append({'\0', '\x55'});
    }
    return file;
}

// Literal packets of 128 bytes, the last one shorter, for rowBytes bytes
// that do not compress.
Bytes LiteralRow(uint32_t rowBytes)
{
    Bytes row;
    for (uint32_t x = 0; x < rowBytes; x += 128) {
        const uint32_t n = std::min<uint32_t>(128, rowBytes - x);
        row.push_back(uint8_t(n - 1));
        for (uint32_t i = 0; i < n; ++i) row.push_back(uint8_t((x + i) * 7));
    }
    return row;
}

// Runs of 128 bytes, the last one shorter, for rowBytes bytes.
Bytes RunRow(uint32_t rowBytes)
{
    Bytes row;
    for (uint32_t x = 0; x < rowBytes; x += 128)
        row.insert(row.end(), {uint8_t(257 - std::min<uint32_t>(128, rowBytes - x)), uint8_t(x / 3)});
    return row;
}

// 16-bit pictures at the limit (a bitmap of 9458 x 9458 for CMYK, of 16384 x
// 16384 for gray) whose data does not compress: every row literals of 128
// bytes, 721 MB and 541 MB of packed data.
std::string MakePsdIncompressiblePlanes()
{
    return PsdRows(PsdHeader(4, 9458, 9458, 16, 4), 4 * 9458, LiteralRow(2 * 9458), true);
}
std::string MakePsdIncompressibleGray()
{
    return PsdRows(PsdHeader(1, 16384, 16384, 16, 1), 16384, LiteralRow(2 * 16384), true);
}

// A 16-bit CMYK picture at the limit whose rows are each 8,000 no-op bytes:
// 303 MB of data that unpacks to nothing, so that the first plane's decoder
// takes all of it and the planes are not where the row lengths say.
std::string MakePsdNoOpPlanes() { return PsdRows(PsdHeader(4, 9458, 9458, 16, 4), 4 * 9458, Bytes(8000, 0x80), false); }

// A 16-bit CMYK picture at the limit of runs of 128 bytes (11 MB) whose first
// channel holds one packet more than its rows fill: the planes after it are
// not where the row lengths say, which is known only once the first plane
// is unpacked.
std::string MakePsdPlaneEndsEarly()
{
    return PsdRows(PsdHeader(4, 9458, 9458, 16, 4), 4 * 9458, RunRow(2 * 9458), true, 9458 - 1);
}

THostileRegistration sgiRowHash{{"sgi_row_hash.sgi", THostileKind::Picture, MakeSgiRowHash}};
THostileRegistration sgiOverlapping{{"sgi_overlapping_records.sgi", THostileKind::Picture, MakeSgiOverlappingRecords}};
THostileRegistration rlaRowHash{{"rla_row_hash.rla", THostileKind::Picture, MakeRlaRowHash}};
THostileRegistration rlaOverlapping{{"rla_overlapping_records.rla", THostileKind::Picture, MakeRlaOverlappingRecords}};
THostileRegistration tgaLargest{{"tga_largest_runs.tga", THostileKind::Picture, MakeTgaLargestRuns}};
THostileRegistration pcxLargest{{"pcx_largest_runs.pcx", THostileKind::Picture, MakePcxLargestRuns}};
THostileRegistration psdLargest{{"psd_largest_runs.psd", THostileKind::Picture, MakePsdLargestRuns}};
THostileRegistration pcxPadded{{"pcx_padded_lines.pcx", THostileKind::Picture, MakePcxPaddedLines}};
THostileRegistration cutLargest{{"cut_largest_rows.cut", THostileKind::Picture, MakeCutLargestRows}};
THostileRegistration celLargest{{"cel_largest_empty.cel", THostileKind::Picture, MakeCelLargestEmpty}};
THostileRegistration psdIncompressible{
    {"psd_incompressible_planes.psd", THostileKind::Picture, MakePsdIncompressiblePlanes}};
THostileRegistration psdIncompressibleGray{
    {"psd_incompressible_gray.psd", THostileKind::Picture, MakePsdIncompressibleGray}};
THostileRegistration psdNoOpPlanes{{"psd_no_op_planes.psd", THostileKind::Picture, MakePsdNoOpPlanes}};
THostileRegistration psdPlaneEndsEarly{{"psd_plane_ends_early.psd", THostileKind::Picture, MakePsdPlaneEndsEarly}};

}  // namespace
