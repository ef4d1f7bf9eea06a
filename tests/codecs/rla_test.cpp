#include <gtest/gtest.h>

#include <cmath>

#include "codecs/rla.h"
#include "platform/rtl/classes.h"
#include "support/byte_writer.h"
#include "support/imagemagick.h"
#include "load_bytes.h"

namespace {

// Run-length packets as the format has them: a count n >= 0 repeats the next
// byte n + 1 times, a count n < 0 is followed by -n literal bytes.
std::vector<uint8_t> Encode(const std::vector<uint8_t>& samples)
{
    std::vector<uint8_t> out;
    size_t i = 0;
    while (i < samples.size()) {
        size_t run = 1;
        while (i + run < samples.size() && run < 128 && samples[i + run] == samples[i]) ++run;
        if (run >= 3) {
            out.push_back(static_cast<uint8_t>(run - 1));
            out.push_back(samples[i]);
            i += run;
            continue;
        }
        size_t literal = 0;
        while (i + literal < samples.size() && literal < 128) {
            const size_t j = i + literal;
            if (j + 2 < samples.size() && samples[j] == samples[j + 1] && samples[j] == samples[j + 2]) break;
            ++literal;
        }
        out.push_back(static_cast<uint8_t>(-static_cast<int>(literal)));
        out.insert(out.end(), samples.begin() + static_cast<long>(i), samples.begin() + static_cast<long>(i + literal));
        i += literal;
    }
    return out;
}

// An RLA file of the RGBA rows (top row first) with the active window given;
// rows are stored in the order the window says (bottom first when bottom < top).
struct RlaFile {
    int width = 1, height = 1;
    std::vector<uint8_t> rgba;
    bool matte = false;
    int bottom = 0, top = -1;  // -1: height - 1
    std::string gamma = "1.0";
    std::string channelType = "rgb";
    uint16_t revision = 0xFFFE;
    int bits = 8;
    int matteBits = -1;  // -1: bits

    std::vector<uint8_t> Bytes() const
    {
        const int t = top < 0 ? height - 1 : top;
        TByteWriter w;
        w.BE16(0).BE16(width - 1).BE16(0).BE16(height - 1);  // window
        w.BE16(0).BE16(width - 1).BE16(bottom).BE16(t);      // active window
        w.BE16(1).BE16(0).BE16(3).BE16(matte ? 1 : 0).BE16(0).BE16(revision);
        w.Text(gamma, 16).Text("0.670 0.330", 24).Text("0.210 0.710", 24).Text("0.140 0.080", 24);
        w.Text("0.310 0.316", 24).BE32(0).Text("picture", 128).Text("", 128).Text("writer", 64).Text("", 32);
        w.Text("", 32).Text("", 20).Text("", 24).Text("1.0", 8).Text(channelType, 32).BE16(0).Text("", 12);
        w.Text("", 32).BE16(bits).BE16(0).BE16(matteBits < 0 ? bits : matteBits).BE16(0).BE16(0).Text("", 32).Text("", 36).BE32(0);
        EXPECT_EQ(w.Size(), 740u);
        const size_t table = w.Size();
        w.Fill(4 * static_cast<size_t>(height));
        const bool bottomUp = bottom < t;
        for (int i = 0; i < height; ++i) {
            const int y = bottomUp ? height - 1 - i : i;  // stored row i is picture row y
            w.PutBE32(table + 4 * static_cast<size_t>(i), static_cast<uint32_t>(w.Size()));
            for (int c = 0; c < (matte ? 4 : 3); ++c) {
                // Deeper channels: the 8-bit samples scaled, as a plane of
                // high bytes and a plane of low bytes, each coded apart.
                std::vector<uint8_t> high(static_cast<size_t>(width)), low(static_cast<size_t>(width));
                for (int x = 0; x < width; ++x) {
                    const int v = rgba[(static_cast<size_t>(y) * width + x) * 4 + c];
                    const long s = bits > 8 ? std::lround(v * ((1 << bits) - 1) / 255.0) : v;
                    high[static_cast<size_t>(x)] = static_cast<uint8_t>(bits > 8 ? s >> 8 : s);
                    low[static_cast<size_t>(x)] = static_cast<uint8_t>(s);
                }
                std::vector<uint8_t> packed = Encode(high);
                if (bits > 8) {
                    const auto second = Encode(low);
                    packed.insert(packed.end(), second.begin(), second.end());
                }
                w.BE16(static_cast<unsigned>(packed.size())).Append(packed);
            }
        }
        return w.Bytes;
    }
};

RlaFile Pattern(int width, int height, bool matte)
{
    RlaFile f;
    f.width = width;
    f.height = height;
    f.matte = matte;
    f.rgba = TestPatternRgba(width, height);
    if (!matte)
        for (size_t i = 3; i < f.rgba.size(); i += 4) f.rgba[i] = 255;
    return f;
}

TReferenceImage Reference(const RlaFile& f)
{
    TReferenceImage r;
    r.Width = f.width;
    r.Height = f.height;
    r.HasAlpha = f.matte;
    r.Rgba = f.rgba;
    return r;
}

TEST(Rla, PicturesLoadAsWritten)
{
    for (int bits : {8, 10, 16}) {
        for (bool matte : {false, true}) {
            RlaFile f = Pattern(67, 43, matte);
            f.bits = bits;
            TRLAGraphic g;
            Load(g, f.Bytes());
            ASSERT_EQ(g.PixelFormat(), matte ? pf32bit : pf24bit);
            EXPECT_EQ(g.ImageProperties.ColorScheme, matte ? csRGBA : csRGB);
            EXPECT_EQ(ComparePixels(g, Reference(f), 0, matte), "") << bits << " bits, matte " << matte;
        }
    }
}

TEST(Rla, ActiveWindowGivesTheSizeAndTheRowOrder)
{
    RlaFile f = Pattern(4, 100, false);
    TRLAGraphic g;
    Load(g, f.Bytes());
    EXPECT_EQ(g.Height(), 100);
    EXPECT_TRUE(g.ImageProperties.BottomUp);
    EXPECT_EQ(ComparePixels(g, Reference(f), 0, false), "");

    f.bottom = 99;
    f.top = 0;
    TRLAGraphic topDown;
    Load(topDown, f.Bytes());
    EXPECT_EQ(topDown.Height(), 100);
    EXPECT_FALSE(topDown.ImageProperties.BottomUp);
    EXPECT_EQ(ComparePixels(topDown, Reference(f), 0, false), "");
}

TEST(Rla, FileGammaPassesThroughTheGammaTable)
{
    RlaFile f = Pattern(3, 1, false);
    f.rgba = {0, 64, 255, 255, 128, 128, 128, 255, 255, 255, 255, 255};
    f.gamma = "2.2";
    TRLAGraphic g;
    Load(g, f.Bytes());
    EXPECT_FLOAT_EQ(g.ImageProperties.FileGamma, 2.2f);
    EXPECT_TRUE(g.ImageProperties.Options & ioUseGamma);
    auto expected = [](int v) { return static_cast<int>(std::nearbyint(255 * std::pow(v / 255.0, 1 / (2.2 * 2.2)))); };
    const TColor mid = g.GetPixel(1, 0);
    EXPECT_NEAR(GetRValue(mid), expected(128), 1);
    EXPECT_NEAR(GetGValue(g.GetPixel(0, 0)), expected(64), 1);
    EXPECT_EQ(GetRValue(g.GetPixel(0, 0)), 0);
    EXPECT_EQ(g.GetPixel(2, 0), RGB(255, 255, 255));

    f.gamma = "1.0";
    TRLAGraphic plain;
    Load(plain, f.Bytes());
    EXPECT_FALSE(plain.ImageProperties.Options & ioUseGamma);
    EXPECT_EQ(plain.GetPixel(1, 0), RGB(128, 128, 128));
}

TEST(Rla, HeadersItDoesNotUnderstandLoadNothingAndReportNothing)
{
    RlaFile xyz = Pattern(2, 2, false);
    xyz.channelType = "xyz";
    RlaFile noGamma = Pattern(2, 2, false);
    noGamma.gamma = "";
    RlaFile badGamma = Pattern(2, 2, false);
    badGamma.gamma = "two";
    RlaFile mixedDepths = Pattern(2, 2, true);
    mixedDepths.bits = 16;
    mixedDepths.matteBits = 8;
    for (const RlaFile* f : {&xyz, &noGamma, &badGamma, &mixedDepths}) {
        TRLAGraphic g;
        g.SetPixelFormat(pf24bit);
        g.SetSize(5, 5);
        Load(g, f->Bytes());
        EXPECT_TRUE(g.Empty());
    }
    const auto whole = Pattern(2, 2, false).Bytes();
    TRLAGraphic cut;
    Load(cut, std::vector<uint8_t>(whole.begin(), whole.begin() + 700));
    EXPECT_TRUE(cut.Empty());
}

TEST(Rla, ChannelLengthsPastTheEndRaiseTheReadError)
{
    auto bytes = Pattern(6, 2, false).Bytes();
    const size_t firstRow = (size_t(bytes[740]) << 24) | (size_t(bytes[741]) << 16) | (size_t(bytes[742]) << 8) | bytes[743];
    bytes[firstRow] = 0xFF;
    bytes[firstRow + 1] = 0xFF;
    TRLAGraphic g;
    EXPECT_THROW(Load(g, bytes), EReadError);
    // An offset table the file does not hold.
    RlaFile tall = Pattern(1, 1, false);
    tall.top = 30000;
    TRLAGraphic t;
    EXPECT_THROW(Load(t, tall.Bytes()), EReadError);
}

TEST(Rla, CanLoadTestsRevisionAndChannelType)
{
    TRLAGraphic g;
    RlaFile f = Pattern(2, 2, false);
    TMemoryStream ok(f.Bytes().data(), f.Bytes().size());
    EXPECT_TRUE(g.CanLoad(ok));
    EXPECT_EQ(ok.Position(), 0);
    f.channelType = "XYZ";
    const auto xyz = f.Bytes();
    TMemoryStream upper(xyz.data(), xyz.size());
    EXPECT_TRUE(g.CanLoad(upper));
    f.channelType = "rgb";
    f.revision = 0xFFFD;
    const auto old = f.Bytes();
    TMemoryStream revision(old.data(), old.size());
    EXPECT_FALSE(g.CanLoad(revision));
    EXPECT_EQ(revision.Position(), 0);
    TMemoryStream tiny(old.data(), 740);
    EXPECT_FALSE(g.CanLoad(tiny));
}

}  // namespace
