// Pictures whose counts, offsets and sizes claim far more than their data: the work and the sample buffers a load
// takes follow the data that is there (the bytes read, the buffer bytes reported), and the picture comes out as its
// data says.
#include "codecs/decoders.h"
#include "codecs/pcd_decoder.h"
#include "picture_files.h"

namespace {

// Loads of files whose sample buffers are reported: what Describe gives of the points (or the message of the error that
// loading raises), and the buffer's bytes.
struct TBufferCase {
    const char* name;
    const char* extension;
    Bytes file;
    std::vector<std::pair<int, int>> points;
    std::string expected;
    int64_t bufferBytes;
};

void CheckBuffers(const std::vector<TBufferCase>& cases)
{
    for (const TBufferCase& c : cases) {
        SCOPED_TRACE(c.name);
        const TCountedLoad load = LoadCounting(c.extension, c.file);
        EXPECT_EQ(load.Outcome(c.points), c.expected);
        EXPECT_EQ(load.picture->SampleBufferBytes, c.bufferBytes);
    }
}

// ---- Paint Shop Pro (version 5) ---------------------------------------------

Bytes PspBlock(int type, const Bytes& body)
{
    return TByteWriter().Text("~BK").U8(0).LE16(type).LE32(uint32_t(body.size())).Append(body).Bytes;
}

struct PspChannel {
    int type;
    Bytes data;  // as stored
};

// A bank of one raster layer holding the channels given.
Bytes PspBank(const std::vector<PspChannel>& channels)
{
    TByteWriter layer;
    layer.LE32(4 + 2 + 115).LE16(0).U8(0).Fill(114).LE32(8).LE16(1).LE16(unsigned(channels.size()));
    for (const PspChannel& c : channels)
        layer.Append(PspBlock(
            5, TByteWriter().LE32(16).LE32(uint32_t(c.data.size())).LE32(0).LE16(0).LE16(c.type).Append(c.data).Bytes));
    return PspBlock(3, PspBlock(4, layer.Bytes));
}

// A 32 x 32 colour picture (channels stored plain or run-length) of the banks given.
Bytes PspPicture(int compression, const std::vector<Bytes>& banks)
{
    TByteWriter w, a;
    w.Text("Paint Shop Pro Image File\n\x1a", 32).LE16(5).LE16(0);
    a.LE32(46).LE32(32).LE32(32).Fill(8).U8(0).LE16(compression).LE16(24).LE16(3).LE32(1u << 24).U8(0).Fill(14);
    w.Append(PspBlock(0, a.Bytes));
    for (const Bytes& bank : banks) w.Append(bank);
    return w.Bytes;
}

// `count` channels of the type, each a plane of red given by value(i) (channel i).
std::vector<PspChannel> Repeated(int count, int type, size_t size, uint8_t (*value)(int))
{
    std::vector<PspChannel> channels;
    for (int i = 0; i < count; ++i) channels.push_back({type, Bytes(size, value(i))});
    return channels;
}

uint8_t Nothing(int) { return 0; }
uint8_t Counted(int i) { return uint8_t(1 + i % 200); }

}  // namespace

TEST(HostilePictures, RunLengthDecodersStopWhenTheOutputIsFull)
{
    TPSPRLEDecoder psp;
    TRLADecoder rla;
    const struct {
        const char* name;
        TDecoder& decoder;
        Bytes input;
        int32_t unpacked;
        Bytes expected;
        int32_t left;  // input bytes not consumed
    } cases[] = {
        {"Paint Shop Pro runs", psp, {0x82, 5, 0x82, 6, 0x01, 7}, 2, {5, 5}, 4},
        {"Paint Shop Pro literal", psp, {0x02, 1, 2, 0x81, 9}, 2, {1, 2}, 2},
        {"Paint Shop Pro input ends first", psp, {0x10, 1, 2}, 9, Join({{1, 2}, Bytes(7, kUnwritten)}), 0},
        {"Paint Shop Pro nothing wanted", psp, {0x81, 9}, 0, {}, 2},
        {"RLA runs", rla, {0x01, 7, 0x01, 8}, 2, {7, 7}, 2},
        {"RLA literal", rla, {0xFE, 1, 2, 0x00, 3}, 2, {1, 2}, 2},
        {"RLA input ends first", rla, {0x00, 4}, 3, {4, kUnwritten, kUnwritten}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Unpack(c.decoder, c.input, int32_t(c.input.size()), c.unpacked, c.expected.size()), c.expected);
        const int32_t left = &c.decoder == &psp ? psp.AvailableInput() : rla.AvailableInput();
        EXPECT_EQ(left, c.left);
    }
}

// Rows made of packets of one byte each cost two input bytes a pixel; the decoders take them eight at a time, with
// the same output as one at a time, up to the end of the input or of the output.
TEST(HostilePictures, PacketsOfOneByteDecodeAsOneAtATime)
{
    Bytes rla, sgi, expected;
    for (int i = 0; i < 20; ++i) {
        rla.insert(rla.end(), {uint8_t(i % 3 ? 0x00 : 0xFF), uint8_t(i)});
        sgi.insert(sgi.end(), {uint8_t(i % 3 ? 0x01 : 0x81), uint8_t(i)});
        expected.push_back(uint8_t(i));
    }
    auto first = [&](size_t n) { return Head(expected, n); };
    const Bytes run3 = {7, 7, 7};
    TRLADecoder rlaDecoder;
    TSGIRLEDecoder sgiDecoder(8);
    const struct {
        const char* name;
        TDecoder& decoder;
        Bytes input;
        int32_t unpacked;
        Bytes output;
    } cases[] = {
        {"RLA, then a run of three", rlaDecoder, Join({rla, {0x02, 7}}), 23, Join({expected, run3})},
        {"RLA output ends inside the eight", rlaDecoder, rla, 13, first(13)},
        {"RLA input ends inside the eight", rlaDecoder, Head(rla, 27), 20, Join({first(13), Bytes(7, kUnwritten)})},
        {"SGI, then a run of three and the end", sgiDecoder, Join({sgi, {0x03, 7, 0x00, 0x01, 9}}), 24,
         Join({expected, run3, {kUnwritten}})},
        {"SGI output ends inside the eight", sgiDecoder, sgi, 13, first(13)},
        {"SGI input ends inside the eight", sgiDecoder, Head(sgi, 27), 20, Join({first(13), Bytes(7, kUnwritten)})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Unpack(c.decoder, c.input, int32_t(c.input.size()), c.unpacked, c.output.size()), c.output);
    }
    EXPECT_EQ(rlaDecoder.AvailableInput(), 1);  // of the last RLA case: the header whose byte is cut off
}

// Packets of up to 16 bytes are stored without a library call: every length stores exactly its bytes.
TEST(HostilePictures, ShortPacketsStoreTheirBytes)
{
    for (int count = 1; count <= 20; ++count) {
        SCOPED_TRACE(count);
        Bytes literal;
        for (int i = 0; i < count; ++i) literal.push_back(uint8_t(10 + i));
        const Bytes run(size_t(count), 7);
        TRLADecoder rla;
        TSGIRLEDecoder sgi(8);
        const struct {
            TDecoder& decoder;
            Bytes input;
            Bytes output;
        } cases[] = {
            {rla, Join({{uint8_t(-count)}, literal, {uint8_t(count - 1), 7}}), Join({literal, run})},
            {sgi, Join({{uint8_t(0x80 | count)}, literal, {uint8_t(count), 7, 0}}), Join({literal, run})},
        };
        for (const auto& c : cases) {
            const int32_t size = int32_t(c.output.size());
            EXPECT_EQ(Unpack(c.decoder, c.input, int32_t(c.input.size()), size, c.output.size()), c.output);
        }
    }
}

// A channel replaces an earlier one of its type and a layer bank's raster layer the one before it: those replaced
// are passed over, and planes take what their data can fill, the rest black.
TEST(HostilePictures, PaintShopProChannelsCostWhatTheirDataFills)
{
    const Bytes runs = {0xFF, 9, 0xFF, 9};  // 254 bytes of 9
    CheckBuffers({
        {"600 empty channel blocks in each of three banks",
         "psp",
         PspPicture(0, std::vector<Bytes>(3, PspBank(Repeated(600, 1, 0, Nothing)))),
         {{0, 0}, {31, 31}},
         "32x32/32 00000000 00000000",  // more than three channels: with transparency
         0},
        {"red replaced 300 times",
         "psp",
         PspPicture(0, {PspBank(Repeated(300, 1, 1024, Counted))}),
         {{0, 0}, {31, 31}},
         "32x32/32 64000000 64000000",
         1024},
        {"three banks",
         "psp",
         PspPicture(0, {PspBank({{1, Bytes(1024, 10)}}), PspBank({{1, Bytes(1024, 20)}, {2, Bytes(1024, 5)}}),
                        PspBank({{1, Bytes(1024, 30)}})}),
         {{0, 0}, {31, 31}},
         "32x32/24 1e0000 1e0000",
         1024},
        {"a plain channel of 100 bytes: 4 rows",
         "psp",
         PspPicture(0, {PspBank({{3, Bytes(100, 7)}})}),
         {{0, 0}, {3, 3}, {4, 3}, {0, 4}, {31, 31}},
         "32x32/24 000007 000007 00 00 00",
         128},
        {"a run-length channel of 4 bytes: 8 rows",
         "psp",
         PspPicture(1, {PspBank({{2, runs}})}),
         {{0, 0}, {29, 7}, {30, 7}, {0, 8}, {31, 31}},
         "32x32/24 000900 000900 00 00 00",
         256},
    });
    // Of 300 channels of one type only the last one's data is read: the others cost their 26-byte headers.
    const auto many = LoadCounting("psp", PspPicture(0, {PspBank(Repeated(300, 1, 1024, Counted))}));
    const auto one = LoadCounting("psp", PspPicture(0, {PspBank(Repeated(1, 1, 1024, Counted))}));
    EXPECT_EQ(many.error, "");
    EXPECT_EQ(one.error, "");
    EXPECT_EQ(many.bytesRead - one.bytesRead, 299 * 26);
}

// Planes are unpacked a band of rows at a time, and no more rows than their packed data can fill (a PackBits packet of
// two bytes gives at most 128) and the first beyond, which comes out as zeros stored would, full ink for CMYK, as do
// the rows after it.
TEST(HostilePictures, PhotoshopPlanesFollowThePackedData)
{
    Psd redRows{.rows = 64, .columns = 64, .compression = 1, .rowLengths = std::vector<uint16_t>(3 * 64, 0)};
    redRows.rowLengths[0] = redRows.rowLengths[1] = 2;
    redRows.image = {0xC1, 0x50, 0xC1, 0x50};  // two rows of 64 bytes of 0x50
    CheckBuffers({
        {"16-bit CMYK without packed data",
         "psd",
         Psd{.channels = 4,
             .rows = 64,
             .columns = 64,
             .depth = 16,
             .mode = 4,
             .compression = 1,
             .rowLengths = std::vector<uint16_t>(4 * 64, 0)},
         {{0, 0}, {63, 63}},
         "64x64/24 00 00",
         4 * 128},  // one row of each plane
        {"RGB with two packed rows of red",
         "psd",
         redRows,
         {{0, 0}, {63, 1}, {0, 2}, {0, 4}, {63, 63}},
         "64x64/24 500000 500000 00 00 00",
         5 * 3 * 64},
    });
}

// The row buffers of a PNG picture take what its image data fills: a header may claim rows of many megabytes.
TEST(HostilePictures, PngRowBuffersFollowTheImageData)
{
    // 16-bit RGBA rows of 8 bytes a pixel: 101 bytes of the first row of a picture 4,000,000 pixels wide, in a zlib
    // stream without its closing check (the data ends there).
    Bytes row(101, 0xFF);
    row[0] = 0;
    const Bytes z = ZlibCompress(row, 6), cut = Head(z, z.size() - 4);
    const Bytes small = RgbRows(6, 5);
    CheckBuffers({
        {"a row of 32 MB that the data does not fill",
         "png",
         Png().Header(4000000, 1, 16, 6).Chunk("IDAT", cut).End(),
         {{0, 0}, {3999999, 0}},
         "4000000x1/32 ffffff00 ffffff00",  // the background: the row is not complete
         1 << 16},
        {"a whole picture: its row, once, the zero row above it, and its image data inflated ahead of the rows",
         "png",
         Png().Header(6, 5, 8, 2).Image(small).End(),
         {{0, 0}, {5, 4}},
         "6x5/24 00 647809",
         2 * (6 * 3 + 1) + 5 * (6 * 3 + 1)},
    });
}

// Row buffers of 16-bit Photoshop planes and of binary portable maps take what the data can fill, not what the
// header claims: a packed row gives at most 128 bytes for two, raw rows must all be there first, portable maps are
// read a block of pixels at a time.
TEST(HostilePictures, RowBuffersFollowTheData)
{
    Psd packed{.channels = 1, .rows = 2, .columns = 1000000, .depth = 16, .mode = 1, .compression = 1};
    packed.rowLengths = {2, 2};
    packed.image = {0x81, 0x12, 0x81, 0x34};  // 128 bytes of 0x12, then of 0x34: 64 samples each
    const Bytes p6 = Join({Text("P6\n1000000 1\n65535\n"), Bytes(60, 0x80)});
    CheckBuffers({
        {"packed 16-bit gray rows of 2 MB",
         "psd",
         packed,
         {{0, 0}, {63, 0}, {64, 0}, {63, 1}, {999999, 1}},
         "1000000x2/8 12 12 00 34 00",
         128},
        {"raw 16-bit gray rows of 2 MB without data",
         "psd",
         Psd{.channels = 1, .rows = 2, .columns = 1000000, .depth = 16, .mode = 1},
         {},
         "Stream read error",
         0},
        {"16-bit P6 row of 6 MB with 10 pixels", "ppm", p6, {}, "Stream read error in PPM file.", 4096 * 6},
    });
}

// A Photo-CD table of 256 codes is searched once per leading 16 bits, not once per code: the first entry that
// matches still wins, with any number of codes.
TEST(HostilePictures, PhotoCDCodesTakeTheFirstEntryThatMatches)
{
    TByteWriter w;
    w.U8(255);
    for (int e = 0; e < 254; ++e) w.U8(15).BE16(0xFFFF).U8(0x50);  // 16 ones: no code below takes them
    w.U8(1).BE16(0x8000).U8(2);                                    // "10": +2
    w.U8(0).BE16(0x0000).U8(1);                                    // "0": +1
    w.U8(0);
    TFaxBits bits;
    bits.Put(0xFFFFFE, 24).Put(0, 16);                                           // row 0 of the luma plane
    for (int i = 0; i < 1500; ++i) bits.Put(i % 3 ? 0b0 : 0b10, i % 3 ? 1 : 2);  // +2 +1 +1, ...
    bits.Put(0xFFFFFE, 24).Put(2 << 1, 16);                                      // row 2: the end
    w.Append(bits.bytes).PadTo((w.Size() / 2048 + 2) * 2048);
    Bytes luma(2 * 1536, 100), chroma(1536, 100);  // one table for rows of 1536
    uint8_t* planes[3] = {luma.data(), chroma.data(), chroma.data()};
    TMemoryStream stream(w.Bytes.data(), w.Size());
    TPCDDecoder decoder(stream);
    void* source = planes;
    void* dest = nullptr;
    decoder.Decode(source, dest, 1536, 2);
    EXPECT_EQ(Head(luma, 6), (Bytes{102, 101, 101, 102, 101, 101}));
    EXPECT_EQ(luma[1499], 101);
    EXPECT_EQ(luma[1500], 100);
}
