#include "scene/level_textures.h"

#include <algorithm>
#include <cstdint>

#include "display/colour_utils.h"
#include "display/texture_store.h"
#include "level/trlevel.h"
#include "platform/gdi/canvas.h"

namespace {

constexpr int32_t kPageSide = 256;

}  // namespace

std::unique_ptr<TBitmap> LevelTexturePicture(const Ttrlevel& level, int32_t firstId)
{
    const bool paletted = level.version_code == LEVEL_TR1 || level.version_code == LEVEL_TR1_TUB;
    const TMemBlock& block = paletted ? level.textile8 : level.textile16;
    const uint32_t pageBytes = paletted ? TEXTILE8_BYTES : TEXTILE16_BYTES;
    const uint32_t below = uint32_t(std::clamp<int64_t>(int64_t(LEVEL_PAGES_END_ID) - firstId, 0, LEVEL_PAGES_END_ID));
    const uint32_t pages =
        std::min({level.num_textiles, uint32_t(std::min<size_t>(block.length() / pageBytes, UINT32_MAX)), below});
    const int32_t width = kPageSide, height = int32_t(pages) * kPageSide;

    auto picture = std::make_unique<TBitmap>();
    picture->SetPixelFormat(pf16bit);
    picture->SetSize(width, height);
    if (pages > 0) {
        if (paletted) {
            TBitmap indexed;
            indexed.SetPixelFormat(pf8bit);
            indexed.SetSize(width, height);
            HPALETTE palette;
            PaletteFromRGB6(reinterpret_cast<const uint8_t*>(level.palette.data()), palette);
            indexed.SetPalette(palette);
            BitmapFromBuffer(indexed, width * height, block.data());
            picture->Canvas().Draw(0, 0, indexed);
        } else {
            BitmapFromBuffer(*picture, width * height * 2, block.data());
            Convert1555To565(*picture);
        }
    }
    return picture;
}

int32_t LoadLevelTextures(const Ttrlevel& level, int32_t firstId)
{
    const std::unique_ptr<TBitmap> picture = LevelTexturePicture(level, firstId);
    if (TextureBuffer) TextureBuffer->AddTexturePages(*picture, firstId);
    return picture->Height() / kPageSide;
}
