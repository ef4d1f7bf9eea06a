// The texts of the File menu's memos and lists, and the Texturesfile's
// page layout.
#include <algorithm>
#include <cstring>

#include "editor/project_commands.h"
#include "level/trlevel.h"
#include "platform/gdi/canvas.h"
#include "platform/gdi/graphics.h"

namespace {

constexpr int PAGE_SIDE = 256;
constexpr int GRID_STEP = 64;
constexpr TColor GRID_GREEN = 0x00FF00;
constexpr TColor PAGE_BORDER_RED = 0x0000FF;

std::string Line(const char* label, int64_t value) { return label + std::to_string(value); }

// The rows of a picture laid out in one column 256 pixels wide, before they
// are rounded up to whole pages: a picture twice as wide has each half made
// a whole number of 64-pixel rows, the right half below the left one.
int64_t LaidOutRows(int width, int height)
{
    if (width != 2 * PAGE_SIDE) return height;
    return (int64_t(height) + GRID_STEP - 1) / GRID_STEP * GRID_STEP * 2;
}

}  // namespace

std::string CatalogName(const TMoveableCatalog& catalog, int id)
{
    if (id >= 0 && id < TR_CATALOG_SIZE) return catalog[static_cast<std::size_t>(id)].name;
    return "Moveable Id#" + std::to_string(id);
}

std::string ItemListLine(const titem& item, const TMoveableCatalog& catalog)
{
    const uint32_t correlative = item.correlative;
    return std::to_string(correlative) + ".- " + CatalogName(catalog, item.objectId);
}

std::vector<std::string> ProjectInfoLines(const tcuarto_list& p)
{
    return {
        Line("Total Rooms in Project:", p.roomCount),
        Line("Total Cameras in Project:", p.cameraCount),
        Line("Total Items in Project:", p.itemCount),
        Line("Total Triggers in Project:", p.triggerCount),
        Line("Animated Texture Sets:", p.animSetCount),
        // Scrolling textures are counted with the animated sets.
        Line("Scrolling Textures:", p.animSetCount),
        Line("Lara_Room:", p.playerRoom),
        Line("Lara_Column:", p.playerColumn),
        Line("Lara_Row:", p.playerRow),
        "Basefile Directory:" + p.basefilePath.str(),
        "Textures Directory:" + p.texturesfilePath.str(),
        "Scriptfile Directory:" + p.scriptDirectory.str(),
        "Build Directory:" + p.buildDirectory.str(),
        "Comments:" + p.comments.str(),
        "Name:" + p.name.str(),
    };
}

std::vector<std::string> BasefileInfoLines(const Ttrlevel& l)
{
    std::vector<std::string> lines = {
        Line("Size In Bytes of The WAV Sound Found In Basefile:", l.sample_data_size),
        Line("Total Sample Info Records In Basefile:", l.num_sound_details),
        Line("Total Sample Info Offsets In Basefile:", l.num_sample_indices),
        Line("Total Source Sounds In Basefile:", l.num_sound_sources),
        Line("Total Texture Pieces In Basefile:", l.num_object_textures),
        Line("Total Texture Pages In Basefile:", l.num_textiles),
        Line("Total Size Pixel Data In Basefile:", l.textile8_bytes),
        Line("Total Sprite Textures Defined:", l.num_sprite_textures),
        Line("Sprite Sequences Table In Basefile:", l.num_sprite_sequences),
        Line("Total Animated Texture Data Size In Basefile:", l.num_animated_textures),
        Line("Total Animations In Basefile:", l.num_animations),
        Line("Total Frames In Basefile:", l.num_frames),
        // One count serves the cinematic frames of the older games and the
        // AI objects of the newer ones.
        Line("Cinematic Frames In Basefile:", l.num_cinematic_frames),
        Line("Demo Data In Basefile:", l.num_demo_data),
        Line("Total Cameras and Sinks In Basefile:", l.num_cameras),
        Line("Total Rooms In Basefile:", l.num_rooms),
        Line("Total Floor Data In Basefile:", l.num_floor_data),
        Line("Total Static Meshes In Basefile:", l.num_static_meshes),
        Line("Total Boxes In Basefile:", l.num_boxes),
        Line("Total Overlaps In Basefile:", l.num_overlaps),
        Line("Total Zones In Basefile:", l.num_zones),
        Line("Total Meshwords In Basefile:", l.num_mesh_data),
        Line("Total Items In Basefile:", l.num_items),
        Line("Total Movables In Basefile:", l.num_moveables),
    };
    // The player's room is the first item's; a level without items names none.
    if (l.num_items > 0 && !l.items.empty()) {
        const int16_t room = l.items.front().room;
        lines.push_back(Line("Lara_Room:", room));
    } else {
        lines.emplace_back("Lara_Room:");
    }
    return lines;
}

std::vector<std::string> ItemInfoLines(const titem& item)
{
    const titem i = item;  // by value: the record is packed
    return {
        Line("Correlative: ", i.correlative),
        Line("Room: ", i.room),
        Line("Column: ", i.column),
        Line("Row: ", i.row),
        Line("High: ", i.height),
        Line("ID: ", i.objectId),
        Line("Angle: ", i.angle),
        Line("-X-: ", i.fineX),
        Line("-Y-: ", i.fineY),
        Line("-Z-: ", i.fineZ),
        Line("Flag: ", i.flag),
        Line("Amount: ", i.amount),
        Line("Intensity: ", i.intensity),
        Line("Color: ", static_cast<int32_t>(i.color)),
        Line("Order: ", i.order),
        Line("OCB: ", i.ocb),
    };
}

int32_t NextItemNumberOf(const tcuarto_list& project)
{
    uint32_t largest = 0;
    const int count = std::min<int>(project.itemCount, MAX_PROJECT_ITEMS);
    for (int i = 1; i <= count; ++i) {
        const uint32_t c = project.items[static_cast<std::size_t>(i)].correlative;
        if (c > largest) largest = c;
    }
    return static_cast<int32_t>(largest + 1u);
}

bool TexturesfileSizeFits(int width, int height) { return TexturesfileSizeMessage(width, height) == nullptr; }

const char* TexturesfileSizeMessage(int width, int height)
{
    if ((width != PAGE_SIDE && width != 2 * PAGE_SIDE) || height < GRID_STEP) return TEXTURESFILE_SIZE_TEXT;
    const int64_t pages = (LaidOutRows(width, height) + PAGE_SIDE - 1) / PAGE_SIDE;
    if (pages > BASEFILE_FIRST_ID - TEXTURESFILE_FIRST_ID) return TEXTURESFILE_HEIGHT_TEXT;
    return nullptr;
}

std::unique_ptr<TBitmap> LayTexturePages(const TGraphic& picture)
{
    const int width = picture.Width();
    int height = picture.Height();
    auto bitmap = std::make_unique<TBitmap>();
    bitmap->SetPixelFormat(pf16bit);
    bitmap->SetSize(width, height);  // new pixels are 0: black
    bitmap->Canvas().Draw(0, 0, picture);

    if (width == 2 * PAGE_SIDE) {
        height = static_cast<int>(LaidOutRows(width, height));
        bitmap->SetHeight(height);
        const int half = height / 2;
        const std::size_t rowBytes = PAGE_SIDE * 2;
        for (int y = 0; y < half; ++y)
            std::memcpy(bitmap->ScanLine(half + y), bitmap->ScanLine(y) + rowBytes, rowBytes);
        bitmap->SetWidth(PAGE_SIDE);
    }
    if (height % PAGE_SIDE != 0) bitmap->SetHeight((height / PAGE_SIDE + 1) * PAGE_SIDE);
    return bitmap;
}

void DrawTexturePanelGrid(TBitmap& bitmap)
{
    TCanvas& canvas = bitmap.Canvas();
    const int width = bitmap.Width(), height = bitmap.Height();
    canvas.Brush.Style = bsClear;
    canvas.Pen.Style = psSolid;
    canvas.Pen.Width = 1;
    canvas.Pen.Color = GRID_GREEN;
    canvas.Rectangle(0, 0, width, height);
    for (int x = GRID_STEP; x < PAGE_SIDE; x += GRID_STEP) {
        canvas.MoveTo(x, 0);
        canvas.LineTo(x, height);
    }
    for (int k = 1; k <= height / GRID_STEP - 1; ++k) {
        canvas.Pen.Color = k % 4 == 0 ? PAGE_BORDER_RED : GRID_GREEN;
        canvas.MoveTo(0, k * GRID_STEP);
        canvas.LineTo(width, k * GRID_STEP);
    }
}

std::string TrimText(const std::string& text)
{
    std::size_t a = 0, b = text.size();
    while (a < b && static_cast<unsigned char>(text[a]) <= ' ') ++a;
    while (b > a && static_cast<unsigned char>(text[b - 1]) <= ' ') --b;
    return text.substr(a, b - a);
}
