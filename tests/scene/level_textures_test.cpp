#include <gtest/gtest.h>

#include <cstring>

#include "display/texture_store.h"
#include "level/trlevel.h"
#include "mesh_test_helpers.h"
#include "platform/rtl/messages.h"
#include "scene/level_textures.h"
#include "support/level_writer.h"

using namespace mesh_test;

namespace {

// Texel (x, y) that the store keeps for a page.
uint16_t Texel(int32_t id, int x, int y)
{
    ttexture_record* r = TextureBuffer->Find(id);
    if (!r || !r->Pixels) {
        ADD_FAILURE() << "no texture " << id;
        return 0;
    }
    uint16_t v;
    std::memcpy(&v, r->Pixels + (size_t(y) * r->Width + size_t(x)) * 2, 2);
    return v;
}

// The same texel read back from the device's texture.
uint16_t DeviceTexel(int32_t id, int x, int y)
{
    ttexture_record* r = TextureBuffer->Find(id);
    if (!r || !r->Texture) return 0;
    D3DLOCKED_RECT lr{};
    EXPECT_EQ(r->Texture->LockRect(0, &lr, nullptr, 0), D3D_OK);
    uint16_t v;
    std::memcpy(&v, static_cast<uint8_t*>(lr.pBits) + y * lr.Pitch + x * 2, 2);
    r->Texture->UnlockRect(0);
    return v;
}

void Put16(std::vector<uint8_t>& pixels, uint32_t page, int x, int y, uint16_t value)
{
    const size_t at = page * TEXTILE16_BYTES + (size_t(y) * 256 + size_t(x)) * 2;
    pixels[at] = uint8_t(value);
    pixels[at + 1] = uint8_t(value >> 8);
}

// A level of the version code with `pages` 16-bit textiles whose first
// pixel tells the page apart: opaque red of intensity page + 1.
TLevelDesc SixteenBitLevel(int code, uint32_t pages)
{
    TLevelDesc d;
    d.version_code = code;
    d.textile16.assign(size_t(pages) * TEXTILE16_BYTES, 0);
    for (uint32_t p = 0; p < pages; ++p) Put16(d.textile16, p, 0, 0, uint16_t(0x8000 | ((p + 1) << 10)));
    if (code >= LEVEL_TR4) {
        d.num_room_textiles = uint16_t(pages);
        d.textile32.assign(size_t(pages) * TEXTILE32_BYTES, 0);
    } else {
        d.num_textiles = pages;
        d.textile8.assign(size_t(pages) * TEXTILE8_BYTES, 0);
    }
    return d;
}

class LevelTextures : public DeviceTest {};

TEST_F(LevelTextures, EveryTextileBecomesAPageWithItsOwnId)
{
    const auto level = LoadLevel(SixteenBitLevel(LEVEL_TR2, 12));
    EXPECT_EQ(LoadLevelTextures(*level, 1000), 12);
    EXPECT_EQ(TextureBuffer->Count(), 12);
    for (int32_t p = 0; p < 12; ++p) {
        ASSERT_NE(TextureBuffer->Find(1000 + p), nullptr) << p;
        // 1555 red p + 1 is 565 red p + 1.
        EXPECT_EQ(Texel(1000 + p, 0, 0), (p + 1) << 11);
    }
    EXPECT_EQ(TextureBuffer->Find(1012), nullptr);
    EXPECT_EQ(DeviceTexel(1011, 0, 0), 12 << 11);
}

TEST_F(LevelTextures, SixteenBitPixelsBecome565WithMagentaForClearOnes)
{
    for (int code : {LEVEL_TR2, LEVEL_TR3, LEVEL_TR4, LEVEL_TRC}) {
        SCOPED_TRACE(code);
        TLevelDesc d = SixteenBitLevel(code, 2);
        Put16(d.textile16, 0, 1, 0, 0xFFFF);
        Put16(d.textile16, 0, 2, 0, 0x7FFF);  // opaque flag clear
        Put16(d.textile16, 1, 255, 255, uint16_t(0x8000 | (3 << 10) | (17 << 5) | 29));
        const auto level = LoadLevel(d);
        EXPECT_EQ(LoadLevelTextures(*level, 1000), 2);
        EXPECT_EQ(Texel(1000, 1, 0), 0xFFDF);
        EXPECT_EQ(Texel(1000, 2, 0), 0xF81F);
        EXPECT_EQ(Texel(1001, 255, 255), (3 << 11) | (17 << 6) | 29);
        EXPECT_EQ(Texel(1001, 0, 0), 2 << 11);
    }
}

TEST_F(LevelTextures, FirstGameTilesTakeTheColoursOfTheLevelPalette)
{
    for (int code : {LEVEL_TR1, LEVEL_TR1_TUB}) {
        SCOPED_TRACE(code);
        TLevelDesc d;
        d.version_code = code;
        d.num_textiles = 2;
        d.textile8.assign(2 * TEXTILE8_BYTES, 0);
        d.palette[7] = {63, 32, 1};
        d.palette[200] = {10, 40, 20};
        d.textile8[5] = 7;
        d.textile8[TEXTILE8_BYTES + 255 * 256 + 3] = 200;
        const auto level = LoadLevel(d);
        EXPECT_EQ(LoadLevelTextures(*level, 1000), 2);
        // 6-bit values times 4, then reduced to 5-6-5.
        auto rgb565 = [](int r6, int g6, int b6) { return uint16_t(((r6 * 4) >> 3) << 11 | ((g6 * 4) >> 2) << 5 | ((b6 * 4) >> 3)); };
        EXPECT_EQ(Texel(1000, 5, 0), rgb565(63, 32, 1));
        EXPECT_EQ(Texel(1001, 3, 255), rgb565(10, 40, 20));
        // Palette entry 0 is magenta in every loaded level.
        EXPECT_EQ(Texel(1000, 0, 0), rgb565(63, 0, 63));
    }
}

TEST_F(LevelTextures, ASecondLevelReplacesTheIdsBothUse)
{
    const auto first = LoadLevel(SixteenBitLevel(LEVEL_TR3, 3));
    ASSERT_EQ(LoadLevelTextures(*first, 1000), 3);
    TLevelDesc d = SixteenBitLevel(LEVEL_TR4, 2);
    Put16(d.textile16, 0, 0, 0, 0x801F);  // opaque blue
    const auto second = LoadLevel(d);
    EXPECT_EQ(LoadLevelTextures(*second, 1000), 2);
    EXPECT_EQ(TextureBuffer->Count(), 3);
    EXPECT_EQ(Texel(1000, 0, 0), 0x1F);
    EXPECT_EQ(Texel(1001, 0, 0), 2 << 11);
    EXPECT_EQ(Texel(1002, 0, 0), 3 << 11);  // the first level's third page stays
}

TEST_F(LevelTextures, NoTextilesNoPagesNoMessage)
{
    TRecordingSink sink;
    TScopedMessageSink scope(sink);
    TLevelDesc d;
    d.version_code = LEVEL_TR3;
    const auto level = LoadLevel(d);
    EXPECT_EQ(LoadLevelTextures(*level, 1000), 0);
    EXPECT_EQ(TextureBuffer->Count(), 0);
    Ttrlevel empty;
    EXPECT_EQ(LoadLevelTextures(empty, 1000), 0);
    EXPECT_TRUE(sink.messages.empty());
}

TEST_F(LevelTextures, CountsBeyondThePixelsAreNotTrusted)
{
    const auto level = LoadLevel(SixteenBitLevel(LEVEL_TR2, 2));
    level->num_textiles = 1000000;
    EXPECT_EQ(LoadLevelTextures(*level, 1000), 2);
    EXPECT_EQ(TextureBuffer->Count(), 2);
}

TEST(LevelTexturesWithoutStore, CountsThePagesAndUploadsNothing)
{
    ASSERT_EQ(TextureBuffer, nullptr);
    const auto level = LoadLevel(SixteenBitLevel(LEVEL_TR2, 2));
    EXPECT_EQ(LoadLevelTextures(*level, 1000), 2);
}

}  // namespace
