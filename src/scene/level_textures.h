// The texture pages of the loaded level: every 256 x 256 textile becomes a
// 16-bit texture of the texture store, with consecutive ids.
#pragma once

#include <cstdint>
#include <memory>

class TBitmap;
class Ttrlevel;

// Uploads the level's textiles to the program's texture store as pages
// firstId, firstId + 1, ... (an id already present is replaced) and returns
// the number of pages made. TR2 and later files give their 16-bit 1555
// textiles (pixels without the opaque bit become magenta); TR1 files their
// 8-bit textiles in the colours of the level's palette. Textile counts are
// bounded by the pixels the level holds, and the pages stop below
// LEVEL_PAGES_END_ID. Without a texture store nothing is uploaded.
int32_t LoadLevelTextures(const Ttrlevel& level, int32_t firstId);

// Texture ids from this one on are the program's own textures (the solid
// and coloured textures, the icons, the hidden face): a level's pages never
// take them, however many textiles it holds.
inline constexpr int32_t LEVEL_PAGES_END_ID = 5001;

// The textiles LoadLevelTextures uploads as pages from firstId, as one
// 16-bit bitmap 256 pixels wide with page i at rows 256 x i .. 256 x i +
// 255; nothing is uploaded. A bitmap too large to be had raises
// EOutOfResources (or std::bad_alloc).
std::unique_ptr<TBitmap> LevelTexturePicture(const Ttrlevel& level, int32_t firstId);
