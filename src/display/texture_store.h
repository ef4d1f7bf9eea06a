// Every texture of the program under an integer texture id, with a copy of
// its pixels so that all of them can be made again on a new device.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "display/sorted_list.h"
#include "platform/d3d8/d3d8.h"
#include "platform/gdi/graphics.h"
#include "platform/rtl/shortstring.h"

// Largest side of a texture, and of the power-of-two rounding.
constexpr int32_t MaxTextureSide = 8192;

// Texture pages cut from a bitmap and made into textures, not yet in the
// store: a loader makes them before it replaces anything, and places them
// only once everything else it needs has been made too.
struct TTexturePageSet {
    std::vector<std::unique_ptr<uint8_t[]>> Pixels;    // page i's 256 x 256 pixels, 16 bits each
    std::vector<TComRef<IDirect3DTexture8>> Textures;  // page i's texture; nil when it could not be made
    // Every page has its texture (the device had room for all of them).
    bool Complete() const;
};

struct ttexture_record {
    TShortString<10> Name;  // the record's key
    TComRef<IDirect3DTexture8> Texture;
    uint8_t* Pixels = nullptr;  // rows top to bottom, no gap between rows
    uint8_t Owns = 0;           // the store frees Pixels (a block from new uint8_t[])
    uint16_t Width = 0;
    uint16_t Height = 0;
    uint16_t BytesPerPixel = 0;
    D3DFORMAT Format = D3DFMT_R5G6B5;  // what a reload makes the texture in
};

class Td3dTexture_buffer {
public:
    Td3dTexture_buffer();
    ~Td3dTexture_buffer();
    Td3dTexture_buffer(const Td3dTexture_buffer&) = delete;
    Td3dTexture_buffer& operator=(const Td3dTexture_buffer&) = delete;

    // Makes the texture of an id current; an id not stored leaves no current
    // texture and current id -1.
    void Select(int32_t id);
    // The current texture (nil when none); no reference is added.
    IDirect3DTexture8* GetCurrentTexture() const { return CurrentTexture.Get(); }

    // Uploads a picture stretched to power-of-two sides (NextPow2 of each) as
    // a 16-bit 565 texture, replacing any texture of the id. False when the
    // texture cannot be made; the store is then unchanged.
    bool AddFromBitmap(int32_t id, const TGraphic& source);
    // Loads a picture file through the picture loader (by its extension) and
    // uploads it as AddFromBitmap does. A missing or unreadable file raises
    // the loader's error.
    bool AddFromFile(int32_t id, const std::string& fileName);
    // Uploads width x height pixels of 15 (1555), 16 (565), 24 or 32 bits
    // from a block the store keeps (and frees when `owns`; such a block must
    // come from new uint8_t[]). Any texture of the id is removed first, even
    // when the new one cannot be made; on false the caller keeps its block.
    bool AddFromMemory(int32_t id, int32_t width, int32_t height, uint8_t* pixels, bool owns, uint16_t bits);
    // Makes the texture at a list position again from its retained pixels,
    // or every texture with a negative position (after a new device). False
    // for an empty store, a position past the last record, or a texture that
    // cannot be made: the records of the range from it on are left without one.
    bool ReloadTextures(int32_t position);
    // Cuts a 16-bit bitmap 256 pixels wide into 256 x 256 pages from the top
    // and uploads page i as id firstId + i. Another width or a height that is
    // no multiple of 256 is refused with a message; another format silently.
    void AddTexturePages(const TBitmap& bitmap, int32_t firstId);
    // The pages AddTexturePages would upload, made without touching the
    // store (the same refusals and messages; a refused bitmap gives no
    // pages). Running out of memory raises std::bad_alloc with the store
    // unchanged.
    TTexturePageSet MakeTexturePages(const TBitmap& bitmap) const;
    // Stores the pages as ids firstId, firstId + 1, ... as AddTexturePages
    // does (a page without a texture removes the id's old texture).
    void PlaceTexturePages(TTexturePageSet pages, int32_t firstId);

    int32_t Count() const { return Records.Count(); }
    // The record of an id; nil when none.
    ttexture_record* Find(int32_t id);

    Tlistmem<ttexture_record> Records;  // kept sorted by IntToStrWidth(id, 6)
    TComRef<IDirect3DTexture8> CurrentTexture;
    int32_t CurrentId = 0;

private:
    // Removes the record of a key, if any, and packs the list.
    void Remove(const std::string& key);
    // Makes a texture for a record's size and format and copies its pixels in.
    static bool Upload(ttexture_record& record);
    // Adds the record of a texture made for the id (no record of the id may
    // be left): its block of pixels, which the store frees when `owns`, size
    // and format. The texture becomes the current one.
    void Store(int32_t id, const TComRef<IDirect3DTexture8>& texture, uint8_t* pixels, bool owns, int32_t width,
               int32_t height, uint16_t bytesPerPixel, D3DFORMAT format);
};

// The side rounded up to a power of two, at least 2, for 1 .. 8192; any
// other value unchanged.
int32_t NextPow2(int32_t n);

// The one store of the program; nil until CreateTextureBuffer.
extern Td3dTexture_buffer* TextureBuffer;
// Creates the store and lets the device recovery reload its textures.
void CreateTextureBuffer();
// Frees the store and its textures.
void FreeTextureBuffer();
