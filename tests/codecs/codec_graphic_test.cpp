#include <gtest/gtest.h>

#include "codecs/codec_graphic.h"
#include "codecs/targa.h"
#include "platform/rtl/classes.h"
#include "support/temp_dir.h"

namespace {

TEST(CodecGraphic, CodecErrorFormatsItsArguments)
{
    try {
        CodecError(gesInvalidImage, {"TIF/TIFF"});
        FAIL();
    } catch (const EInvalidGraphic& e) {
        EXPECT_STREQ(e.what(), "Cannot load image. Invalid or unexpected TIF/TIFF image format.");
    }
    EXPECT_THROW(CodecError("plain"), EInvalidGraphic);
    try {
        CodecError("%s and %s", {"a", "b"});
    } catch (const EInvalidGraphic& e) {
        EXPECT_STREQ(e.what(), "a and b");
    }
}

TEST(CodecGraphic, BaseReadImagePropertiesClearsEverything)
{
    TTargaGraphic t;
    t.ImageProperties.Width = 5;
    t.ImageProperties.FileGamma = 2.0f;
    t.ImageProperties.RowsPerStrip = {1, 2};
    t.ImageProperties.Options = ioBigEndian;
    TMemoryStream s;
    EXPECT_FALSE(t.TCodecGraphic::ReadImageProperties(s, 0));
    EXPECT_EQ(t.ImageProperties.Width, 0u);
    EXPECT_FLOAT_EQ(t.ImageProperties.FileGamma, 1.0f);
    EXPECT_TRUE(t.ImageProperties.RowsPerStrip.empty());
    EXPECT_EQ(t.ImageProperties.Options, 0);
    EXPECT_FALSE(t.TCodecGraphic::CanLoad(s));
}

TEST(CodecGraphic, AssignCopiesPropertiesOnlyFromCodecGraphics)
{
    TTargaGraphic a;
    a.ImageProperties.Width = 7;
    a.ImageProperties.JPEGTables = {1, 2, 3};
    a.SetPixelFormat(pf24bit);
    a.SetSize(2, 2);
    a.SetPixel(1, 1, RGB(1, 2, 3));
    TTargaGraphic b;
    b.Assign(a);
    EXPECT_EQ(b.ImageProperties.Width, 7u);
    EXPECT_EQ(b.ImageProperties.JPEGTables.size(), 3u);
    EXPECT_EQ(b.GetPixel(1, 1), RGB(1, 2, 3));
    TBitmap plain;
    plain.SetPixelFormat(pf8bit);
    plain.SetSize(3, 1);
    b.Assign(plain);
    EXPECT_EQ(b.ImageProperties.Width, 7u);
    EXPECT_EQ(b.Width(), 3);
    EXPECT_EQ(b.PixelFormat(), pf8bit);
}

TEST(CodecGraphic, CanLoadFromAFileLeavesNothingOpen)
{
    TempDir dir;
    TTargaGraphic t;
    t.SetPixelFormat(pf8bit);
    t.SetSize(2, 2);
    t.SaveToFile(dir.file("a.tga"));
    TTargaGraphic probe;
    EXPECT_TRUE(probe.CanLoad(dir.file("a.tga")));
    WriteFileBytes(dir.file("b.tga"), std::vector<uint8_t>(30, 0xFF));
    EXPECT_FALSE(probe.CanLoad(dir.file("b.tga")));
}

TEST(CodecGraphic, SwapAndDepredictHelpers)
{
    uint16_t shorts[] = {0x1234, 0xABCD};
    SwapShort(shorts, 2);
    EXPECT_EQ(shorts[0], 0x3412);
    EXPECT_EQ(shorts[1], 0xCDAB);
    uint32_t longs[] = {0x12345678, 0x01020304};
    SwapLong(longs, 2);
    EXPECT_EQ(longs[0], 0x78563412u);
    EXPECT_EQ(longs[1], 0x04030201u);
    EXPECT_EQ(SwapLong(0xAABBCCDDu), 0xDDCCBBAAu);

    uint8_t one[] = {10, 1, 1, 1};
    Depredict1(one, 3);
    EXPECT_EQ(std::vector<uint8_t>(one, one + 4), (std::vector<uint8_t>{10, 11, 12, 13}));
    uint8_t three[] = {1, 2, 3, 1, 1, 1, 255, 0, 1};
    Depredict3(three, 2);
    EXPECT_EQ(std::vector<uint8_t>(three, three + 9), (std::vector<uint8_t>{1, 2, 3, 2, 3, 4, 1, 3, 5}));
    uint8_t four[] = {1, 2, 3, 4, 1, 1, 1, 1};
    Depredict4(four, 1);
    EXPECT_EQ(four[7], 5);
}

}  // namespace
