// The texture store: uploads of bitmaps, files and memory blocks in every
// format, ids kept in numeric order and replaced, pages cut from a bitmap,
// and the reload after a new device.
#include "support/view_fixture.h"

namespace {

class TextureStore : public DeviceTest {
protected:
    void SetUp() override
    {
        DeviceTest::SetUp();
        OpenView();
        CreateTextureBuffer();
        store = TextureBuffer;
    }
    std::vector<int> Ids() const
    {
        std::vector<int> ids;
        for (int32_t i = 0; i < store->Records.Count(); ++i)
            ids.push_back(std::stoi(store->Records.GetByIndex(i)->Name.str()));
        return ids;
    }
    D3DSURFACE_DESC Desc(int32_t id)
    {
        D3DSURFACE_DESC d{};
        store->Find(id)->Texture->GetLevelDesc(0, &d);
        return d;
    }
    Td3dTexture_buffer* store = nullptr;
};

}  // namespace

TEST_F(TextureStore, BitmapsFilesAndMemoryBlocks)
{
    // Pictures stretched to sides of powers of two (the layout of a stretched
    // picture shows in the view's frames), in 565.
    ASSERT_TRUE(store->AddFromBitmap(5001, *Solid(100, 60, pf24bit, clRed)));
    EXPECT_EQ(std::pair(Desc(5001).Width, Desc(5001).Height), std::pair(128u, 64u));
    EXPECT_EQ(Desc(5001).Format, D3DFMT_R5G6B5);
    EXPECT_EQ(Texel(5001, 127, 63), 0xF800u);
    // Refused, the store as it was: a side beyond the rounding table, none, or no texture.
    D3DFailNext(TD3DFailPoint::CreateTexture, 1);
    EXPECT_FALSE(store->AddFromBitmap(5001, *Solid(4, 4, pf24bit, clBlue)));
    EXPECT_FALSE(store->AddFromBitmap(5003, *Solid(10000, 2, pf8bit, clBlue)));
    EXPECT_FALSE(store->AddFromBitmap(5004, TBitmap()));
    EXPECT_EQ(store->CurrentId, 5001);
    EXPECT_EQ(Texel(5001, 0, 0), 0xF800u);
    TempDir dir;  // files through the picture loader
    Solid(20, 10, pf24bit, clLime)->SaveToFile(dir.file("solid.bmp"));
    ASSERT_TRUE(store->AddFromFile(7, dir.file("solid.bmp")));
    EXPECT_EQ(std::pair(Desc(7).Width, Desc(7).Height), std::pair(32u, 16u));
    EXPECT_EQ(Texel(7, 31, 15), 0x07E0u);
    WriteFileBytes(dir.file("broken.bmp"), std::vector<uint8_t>{'B', 'M', 1, 2, 3});
    WriteFileBytes(dir.file("picture.unknown"), std::vector<uint8_t>{1, 2, 3});
    EXPECT_THROW(store->AddFromFile(8, dir.file("broken.bmp")), std::exception);
    EXPECT_THROW(store->AddFromFile(8, dir.file("picture.unknown")), EInvalidGraphic);

    // Memory blocks of every depth, kept as they are; 8 bits refused.
    const std::tuple<uint16_t, D3DFORMAT, int> formats[] = {
        {15, D3DFMT_A1R5G5B5, 2}, {16, D3DFMT_R5G6B5, 2}, {24, D3DFMT_R8G8B8, 3}, {32, D3DFMT_A8R8G8B8, 4}};
    for (const auto& [bits, format, bytes] : formats) {
        SCOPED_TRACE(testing::Message() << bits << " bits");
        auto* block = new uint8_t[size_t(3 * 2 * bytes)];
        for (int i = 0; i < 3 * 2 * bytes; ++i) block[i] = uint8_t(i * 7 + 1);
        ASSERT_TRUE(store->AddFromMemory(bits, 3, 2, block, true, bits)) << bits;
        uint32_t last = 0;
        std::memcpy(&last, block + 5 * bytes, size_t(bytes));
        EXPECT_EQ(store->CurrentId, bits);
        EXPECT_EQ(Desc(bits).Format, format);
        EXPECT_EQ(Desc(bits).Width, 3u);
        EXPECT_EQ(Texel(bits, 2, 1, bytes), last);
    }
    std::vector<uint8_t> mine(32, 0xAB);  // a block the store does not own stays the caller's
    EXPECT_FALSE(store->AddFromMemory(15, 2, 2, mine.data(), false, 8));
    EXPECT_FALSE(store->AddFromMemory(9, 0, 4, mine.data(), false, 16));
    // Making one again removes the old texture first, even when that fails.
    D3DFailNext(TD3DFailPoint::CreateTexture, 1);
    EXPECT_FALSE(store->AddFromMemory(16, 4, 4, mine.data(), false, 16));

    // Ids in numeric order; an id added again is replaced, its old texture gone.
    for (int id : {12, 1000, 3, 6001, 999999, 0}) ASSERT_TRUE(store->AddFromBitmap(id, *Solid(4, 4, pf24bit, clRed)));
    const int live = D3DCounters().liveTextures;
    ASSERT_TRUE(store->AddFromBitmap(5001, *Solid(8, 2, pf24bit, clBlue)));
    EXPECT_EQ(Ids(), (std::vector<int>{0, 3, 7, 12, 15, 24, 32, 1000, 5001, 6001, 999999}));
    EXPECT_EQ(D3DCounters().liveTextures, live);
    EXPECT_EQ(Desc(5001).Width, 8u);
    EXPECT_EQ(Texel(5001, 0, 0), 0x001Fu);
    store->Select(9999);
    EXPECT_EQ(store->GetCurrentTexture(), nullptr);
    EXPECT_EQ(store->CurrentId, -1);
    store->Select(3);
    EXPECT_EQ(store->CurrentId, 3);
    EXPECT_EQ(store->GetCurrentTexture(), store->Find(3)->Texture.Get());
}

TEST_F(TextureStore, PagesAndTheReloadAfterANewDevice)
{
    EXPECT_FALSE(store->ReloadTextures(-1));  // nothing to reload
    TBitmap b;
    b.SetPixelFormat(pf16bit);
    b.SetSize(256, 768);
    for (int y = 0; y < 768; ++y)
        for (int x = 0; x < 256; ++x) reinterpret_cast<uint16_t*>(b.ScanLine(y))[x] = uint16_t(y * 3 + x);
    D3DFailNext(TD3DFailPoint::CreateTexture, 1);  // a page that cannot be made is skipped
    store->AddTexturePages(b, 999);
    EXPECT_EQ(Ids(), (std::vector<int>{1000, 1001}));
    store->AddTexturePages(b, 1000);  // cut from the top; ids both have replaced
    for (int page = 0; page < 3; ++page) {
        EXPECT_EQ(Texel(1000 + page, 0, 0), uint16_t(page * 256 * 3)) << page;
        EXPECT_EQ(Texel(1000 + page, 255, 255), uint16_t((page * 256 + 255) * 3 + 255)) << page;
    }
    const std::tuple<int, int, TPixelFormat> refused[] = {
        {256, 0, pf16bit}, {128, 256, pf16bit}, {512, 256, pf16bit}, {256, 300, pf16bit}, {100, 100, pf24bit}};
    for (const auto& [w, h, format] : refused) {
        b.SetPixelFormat(format);
        b.SetSize(w, h);
        store->AddTexturePages(b, 1);
    }
    EXPECT_EQ(sink.Texts(), (std::vector<std::string>{"width have to be 256 pixels", "width have to be 256 pixels",
                                                      "Height have to be multiple of 256 pixels"}));

    auto* block = new uint8_t[64];
    std::memset(block, 0x40, 64);
    ASSERT_TRUE(store->AddFromMemory(1, 4, 4, block, true, 32));
    D3DResetCounters();
    EXPECT_FALSE(store->ReloadTextures(4));  // past the last position: nothing
    EXPECT_TRUE(store->ReloadTextures(1));   // that position only
    EXPECT_EQ(D3DCounters().texturesCreated, 1);
    // The device recovery reloads every texture in its own format, so that the new device takes them.
    RecreateAllSwapChains();
    EXPECT_EQ(D3DCounters().texturesCreated, 5);
    for (int id : {1, 1000, 1002}) EXPECT_EQ(D3DDevice->SetTexture(0, store->Find(id)->Texture.Get()), D3D_OK);
    D3DDevice->SetTexture(0, nullptr);
    EXPECT_EQ(Texel(1002, 0, 0), 512u * 3);
    EXPECT_EQ(Desc(1).Format, D3DFMT_A8R8G8B8);
    EXPECT_EQ(Texel(1, 1, 1, 4), 0x40404040u);
    // A texture that cannot be made stops the reload; the records after it
    // have none rather than one of the old device.
    D3DFailNext(TD3DFailPoint::CreateTexture, 1);
    EXPECT_FALSE(store->ReloadTextures(-1));
    EXPECT_FALSE(store->Find(1)->Texture);
    EXPECT_FALSE(store->Find(1002)->Texture);
    store->Select(1002);
    EXPECT_EQ(store->GetCurrentTexture(), nullptr);
    FreeTextureBuffer();
    EXPECT_EQ(TextureBuffer, nullptr);
    EXPECT_FALSE(ReloadTexturesHook);
    EXPECT_EQ(D3DCounters().liveTextures, 0);
}
