// Crafted pictures for the PNG and Paint Shop Pro readers: chunks and blocks
// whose handling costs far more than their bytes, and reads that a length
// field sends out of the structure they belong to.
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "hostile_files.h"
#include "support/byte_writer.h"
#include "support/zlib_stream.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::string Str(const Bytes& b) { return std::string(b.begin(), b.end()); }

// ---- PNG ----------------------------------------------------------------------

TByteWriter& Chunk(TByteWriter& w, const std::string& type, const Bytes& data)
{
    const Bytes body = TByteWriter().Text(type).Append(data).Bytes;
    return w.BE32(uint32_t(data.size())).Append(body).BE32(uint32_t(crc32(0, body.data(), uInt(body.size()))));
}

TByteWriter PngStart(uint32_t width, uint32_t height, int depth, int colorType, int interlace = 0)
{
    TByteWriter w;
    w.List({0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A});
    Chunk(w, "IHDR", TByteWriter().BE32(width).BE32(height).List({depth, colorType, 0, 0, interlace}).Bytes);
    return w;
}

// The image data and the end of a 1 x 1 picture of one byte per row.
std::string PngFinish(TByteWriter& w)
{
    Chunk(w, "IDAT", ZlibCompress({0, 0x80}, 9));
    return Str(Chunk(w, "IEND", {}).Bytes);
}

Bytes Gamma(uint32_t value) { return TByteWriter().BE32(value).Bytes; }

// 65,536 gamma chunks of alternating values before the image data of a 1 x 1
// gray picture: 1 MB.
std::string MakePngGammaChunks()
{
    TByteWriter w = PngStart(1, 1, 8, 0);
    for (uint32_t i = 0; i < 65536; ++i) Chunk(w, "gAMA", Gamma(45455 + (i & 1)));
    return PngFinish(w);
}

// Gamma and one-entry palette chunks in turn before the image data of a
// 1 x 1 indexed picture: every palette is made through a new gamma table.
std::string MakePngGammaPalettes()
{
    TByteWriter w = PngStart(1, 1, 8, 3);
    for (uint32_t i = 0; i < 36000; ++i) {
        Chunk(w, "gAMA", Gamma(45455 + (i & 1)));
        Chunk(w, "PLTE", {1, 2, 3});
    }
    return PngFinish(w);
}

// 87,000 empty palette chunks of a 2-bit indexed picture, each spread over
// the sixteen entries of a 4-bit bitmap.
std::string MakePngPaletteChunks()
{
    TByteWriter w = PngStart(1, 1, 2, 3);
    for (uint32_t i = 0; i < 87000; ++i) Chunk(w, "PLTE", {});
    return PngFinish(w);
}

// The image data of a picture of zeros: `bits` bits a pixel, interlaced
// (Adam7: every pass row with its filter byte) or not.
Bytes ZeroImage(uint64_t width, uint64_t height, unsigned bits, bool interlaced)
{
    static const int startRow[7] = {0, 0, 4, 0, 2, 0, 1}, startColumn[7] = {0, 4, 0, 2, 0, 1, 0};
    static const int rowStep[7] = {8, 8, 8, 4, 4, 2, 2}, columnStep[7] = {8, 8, 4, 4, 2, 2, 1};
    TDeflater d(9);
    for (int p = interlaced ? 0 : 6; p < 7; ++p) {
        const uint64_t step = interlaced ? columnStep[p] : 1, start = interlaced ? startColumn[p] : 0;
        const uint64_t passWidth = (width + step - 1 - start) / step;
        const uint64_t rows = interlaced ? (height + rowStep[p] - 1 - startRow[p]) / rowStep[p] : height;
        if (passWidth) d.Zeros(rows * ((passWidth * bits + 7) / 8 + 1));
    }
    return d.Finish();
}

// A valid picture of zeros whose bitmap takes 256 MiB.
std::string PngOfZeros(uint32_t width, uint32_t height, int depth, int colorType, bool interlaced)
{
    static const unsigned samples[7] = {1, 0, 3, 1, 2, 0, 4};
    TByteWriter w = PngStart(width, height, depth, colorType, interlaced);
    Chunk(w, "IDAT", ZeroImage(width, height, unsigned(depth) * samples[colorType], interlaced));
    return Str(Chunk(w, "IEND", {}).Bytes);
}

// Bilevel, 65,536 x 32,768 and interlaced: every pass row is converted into a
// scan line of the full width.
std::string MakePngInterlacedBilevel() { return PngOfZeros(65536, 32768, 1, 0, true); }
// 4-bit gray, 32,768 x 16,384 and interlaced.
std::string MakePngInterlacedGray4() { return PngOfZeros(32768, 16384, 4, 0, true); }
// 2-bit gray, 32,768 x 16,384, widened to a 4-bit bitmap pixel by pixel.
std::string MakePngGray2() { return PngOfZeros(32768, 16384, 2, 0, false); }
// 8-bit indexed, 16,384 x 16,384 and interlaced.
std::string MakePngInterlacedIndexed8()
{
    TByteWriter w = PngStart(16384, 16384, 8, 3, 1);
    Chunk(w, "PLTE", {0, 0, 0});
    Chunk(w, "IDAT", ZeroImage(16384, 16384, 8, true));
    return Str(Chunk(w, "IEND", {}).Bytes);
}
// 8-bit gray, one pixel wide and 67,108,864 rows tall (each scan line takes
// 4 bytes): a row of the image data costs its inflating, unfiltering and
// converting set-up.
std::string MakePngTallGray8() { return PngOfZeros(1, 1u << 26, 8, 0, false); }
std::string MakePngTallInterlaced() { return PngOfZeros(1, 1u << 26, 8, 0, true); }
// 16-bit RGBA, 8,192 x 8,192: 512 MB of samples in one deflate stream.
std::string MakePngRgba16Limit() { return PngOfZeros(8192, 8192, 16, 6, false); }
std::string MakePngInterlacedRgba16() { return PngOfZeros(8192, 8192, 16, 6, true); }

// A 1 x 1 picture whose image data goes on to 256 MB of zeros in 1,000
// chunks: what the picture does not need is read, never inflated.
std::string MakePngDataPastTheImage()
{
    TByteWriter w = PngStart(1, 1, 8, 0);
    const Bytes data = TDeflater(9).Zeros(uint64_t(1) << 28).Finish();
    const size_t piece = data.size() / 1000 + 1;
    for (size_t at = 0; at < data.size(); at += piece)
        Chunk(w, "IDAT", Bytes(data.begin() + long(at), data.begin() + long(std::min(data.size(), at + piece))));
    return Str(Chunk(w, "IEND", {}).Bytes);
}

// ---- Paint Shop Pro (version 5) -------------------------------------------------

Bytes Block(int type, const Bytes& body)
{
    return TByteWriter().Text("~BK").U8(0).LE16(unsigned(type)).LE32(uint32_t(body.size())).Append(body).Bytes;
}

TByteWriter PspStart(uint32_t width, uint32_t height, int depth)
{
    TByteWriter w;
    w.Text("Paint Shop Pro Image File\n\x1a", 32).LE16(5).LE16(0);
    TByteWriter a;
    a.LE32(46).LE32(width).LE32(height).Fill(8).U8(0).LE16(0).LE16(unsigned(depth));
    a.LE16(depth == 24 ? 3 : 1).LE32(depth == 24 ? 1u << 24 : 1u << depth).U8(0).Fill(14);
    return w.Append(Block(0, a.Bytes));
}

// The layer information chunk of a raster layer without a name.
Bytes RasterLayerInfo() { return TByteWriter().LE32(4 + 2 + 115).LE16(0).U8(0).Fill(114).Bytes; }

// 3,355 layer banks whose bitmap information chunk claims to run to the end
// of the file, where one list of 19,230 channel blocks without data lies:
// every bank reads the whole list. 1 MB.
std::string MakePspSharedChannels()
{
    const uint32_t banks = 3355, channels = 19230;
    TByteWriter w = PspStart(64, 64, 24);
    const size_t bankBytes = 10 + 10 + 121 + 8;
    const size_t listStart = w.Size() + banks * bankBytes;
    for (uint32_t b = 0; b < banks; ++b) {
        const size_t infoStart = w.Size() + bankBytes - 8;
        TByteWriter layer;
        layer.Append(RasterLayerInfo()).LE32(uint32_t(listStart - infoStart)).LE16(1).LE16(channels);
        w.Append(Block(3, Block(4, layer.Bytes)));
    }
    const Bytes channel = Block(5, TByteWriter().LE32(16).LE32(0).LE32(4096).LE16(0).LE16(1).Bytes);
    for (uint32_t c = 0; c < channels; ++c) w.Append(channel);
    return Str(w.Bytes);
}

// 100,000 palette blocks that hold a count of 256 entries and no entries:
// every block reads a kilobyte of the blocks after it and makes a palette.
// 1.8 MB.
std::string MakePspPaletteBlocks()
{
    TByteWriter w = PspStart(64, 64, 8);
    const Bytes palette = Block(2, TByteWriter().LE32(8).LE32(256).Bytes);
    for (int i = 0; i < 100000; ++i) w.Append(palette);
    return Str(w.Bytes);
}

// A valid RGB picture with transparency of 8,192 x 8,192 pixels (a 32-bit
// bitmap of 256 MiB), its four channels deflate-compressed zeros.
std::string MakePspRgbaLimit()
{
    const uint32_t side = 8192;
    TByteWriter w = PspStart(side, side, 24);
    w.Bytes[36 + 10 + 4 + 16 + 1] = 2;  // LZ77 compression
    const Bytes plane = TDeflater(9).Zeros(uint64_t(side) * side).Finish();
    TByteWriter layer;
    layer.Append(RasterLayerInfo()).LE32(8).LE16(1).LE16(4);
    for (int type : {1, 2, 3, 0}) {
        TByteWriter c;
        c.LE32(16).LE32(uint32_t(plane.size())).LE32(side * side).LE16(0).LE16(unsigned(type)).Append(plane);
        layer.Append(Block(5, c.Bytes));
    }
    return Str(w.Append(Block(3, Block(4, layer.Bytes))).Bytes);
}

THostileRegistration pngGammaChunks{{"png_gamma_chunks.png", THostileKind::Picture, MakePngGammaChunks}};
THostileRegistration pngGammaPalettes{{"png_gamma_palettes.png", THostileKind::Picture, MakePngGammaPalettes}};
THostileRegistration pngPaletteChunks{{"png_palette_chunks.png", THostileKind::Picture, MakePngPaletteChunks}};
THostileRegistration pngDataPastTheImage{
    {"png_data_past_the_image.png", THostileKind::Picture, MakePngDataPastTheImage}};
THostileRegistration pngInterlacedBilevel{
    {"png_interlaced_bilevel.png", THostileKind::Picture, MakePngInterlacedBilevel}};
THostileRegistration pngInterlacedGray4{{"png_interlaced_gray4.png", THostileKind::Picture, MakePngInterlacedGray4}};
THostileRegistration pngGray2{{"png_gray2_limit.png", THostileKind::Picture, MakePngGray2}};
THostileRegistration pngInterlacedIndexed8{
    {"png_interlaced_indexed8.png", THostileKind::Picture, MakePngInterlacedIndexed8}};
THostileRegistration pngTallGray8{{"png_tall_gray8.png", THostileKind::Picture, MakePngTallGray8}};
THostileRegistration pngTallInterlaced{{"png_tall_interlaced.png", THostileKind::Picture, MakePngTallInterlaced}};
THostileRegistration pngRgba16Limit{{"png_rgba16_limit.png", THostileKind::Picture, MakePngRgba16Limit}};
THostileRegistration pngInterlacedRgba16{{"png_interlaced_rgba16.png", THostileKind::Picture, MakePngInterlacedRgba16}};
THostileRegistration pspSharedChannels{{"psp_shared_channels.psp", THostileKind::Picture, MakePspSharedChannels}};
THostileRegistration pspPaletteBlocks{{"psp_palette_blocks.psp", THostileKind::Picture, MakePspPaletteBlocks}};
THostileRegistration pspRgbaLimit{{"psp_rgba_limit.psp", THostileKind::Picture, MakePspRgbaLimit}};

}  // namespace
