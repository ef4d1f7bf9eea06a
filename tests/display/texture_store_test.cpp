// The texture store: keys and order, replacement, uploads of bitmaps, files
// and memory blocks, page cutting and the reload after a new device.
#include <cstring>
#include <memory>
#include <vector>

#include "display/texture_store.h"
#include "display_fixture.h"
#include "platform/gdi/canvas.h"
#include "support/temp_dir.h"

namespace {

class TextureStore : public DisplayTest {
protected:
    void SetUp() override
    {
        DisplayTest::SetUp();
        scope = std::make_unique<TScopedMessageSink>(sink);
        OpenDevice();
        store = std::make_unique<Td3dTexture_buffer>();
    }
    void TearDown() override
    {
        store.reset();
        DisplayTest::TearDown();
        scope.reset();
    }

    // The ids in list order.
    std::vector<int> Ids() const
    {
        std::vector<int> ids;
        for (int32_t i = 0; i < store->Records.Count(); ++i) {
            const ttexture_record* r = store->Records.GetByIndex(i);
            ids.push_back(r ? std::stoi(r->Name.str()) : -12345);
        }
        return ids;
    }

    TRecordingSink sink;
    std::unique_ptr<TScopedMessageSink> scope;
    std::unique_ptr<Td3dTexture_buffer> store;
};

std::unique_ptr<TBitmap> Picture(int w, int h, TPixelFormat format, TColor color)
{
    auto b = std::make_unique<TBitmap>();
    b->SetPixelFormat(format);
    b->SetSize(w, h);
    b->Canvas().Brush.Color = color;
    b->Canvas().FillRect(Rect(0, 0, w, h));
    return b;
}

D3DSURFACE_DESC Desc(IDirect3DTexture8* t)
{
    D3DSURFACE_DESC d{};
    t->GetLevelDesc(0, &d);
    return d;
}

// Texel (x, y) of a 16-bit texture.
uint16_t Texel16(IDirect3DTexture8* t, int x, int y)
{
    D3DLOCKED_RECT lr{};
    EXPECT_EQ(t->LockRect(0, &lr, nullptr, 0), D3D_OK);
    uint16_t v = 0;
    std::memcpy(&v, static_cast<uint8_t*>(lr.pBits) + y * lr.Pitch + x * 2, 2);
    t->UnlockRect(0);
    return v;
}

}  // namespace

TEST(NextPow2, RoundsUpToAPowerOfTwoWithinTheTable)
{
    const int cases[][2] = {{1, 2},       {2, 2},       {3, 4},       {4, 4},         {5, 8},        {60, 64},
                            {100, 128},   {256, 256},   {257, 512},   {4096, 4096},   {4097, 8192},  {8192, 8192},
                            {8193, 8193}, {10000, 10000}, {0, 0},     {-5, -5}};
    for (const auto& c : cases) EXPECT_EQ(NextPow2(c[0]), c[1]) << c[0];
}

TEST_F(TextureStore, BitmapsAreStretchedToPowersOfTwo)
{
    ASSERT_TRUE(store->AddFromBitmap(5001, *Picture(100, 60, pf24bit, clRed)));
    IDirect3DTexture8* t = store->GetCurrentTexture();
    ASSERT_TRUE(t);
    EXPECT_EQ(store->CurrentId, 5001);
    EXPECT_EQ(Desc(t).Width, 128u);
    EXPECT_EQ(Desc(t).Height, 64u);
    EXPECT_EQ(Desc(t).Format, D3DFMT_R5G6B5);
    EXPECT_EQ(Texel16(t, 127, 63), 0xF800);  // stretched over the whole texture
    const ttexture_record* r = store->Find(5001);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->Name.str(), "  5001");
    EXPECT_EQ(r->Width, 128);
    EXPECT_EQ(r->Height, 64);
    EXPECT_EQ(r->BytesPerPixel, 2);
    EXPECT_EQ(r->Owns, 1);
    EXPECT_EQ(r->Pixels[0] | r->Pixels[1] << 8, 0xF800);

    ASSERT_TRUE(store->AddFromBitmap(5002, *Picture(256, 256, pf16bit, clBlue)));
    EXPECT_EQ(Desc(store->GetCurrentTexture()).Width, 256u);
    // A side beyond the rounding table stays as it is, and the device refuses it.
    EXPECT_FALSE(store->AddFromBitmap(5003, *Picture(10000, 2, pf8bit, clBlue)));
    EXPECT_EQ(store->CurrentId, 5002);
    EXPECT_FALSE(store->AddFromBitmap(5004, TBitmap()));
    EXPECT_EQ(store->Count(), 2);
}

TEST_F(TextureStore, StretchKeepsThePictureLayout)
{
    // Left half red, right half green, 3 x 2: becomes 4 x 2.
    TBitmap b;
    b.SetPixelFormat(pf24bit);
    b.SetSize(2, 2);
    b.SetPixel(0, 0, clRed);
    b.SetPixel(1, 0, clLime);
    b.SetPixel(0, 1, clBlue);
    b.SetPixel(1, 1, clWhite);
    ASSERT_TRUE(store->AddFromBitmap(1, b));
    IDirect3DTexture8* t = store->GetCurrentTexture();
    EXPECT_EQ(Texel16(t, 0, 0), 0xF800);
    EXPECT_EQ(Texel16(t, 1, 0), 0x07E0);
    EXPECT_EQ(Texel16(t, 0, 1), 0x001F);
    EXPECT_EQ(Texel16(t, 1, 1), 0xFFFF);
}

TEST_F(TextureStore, RecordsStaySortedByNumberAndAddingAnIdAgainReplacesIt)
{
    for (int id : {5001, 12, 1000, 3, 6001, 999999, 0})
        ASSERT_TRUE(store->AddFromBitmap(id, *Picture(4, 4, pf24bit, clRed)));
    EXPECT_EQ(Ids(), (std::vector<int>{0, 3, 12, 1000, 5001, 6001, 999999}));

    const int liveBefore = D3DCounters().liveTextures;
    ASSERT_TRUE(store->AddFromBitmap(5001, *Picture(8, 2, pf24bit, clBlue)));
    EXPECT_EQ(Ids(), (std::vector<int>{0, 3, 12, 1000, 5001, 6001, 999999}));
    EXPECT_EQ(store->Records.FreeCount(), 0);  // no empty slot left behind
    EXPECT_EQ(D3DCounters().liveTextures, liveBefore);  // the old texture is gone
    store->Select(5001);
    EXPECT_EQ(Desc(store->GetCurrentTexture()).Width, 8u);
    EXPECT_EQ(Texel16(store->GetCurrentTexture(), 0, 0), 0x001F);

    store->Select(9999);
    EXPECT_EQ(store->GetCurrentTexture(), nullptr);
    EXPECT_EQ(store->CurrentId, -1);
    store->Select(3);
    EXPECT_EQ(store->CurrentId, 3);
    EXPECT_EQ(store->GetCurrentTexture(), store->Find(3)->Texture.Get());
}

TEST_F(TextureStore, FailedBitmapUploadLeavesTheStoreAsItWas)
{
    ASSERT_TRUE(store->AddFromBitmap(7, *Picture(4, 4, pf24bit, clRed)));
    IDirect3DTexture8* old = store->GetCurrentTexture();
    ASSERT_TRUE(store->AddFromBitmap(8, *Picture(4, 4, pf24bit, clRed)));
    D3DFailNext(TD3DFailPoint::CreateTexture, 1);
    EXPECT_FALSE(store->AddFromBitmap(7, *Picture(4, 4, pf24bit, clBlue)));
    EXPECT_EQ(store->Count(), 2);
    EXPECT_EQ(store->Find(7)->Texture.Get(), old);
    EXPECT_EQ(store->CurrentId, 8);
}

TEST_F(TextureStore, MemoryBlocksInEveryFormat)
{
    struct {
        uint16_t bits;
        D3DFORMAT format;
        uint16_t bytes;
    } const cases[] = {{15, D3DFMT_A1R5G5B5, 2}, {16, D3DFMT_R5G6B5, 2}, {24, D3DFMT_R8G8B8, 3}, {32, D3DFMT_A8R8G8B8, 4}};
    int id = 100;
    for (const auto& c : cases) {
        const int w = 3, h = 2;
        auto* block = new uint8_t[size_t(w) * h * c.bytes];
        for (int i = 0; i < w * h * c.bytes; ++i) block[i] = uint8_t(i * 7 + 1);
        ASSERT_TRUE(store->AddFromMemory(id, w, h, block, true, c.bits)) << c.bits;
        const ttexture_record* r = store->Find(id);
        ASSERT_TRUE(r);
        EXPECT_EQ(r->Pixels, block);  // kept, not copied
        EXPECT_EQ(r->BytesPerPixel, c.bytes);
        EXPECT_EQ(r->Width, 3);  // not rounded
        EXPECT_EQ(Desc(r->Texture.Get()).Format, c.format);
        D3DLOCKED_RECT lr{};
        ASSERT_EQ(r->Texture->LockRect(0, &lr, nullptr, 0), D3D_OK);
        for (int y = 0; y < h; ++y)
            EXPECT_EQ(std::memcmp(static_cast<uint8_t*>(lr.pBits) + y * lr.Pitch, block + y * w * c.bytes, w * c.bytes), 0);
        r->Texture->UnlockRect(0);
        EXPECT_EQ(store->CurrentId, id);
        ++id;
    }
    // A block the store does not own stays the caller's.
    std::vector<uint8_t> mine(8, 0xAB);
    ASSERT_TRUE(store->AddFromMemory(200, 2, 2, mine.data(), false, 16));
    ASSERT_TRUE(store->AddFromMemory(200, 2, 2, mine.data(), false, 16));
    EXPECT_EQ(store->Count(), 5);

    // No format for 8 bits: refused, nothing removed.
    EXPECT_FALSE(store->AddFromMemory(200, 2, 2, mine.data(), false, 8));
    EXPECT_TRUE(store->Find(200));
}

TEST_F(TextureStore, FailedMemoryUploadHasAlreadyRemovedTheOldTexture)
{
    std::vector<uint8_t> block(32, 0);
    ASSERT_TRUE(store->AddFromMemory(5, 4, 4, block.data(), false, 16));
    D3DFailNext(TD3DFailPoint::CreateTexture, 1);
    auto* owned = new uint8_t[32]();
    EXPECT_FALSE(store->AddFromMemory(5, 4, 4, owned, true, 16));
    delete[] owned;  // refused: still the caller's
    EXPECT_FALSE(store->Find(5));
    EXPECT_EQ(store->Count(), 0);
    EXPECT_EQ(store->Records.FreeCount(), 0);
    EXPECT_FALSE(store->AddFromMemory(6, 0, 4, block.data(), false, 16));
    EXPECT_FALSE(store->AddFromMemory(6, 9000, 1, block.data(), false, 16));
}

TEST_F(TextureStore, PagesAreCutFromTheTop)
{
    TBitmap b;
    b.SetPixelFormat(pf16bit);
    b.SetSize(256, 768);
    for (int y = 0; y < 768; ++y) {
        auto* row = reinterpret_cast<uint16_t*>(b.ScanLine(y));
        for (int x = 0; x < 256; ++x) row[x] = uint16_t(y * 3 + x);
    }
    store->AddTexturePages(b, 1000);
    EXPECT_EQ(Ids(), (std::vector<int>{1000, 1001, 1002}));
    EXPECT_TRUE(sink.messages.empty());
    for (int page = 0; page < 3; ++page) {
        const ttexture_record* r = store->Find(1000 + page);
        ASSERT_TRUE(r);
        EXPECT_EQ(r->Width, 256);
        EXPECT_EQ(r->Height, 256);
        EXPECT_EQ(r->Owns, 1);
        EXPECT_EQ(Texel16(r->Texture.Get(), 0, 0), uint16_t(page * 256 * 3));
        EXPECT_EQ(Texel16(r->Texture.Get(), 255, 255), uint16_t((page * 256 + 255) * 3 + 255));
    }
    EXPECT_EQ(store->CurrentId, 1002);

    // Another level's pages replace the ids both have; the others stay.
    TBitmap one;
    one.SetPixelFormat(pf16bit);
    one.SetSize(256, 256);
    store->AddTexturePages(one, 1001);
    EXPECT_EQ(Ids(), (std::vector<int>{1000, 1001, 1002}));
    EXPECT_EQ(Texel16(store->Find(1001)->Texture.Get(), 5, 5), 0);
    EXPECT_EQ(Texel16(store->Find(1002)->Texture.Get(), 0, 0), uint16_t(512 * 3));
}

TEST_F(TextureStore, PageBitmapsOfAnotherShapeAreRefused)
{
    TBitmap b;
    b.SetPixelFormat(pf16bit);
    b.SetSize(256, 0);
    store->AddTexturePages(b, 1);
    EXPECT_EQ(store->Count(), 0);
    EXPECT_TRUE(sink.messages.empty());

    b.SetSize(128, 256);
    store->AddTexturePages(b, 1);
    b.SetSize(256, 300);
    store->AddTexturePages(b, 1);
    ASSERT_EQ(sink.Texts(), (std::vector<std::string>{"width have to be 256 pixels",
                                                       "Height have to be multiple of 256 pixels"}));
    EXPECT_EQ(sink.messages[0].buttons, unsigned(MB_OK));

    b.SetPixelFormat(pf24bit);
    b.SetSize(100, 100);
    store->AddTexturePages(b, 1);
    EXPECT_EQ(sink.messages.size(), 2u);  // not 16 bits: silently nothing
    EXPECT_EQ(store->Count(), 0);
}

TEST_F(TextureStore, PageThatCannotBeMadeIsSkipped)
{
    TBitmap b;
    b.SetPixelFormat(pf16bit);
    b.SetSize(256, 512);
    D3DFailNext(TD3DFailPoint::CreateTexture, 1);
    store->AddTexturePages(b, 1);
    EXPECT_EQ(Ids(), (std::vector<int>{2}));
}

TEST_F(TextureStore, ReloadMakesTexturesAgainFromTheirPixels)
{
    EXPECT_FALSE(store->ReloadTextures(-1));  // empty
    ASSERT_TRUE(store->AddFromBitmap(1, *Picture(4, 4, pf24bit, clRed)));
    ASSERT_TRUE(store->AddFromBitmap(2, *Picture(4, 4, pf24bit, clLime)));
    auto* block = new uint8_t[4 * 4 * 4];
    std::memset(block, 0x40, 64);
    ASSERT_TRUE(store->AddFromMemory(3, 4, 4, block, true, 32));
    {
        // Held here, the old textures stay alive, so a new one cannot take an old one's address.
        const TComRef<IDirect3DTexture8> first = store->Find(1)->Texture, second = store->Find(2)->Texture;

        // A position past the end touches nothing.
        D3DResetCounters();
        EXPECT_FALSE(store->ReloadTextures(3));
        EXPECT_EQ(store->Find(1)->Texture.Get(), first.Get());
        EXPECT_EQ(D3DCounters().texturesCreated, 0);

        // One position: only that record.
        EXPECT_TRUE(store->ReloadTextures(1));
        EXPECT_EQ(store->Find(1)->Texture.Get(), first.Get());
        EXPECT_NE(store->Find(2)->Texture.Get(), second.Get());
        EXPECT_EQ(D3DCounters().texturesCreated, 1);
    }

    // All of them, on a new device, in their own formats.
    RecreateAllSwapChains();  // no hook for this store: its textures are on the old device
    EXPECT_TRUE(store->ReloadTextures(-1));
    EXPECT_EQ(Texel16(store->Find(2)->Texture.Get(), 3, 3), 0x07E0);
    EXPECT_EQ(Desc(store->Find(3)->Texture.Get()).Format, D3DFMT_A8R8G8B8);
    IDirect3DTexture8* third = store->Find(3)->Texture.Get();
    D3DLOCKED_RECT lr{};
    ASSERT_EQ(third->LockRect(0, &lr, nullptr, 0), D3D_OK);
    EXPECT_EQ(static_cast<uint8_t*>(lr.pBits)[5], 0x40);
    third->UnlockRect(0);

    // A texture that cannot be made stops the reload; later records have none.
    D3DFailNext(TD3DFailPoint::CreateTexture, 1);
    EXPECT_FALSE(store->ReloadTextures(-1));
    EXPECT_FALSE(store->Find(1)->Texture);
    EXPECT_FALSE(store->Find(3)->Texture);
    store->Select(3);
    EXPECT_EQ(store->GetCurrentTexture(), nullptr);
}

TEST_F(TextureStore, PicturesFromFiles)
{
    TempDir dir;
    const std::string file = dir.file("solid.bmp");
    Picture(20, 10, pf24bit, clLime)->SaveToFile(file);
    ASSERT_TRUE(store->AddFromFile(5001, file));
    EXPECT_EQ(Desc(store->GetCurrentTexture()).Width, 32u);
    EXPECT_EQ(Desc(store->GetCurrentTexture()).Height, 16u);
    EXPECT_EQ(Texel16(store->GetCurrentTexture(), 31, 15), 0x07E0);

    EXPECT_THROW(store->AddFromFile(5002, dir.file("missing.bmp")), std::exception);
    WriteFileBytes(dir.file("broken.bmp"), std::vector<uint8_t>{'B', 'M', 1, 2, 3});
    EXPECT_THROW(store->AddFromFile(5002, dir.file("broken.bmp")), std::exception);
    WriteFileBytes(dir.file("picture.unknown"), std::vector<uint8_t>{1, 2, 3});
    EXPECT_THROW(store->AddFromFile(5002, dir.file("picture.unknown")), EInvalidGraphic);
    EXPECT_EQ(store->Count(), 1);
}

TEST_F(TextureStore, TheGlobalStoreIsReloadedByTheDeviceRecovery)
{
    EXPECT_EQ(TextureBuffer, nullptr);
    CreateTextureBuffer();
    ASSERT_TRUE(TextureBuffer);
    ASSERT_TRUE(ReloadTexturesHook);
    ASSERT_TRUE(TextureBuffer->AddFromBitmap(5001, *Picture(4, 4, pf24bit, clRed)));
    ASSERT_TRUE(TextureBuffer->AddFromBitmap(5002, *Picture(4, 4, pf24bit, clRed)));
    D3DResetCounters();
    RecreateAllSwapChains();
    EXPECT_EQ(D3DCounters().texturesCreated, 2);
    // The new device takes them, as it refuses textures of another device.
    EXPECT_EQ(D3DDevice->SetTexture(0, TextureBuffer->Find(5001)->Texture.Get()), D3D_OK);
    EXPECT_EQ(D3DDevice->SetTexture(0, TextureBuffer->Find(5002)->Texture.Get()), D3D_OK);
    D3DDevice->SetTexture(0, nullptr);
    FreeTextureBuffer();
    EXPECT_EQ(TextureBuffer, nullptr);
    EXPECT_FALSE(ReloadTexturesHook);
    EXPECT_EQ(D3DCounters().liveTextures, 0);
}
