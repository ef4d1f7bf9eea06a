// The window-free parts of the File menu's commands and of the Items Remap
// tab: the texts of the memos and lists they fill, and the re-laying of a
// Texturesfile picture into a column of texture pages.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "level/project_records.h"
#include "level/trcatalog.h"

class TBitmap;
class TGraphic;
class Ttrlevel;

// The dialog filters of the File menu, as "description|patterns".
inline constexpr const char* PROJECT_FILE_FILTER = "DXvel3d Project File|*.vel";
inline constexpr const char* PROJECT_FILE_EXTENSION = "vel";
inline constexpr const char* BASEFILE_FILTER =
    "All Tomb Raider Files (*.pdh, *.tub,*.tr2,*.tr4,*.trc)|*.phd;*.tub;*.tr2;*.tr4;*.trc";
inline constexpr const char* TEXTURESFILE_FILTER =
    "All "
    "(*.dds;*.tga;*.dib;*.jpg;*.jpeg;*.bmp;*.ico;*.emf;*.wmf)|*.dds;*.tga;*.dib;*.jpg;*.jpeg;*.bmp;*.ico;*.emf;*.wmf";

// Messages of the commands.
inline constexpr const char* PROJECT_NOT_FOUND_TEXT = "Could not find Project";
inline constexpr const char* TEXTURESFILE_NOT_FOUND_TEXT = "Could not find Texturesfile. Will continue anyway.";
inline constexpr const char* BASEFILE_NOT_FOUND_TEXT = "Could not find Basefile. Will continue anyway.";
// A Basefile that vanished between its choice and its reading.
inline constexpr const char* BASEFILE_MISSING_TEXT = "Could not find Basefile";
inline constexpr const char* TEXTURESFILE_SIZE_TEXT =
    "Height must be 64 pixels or more, and Width must be 256 or 512 pixels!";
// A picture of a right width whose pages would pass the 999 the
// Texturesfile's ids have room for: the largest heights of each width.
inline constexpr const char* TEXTURESFILE_HEIGHT_TEXT =
    "Height must be 255744 pixels or less for a Width of 256 pixels, and 127872 pixels or less for a Width of 512 "
    "pixels!";
inline constexpr const char* SAVED_AS_TEXT = "Level Saved as ";
// The comment of a new project.
inline constexpr const char* NEW_PROJECT_COMMENT = "Created with Brackwater";

// Lines the Basefile's static mesh and moveable lists and its item memo
// get at most: the games' levels hold some hundreds of each, a crafted one
// millions, which the lists would take minutes and gigabytes to hold.
constexpr std::size_t MAX_BASEFILE_LIST_LINES = 65536;

// The first texture id of the Texturesfile's pages and of the Basefile's.
constexpr int TEXTURESFILE_FIRST_ID = 1;
constexpr int BASEFILE_FIRST_ID = 1000;

// The catalog name of an object id; an id without an entry gets the
// catalog's default name ("Moveable Id#" and the id).
std::string CatalogName(const TMoveableCatalog& catalog, int id);

// The line of a project item in the item list: its correlative number
// (unsigned), ".- " and the catalog name of its object id.
std::string ItemListLine(const titem& item, const TMoveableCatalog& catalog);

// The fifteen lines of the "Project Info" memo.
std::vector<std::string> ProjectInfoLines(const tcuarto_list& project);

// The twenty-five lines of the "Basefile Info" memo.
std::vector<std::string> BasefileInfoLines(const Ttrlevel& level);

// The sixteen lines that show one project item.
std::vector<std::string> ItemInfoLines(const titem& item);

// The largest item correlative number of the project (unsigned), plus 1;
// 1 without items.
int32_t NextItemNumberOf(const tcuarto_list& project);

// True when a picture of this size can be a Texturesfile: 256 or 512
// pixels wide and at least 64 high, and laid out (LayTexturePages) in at
// most 999 pages, so that its page ids stay below the Basefile's.
bool TexturesfileSizeFits(int width, int height);
// The message for a picture of this size that cannot be a Texturesfile:
// TEXTURESFILE_SIZE_TEXT for a wrong width or too small a height,
// TEXTURESFILE_HEIGHT_TEXT for too many pages; nil when it fits.
const char* TexturesfileSizeMessage(int width, int height);

// The picture drawn on black into a 16-bit bitmap 256 pixels wide whose
// height is a multiple of 256: a 512-wide picture has its right half put
// below its left half (each half's height rounded up to a multiple of 64
// first). The size must fit (TexturesfileSizeFits).
std::unique_ptr<TBitmap> LayTexturePages(const TGraphic& picture);

// The texture panel's grid over a laid-out bitmap: a green frame, green
// lines every 64 pixels, red lines at the page borders.
void DrawTexturePanelGrid(TBitmap& bitmap);

// Text without leading and trailing blanks and control characters.
std::string TrimText(const std::string& text);
