// Crafted pictures for the readers of the codec library (all but TIFF): counts
// and offsets that make a reader clear, decode or allocate once per claimed
// item, or far beyond what the file can supply.
#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

#include "hostile_files.h"
#include "support/byte_writer.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::string Str(const Bytes& b) { return std::string(b.begin(), b.end()); }

// ---- Paint Shop Pro (version 5) ---------------------------------------------

Bytes PspBlock(int type, const Bytes& body)
{
    return TByteWriter().Text("~BK").U8(0).LE16(type).LE32(uint32_t(body.size())).Append(body).Bytes;
}

// The file header and the image attributes of an uncompressed picture.
TByteWriter PspHeader(uint32_t width, uint32_t height, int depth)
{
    TByteWriter w;
    w.Text("Paint Shop Pro Image File\n\x1a", 32).LE16(5).LE16(0);
    TByteWriter a;
    a.LE32(46).LE32(width).LE32(height).Fill(8).U8(0).LE16(0).LE16(depth).LE16(depth == 24 ? 3 : 1);
    a.LE32(depth == 24 ? 1u << 24 : 1u << depth).U8(0).Fill(14);
    return w.Append(PspBlock(0, a.Bytes));
}

// A layer bank of one raster layer that claims `channels` channels, of which
// those of the types given are there: blocks without data, each claiming a
// plane of planeSize bytes.
Bytes PspBank(unsigned channels, const std::vector<int>& types, uint32_t planeSize)
{
    TByteWriter layer;
    layer.LE32(4 + 2 + 115).LE16(0).U8(0).Fill(114);
    layer.LE32(8).LE16(1).LE16(channels);
    for (int type : types)
        layer.Append(PspBlock(5, TByteWriter().LE32(16).LE32(0).LE32(planeSize).LE16(0).LE16(unsigned(type)).Bytes));
    return PspBlock(3, PspBlock(4, layer.Bytes));
}

// Three banks, each a raster layer of 65535 channel blocks without data, on a
// 1024 x 1024 colour picture: 5 MB.
std::string MakePspChannelCount()
{
    TByteWriter w = PspHeader(1024, 1024, 24);
    const Bytes bank = PspBank(65535, std::vector<int>(65535, 1), 1024 * 1024);
    for (int i = 0; i < 3; ++i) w.Append(bank);
    return Str(w.Bytes);
}

// 500 small banks, each a raster layer without channels, on a 8192 x 8192
// 8-bit picture: every bank converts the whole picture again.
std::string MakePspLayerBanks()
{
    TByteWriter w = PspHeader(8192, 8192, 8);
    const Bytes bank = PspBank(0, {}, 0);
    for (int i = 0; i < 500; ++i) w.Append(bank);
    return Str(w.Bytes);
}

// One raster layer of four empty channels on a 16384 x 16384 8-bit picture:
// four planes of the picture's size for a file of a few hundred bytes.
std::string MakePspEmptyPlanes()
{
    TByteWriter w = PspHeader(16384, 16384, 8);
    return Str(w.Append(PspBank(4, {0, 1, 2, 3}, 16384u * 16384u)).Bytes);
}

// ---- RLA ---------------------------------------------------------------------

// The header of an RGB picture of the size (bottom row stored first).
TByteWriter RlaHeader(int width, int height)
{
    TByteWriter w;
    // Active window: left 0, right width - 1, bottom -32768, top -32768 + height - 1.
    const unsigned bottom = 0x8000, top = unsigned(-32768 + height - 1) & 0xFFFF;
    w.BE16(0).BE16(width - 1).BE16(bottom).BE16(top);
    w.BE16(0).BE16(width - 1).BE16(bottom).BE16(top);
    w.BE16(1).BE16(0).BE16(3).BE16(0).BE16(0).BE16(0xFFFE).Text("1.0", 16).Fill(528).Text("1.0", 8);
    w.Text("rgb", 32).Fill(46).BE16(8).BE16(0).BE16(8).Fill(76);
    return w;
}

// 65,536 rows whose offsets all name the same three channel records of
// 65,535 bytes of packets that give one byte for two (runs of one byte, or
// literals of one): 460 KB.
std::string RlaSharedRecords(int width, uint8_t header)
{
    TByteWriter w = RlaHeader(width, 65536);
    const uint32_t records = uint32_t(w.Size() + 4 * 65536);
    for (int y = 0; y < 65536; ++y) w.BE32(records);
    for (int c = 0; c < 3; ++c) {
        w.BE16(65535);
        for (int i = 0; i < 65535 / 2; ++i) w.U8(header).U8(0x40);
        w.U8(0);
    }
    return Str(w.Bytes);
}

std::string MakeRlaRowOffsets() { return RlaSharedRecords(64, 0); }
// The same records under rows of 1365 pixels: a bitmap at the 256 MiB limit.
std::string MakeRlaWideRows() { return RlaSharedRecords(1365, 0); }
// Literals of one byte under rows as wide.
std::string MakeRlaWidestRows() { return RlaSharedRecords(1365, 0xFF); }

// Rows of 1365 pixels (a bitmap at the 256 MiB limit) that each start one
// byte further into a run of 0xFE bytes: at any offset the records claim
// 65,278 bytes of literals of two bytes (three bytes for two), and no two
// rows name the same records.
std::string MakeRlaShiftedRows()
{
    TByteWriter w = RlaHeader(1365, 65536);
    const uint32_t region = uint32_t(w.Size() + 4 * 65536);
    for (uint32_t y = 0; y < 65536; ++y) w.BE32(region + y);
    w.Fill(65536 + 3 * (2 + 0xFEFE), 0xFE);
    return Str(w.Bytes);
}

// ---- Photoshop -----------------------------------------------------------------

// A 16-bit CMYK picture of 9456 x 9456 (a bitmap at the 256 MiB limit) whose
// PackBits row lengths are all 0: the unpacked planes would take 715 MB.
std::string MakePsdPackedPlanes()
{
    const uint32_t side = 9456;
    TByteWriter w;
    w.Text("8BPS").BE16(1).Fill(6).BE16(4).BE32(side).BE32(side).BE16(16).BE16(4);
    w.BE32(0).BE32(0).BE32(0).BE16(1);
    w.Fill(size_t(side) * 4 * 2);
    return Str(w.Bytes);
}

// One 16-bit gray row of 268,435,456 pixels (a bitmap at the 256 MiB limit)
// whose packed length is 2 bytes.
std::string MakePsdWideRow()
{
    TByteWriter w;
    w.Text("8BPS").BE16(1).Fill(6).BE16(1).BE32(1).BE32(0x10000000).BE16(16).BE16(1);
    w.BE32(0).BE32(0).BE32(0).BE16(1).BE16(2).List({0x81, 0x12});
    return Str(w.Bytes);
}

// ---- PNG and portable maps ----------------------------------------------------

TByteWriter& PngChunk(TByteWriter& w, const std::string& type, const Bytes& data)
{
    const Bytes body = TByteWriter().Text(type).Append(data).Bytes;
    return w.BE32(uint32_t(data.size())).Append(body).BE32(uint32_t(crc32(0, body.data(), uInt(body.size()))));
}

// One 16-bit RGBA row of 134,217,727 pixels (a 512 MB bitmap) whose image
// data is a stored deflate block of 9 bytes, without its end.
std::string MakePngWideRow()
{
    TByteWriter w;
    w.List({0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A});
    PngChunk(w, "IHDR", TByteWriter().BE32(0x7FFFFFF).BE32(1).List({16, 6, 0, 0, 0}).Bytes);
    PngChunk(w, "IDAT", TByteWriter().List({0x78, 0x01, 0x00, 0x09, 0x00, 0xF6, 0xFF}).Fill(9, 0xFF).Bytes);
    PngChunk(w, "IEND", {});
    return Str(w.Bytes);
}

// A 16-bit colour map of one row of 89,478,485 pixels (a bitmap at the 256 MiB
// limit) and no samples.
std::string MakePpmWideRow() { return "P6\n89478485 1\n65535\n"; }

// ---- SGI -------------------------------------------------------------------------

// A run-length SGI picture of 1024 rows of four channels of 65535 pixels (a
// bitmap at the 256 MiB limit): the header, then the table of row starts
// (each at the end of the tables, or one byte further than the row before)
// and the table of row lengths, each 4 GB.
constexpr uint32_t kSgiWidth = 65535, kSgiRows = 1024 * 4, kSgiData = 512 + 8 * kSgiRows;

TByteWriter SgiTables(bool shifted)
{
    TByteWriter w;
    w.BE16(474).U8(1).U8(1).BE16(3).BE16(kSgiWidth).BE16(1024).BE16(4).PadTo(512);
    for (uint32_t i = 0; i < kSgiRows; ++i) w.BE32(kSgiData + (shifted ? i : 0));
    for (uint32_t i = 0; i < kSgiRows; ++i) w.BE32(0xFFFFFFFF);
    return w;
}

// Every row start naming one packed row that claims 4 GB.
std::string MakeSgiRowTable()
{
    TByteWriter w = SgiTables(false);
    for (uint32_t i = 0; i < kSgiWidth / 127 + 1; ++i) w.U8(127).U8(0x55);
    w.Fill(2 * kSgiWidth);
    return Str(w.Bytes);
}

// Rows that each start one byte further into a run of 0x82 bytes: at any
// offset literals of two samples (three bytes for two), and no two rows name
// the same data.
std::string MakeSgiShiftedRows()
{
    TByteWriter w = SgiTables(true);
    w.Fill(kSgiRows + 2 * kSgiWidth + 2, 0x82);
    return Str(w.Bytes);
}

// The same table naming one row of literals of one sample (two bytes each).
std::string MakeSgiLiteralRows()
{
    TByteWriter w = SgiTables(false);
    for (uint32_t i = 0; i < kSgiWidth + 1; ++i) w.U8(0x81).U8(0x55);
    return Str(w.Bytes);
}

THostileRegistration pspChannelCount{{"psp_channel_count.psp", THostileKind::Picture, MakePspChannelCount}};
THostileRegistration pspLayerBanks{{"psp_layer_banks.psp", THostileKind::Picture, MakePspLayerBanks}};
THostileRegistration pspEmptyPlanes{{"psp_empty_planes.psp", THostileKind::Picture, MakePspEmptyPlanes}};
THostileRegistration rlaRowOffsets{{"rla_row_offsets.rla", THostileKind::Picture, MakeRlaRowOffsets}};
THostileRegistration rlaWideRows{{"rla_wide_rows.rla", THostileKind::Picture, MakeRlaWideRows}};
THostileRegistration rlaWidestRows{{"rla_widest_rows.rla", THostileKind::Picture, MakeRlaWidestRows}};
THostileRegistration rlaShiftedRows{{"rla_shifted_rows.rla", THostileKind::Picture, MakeRlaShiftedRows}};
THostileRegistration psdPackedPlanes{{"psd_packed_planes.psd", THostileKind::Picture, MakePsdPackedPlanes}};
THostileRegistration psdWideRow{{"psd_wide_row.psd", THostileKind::Picture, MakePsdWideRow}};
THostileRegistration pngWideRow{{"png_wide_row.png", THostileKind::Picture, MakePngWideRow}};
THostileRegistration ppmWideRow{{"ppm_wide_row.ppm", THostileKind::Picture, MakePpmWideRow}};
THostileRegistration sgiRowTable{{"sgi_row_table.sgi", THostileKind::Picture, MakeSgiRowTable}};
THostileRegistration sgiLiteralRows{{"sgi_literal_rows.sgi", THostileKind::Picture, MakeSgiLiteralRows}};
THostileRegistration sgiShiftedRows{{"sgi_shifted_rows.sgi", THostileKind::Picture, MakeSgiShiftedRows}};

}  // namespace
