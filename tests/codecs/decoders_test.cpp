// The decoders on hand-made data: run-length packets of every format, fax codes, ThunderScan nibbles, deflate
// streams, Photo-CD Huffman corrections and the checks of JPEG strips. None may write past its output.
#include <cstdio>
#include <functional>
#include <memory>

#include "codec_test.h"
#include "codecs/deflate_decoder.h"
#include "codecs/pcd_decoder.h"
#include "codecs/thunder_decoder.h"
#include "codecs/tiff_jpeg_decoder.h"
#include "picture_files.h"
#include "platform/rtl/messages.h"
#include "support/byte_writer.h"
#include "support/zlib_stream.h"

namespace {

constexpr uint8_t E = kUnwritten;  // a byte the decoder did not write

TEST(Decoders, RunLengthPackets)
{
    using D = std::shared_ptr<TDecoder>;
    auto targa = [](int depth) -> D { return std::make_shared<TTargaRLEDecoder>(depth); };
    const D packBits = std::make_shared<TPackbitsRLEDecoder>(), pcx = std::make_shared<TPCXRLEDecoder>(),
            sgi8 = std::make_shared<TSGIRLEDecoder>(8), sgi16 = std::make_shared<TSGIRLEDecoder>(16),
            cut = std::make_shared<TCUTRLEDecoder>(), psp = std::make_shared<TPSPRLEDecoder>(),
            rla = std::make_shared<TRLADecoder>();
    const struct {
        const char* name;
        D decoder;
        Bytes input;
        int32_t unpacked;
        size_t size;
        Bytes expected;
        ptrdiff_t moved = -1;  // -1: not checked
    } cases[] = {
        {"Truevision depth 12 decodes nothing", targa(12), {0x81, 1, 2}, 2, 2, {E, E}},
        {"Truevision run longer than the output", targa(32), {0xFF, 1, 2, 3, 4}, 1, 4, {1, 2, 3, 4}},
        {"Truevision literal longer than the input", targa(24), {0x7F, 1, 2, 3, 4}, 10, 6, {1, 2, 3, E, E, E}},
        {"Truevision run without its whole pixel", targa(24), {0x80, 1, 2}, 1, 3, {E, E, E}},
        {"PackBits -128 skipped", packBits, {0x80, 0x01, 7, 8}, 2, 2, {7, 8}},
        {"PackBits no-op bytes of any number",
         packBits,
         Join({Bytes(9, 0x80), {0x00, 7}, Bytes(16, 0x80), {0xFE, 9}, Bytes(23, 0x80), {0x01, 1, 2}, Bytes(8, 0x80)}),
         6,
         7,
         {7, 9, 9, 9, 1, 2, E}},
        {"PackBits literal past the input", packBits, {0x7F, 1, 2}, 100, 4, {1, 2, E, E}},
        {"PackBits repeat past the output", packBits, {0x81, 9}, 3, 4, {9, 9, 9, E}},
        {"PackBits repeat without its byte", packBits, {0xF0}, 3, 3, {E, E, E}},
        {"PCX run past the output", pcx, {0xC5, 0x07}, 2, 3, {7, 7, E}},
        {"PCX run of 0 takes two bytes", pcx, {0xC0, 0x01, 0x02}, 1, 1, {2}},
        {"PCX input ends inside a run", pcx, {0xC3}, 3, 3, {E, E, E}},
        {"SGI without its closing zero", sgi8, {0x7F, 0x44}, 3, 3, {0x44, 0x44, 0x44}},
        {"CUT row ends at its zero", cut, {0x05, 0x00, 0x83, 0x09, 0x00}, 3, 4, {9, 9, 9, E}, 5},
        {"CUT literal past the row", cut, {0x00, 0x00, 0x02, 7, 8, 0x00}, 1, 2, {7, E}, 6},
        {"CUT literal past the input", cut, {0x00, 0x00, 0x05, 1}, 5, 5, {1, E, E, E, E}, 4},
        {"Paint Shop Pro repeat clipped", psp, {0xFF, 5}, 3, 3, {5, 5, 5}},
        {"Paint Shop Pro literal past the input", psp, {0x10, 1, 2}, 9, 3, {1, 2, E}},
        {"RLA repeat clipped", rla, {0x7F, 0x07}, 3, 3, {7, 7, 7}},
        {"RLA literal past the input", rla, {0x80, 1}, 9, 2, {1, E}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ptrdiff_t moved = 0;
        EXPECT_EQ(Unpack(*c.decoder, c.input, int32_t(c.input.size()), c.unpacked, c.size, &moved), c.expected);
        if (c.moved >= 0) { EXPECT_EQ(moved, c.moved); }
    }
}

TEST(Decoders, FaxCodes)
{
    const struct {
        const char* name;
        bool group3;
        uint32_t width;
        TFaxBits input;
        Bytes expected;
    } cases[] = {
        {"white 0, then one black pixel", false, 8, TFaxBits().Put(0x35, 8).Put(0x2, 3).Run(true, 7), {0x80}},
        {"make-up 64 and 3 form one run",
         false,
         80,
         TFaxBits().Run(true, 0).Code(false, 64).Code(false, 3).Run(true, 13),
         {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xE0, 0x00}},
        {"rows of width 10 start on the next byte",
         false,
         10,
         TFaxBits().Run(true, 2).Run(false, 8).Align().Run(true, 2).Run(false, 8),
         {0x3F, 0xC0, 0x3F, 0xC0}},
        {"empty input", false, 16, {}, {0, 0, 0, 0}},
        {"empty input, group 3", true, 16, {}, {0, 0, 0, 0}},
        {"run longer than its row",
         false,
         12,
         TFaxBits().Run(true, 0).Run(false, 2660).Align().Run(true, 12),
         {0xFF, 0xF0, 0x00, 0x00}},
        {"run longer than its row, group 3",
         true,
         12,
         TFaxBits().Eol().Run(true, 0).Run(false, 100).Eol().Run(true, 4).Run(false, 8),
         {0xFF, 0xF0, 0x0F, 0xF0}},
        {"an end-of-line cuts a row short",
         true,
         16,
         TFaxBits().Eol().Run(true, 0).Run(false, 4).Eol().Run(true, 8).Run(false, 8),
         {0xF0, 0x00, 0x00, 0xFF}},
    };
    for (const auto& c : cases) {
        std::unique_ptr<TDecoder> d;
        if (c.group3) d = std::make_unique<TCCITTFax3Decoder>(0, false, false, c.width);
        else d = std::make_unique<TCCITTMHDecoder>(0, false, false, c.width);
        const Bytes& in = c.input.bytes;
        EXPECT_EQ(Unpack(*d, in, int32_t(in.size()), int32_t(c.expected.size()), c.expected.size()), c.expected)
            << c.name;
    }
    // Reversed bits are turned in the caller's buffer; garbage stays within the output.
    TCCITTMHDecoder decoder(0, true, false, 8);
    Bytes turned = {0x01, 0x80, 0x35}, out(4), junk(4096);
    void* src = turned.data();
    void* dst = out.data();
    decoder.Decode(src, dst, 3, 4);
    EXPECT_EQ(turned, (Bytes{0x80, 0x01, 0xAC}));
    for (size_t i = 0; i < junk.size(); ++i) junk[i] = uint8_t((i * 1103515245u + 12345u) >> 7);
    for (uint32_t width : {1u, 7u, 100u, 3000u}) {
        TCCITTMHDecoder mh(0, false, false, width), aligned(0, false, true, width);
        TCCITTFax3Decoder fax3(0, false, false, width);
        for (TDecoder* d : std::initializer_list<TDecoder*>{&mh, &aligned, &fax3}) Unpack(*d, junk, 4096, 37, 37);
        Unpack(fax3, Bytes(300, 0), 300, 37, 37);
    }
}

// ThunderScan rows: runs and deltas, a row ending in mid-byte, the next row afresh; and bounds.
TEST(Decoders, ThunderScanNibbles)
{
    Bytes junk(500);
    for (size_t i = 0; i < junk.size(); ++i) junk[i] = uint8_t(i * 37);
    for (auto [input, rowSize, expected] : {std::tuple{Bytes{0xC5, 0x43}, 2, Bytes{0x55, 0x54}},
                                            {Bytes{0xC7, 0x03}, 2, Bytes{0x77, 0x77}},
                                            {Bytes{0xC1, 0xC2, 0x03, 0xC9}, 3, Bytes{0x12, 0x22, 0x29}},
                                            {Bytes{0xC4, 0x62}, 1, Bytes{0x44}},
                                            {Bytes{0xC8, 0x9C, 0xAA}, 2, Bytes{0x8B, 0x8A}},
                                            {Bytes{0xC1, 0xC2, 0xC3, 0x55}, 1, Bytes{0x12}},
                                            {Bytes{0xC3, 0x3F, 0xC1, 0xC2}, 2, Bytes{0x33, 0x33, 0x12, E}},
                                            {Bytes{0xC5}, 0, Bytes{E, E, E}},
                                            {Bytes{}, 4, Bytes(8, E)},
                                            {junk, 3, Bytes(7, 0)}}) {
        TThunderDecoder d(rowSize);
        const Bytes out = Unpack(d, input, int32_t(input.size()), int32_t(expected.size()), expected.size());
        if (input == junk) continue;  // of junk, only that it stays within the output
        EXPECT_EQ(out, expected);
    }
}

// A failed inflate stays without the automatic reset and is forgotten with it; decoding before the start or after the
// end does nothing; output goes no further than asked.
TEST(Decoders, Deflate)
{
    const Bytes good = ZlibCompress({1, 2, 3, 4, 5}, 6), bad = {0x78, 0x9C, 0xFF, 0xFF, 0xFF, 0xFF},
                bomb = ZlibCompress(Bytes(1 << 20, 0), 6);
    for (bool reset : {false, true}) {
        TLZ77Decoder d(Z_PARTIAL_FLUSH, reset);
        EXPECT_EQ(Unpack(d, good, int32_t(good.size()), 5, 5), Bytes(5, E));
        d.DecodeInit();
        Unpack(d, bad, int32_t(bad.size()), 5, 5);
        EXPECT_EQ(d.Status(), Z_DATA_ERROR);
        EXPECT_EQ(Unpack(d, good, int32_t(good.size()), 5, 5), (reset ? Bytes{1, 2, 3, 4, 5} : Bytes(5, E)));
        EXPECT_EQ(std::tuple(d.Status(), d.AvailableInput(), d.AvailableOutput()),
                  std::tuple(reset ? Z_STREAM_END : Z_DATA_ERROR, reset ? 0u : uint32_t(good.size()), reset ? 0u : 5u));
        d.DecodeEnd();
        d.DecodeEnd();
        EXPECT_EQ(Unpack(d, good, int32_t(good.size()), 5, 5), Bytes(5, E));
    }
    TLZ77Decoder finish(Z_FINISH, false);
    finish.DecodeInit();
    EXPECT_EQ(Unpack(finish, bomb, int32_t(bomb.size()), 10, 10), Bytes(10, 0));
}

// Photo-CD correction data: Huffman tables, then rows after sync headers.
struct PhotoCDBits {
    TFaxBits bits;
    PhotoCDBits& Code(uint32_t value, int length)
    {
        bits.Put(value, length);
        return *this;
    }
    // A row header: the sync pattern, then the plane and the row number.
    PhotoCDBits& Row(uint32_t row, uint32_t plane) { return Code(0xFFFFFE, 24).Code(plane << 14 | row << 1, 16); }
};

struct PhotoCDCode {  // its length, its bits left-aligned, the correction
    int length;
    uint16_t bits;
    uint8_t key;
};

// The planes after decoding: luma of `rows` rows and two chroma planes of half as many, all filled with 100.
std::vector<Bytes> DecodePhotoCD(const std::vector<std::vector<PhotoCDCode>>& tables, const PhotoCDBits& data,
                                 int width, int rows)
{
    TByteWriter w;
    for (const auto& t : tables) {
        w.U8(unsigned(t.size() - 1));
        for (const PhotoCDCode& c : t) w.U8(c.length - 1).BE16(c.bits).U8(c.key);
    }
    w.U8(0).Append(data.bits.bytes).PadTo((w.Size() / 2048 + 2) * 2048);
    const size_t chroma = size_t(width) * ((rows + 1) / 2);
    std::vector<Bytes> planes = {Bytes(size_t(width) * rows, 100), Bytes(chroma, 100), Bytes(chroma, 100)};
    TMemoryStream s(w.Bytes.data(), w.Size());
    TPCDDecoder decoder(s);
    uint8_t* pointers[3] = {planes[0].data(), planes[1].data(), planes[2].data()};
    void* source = pointers;
    void* dest = nullptr;
    decoder.Decode(source, dest, width, rows);
    return planes;
}

TEST(Decoders, PhotoCDCorrections)
{
    const std::vector<PhotoCDCode> table = {{1, 0x0000, 1}, {2, 0x8000, 0xF0}, {3, 0xC000, 0x05}};  // +1, -16, +5
    // Codes correct their row's samples, clamped; a row past the plane and codes past a row change nothing.
    auto p = DecodePhotoCD({table},
                           PhotoCDBits()
                               .Row(1, 0)
                               .Code(0b0, 1)
                               .Code(0b10, 2)
                               .Code(0b110, 3)
                               .Code(0, 8)
                               .Row(7, 0)
                               .Code(0, 10)
                               .Row(0, 0)
                               .Code(0, 6)
                               .Row(2, 0),
                           4, 2);
    EXPECT_EQ(p[0], (Bytes{101, 101, 101, 101, 101, 84, 105, 101}));
    // "111" matches no code: the rest up to the next header is skipped.
    p = DecodePhotoCD(
        {table}, PhotoCDBits().Row(0, 0).Code(0b0, 1).Code(0b111, 3).Code(0, 17).Row(1, 0).Code(0b110, 3).Row(2, 0), 4,
        2);
    EXPECT_EQ(p[0], (Bytes{101, 100, 100, 100, 105, 100, 100, 100}));
    // Wide rows read three tables, one a plane; chroma rows are halved. At 1536 there is one table, for the luma.
    const std::vector<std::vector<PhotoCDCode>> three = {{{1, 0x0000, 2}}, {{1, 0x8000, 3}}, {{2, 0x4000, 0xFF}}};
    for (int width : {3072, 1536}) {
        p = DecodePhotoCD(three,
                          PhotoCDBits().Row(3, 2).Code(0b1, 1).Row(0, 3).Code(0b01, 2).Row(0, 0).Code(0b0, 1).Row(4, 0),
                          width, 4);
        EXPECT_EQ(p[0][0], 102);
        EXPECT_EQ(p[1][size_t(width)], width > 1536 ? 103 : 100);
        EXPECT_EQ(p[2][0], width > 1536 ? 99 : 100);
    }
    // Plane code 1 and a code longer than 16 bits end decoding; a stream without its last header raises the read
    // error.
    EXPECT_EQ(DecodePhotoCD({table}, PhotoCDBits().Row(0, 1).Code(0, 1).Row(0, 0).Code(0, 1).Row(2, 0), 4, 2)[0][0],
              100);
    EXPECT_EQ(DecodePhotoCD({{{1, 0, 1}, {17, 0x8000, 1}}}, PhotoCDBits().Row(0, 0).Code(0, 1).Row(2, 0), 4, 2)[0][0],
              100);
    EXPECT_THROW(DecodePhotoCD({table}, PhotoCDBits().Row(0, 0).Code(0, 1), 4, 2), EReadError);
}

// The properties of a picture of interleaved 8-bit samples in one strip, as changed.
TImageProperties Strip(uint32_t w, uint32_t h, uint8_t samples,
                       const std::function<void(TImageProperties&)>& change = {})
{
    TImageProperties p;
    p.Width = w;
    p.Height = h;
    p.SamplesPerPixel = samples;
    p.BitsPerSample = 8;
    p.BitsPerPixel = uint8_t(8 * samples);
    p.ColorScheme = samples == 3 ? csRGB : csG;
    p.PlanarConfig = 1;
    p.RowsPerStrip = {h};
    p.BytesPerLine = w * samples;
    if (change) change(p);
    return p;
}

TEST(Decoders, JpegStripsMustMatchThePicture)
{
    const Bytes gray = EncodeJpeg(16, 8, 1), subsampled = EncodeJpeg(16, 8, 3, 2, 2), full = EncodeJpeg(128, 128, 1);
    const struct {
        TImageProperties properties;
        Bytes strip;
        int32_t unpacked;
        const char* error;
    } cases[] = {
        {Strip(16, 8, 1), gray, 16 * 8, ""},
        {Strip(16, 32, 1), EncodeJpeg(16, 64, 1), 16 * 32, "Improper JPEG strip/tile size."},
        {Strip(16, 20, 1, [](auto& p) { p.RowsPerStrip = {8}; }), gray, 16 * 8,
         ""},  // rows per strip bound a strip's rows
        {Strip(16, 8, 3), gray, 48 * 8, "Improper JPEG component count."},
        {Strip(16, 8, 1, [](auto& p) { p.BitsPerSample = 12; }), gray, 16 * 8, "Improper JPEG data precision."},
        {Strip(16, 8, 3), subsampled, 48 * 8, "Improper JPEG sampling factors."},
        {Strip(16, 8, 3,
               [](auto& p) {
                   p.ColorScheme = csYCbCr;
                   p.YCbCrSubSampling = {2, 2};
               }),
         subsampled, 48 * 8, ""},
        {Strip(16, 8, 1), gray, 100, "Fractional JPEG scanline unsupported."},
        {Strip(16, 8, 1, [&](auto& p) { p.JPEGTables = gray; }), gray, 16 * 8,
         "Bogus JPEG tables field."},                                                       // a whole image
        {Strip(16, 8, 1), {1, 2, 3, 4}, 16 * 8, "Not a JPEG file: starts with 0x01 0x02"},  // libjpeg's own reason
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        TImageProperties p = cases[i].properties;
        TTIFFJPEGDecoder decoder(&p);
        std::string error;
        try {
            decoder.DecodeInit();
            Unpack(decoder, cases[i].strip, int32_t(cases[i].strip.size()), cases[i].unpacked,
                   size_t(cases[i].unpacked));
        } catch (const ECodecCompression& e) {
            error = e.what();
        }
        EXPECT_EQ(error, cases[i].error) << i;
    }
    // A strip cut short shows a warning and keeps the rows decoded so far.
    TRecordingSink sink;
    TScopedMessageSink scoped(sink);
    TImageProperties p = Strip(128, 128, 1);
    TTIFFJPEGDecoder whole(&p), cut(&p);
    whole.DecodeInit();
    cut.DecodeInit();
    const Bytes all = Unpack(whole, full, int32_t(full.size()), 128 * 128, 128 * 128);
    EXPECT_EQ(std::pair(sink.messages.size(), whole.BytesPerRow()), std::pair(size_t(0), 128u));
    const Bytes part = Unpack(cut, full, int32_t(full.size() * 4 / 5), 128 * 128, 128 * 128);
    ASSERT_FALSE(sink.messages.empty());
    EXPECT_EQ(std::tuple(sink.messages[0].text, sink.messages[0].caption, sink.messages[0].icon),
              std::tuple("JPEG decompression error. Unexpected end of input.", "Warning", TMsgIcon::Warning));
    EXPECT_EQ(Head(part, 128 * 16), Head(all, 128 * 16));
}

// How a decoder goes on with a strip where its last call stopped.
enum class TResume {
    MovedSource,  // Decode again from the moved Source
    FaxNext,      // DecodeNext
    JpegRows,     // ReadRows between StartStrip and EndStrip
};

// Decodes `rows` rows of rowBytes bytes `piece` rows at a time (with guard bytes after them, which must stay
// untouched).
Bytes DecodeInPieces(TDecoder& d, TResume how, Bytes input, size_t rowBytes, size_t rows, size_t piece)
{
    Bytes out(rowBytes * rows + 8, E);
    uint8_t* in = input.data();
    auto left = int32_t(input.size());
    auto* jpeg = dynamic_cast<TTIFFJPEGDecoder*>(&d);
    if (how == TResume::JpegRows) jpeg->StartStrip(in, left);
    for (size_t r = 0; r < rows; r += piece) {
        uint8_t* dest = out.data() + r * rowBytes;
        const auto size = int32_t(std::min(piece, rows - r) * rowBytes);
        void* source = in;
        void* target = dest;
        if (how == TResume::JpegRows) jpeg->ReadRows(dest, size);
        else if (how == TResume::FaxNext && r > 0) dynamic_cast<TCCITTDecoder&>(d).DecodeNext(dest, size);
        else d.Decode(source, target, left, size);
        left -= int32_t(static_cast<uint8_t*>(source) - in);
        in = static_cast<uint8_t*>(source);
    }
    if (how == TResume::JpegRows) jpeg->EndStrip();
    for (size_t i = rowBytes * rows; i < out.size(); ++i) EXPECT_EQ(out[i], E) << "written past the output at " << i;
    return Head(out, rowBytes * rows);
}

// A strip decoded a few rows at a time, each call going on where the last one stopped, gives the bytes of one
// Decode: packets cut by a piece's end, a deflate stream, fax rows and their end-of-line codes, ThunderScan rows and
// JPEG scanlines.
TEST(Decoders, StripsDecodeInPieces)
{
    Bytes ramp(1000);
    for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = uint8_t(i * 7 / 10);
    const Bytes deflate = ZlibCompress(ramp, 6), jpeg = EncodeJpeg(16, 40, 1);
    const Bytes packBits = {0xFC, 7, 0x03, 1, 2, 3, 4, 0xFE, 9, 0x80, 0x01, 5, 6, 0x05, 8};  // the last literal cut
    const TFaxBits group3 = TFaxBits()
                                .Eol()
                                .Run(true, 3)
                                .Run(false, 9)
                                .Eol()
                                .Run(true, 12)
                                .Eol()
                                .Run(true, 2)
                                .Run(false, 1)
                                .Eol()
                                .Run(true, 4)
                                .Run(false, 8);  // the row after a row cut short by an end-of-line code starts at once
    const TFaxBits huffman = TFaxBits()
                                 .Run(true, 1)
                                 .Run(false, 9)
                                 .Align()
                                 .Put(0, 8)  // word alignment
                                 .Run(true, 10)
                                 .Align()
                                 .Run(true, 0)
                                 .Run(false, 4)
                                 .Run(true, 6);
    TImageProperties properties = Strip(16, 40, 1);
    using D = std::shared_ptr<TDecoder>;
    const struct {
        const char* name;
        D whole, pieces;
        TResume how;
        Bytes input;
        size_t rowBytes, rows, piece;
    } cases[] = {
        {"PackBits", std::make_shared<TPackbitsRLEDecoder>(), std::make_shared<TPackbitsRLEDecoder>(true),
         TResume::MovedSource, packBits, 2, 8, 1},
        {"PackBits, pieces of 3 rows", std::make_shared<TPackbitsRLEDecoder>(),
         std::make_shared<TPackbitsRLEDecoder>(true), TResume::MovedSource, packBits, 2, 8, 3},
        {"deflate", std::make_shared<TLZ77Decoder>(Z_PARTIAL_FLUSH, false),
         std::make_shared<TLZ77Decoder>(Z_PARTIAL_FLUSH, false), TResume::MovedSource, deflate, 10, 100, 7},
        {"Group 3 fax", std::make_shared<TCCITTFax3Decoder>(0, false, false, 12),
         std::make_shared<TCCITTFax3Decoder>(0, false, false, 12), TResume::FaxNext, group3.bytes, 2, 5, 1},
        {"word-aligned modified Huffman", std::make_shared<TCCITTMHDecoder>(0, false, true, 10),
         std::make_shared<TCCITTMHDecoder>(0, false, true, 10), TResume::FaxNext, huffman.bytes, 2, 4, 1},
        {"ThunderScan",
         std::make_shared<TThunderDecoder>(2),
         std::make_shared<TThunderDecoder>(2),
         TResume::MovedSource,
         {0xC3, 0x3F, 0xC1, 0xC2, 0x45, 0xC9},
         2,
         4,
         1},
        {"JPEG", std::make_shared<TTIFFJPEGDecoder>(&properties), std::make_shared<TTIFFJPEGDecoder>(&properties),
         TResume::JpegRows, jpeg, 16, 40, 6},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        c.whole->DecodeInit();
        c.pieces->DecodeInit();
        const Bytes whole =
            Unpack(*c.whole, c.input, int32_t(c.input.size()), int32_t(c.rowBytes * c.rows), c.rowBytes * c.rows);
        EXPECT_EQ(DecodeInPieces(*c.pieces, c.how, c.input, c.rowBytes, c.rows, c.piece), whole);
        EXPECT_NE(whole, Bytes(whole.size(), 0));
    }
    // A new PackBits stream forgets the packet the last one left.
    TPackbitsRLEDecoder carry(true);
    Unpack(carry, {0xF0, 3}, 2, 4, 4);
    carry.DecodeInit();
    EXPECT_EQ(Unpack(carry, {0x00, 5}, 2, 2, 2), (Bytes{5, E}));
}

// A PackBits decoder that goes on from where another one stands in a stream (in a run, in a literal, between
// packets), whether that one decoded or passed over what came before, gives what the other one would give from there.
TEST(Decoders, PackBitsGoesOnFromAnotherDecoder)
{
    Bytes input = {0xFC, 7, 0x03, 1, 2, 3, 4, 0xFE, 9, 0x80, 0x01, 5, 6, 0x05, 8};  // the last literal cut
    TPackbitsRLEDecoder one(true);
    const Bytes whole = Unpack(one, input, int32_t(input.size()), 16, 16);
    EXPECT_EQ(whole, (Bytes{7, 7, 7, 7, 7, 1, 2, 3, 4, 9, 9, 9, 5, 6, 8, E}));
    for (bool skip : {false, true})
        for (int32_t at = 0; at <= 16; ++at) {
            TPackbitsRLEDecoder first(true), second(true);
            Bytes out(16, E);
            void* source = input.data();
            void* dest = out.data();
            if (skip) first.Skip(source, int32_t(input.size()), at);
            else first.Decode(source, dest, int32_t(input.size()), at);
            second.ContinueFrom(first);
            const auto left = int32_t(input.data() + input.size() - static_cast<uint8_t*>(source));
            dest = out.data() + at;
            second.Decode(source, dest, left, 16 - at);
            const Bytes expected =
                Join({skip ? Bytes(size_t(at), E) : Head(whole, size_t(at)), Bytes(whole.begin() + at, whole.end())});
            EXPECT_EQ(out, expected) << (skip ? "passed over to " : "decoded to ") << at;
        }
}

}  // namespace
