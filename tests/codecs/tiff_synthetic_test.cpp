// TIFF files written tag by tag: the compressions no tool here writes
// (modified Huffman, ThunderScan), the directory rules, the TIFF-JPEG
// decoder's checks and every refusal.
#include <gtest/gtest.h>

#include <jpeglib.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <utility>

#include "codecs/fax_decoders.h"
#include "codecs/tiff.h"
#include "codecs/tiff_jpeg_decoder.h"
#include "fax_bits.h"
#include "platform/rtl/classes.h"
#include "platform/rtl/messages.h"
#include "support/imagemagick.h"
#include "support/temp_dir.h"
#include "load_bytes.h"

namespace {

enum : uint16_t { tByte = 1, tAscii = 2, tShort = 3, tLong = 4, tRational = 5, tUndefined = 7 };

// A one-directory TIFF file: strips first, then out-of-line values, then the directory.
struct TiffBuilder {
    bool big = false;
    std::map<uint16_t, std::pair<uint16_t, std::vector<uint32_t>>> tags;
    std::vector<std::vector<uint8_t>> strips;
    bool stripTags = true;

    void Set(uint16_t tag, uint16_t type, std::vector<uint32_t> values) { tags[tag] = {type, std::move(values)}; }
    void Basic(uint32_t w, uint32_t h, uint32_t bits, uint32_t samples, uint32_t photometric, uint32_t compression)
    {
        Set(256, tLong, {w});
        Set(257, tLong, {h});
        Set(258, tShort, std::vector<uint32_t>(samples, bits));
        Set(277, tShort, {samples});
        Set(262, tShort, {photometric});
        Set(259, tShort, {compression});
    }

    void Put(std::vector<uint8_t>& out, uint32_t v, int size) const
    {
        for (int i = 0; i < size; ++i) {
            const int shift = big ? 8 * (size - 1 - i) : 8 * i;
            out.push_back(static_cast<uint8_t>(v >> shift));
        }
    }
    static int Size(uint16_t type) { return type == tShort ? 2 : (type == tLong ? 4 : (type == tRational ? 8 : 1)); }

    std::vector<uint8_t> Build()
    {
        std::vector<uint8_t> out = {static_cast<uint8_t>(big ? 'M' : 'I'), static_cast<uint8_t>(big ? 'M' : 'I')};
        Put(out, 42, 2);
        Put(out, 0, 4);  // patched below
        std::vector<uint32_t> offsets, counts;
        for (const auto& s : strips) {
            offsets.push_back(static_cast<uint32_t>(out.size()));
            counts.push_back(static_cast<uint32_t>(s.size()));
            out.insert(out.end(), s.begin(), s.end());
        }
        if (stripTags && !strips.empty()) {
            Set(273, tLong, offsets);
            Set(279, tLong, counts);
        }
        // Out-of-line values.
        std::map<uint16_t, uint32_t> at;
        for (const auto& [tag, tv] : tags) {
            const auto& [type, values] = tv;
            const size_t count = type == tRational ? values.size() / 2 : values.size();
            if (count * Size(type) <= 4) continue;
            if (out.size() % 2) out.push_back(0);
            at[tag] = static_cast<uint32_t>(out.size());
            for (uint32_t v : values) Put(out, v, type == tRational ? 4 : Size(type));
        }
        if (out.size() % 2) out.push_back(0);
        const uint32_t ifd = static_cast<uint32_t>(out.size());
        Put(out, static_cast<uint32_t>(tags.size()), 2);
        for (const auto& [tag, tv] : tags) {
            const auto& [type, values] = tv;
            const size_t count = type == tRational ? values.size() / 2 : values.size();
            Put(out, tag, 2);
            Put(out, type, 2);
            Put(out, static_cast<uint32_t>(count), 4);
            if (at.count(tag)) {
                Put(out, at[tag], 4);
            } else {
                size_t used = 0;
                for (uint32_t v : values) {
                    Put(out, v, Size(type));
                    used += Size(type);
                }
                for (; used < 4; ++used) out.push_back(0);
            }
        }
        Put(out, 0, 4);
        std::vector<uint8_t> head;
        Put(head, ifd, 4);
        std::memcpy(&out[4], head.data(), 4);
        return out;
    }
};

// Compares with ImageMagick's decoding when it is installed.
void ExpectLikeImageMagick(const TTIFFGraphic& tiff, const std::vector<uint8_t>& bytes)
{
    if (ConvertProgram().empty()) return;
    TempDir dir;
    const std::string file = dir.file("file.tif");
    WriteFileBytes(file, bytes);
    TReferenceImage reference;
    std::string log;
    ASSERT_TRUE(ReadReference(file, reference, &log)) << log;
    EXPECT_EQ(ComparePixels(tiff, reference), "");
}

// ---- modified Huffman --------------------------------------------------------

bool Black(int x, int y) { return ((x / 3 + y) % 5 == 0) || (x > 70 && y % 4 < 2); }

// Rows of a bilevel pattern in modified-Huffman codes, each starting on a
// byte (on an even byte when word-aligned).
std::vector<uint8_t> EncodeMH(int w, int h, bool wordAligned)
{
    TFaxBits b;
    for (int y = 0; y < h; ++y) {
        bool white = true;
        int x = 0;
        while (x < w) {
            int run = 0;
            while (x + run < w && Black(x + run, y) != white) ++run;
            b.Run(white, run);
            x += run;
            white = !white;
        }
        b.Align();
        if (wordAligned && b.bytes.size() % 2) b.bytes.push_back(0);
    }
    return b.bytes;
}

TEST(TiffSynthetic, ModifiedHuffmanRowsAlsoWordAligned)
{
    for (uint32_t compression : {2u, 32771u}) {
        const int w = 90, h = 11;
        TiffBuilder t;
        t.Basic(w, h, 1, 1, 0, compression);
        t.Set(278, tShort, {h});
        t.strips.push_back(EncodeMH(w, h, compression == 32771));
        const auto bytes = t.Build();
        TTIFFGraphic tiff;
        Load(tiff, bytes);
        ASSERT_EQ(tiff.PixelFormat(), pf1bit);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) ASSERT_EQ(tiff.GetPixel(x, y), Black(x, y) ? clBlack : clWhite) << x << "," << y;
        // Word alignment is counted from the start of the strip here, which
        // other readers do not all agree on; the byte-aligned form is compared.
        if (compression == 2) ExpectLikeImageMagick(tiff, bytes);
    }
}

// ---- ThunderScan ---------------------------------------------------------------

TEST(TiffSynthetic, ThunderScanGray)
{
    const int w = 13, h = 5;
    auto level = [](int x, int y) { return (x < 6 ? 9 : (x + y) % 16); };
    std::vector<uint8_t> data;
    for (int y = 0; y < h; ++y) {
        data.push_back(static_cast<uint8_t>(0xC0 | level(0, y)));
        data.push_back(5);  // a run of the same level for x = 1..5
        for (int x = 6; x < w; ++x) data.push_back(static_cast<uint8_t>(0xC0 | level(x, y)));
    }
    TiffBuilder t;
    t.Basic(w, h, 4, 1, 1, 32809);
    t.strips.push_back(data);
    const auto bytes = t.Build();
    TTIFFGraphic tiff;
    Load(tiff, bytes);
    EXPECT_EQ(tiff.ImageProperties.Compression, ctThunderscan);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint8_t g = static_cast<uint8_t>(level(x, y) * 17);
            ASSERT_EQ(tiff.GetPixel(x, y), RGB(g, g, g)) << x << "," << y;
        }
    ExpectLikeImageMagick(tiff, bytes);
}

// ---- strips and directories ------------------------------------------------------

std::vector<uint8_t> GrayRows(int w, int rows, int first)
{
    std::vector<uint8_t> d;
    for (int y = first; y < first + rows; ++y)
        for (int x = 0; x < w; ++x) d.push_back(static_cast<uint8_t>(x * 10 + y));
    return d;
}

void ExpectGray(const TTIFFGraphic& tiff, int w, int rows)
{
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < w; ++x) {
            const uint8_t g = static_cast<uint8_t>(x * 10 + y);
            ASSERT_EQ(tiff.GetPixel(x, y), RGB(g, g, g)) << x << "," << y;
        }
}

TEST(TiffSynthetic, WithoutRowsPerStripTheImageIsOneStrip)
{
    TiffBuilder t;
    t.Basic(6, 7, 8, 1, 1, 1);
    t.strips.push_back(GrayRows(6, 7, 0));
    TTIFFGraphic tiff;
    Load(tiff, t.Build());
    EXPECT_EQ(tiff.ImageProperties.RowsPerStrip, std::vector<uint32_t>{7});
    ExpectGray(tiff, 6, 7);
}

TEST(TiffSynthetic, ShortRowsPerStripListsAndShortLastStrips)
{
    // Rows per strip 3, then 2 for every further strip; the last strip holds what remains.
    TiffBuilder t;
    t.big = true;
    t.Basic(5, 8, 8, 1, 1, 32773);
    t.Set(278, tLong, {3, 2});
    int row = 0;
    for (int rows : {3, 2, 2, 1}) {
        std::vector<uint8_t> packed;
        const auto raw = GrayRows(5, rows, row);
        for (size_t i = 0; i < raw.size(); i += 5) {
            packed.push_back(4);  // a literal of five bytes
            packed.insert(packed.end(), raw.begin() + static_cast<long>(i), raw.begin() + static_cast<long>(i + 5));
        }
        t.strips.push_back(packed);
        row += rows;
    }
    TTIFFGraphic tiff;
    Load(tiff, t.Build());
    ExpectGray(tiff, 5, 8);
}

TEST(TiffSynthetic, SubsampledYCbCrIsLaidOutInBlocks)
{
    // The pixels of a block share their chroma and differ in gray only, so
    // the picture comes through the subsampling but for rounding.
    constexpr int w = 13, h = 9;
    auto base = [](int bx, int by, int k) { return 60 + (bx * 37 + by * 71 + k * 50) % 130; };
    auto shade = [](int x, int y) { return (x * 7 + y * 13) % 81 - 40; };
    for (const auto& [bw, bh] : {std::pair{2, 1}, {2, 2}, {4, 2}, {4, 4}}) {
        for (int bits : {8, 16}) {
            TiffBuilder t;
            t.big = bits == 16;
            t.Basic(w, h, static_cast<uint32_t>(bits), 3, 6, 1);
            t.Set(530, tShort, {static_cast<uint32_t>(bw), static_cast<uint32_t>(bh)});
            t.Set(278, tShort, {4});
            TReferenceImage expected{w, h, false, std::vector<uint8_t>(size_t(w) * h * 4, 255)};
            std::vector<uint8_t> strip;
            // A 16-bit sample s * 257 is the bytes s, s in either byte order.
            auto put = [&](double v) { strip.insert(strip.end(), bits / 8, static_cast<uint8_t>(std::lround(v))); };
            const int across = (w + bw - 1) / bw, down = (h + bh - 1) / bh;
            for (int by = 0; by < down; ++by) {
                for (int bx = 0; bx < across; ++bx) {
                    const int r = base(bx, by, 0), g = base(bx, by, 1), b = base(bx, by, 2);
                    const double luma = 0.299 * r + 0.587 * g + 0.114 * b;
                    for (int j = 0; j < bh; ++j) {
                        for (int i = 0; i < bw; ++i) {
                            const int x = bx * bw + i, y = by * bh + j, d = shade(x, y);
                            put(luma + d);
                            if (x < w && y < h) {
                                uint8_t* e = expected.Rgba.data() + (size_t(y) * w + x) * 4;
                                e[0] = static_cast<uint8_t>(r + d), e[1] = static_cast<uint8_t>(g + d);
                                e[2] = static_cast<uint8_t>(b + d);
                            }
                        }
                    }
                    put(128 + (b - luma) / 1.772);
                    put(128 + (r - luma) / 1.402);
                }
                if ((by + 1) * bh % 4 == 0 || by + 1 == down) t.strips.push_back(std::exchange(strip, {}));
            }
            TTIFFGraphic tiff;
            Load(tiff, t.Build());
            EXPECT_EQ(ComparePixels(tiff, expected, 2), "") << bw << "x" << bh << ", " << bits << " bits";
        }
    }
    // Differencing over blocks is refused.
    TiffBuilder predicted;
    predicted.Basic(2, 1, 8, 3, 6, 8);
    predicted.Set(317, tShort, {2});
    predicted.strips.push_back({0x78, 0x9C, 0x03, 0x00, 0x00, 0x00, 0x00, 0x01});
    EXPECT_EQ(LoadError<TTIFFGraphic>(predicted.Build()),
              "Cannot load image. The compression scheme is not supported for TIF/TIFF files.");
}

TEST(TiffSynthetic, MinimumIsWhiteAndSmallColourMaps)
{
    TiffBuilder t;
    t.Basic(8, 1, 1, 1, 0, 1);
    t.strips.push_back({0x0F});
    TTIFFGraphic white;
    Load(white, t.Build());
    ASSERT_TRUE(white.Palette());
    EXPECT_EQ(white.Palette()->entries[0].peRed, 255);
    EXPECT_EQ(white.Palette()->entries[1].peRed, 0);
    EXPECT_EQ(white.GetPixel(0, 0), clWhite);
    EXPECT_EQ(white.GetPixel(7, 0), clBlack);

    // A 4-bit palette picture: 48 colour map values, 16 entries.
    TiffBuilder p;
    p.Basic(4, 1, 4, 1, 3, 1);
    std::vector<uint32_t> map(48);
    for (int i = 0; i < 16; ++i) {
        map[i] = static_cast<uint32_t>(i * 4096);
        map[16 + i] = 65535;
        map[32 + i] = static_cast<uint32_t>(257 * (15 - i));
    }
    p.Set(320, tShort, map);
    p.strips.push_back({0x01, 0xF7});
    for (bool big : {false, true}) {
        p.big = big;
        TTIFFGraphic pal;
        Load(pal, p.Build());
        ASSERT_EQ(pal.Palette()->entries.size(), 16u);
        EXPECT_EQ(pal.GetPixel(1, 0), RGB(4096 * 255 / 65535, 255, 14));
        EXPECT_EQ(pal.GetPixel(2, 0), RGB(15 * 4096 * 255 / 65535, 255, 0));
    }

    // Sixteen-bit indexes have no bitmap palette.
    TiffBuilder deep;
    deep.Basic(1, 1, 16, 1, 3, 1);
    deep.strips.push_back({0, 0});
    EXPECT_EQ(LoadError<TTIFFGraphic>(deep.Build()), "Invalid color format in TIF/TIFF file.");
}

TEST(TiffSynthetic, DirectoryValuesAndHelpers)
{
    TiffBuilder t;
    t.big = true;
    t.Basic(3, 2, 8, 1, 1, 1);
    t.Set(282, tRational, {300, 2});
    t.Set(283, tRational, {100, 1});
    t.Set(296, tShort, {3});
    t.Set(317, tShort, {1});
    t.Set(266, tShort, {2});
    t.Set(305, tAscii, {'a', 'b', 'c', 'd', 'e', 0});
    t.strips.push_back(GrayRows(3, 2, 0));
    const auto bytes = t.Build();
    TMemoryStream stream(bytes.data(), bytes.size());
    TTIFFGraphic tiff;
    EXPECT_TRUE(tiff.CanLoad(stream));
    EXPECT_EQ(stream.Position(), 0);
    ASSERT_TRUE(tiff.ReadImageProperties(stream, 0));
    const TImageProperties& p = tiff.ImageProperties;
    EXPECT_FLOAT_EQ(p.XResolution, 150 * 2.54f);
    EXPECT_FLOAT_EQ(p.YResolution, 100 * 2.54f);
    EXPECT_EQ(p.Version, 42u);
    EXPECT_TRUE(p.Options & ioBigEndian);
    EXPECT_TRUE(p.Options & ioReversed);
    EXPECT_EQ(p.Predictor, 1u);
    EXPECT_EQ(p.PlanarConfig, 0u);
    EXPECT_EQ(tiff.GetValue(277, 9), 1u);
    EXPECT_EQ(tiff.GetValue(9999, 9), 9u);
    uint32_t count = 0;
    tiff.GetValue(305, count, 0);
    EXPECT_EQ(count, 6u);
    const auto text = tiff.GetByteList(305);
    EXPECT_EQ(std::string(text.begin(), text.end() - 1), "abcde");
    EXPECT_FLOAT_EQ(tiff.GetFloatValue(282, 0), 150.0f);
    EXPECT_EQ(tiff.GetValueList(258), std::vector<uint32_t>{8});
    // Sorted by tag.
    for (size_t i = 1; i < tiff.IFD().size(); ++i) EXPECT_LT(tiff.IFD()[i - 1].Tag, tiff.IFD()[i].Tag);
    // Only one directory.
    EXPECT_FALSE(tiff.ReadImageProperties(stream, 1));
    // Nothing is written.
    TMemoryStream out;
    tiff.SaveToStream(out);
    EXPECT_EQ(out.Size(), 0);
}

TEST(TiffSynthetic, DirectoryChainsThatLoopEnd)
{
    TiffBuilder t;
    t.Basic(2, 2, 8, 1, 1, 1);
    t.strips.push_back(GrayRows(2, 2, 0));
    std::vector<uint8_t> bytes = t.Build();
    // Point the directory's next offset back at itself.
    const uint32_t ifd = bytes[4] | bytes[5] << 8 | bytes[6] << 16 | bytes[7] << 24;
    std::memcpy(&bytes[bytes.size() - 4], &ifd, 4);
    TMemoryStream stream(bytes.data(), bytes.size());
    TTIFFGraphic tiff;
    EXPECT_FALSE(tiff.ReadImageProperties(stream, 5));
    EXPECT_TRUE(tiff.ReadImageProperties(stream, 0));
}

TEST(TiffSynthetic, Refusals)
{
    const std::string invalid = "Cannot load image. Invalid or unexpected TIF/TIFF image format.";
    auto build = [](auto&& change) {
        TiffBuilder t;
        t.Basic(4, 4, 8, 1, 1, 1);
        t.strips.push_back(GrayRows(4, 4, 0));
        change(t);
        return t.Build();
    };
    EXPECT_EQ(LoadError<TTIFFGraphic>(build([](TiffBuilder&) {})), "");
    EXPECT_EQ(LoadError<TTIFFGraphic>(build([](TiffBuilder& t) { t.Set(256, tLong, {0}); })), invalid);
    EXPECT_EQ(LoadError<TTIFFGraphic>(build([](TiffBuilder& t) { t.tags.erase(257); })), invalid);
    std::vector<uint8_t> bigTiff = build([](TiffBuilder&) {});
    bigTiff[2] = 43;
    EXPECT_EQ(LoadError<TTIFFGraphic>(bigTiff), invalid);
    EXPECT_EQ(LoadError<TTIFFGraphic>({'I', 'I', 42, 0, 0, 0, 0, 0}), invalid);
    EXPECT_EQ(LoadError<TTIFFGraphic>({'I', 'I', 42, 0, 0xFF, 0xFF, 0, 0}), "Stream read error");
    EXPECT_EQ(LoadError<TTIFFGraphic>(build([](TiffBuilder& t) { t.Set(259, tShort, {12345}); })),
              "Cannot load image. The compression scheme is not supported for TIF/TIFF files.");
    EXPECT_EQ(LoadError<TTIFFGraphic>(build([](TiffBuilder& t) { t.Set(259, tShort, {6}); })),
              "Cannot load image. The compression scheme is not supported for TIF/TIFF files.");
    // Colour pictures with a sample count their scheme does not have.
    EXPECT_EQ(LoadError<TTIFFGraphic>(build([](TiffBuilder& t) { t.Basic(4, 4, 8, 2, 2, 1); })),
              "Sample count per pixel does not correspond to the given color scheme.");
    // Compressed strips past the end of the file, or longer than it.
    EXPECT_EQ(LoadError<TTIFFGraphic>(build([](TiffBuilder& t) {
                  t.Set(259, tShort, {32773});
                  t.stripTags = false;
                  t.Set(273, tLong, {0x7FFFFFF0});
                  t.Set(279, tLong, {16});
              })),
              "Stream read error");
    EXPECT_EQ(LoadError<TTIFFGraphic>(build([](TiffBuilder& t) {
                  t.Set(259, tShort, {8});
                  t.stripTags = false;
                  t.Set(273, tLong, {8});
                  t.Set(279, tLong, {0xFFFFFFF0});
              })),
              "Stream read error");
    // A plain strip past the end reads nothing and is no error.
    EXPECT_EQ(LoadError<TTIFFGraphic>(build([](TiffBuilder& t) {
                  t.stripTags = false;
                  t.Set(273, tLong, {0x7FFFFFF0});
              })),
              "");
    // Value lists longer than the file.
    EXPECT_EQ(LoadError<TTIFFGraphic>(build([](TiffBuilder& t) {
                  t.stripTags = false;
                  t.Set(273, tLong, {8, 9});
                  t.tags[273].second.resize(2);
              })),
              "");
    // Tiles far larger than any picture.
    EXPECT_EQ(LoadError<TTIFFGraphic>(build([](TiffBuilder& t) {
                  t.Set(322, tLong, {0x10000});
                  t.Set(323, tLong, {0x10000});
                  t.Set(324, tLong, {8});
              })),
              EOutOfResources().what());
    // A picture larger than any bitmap.
    EXPECT_EQ(LoadError<TTIFFGraphic>(build([](TiffBuilder& t) {
                  t.Set(256, tLong, {0x7FFFFFFF});
                  t.Set(257, tLong, {0x7FFFFFFF});
              })),
              EOutOfResources().what());
}

// ---- the TIFF-JPEG decoder -----------------------------------------------------

// A baseline JPEG of a gray ramp, w x h, with components and the first
// component's sampling factors.
std::vector<uint8_t> EncodeJpeg(int w, int h, int components, int hs = 1, int vs = 1)
{
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &buffer, &size);
    c.image_width = static_cast<JDIMENSION>(w);
    c.image_height = static_cast<JDIMENSION>(h);
    c.input_components = components;
    c.in_color_space = components == 3 ? JCS_RGB : JCS_GRAYSCALE;
    jpeg_set_defaults(&c);
    c.comp_info[0].h_samp_factor = hs;
    c.comp_info[0].v_samp_factor = vs;
    jpeg_start_compress(&c, TRUE);
    std::vector<uint8_t> row(static_cast<size_t>(w) * components);
    while (c.next_scanline < c.image_height) {
        for (size_t i = 0; i < row.size(); ++i) row[i] = static_cast<uint8_t>(i * 3 + c.next_scanline * 5);
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&c, &r, 1);
    }
    jpeg_finish_compress(&c);
    std::vector<uint8_t> out(buffer, buffer + size);
    jpeg_destroy_compress(&c);
    std::free(buffer);
    return out;
}

TImageProperties JpegProperties(uint32_t w, uint32_t h, uint8_t samples)
{
    TImageProperties p;
    p.Width = w;
    p.Height = h;
    p.SamplesPerPixel = samples;
    p.BitsPerSample = 8;
    p.BitsPerPixel = static_cast<uint8_t>(8 * samples);
    p.ColorScheme = samples == 3 ? csRGB : csG;
    p.PlanarConfig = 1;
    p.RowsPerStrip = {h};
    p.BytesPerLine = w * samples;
    return p;
}

std::string DecodeJpegError(TImageProperties p, std::vector<uint8_t> data, int32_t unpacked)
{
    TTIFFJPEGDecoder decoder(&p);
    std::vector<uint8_t> out(static_cast<size_t>(std::max(unpacked, 0)));
    try {
        decoder.DecodeInit();
        void* src = data.data();
        void* dst = out.data();
        decoder.Decode(src, dst, static_cast<int32_t>(data.size()), unpacked);
        decoder.DecodeEnd();
    } catch (const ECodecCompression& e) {
        return e.what();
    }
    return "";
}

TEST(TiffJpegDecoder, StripsMustMatchThePicture)
{
    const auto gray = EncodeJpeg(16, 8, 1);
    EXPECT_EQ(DecodeJpegError(JpegProperties(16, 8, 1), gray, 16 * 8), "");
    // 64 rows where 32 are due.
    EXPECT_EQ(DecodeJpegError(JpegProperties(16, 32, 1), EncodeJpeg(16, 64, 1), 16 * 32), "Improper JPEG strip/tile size.");
    // Rows per strip bound the rows of a strip.
    TImageProperties strips = JpegProperties(16, 20, 1);
    strips.RowsPerStrip = {8};
    EXPECT_EQ(DecodeJpegError(strips, gray, 16 * 8), "");
    EXPECT_EQ(DecodeJpegError(JpegProperties(16, 8, 3), gray, 48 * 8), "Improper JPEG component count.");
    TImageProperties twelve = JpegProperties(16, 8, 1);
    twelve.BitsPerSample = 12;
    EXPECT_EQ(DecodeJpegError(twelve, gray, 16 * 8), "Improper JPEG data precision.");
    // Colour data subsampled where the file says it is not.
    EXPECT_EQ(DecodeJpegError(JpegProperties(16, 8, 3), EncodeJpeg(16, 8, 3, 2, 2), 48 * 8),
              "Improper JPEG sampling factors.");
    TImageProperties ycbcr = JpegProperties(16, 8, 3);
    ycbcr.ColorScheme = csYCbCr;
    ycbcr.YCbCrSubSampling = {2, 2};
    EXPECT_EQ(DecodeJpegError(ycbcr, EncodeJpeg(16, 8, 3, 2, 2), 48 * 8), "");
    // Output that is not whole rows.
    EXPECT_EQ(DecodeJpegError(JpegProperties(16, 8, 1), gray, 100), "Fractional JPEG scanline unsupported.");
    // Tables that are a whole image.
    TImageProperties tables = JpegProperties(16, 8, 1);
    tables.JPEGTables = gray;
    EXPECT_EQ(DecodeJpegError(tables, gray, 16 * 8), "Bogus JPEG tables field.");
    // Not JPEG data at all: libjpeg's own message.
    EXPECT_NE(DecodeJpegError(JpegProperties(16, 8, 1), {1, 2, 3, 4}, 16 * 8), "");
}

TEST(TiffJpegDecoder, ATruncatedStripWarnsAndKeepsItsRows)
{
    TRecordingSink sink;
    TScopedMessageSink scoped(sink);
    const auto full = EncodeJpeg(128, 128, 1);
    TImageProperties p = JpegProperties(128, 128, 1);
    std::vector<uint8_t> whole(128 * 128), cut(128 * 128, 0xEE);
    {
        TTIFFJPEGDecoder decoder(&p);
        decoder.DecodeInit();
        std::vector<uint8_t> data = full;
        void* src = data.data();
        void* dst = whole.data();
        decoder.Decode(src, dst, static_cast<int32_t>(data.size()), 128 * 128);
        EXPECT_EQ(decoder.BytesPerRow(), 128u);
    }
    EXPECT_TRUE(sink.messages.empty());
    TTIFFJPEGDecoder decoder(&p);
    decoder.DecodeInit();
    std::vector<uint8_t> data(full.begin(), full.begin() + static_cast<long>(full.size() * 4 / 5));
    void* src = data.data();
    void* dst = cut.data();
    decoder.Decode(src, dst, static_cast<int32_t>(data.size()), 128 * 128);
    ASSERT_FALSE(sink.messages.empty());
    EXPECT_EQ(sink.messages[0].text, "JPEG decompression error. Unexpected end of input.");
    EXPECT_EQ(sink.messages[0].caption, "Warning");
    EXPECT_EQ(sink.messages[0].icon, TMsgIcon::Warning);
    // The first rows are those of the whole strip.
    EXPECT_EQ(std::memcmp(cut.data(), whole.data(), 128 * 16), 0);
}

}  // namespace
