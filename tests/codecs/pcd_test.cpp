#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "codecs/pcd.h"
#include "codecs/pcd_decoder.h"
#include "platform/rtl/classes.h"
#include "support/byte_writer.h"
#include "support/imagemagick.h"
#include "support/temp_dir.h"
#include "load_bytes.h"
#include "require_convert.h"

namespace {

constexpr int kSector = 2048;
constexpr int kW = 768, kH = 512;

// PhotoYCC to RGB with the base image's luma weights, in floating point.
void YccToRgb(int y, int c1, int c2, int rgb[3])
{
    const double kr = 0.2125, kg = 0.7154, kb = 0.0721;
    const double r1 = 2 - 2 * kr, b1 = 2 - 2 * kb;
    const double cb = c1 - 156, cr = c2 - 137;
    auto clamp = [](double v) { return static_cast<int>(std::clamp(std::nearbyint(v), 0.0, 255.0)); };
    rgb[0] = clamp(y + cr * r1);
    rgb[1] = clamp(y - cr * kr * r1 / kg - cb * kb * b1 / kg);
    rgb[2] = clamp(y + cb * b1);
}

// The largest difference of any channel between the bitmap and the RGB of
// ImageMagick's PhotoYCC samples (which it leaves unconverted in PAM output).
int LargestDifference(const TBitmap& bitmap, const TReferenceImage& ycc)
{
    int worst = 0;
    for (int y = 0; y < ycc.Height; ++y)
        for (int x = 0; x < ycc.Width; ++x) {
            const uint8_t* s = ycc.Pixel(x, y);
            int rgb[3];
            YccToRgb(s[0], s[1], s[2], rgb);
            const TColor c = bitmap.GetPixel(x, y);
            worst = std::max({worst, std::abs(GetRValue(c) - rgb[0]), std::abs(GetGValue(c) - rgb[1]),
                              std::abs(GetBValue(c) - rgb[2])});
        }
    return worst;
}

TEST(Pcd, PacksWrittenByImageMagick)
{
    REQUIRE_CONVERT();
    TempDir dir;
    const std::string source = dir.file("source.ppm");
    WritePpm(source, kW / 4, kH / 4, TestPatternRgb(kW / 4, kH / 4));
    std::string log;
    for (bool portrait : {false, true}) {
        const std::string file = dir.file(portrait ? "portrait.pcd" : "landscape.pcd");
        std::vector<std::string> args = {source, "-resize", "768x512!"};
        if (portrait) args.insert(args.end(), {"-rotate", "90"});
        args.push_back(file);
        ASSERT_TRUE(RunConvert(args, &log)) << log;
        TPCDGraphic pcd;
        pcd.LoadFromFile(file);
        EXPECT_EQ(pcd.ImageProperties.Rotate, portrait ? 1 : 0);
        ASSERT_EQ(pcd.Width(), portrait ? kH : kW);
        ASSERT_EQ(pcd.Height(), portrait ? kW : kH);
        ASSERT_EQ(pcd.PixelFormat(), pf24bit);

        TReferenceImage ycc;
        ASSERT_TRUE(ReadReference(file, ycc, &log)) << log;
        ASSERT_EQ(ycc.Width, pcd.Width());
        // Only the rounding of the conversion differs.
        EXPECT_LE(LargestDifference(pcd, ycc), 1) << portrait;
    }
}

// ---- hand-made packs -------------------------------------------------------

// A pack with the base image at sector 96 (5 for an overview pack): luma
// value f(x, y), neutral chroma, so the picture shows the luma as gray.
std::vector<uint8_t> Pack(int rotate, bool overview = false, uint8_t (*luma)(int, int) = nullptr)
{
    TByteWriter w;
    if (overview) w.Text("PCD_OPA");
    w.PadTo(10).BE16(3).PadTo(kSector).Text(overview ? "" : "PCD_IPI").PadTo(3586).U8(rotate);
    w.PadTo(static_cast<size_t>(overview ? 5 : 96) * kSector);
    for (int pair = 0; pair < kH / 2; ++pair) {
        for (int r = 0; r < 2; ++r)
            for (int x = 0; x < kW; ++x) w.U8(luma ? luma(x, 2 * pair + r) : 0);
        w.Fill(kW / 2, 156);
        w.Fill(kW / 2, 137);
    }
    return w.Bytes;
}

uint8_t Diagonal(int x, int y) { return static_cast<uint8_t>(x + 3 * y); }

TEST(Pcd, RotationCodesTurnThePicture)
{
    for (int rotate : {0, 1, 2, 3}) {
        TPCDGraphic g;
        Load(g, Pack(rotate | 0xFC, false, Diagonal));  // only the low two bits count
        const bool turned = rotate == 1 || rotate == 3;
        ASSERT_EQ(g.Width(), turned ? kH : kW) << rotate;
        ASSERT_EQ(g.Height(), turned ? kW : kH) << rotate;
        for (int y : {0, 1, 200, kH - 1})
            for (int x : {0, 5, 300, kW - 1}) {
                const uint8_t v = Diagonal(x, y);
                int col = x, row = y;
                if (rotate == 1) col = y, row = kW - 1 - x;
                if (rotate == 3) col = kH - 1 - y, row = x;
                ASSERT_EQ(g.GetPixel(col, row), RGB(v, v, v)) << rotate << " " << x << "," << y;
            }
    }
}

TEST(Pcd, OverviewPacksReadTheImageFromSectorFive)
{
    TPCDGraphic g;
    Load(g, Pack(0, true, Diagonal));
    EXPECT_TRUE(g.ImageProperties.Overview);
    ASSERT_EQ(g.Width(), kW);
    EXPECT_EQ(g.GetPixel(7, 9), RGB(34, 34, 34));
}

TEST(Pcd, PropertiesFollowTheResolution)
{
    const auto bytes = Pack(1);
    TPCDGraphic g;
    const unsigned sizes[][2] = {{192, 128}, {384, 256}, {768, 512}, {1536, 1024}, {3072, 2048}, {6144, 4096}};
    for (unsigned index = 0; index < 8; ++index) {
        TMemoryStream s(bytes.data(), bytes.size());
        ASSERT_TRUE(g.ReadImageProperties(s, index));
        const auto& size = sizes[std::min(index, 5u)];
        EXPECT_EQ(g.ImageProperties.Width, size[1]) << index;  // turned a quarter
        EXPECT_EQ(g.ImageProperties.Height, size[0]) << index;
        EXPECT_EQ(g.ImageProperties.Compression, index < 3 ? ctNone : ctPCDHuffmann);
        EXPECT_EQ(g.ImageProperties.ColorScheme, csPhotoYCC);
        EXPECT_EQ(g.ImageProperties.BitsPerPixel, 24);
        EXPECT_EQ(g.ImageProperties.ImageCount, 3);
    }
    const auto overview = Pack(0, true);
    TMemoryStream s(overview.data(), overview.size());
    ASSERT_TRUE(g.ReadImageProperties(s, 4));
    EXPECT_EQ(g.ImageProperties.Width, 192u);
}

TEST(Pcd, PacksItDoesNotKnowLoadNothingAndShortOnesRaise)
{
    auto bytes = Pack(0);
    bytes[kSector] = 'X';
    TPCDGraphic g;
    g.SetPixelFormat(pf24bit);
    g.SetSize(4, 4);
    Load(g, bytes);
    EXPECT_TRUE(g.Empty());

    const auto whole = Pack(0);
    TPCDGraphic cut;
    EXPECT_THROW(Load(cut, std::vector<uint8_t>(whole.begin(), whole.end() - 100)), EReadError);
    EXPECT_THROW(Load(cut, std::vector<uint8_t>(whole.begin(), whole.begin() + 5000)), EReadError);
}

TEST(Pcd, CanLoadLooksForEitherSignature)
{
    TPCDGraphic g;
    auto check = [&](const std::vector<uint8_t>& bytes) {
        TMemoryStream s(bytes.data(), bytes.size());
        const bool ok = g.CanLoad(s);
        EXPECT_EQ(s.Position(), 0);
        return ok;
    };
    const auto pack = Pack(0);
    EXPECT_TRUE(check(pack));
    EXPECT_TRUE(check(Pack(0, true)));
    EXPECT_FALSE(check(std::vector<uint8_t>(pack.begin(), pack.begin() + 3 * kSector)));
    auto other = pack;
    other[kSector + 2] = 'C';
    EXPECT_FALSE(check(other));
}

TEST(Pcd, UpsampleDoublesAPlaneInPlace)
{
    // Two by two samples, rows four bytes apart.
    uint8_t plane[16] = {10, 20, 0, 0, 30, 50, 0, 0};
    Upsample(2, 2, 4, plane);
    const uint8_t expected[16] = {10, 15, 20, 20, 20, 28, 35, 35, 30, 40, 50, 50, 30, 40, 50, 50};
    EXPECT_EQ(std::vector<uint8_t>(plane, plane + 16), std::vector<uint8_t>(expected, expected + 16));

    uint8_t single[4] = {7};
    Upsample(1, 1, 2, single);
    EXPECT_EQ(std::vector<uint8_t>(single, single + 4), (std::vector<uint8_t>{7, 7, 7, 7}));
}

// ---- the Huffman decoder ---------------------------------------------------

// Bits written most significant first.
class TBitWriter {
public:
    std::vector<uint8_t> Bytes;
    void Bits(uint32_t value, int count)
    {
        for (int i = count - 1; i >= 0; --i) {
            if (used_ % 8 == 0) Bytes.push_back(0);
            if ((value >> i) & 1) Bytes.back() |= static_cast<uint8_t>(0x80 >> (used_ % 8));
            ++used_;
        }
    }
    void Byte(uint8_t v) { Bits(v, 8); }
    // A row header: the sync pattern, then the row number and the plane.
    void Header(uint32_t row, uint32_t plane)
    {
        Bits(0xFFFFFE, 24);
        Byte(static_cast<uint8_t>((plane << 6) | ((row >> 7) & 0x3F)));
        Byte(static_cast<uint8_t>((row & 0x7F) << 1));
    }

private:
    size_t used_ = 0;
};

struct Code {
    int length;
    uint16_t bits;  // the code, left-aligned in 16 bits
    uint8_t key;
};

// The tables, a zero byte, then the rows; padded to whole blocks of the stream.
std::vector<uint8_t> Stream(const std::vector<std::vector<Code>>& tables, const TBitWriter& rows)
{
    TByteWriter w;
    for (const auto& t : tables) {
        w.U8(static_cast<unsigned>(t.size() - 1));
        for (const Code& c : t) w.U8(c.length - 1).BE16(c.bits).U8(c.key);
    }
    w.U8(0).Append(rows.Bytes);
    w.PadTo((w.Size() / kSector + 2) * kSector);
    return w.Bytes;
}

struct Planes {
    std::vector<uint8_t> luma, chroma1, chroma2;
    Planes(int width, int rows, uint8_t fill = 100)
        : luma(size_t(width) * rows, fill), chroma1(size_t(width) * ((rows + 1) / 2), fill),
          chroma2(size_t(width) * ((rows + 1) / 2), fill)
    {
    }
    void Decode(const std::vector<uint8_t>& data, int width, int rows)
    {
        TMemoryStream s(data.data(), data.size());
        TPCDDecoder decoder(s);
        uint8_t* pointers[3] = {luma.data(), chroma1.data(), chroma2.data()};
        void* source = pointers;
        void* dest = nullptr;
        decoder.Decode(source, dest, width, rows);
    }
};

const std::vector<Code> kTable = {{1, 0x0000, 1}, {2, 0x8000, 0xF0}, {3, 0xC000, 0x05}};

TEST(PcdDecoder, CorrectsSamplesWithTheirCodes)
{
    TBitWriter rows;
    rows.Header(1, 0);
    rows.Bits(0b0, 1);    // +1
    rows.Bits(0b10, 2);   // -16
    rows.Bits(0b110, 3);  // +5
    rows.Bits(0b0, 1);
    rows.Header(2, 0);  // the row count ends decoding
    Planes p(4, 2, 10);
    p.Decode(Stream({kTable}, rows), 4, 2);
    EXPECT_EQ(std::vector<uint8_t>(p.luma.begin(), p.luma.begin() + 4), (std::vector<uint8_t>{10, 10, 10, 10}));
    EXPECT_EQ(std::vector<uint8_t>(p.luma.begin() + 4, p.luma.end()), (std::vector<uint8_t>{11, 0, 15, 11}));
}

TEST(PcdDecoder, WideRowsReadThreeTablesOneForEachPlane)
{
    constexpr int width = 3072;
    TBitWriter rows;
    rows.Header(3, 2);  // chroma 1, row 3 div 2
    rows.Bits(0b1, 1);
    rows.Header(0, 3);
    rows.Bits(0b01, 2);
    rows.Header(0, 0);
    rows.Bits(0b0, 1);
    rows.Header(4, 0);
    const std::vector<Code> luma = {{1, 0x0000, 2}};
    const std::vector<Code> chroma1 = {{1, 0x8000, 3}};
    const std::vector<Code> chroma2 = {{2, 0x4000, 0xFF}};
    Planes p(width, 4, 50);
    p.Decode(Stream({luma, chroma1, chroma2}, rows), width, 4);
    EXPECT_EQ(p.luma[0], 52);
    EXPECT_EQ(p.luma[1], 50);
    EXPECT_EQ(p.chroma1[width], 53);
    EXPECT_EQ(p.chroma1[0], 50);
    EXPECT_EQ(p.chroma2[0], 49);

    // At width 1536 there is one table: the chroma planes have none.
    Planes narrow(1536, 4, 50);
    TBitWriter one;
    one.Header(0, 2);
    one.Bits(0b0, 1);
    one.Header(0, 0);
    one.Bits(0b0, 1);
    one.Header(4, 0);
    narrow.Decode(Stream({luma}, one), 1536, 4);
    EXPECT_EQ(narrow.chroma1[0], 50);
    EXPECT_EQ(narrow.luma[0], 52);
}

TEST(PcdDecoder, CorrectionsStayInsideTheirRowAndPlane)
{
    TBitWriter rows;
    rows.Header(0, 0);
    for (int i = 0; i < 10; ++i) rows.Bits(0b0, 1);  // ten codes for a row of four
    rows.Header(7, 0);                                // a row past the plane
    for (int i = 0; i < 10; ++i) rows.Bits(0b0, 1);
    rows.Header(2, 0);
    Planes p(4, 2, 10);
    p.Decode(Stream({kTable}, rows), 4, 2);
    EXPECT_EQ(p.luma, (std::vector<uint8_t>{11, 11, 11, 11, 10, 10, 10, 10}));
}

TEST(PcdDecoder, StopsOnWhatNoPackHas)
{
    // Plane code 1 ends decoding silently.
    TBitWriter rows;
    rows.Header(0, 1);
    rows.Bits(0b0, 1);
    rows.Header(0, 0);
    rows.Bits(0b0, 1);
    rows.Header(2, 0);
    Planes p(4, 2, 10);
    p.Decode(Stream({kTable}, rows), 4, 2);
    EXPECT_EQ(p.luma[0], 10);

    // A code longer than 16 bits ends it before anything is decoded.
    TBitWriter same;
    same.Header(0, 0);
    same.Bits(0b0, 1);
    same.Header(2, 0);
    Planes q(4, 2, 10);
    q.Decode(Stream({{{1, 0x0000, 1}, {17, 0x8000, 1}}}, same), 4, 2);
    EXPECT_EQ(q.luma[0], 10);

    // Without the closing row header the stream's end raises its read error.
    TBitWriter open;
    open.Header(0, 0);
    open.Bits(0b0, 1);
    Planes r(4, 2, 10);
    EXPECT_THROW(r.Decode(Stream({kTable}, open), 4, 2), EReadError);
}

TEST(PcdDecoder, UnknownCodesResynchronise)
{
    // "111" matches no code: the rest up to the next header is skipped.
    TBitWriter rows;
    rows.Header(0, 0);
    rows.Bits(0b0, 1);
    rows.Bits(0b111, 3);
    rows.Bits(0b0, 1);
    rows.Bits(0, 16);
    rows.Header(1, 0);
    rows.Bits(0b110, 3);
    rows.Header(2, 0);
    Planes p(4, 2, 10);
    p.Decode(Stream({kTable}, rows), 4, 2);
    EXPECT_EQ(p.luma, (std::vector<uint8_t>{11, 10, 10, 10, 15, 10, 10, 10}));
}

}  // namespace
