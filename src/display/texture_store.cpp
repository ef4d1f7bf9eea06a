#include "display/texture_store.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "display/colour_utils.h"
#include "display/device.h"
#include "platform/gdi/canvas.h"
#include "platform/picture/picture.h"
#include "platform/rtl/messages.h"

Td3dTexture_buffer* TextureBuffer = nullptr;

namespace {

constexpr int32_t kPageSide = 256;
constexpr size_t kPageBytes = size_t(kPageSide) * kPageSide * 2;

// The key of an id: six characters, right-aligned.
struct TKeyText {
    explicit TKeyText(int32_t id) : length(IntToStrWidthTo(text, id, 6)) {}
    std::string_view View() const { return {text, length}; }
    char text[16];
    size_t length;
};

// A managed texture of the device holding width x height pixels of the block.
TComRef<IDirect3DTexture8> MakeTexture(int32_t width, int32_t height, D3DFORMAT format, const uint8_t* pixels,
                                       int32_t bytesPerPixel)
{
    TComRef<IDirect3DTexture8> texture;
    if (!D3DDevice || width < 1 || height < 1 || width > MaxTextureSide || height > MaxTextureSide) return texture;
    if (FAILED(D3DDevice->CreateTexture(UINT(width), UINT(height), 1, 0, format, D3DPOOL_MANAGED, texture.Put())))
        return nullptr;
    D3DLOCKED_RECT locked{};
    if (pixels && SUCCEEDED(texture->LockRect(0, &locked, nullptr, 0))) {
        const size_t row = size_t(width) * size_t(bytesPerPixel);
        auto* dst = static_cast<uint8_t*>(locked.pBits);
        for (int32_t y = 0; y < height; ++y)
            std::memcpy(dst + size_t(y) * size_t(locked.Pitch), pixels + size_t(y) * row, row);
        texture->UnlockRect(0);
    }
    return texture;
}

void FreePixels(ttexture_record& record)
{
    if (record.Owns) delete[] record.Pixels;
    record.Pixels = nullptr;
}

}  // namespace

int32_t NextPow2(int32_t n)
{
    if (n < 1 || n > MaxTextureSide) return n;
    int32_t p = 2;
    while (p < n) p *= 2;
    return p;
}

Td3dTexture_buffer::Td3dTexture_buffer() { Records.KeepSorted = true; }

Td3dTexture_buffer::~Td3dTexture_buffer()
{
    for (int32_t i = 0; i < Records.Count(); ++i) {
        ttexture_record* r = Records.GetByIndex(i);
        if (!r) continue;
        r->Texture = nullptr;
        FreePixels(*r);
    }
    Records.FreeAll();
    CurrentTexture = nullptr;
}

ttexture_record* Td3dTexture_buffer::Find(int32_t id) { return Records.GetByName(TKeyText(id).View()); }

void Td3dTexture_buffer::Select(int32_t id)
{
    if (ttexture_record* r = Find(id)) {
        CurrentTexture = r->Texture;
        CurrentId = id;
    } else {
        CurrentTexture = nullptr;
        CurrentId = -1;
    }
}

void Td3dTexture_buffer::Remove(const std::string& key)
{
    const int32_t index = Records.IndexOf(key);
    ttexture_record* r = Records.GetByIndex(index);
    if (!r) return;
    FreePixels(*r);
    r->Texture = nullptr;
    Records.Delete(index);
    Records.Pack();
}

bool Td3dTexture_buffer::AddFromBitmap(int32_t id, const TGraphic& source)
{
    const int32_t width = NextPow2(source.Width()), height = NextPow2(source.Height());
    // A side the device cannot take fails below anyway; refusing it first
    // spares the work bitmap.
    if (width < 1 || height < 1 || width > MaxTextureSide || height > MaxTextureSide) return false;

    TBitmap work;
    work.SetPixelFormat(pf16bit);
    work.SetSize(width, height);
    work.Canvas().StretchDraw(work.Canvas().ClipRect(), source);
    const size_t size = size_t(width) * size_t(height) * 2;
    std::unique_ptr<uint8_t[]> pixels(new uint8_t[size]);
    BufferFromBitmap(work, int32_t(size), pixels.get());

    TComRef<IDirect3DTexture8> texture = MakeTexture(width, height, D3DFMT_R5G6B5, pixels.get(), 2);
    if (!texture) return false;
    Remove(std::string(TKeyText(id).View()));
    Store(id, texture, pixels.get(), true, width, height, 2, D3DFMT_R5G6B5);
    pixels.release();
    return true;
}

void Td3dTexture_buffer::Store(int32_t id, const TComRef<IDirect3DTexture8>& texture, uint8_t* pixels, bool owns,
                               int32_t width, int32_t height, uint16_t bytesPerPixel, D3DFORMAT format)
{
    const TKeyText key(id);
    ttexture_record record;
    record.Name = key.View();
    record.Texture = texture;
    record.Pixels = pixels;
    record.Owns = owns ? 1 : 0;
    record.Width = uint16_t(width);
    record.Height = uint16_t(height);
    record.BytesPerPixel = bytesPerPixel;
    record.Format = format;
    Records.Add(key.View(), std::move(record));
    CurrentTexture = texture;
    CurrentId = id;
}

bool Td3dTexture_buffer::AddFromFile(int32_t id, const std::string& fileName)
{
    TPicture picture;
    picture.LoadFromFile(fileName);
    if (!picture.Graphic()) return false;
    return AddFromBitmap(id, *picture.Graphic());
}

bool Td3dTexture_buffer::AddFromMemory(int32_t id, int32_t width, int32_t height, uint8_t* pixels, bool owns,
                                       uint16_t bits)
{
    D3DFORMAT format;
    uint16_t bytes;
    switch (bits) {
    case 15:
        format = D3DFMT_A1R5G5B5;
        bytes = 2;
        break;
    case 16:
        format = D3DFMT_R5G6B5;
        bytes = 2;
        break;
    case 24:
        format = D3DFMT_R8G8B8;
        bytes = 3;
        break;
    case 32:
        format = D3DFMT_A8R8G8B8;
        bytes = 4;
        break;
    default: return false;
    }
    const TKeyText key(id);
    Remove(std::string(key.View()));
    TComRef<IDirect3DTexture8> texture = MakeTexture(width, height, format, pixels, bytes);
    if (!texture) return false;
    Store(id, texture, pixels, owns, width, height, bytes, format);
    return true;
}

bool Td3dTexture_buffer::ReloadTextures(int32_t position)
{
    const int32_t count = Records.Count();
    if (count == 0 || position >= count) return false;
    const int32_t first = position < 0 ? 0 : position;
    const int32_t last = position < 0 ? count - 1 : position;
    for (int32_t i = first; i <= last; ++i) {
        ttexture_record* r = Records.GetByIndex(i);
        if (!r) continue;
        r->Texture = nullptr;
        r->Texture = MakeTexture(r->Width, r->Height, r->Format, r->Pixels, r->BytesPerPixel);
        if (!r->Texture) {
            // The records not reached would keep textures of the old device,
            // which the new one refuses to draw: they go without.
            for (int32_t j = i + 1; j <= last; ++j)
                if (ttexture_record* rest = Records.GetByIndex(j)) rest->Texture = nullptr;
            return false;
        }
    }
    return true;
}

void Td3dTexture_buffer::AddTexturePages(const TBitmap& bitmap, int32_t firstId)
{
    PlaceTexturePages(MakeTexturePages(bitmap), firstId);
}

bool TTexturePageSet::Complete() const
{
    return std::all_of(Textures.begin(), Textures.end(), [](const auto& t) { return t.Get() != nullptr; });
}

TTexturePageSet Td3dTexture_buffer::MakeTexturePages(const TBitmap& bitmap) const
{
    TTexturePageSet set;
    if (bitmap.PixelFormat() != pf16bit) return set;
    if (bitmap.Width() != kPageSide) {
        ShowMessage("width have to be 256 pixels");
        return set;
    }
    if (bitmap.Height() % kPageSide != 0) {
        ShowMessage("Height have to be multiple of 256 pixels");
        return set;
    }
    // A 16-bit row of 256 pixels has no padding: a page is 256 consecutive rows.
    const int32_t pages = bitmap.Height() / kPageSide;
    set.Pixels.reserve(size_t(pages));
    set.Textures.reserve(size_t(pages));
    for (int32_t i = 0; i < pages; ++i) {
        std::unique_ptr<uint8_t[]> page(new uint8_t[kPageBytes]);
        std::memcpy(page.get(), bitmap.ScanLine(i * kPageSide), kPageBytes);
        set.Textures.push_back(MakeTexture(kPageSide, kPageSide, D3DFMT_R5G6B5, page.get(), 2));
        set.Pixels.push_back(std::move(page));
    }
    return set;
}

void Td3dTexture_buffer::PlaceTexturePages(TTexturePageSet pages, int32_t firstId)
{
    for (size_t i = 0; i < pages.Pixels.size(); ++i) {
        const int32_t id = firstId + int32_t(i);
        const TKeyText key(id);
        Remove(std::string(key.View()));
        if (!pages.Textures[i]) continue;
        Store(id, pages.Textures[i], pages.Pixels[i].get(), true, kPageSide, kPageSide, 2, D3DFMT_R5G6B5);
        pages.Pixels[i].release();
    }
}

void CreateTextureBuffer()
{
    if (TextureBuffer) return;
    TextureBuffer = new Td3dTexture_buffer;
    ReloadTexturesHook = [](int32_t position) { return TextureBuffer && TextureBuffer->ReloadTextures(position); };
}

void FreeTextureBuffer()
{
    ReloadTexturesHook = nullptr;
    delete TextureBuffer;
    TextureBuffer = nullptr;
}
