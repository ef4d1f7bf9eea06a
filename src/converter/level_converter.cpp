#include "converter/level_converter.h"

#include <algorithm>
#include <ctime>

#include "converter/floor_data_index.h"
#include "converter/level_sectors.h"
#include "converter/slope_conversion.h"
#include "level/trlevel.h"
#include "platform/rtl/progress.h"
#include "scene/scene.h"

namespace {

constexpr uint32_t kWhite = 0x00FFFFFF;

// The fields a conversion starts from. The neighbour room, flyby cameras,
// sound sources, animated sets and the two paths stay.
void ResetForConversion(tcuarto_list& project, tr_scene& scene)
{
    project.roomCount = 0;
    project.currentRoom = 1;
    project.playerRoom = 1;
    project.playerColumn = 2;
    project.playerRow = 2;
    project.itemCount = 0;
    project.selectedItem = 0;
    project.highlightedItem = 0;
    project.cameraCount = 0;
    project.selectedCamera = 0;
    project.triggerCount = 0;
    scene.RoomOfInterest = 1;
}

void SetProjectTexts(tcuarto_list& project, const std::string& today)
{
    project.name = "TR2VEL Project File:  " + StoredFileName(project.basefilePath.str());
    project.comments = "Created On:  " + today;
    project.sparePath.clear();
    project.scriptDirectory.clear();
    project.buildDirectory.clear();
}

void HidePortalFace(tface_texture& face)
{
    face.textureId = HIDDEN_FACE_TEXTURE;
    for (int i = 0; i < 4; ++i) face.uv[i] = TUVPoint{0.0f, 0.0f};
    face.mode = 1;
}

bool IsBorder(int column, int row, int columns, int rows)
{
    return column == 1 || column == columns || row == 1 || row == rows;
}

class TRoomConverter {
public:
    TRoomConverter(const Ttrlevel& level, tcuarto_list& project, tr_scene& scene, const TConverterOptions& options,
                   const TConverterHooks& hooks, int roomCount)
        : level_(level), project_(project), scene_(scene), options_(options), hooks_(hooks), roomCount_(roomCount)
    {
    }

    // Level room r becomes project room r + 1: defaults and flags, size and
    // position, the extra steps above and below, the grid, the name, the
    // rooms that may not be neighbours, then every sector.
    void Convert(int r)
    {
        r_ = r;
        n_ = r + 1;
        lr_ = &level_.rooms[static_cast<size_t>(r)];
        pr_ = &project_.rooms[static_cast<size_t>(n_)];

        Defaults();
        SizeAndPosition();
        RaiseAndLower();
        pr_->rows = static_cast<uint16_t>(rows_);
        pr_->columns = static_cast<uint16_t>(columns_);
        pr_->height = height_;
        pr_->x = lr_->x / 1024;
        pr_->z = lr_->z / 1024;
        pr_->y = y_;
        // The scene allocates the grid when it works on this project; a
        // scene bound to another project (or none) must not leave the room
        // without one.
        if (scene_.Project == &project_) scene_.InitRoomSectors(static_cast<uint8_t>(n_));
        else InitRoomSectors(project_, static_cast<uint8_t>(n_));
        Name();
        if (options_.includeSidePortals) BuildExclusions();
        for (int x = 1; x <= columns_; ++x)
            for (int z = 1; z <= rows_; ++z) Sector(x, z);
    }

    const std::vector<std::string>& Exclusions() const { return exclusions_; }

private:
    // The room's defaults, and its water, wind, sky and quicksand flags from
    // the level room's when asked for.
    void Defaults()
    {
        tcuarto& p = *pr_;
        p.ambientIntensity = 16;
        p.reservedWords = {-1, -1};
        p.ambientColor = kWhite;
        p.reservedColors = {kWhite, kWhite};
        p.reservedWord = 0;
        p.water = p.wind = p.quicksand = p.sky = 0;
        if (options_.includeRoomFlags) {
            const uint8_t flags = static_cast<uint8_t>(lr_->flags & 0xFF);
            if (flags & 0x01) p.water = 1;
            if (flags & 0x08) p.wind = 1;
            if (flags & 0x20) p.sky = 1;
            if (flags & 0x80) p.quicksand = 1;
        }
    }

    // Rows, columns and height, each cut to what a project room holds (the
    // name tells which was cut), and the room's vertical position.
    void SizeAndPosition()
    {
        rows_ = lr_->num_z_sectors;
        lengthSuffix_.clear();
        if (rows_ > MAX_CONVERTED_SECTORS) {
            rows_ = MAX_CONVERTED_SECTORS;
            lengthSuffix_ = "-Length";
        }
        columns_ = lr_->num_x_sectors;
        widthSuffix_.clear();
        if (columns_ > MAX_CONVERTED_SECTORS) {
            columns_ = MAX_CONVERTED_SECTORS;
            widthSuffix_ = "-Width";
        }
        const int32_t yb = lr_->y_bottom / 1024;
        const int32_t yt = lr_->y_top / 1024;
        height_ = static_cast<uint16_t>(yb - yt);
        heightSuffix_.clear();
        if (height_ > MAX_CONVERTED_HEIGHT) {
            height_ = MAX_CONVERTED_HEIGHT;
            heightSuffix_ = "-Height";
        }
        y_ = 32 - yb;
    }

    // One more step on top when a ceiling reaches above the room, one more
    // below when a floor reaches under it.
    void RaiseAndLower()
    {
        bool raise = false;
        bool lower = false;
        for (int x = 1; x <= columns_; ++x) {
            for (int z = 1; z <= rows_; ++z) {
                if (IsBorder(x, z, columns_, rows_)) continue;
                const troom_sector ls = LevelSectorAt(*lr_, x, z);
                if (ls.floor == LEVEL_WALL_FLOOR) continue;
                if (ls.ceiling + 4 * y_ + 4 * height_ - 128 < 0) raise = true;
                if (-ls.floor - 4 * y_ + 128 < 0) lower = true;
            }
        }
        if (height_ == MAX_CONVERTED_HEIGHT || (options_.doNotOverlapWaterRooms && pr_->water != 0) ||
            options_.doNotOverlapRooms)
            raise = lower = false;
        if (raise) height_ = static_cast<uint16_t>(height_ + 1);
        if (lower) {
            y_ -= 1;
            height_ = static_cast<uint16_t>(height_ + 1);
        }
    }

    // The room's name: its number, what was cut to fit, and its flags.
    void Name()
    {
        std::string name = "Room#" + std::to_string(n_) + heightSuffix_ + lengthSuffix_ + widthSuffix_;
        if (pr_->water == 1) name += "-Water";
        if (pr_->wind == 1) name += "-Wind";
        if (pr_->sky == 1) name += "-Sky";
        if (pr_->quicksand == 1) name += "-Quicksand";
        if (hooks_.RoomNamed) hooks_.RoomNamed(name);
        pr_->name = name;
    }

    // Rooms that lie above this one are never taken as rooms beside it.
    void BuildExclusions()
    {
        exclusions_.clear();
        for (int x = 1; x <= columns_; ++x) {
            for (int z = 1; z <= rows_; ++z) {
                if (!(z != 1 || z == rows_ || x == 1 || x == columns_)) continue;
                const troom_sector ls = LevelSectorAt(*lr_, x, z);
                if (ls.room_above == LEVEL_NO_ROOM) continue;
                const std::string text = std::to_string(ls.room_above + 1);
                if (!Excluded(text)) exclusions_.push_back(text);
            }
        }
    }

    bool Excluded(const std::string& text) const
    {
        return std::find(exclusions_.begin(), exclusions_.end(), text) != exclusions_.end();
    }

    // A level room link that names a converted room; links to rooms the
    // project does not hold are dropped.
    bool Linked(uint32_t levelRoom) const { return levelRoom < static_cast<uint32_t>(roomCount_); }

    bool IsPortalOfRoom(uint16_t room) const
    {
        const int portals = std::min<int>(lr_->num_portals, ROOM_MAX_PORTALS);
        for (int i = 0; i < portals; ++i)
            if (lr_->portals[static_cast<size_t>(i)].adjoining_room == room) return true;
        return false;
    }

    // One sector: floor and ceiling heights, the rooms above and below, a
    // doorway to the room beside, slopes and death from the floor data, then
    // what walls and border sectors may not have.
    void Sector(int x, int z)
    {
        const troom_sector ls = LevelSectorAt(*lr_, x, z);
        tsector& s = pr_->sectors[x][z];
        const bool wall = ls.floor == LEVEL_WALL_FLOOR;
        const bool border = IsBorder(x, z, columns_, rows_);
        const int32_t floorRise = -ls.floor - 4 * y_ + 128;

        Heights(ls, floorRise, wall, s);
        if (options_.includeVerticalPortals) VerticalPortals(ls, s);
        const bool sidePortal = FloorData(ls, x, z, border && !wall, s);
        ClearWallOrBorder(wall, border, x == 1 || x == columns_, s);
        if (sidePortal) Doorway(floorRise, s);
    }

    // The ceiling and floor heights asked for; a wall has no ceiling.
    void Heights(const troom_sector& ls, int32_t floorRise, bool wall, tsector& s) const
    {
        if (options_.includeCeilingGeometry) {
            const TSplitHeight v = SplitHeight(ls.ceiling + 4 * y_ + 4 * height_ - 128);
            s.ceilingBase = v.base;
            s.ceilingClicks = v.clicks;
        }
        if (options_.includeFloorGeometry) {
            const TSplitHeight v = SplitHeight(floorRise);
            s.floorBase = v.base;
            s.floorClicks = v.clicks;
        }
        if (wall) s.ceilingBase = s.ceilingClicks = 0;
    }

    // The converted rooms below and above, their portal faces hidden.
    void VerticalPortals(const troom_sector& ls, tsector& s) const
    {
        if (ls.room_below != LEVEL_NO_ROOM && Linked(ls.room_below)) {
            s.roomBelow = static_cast<uint8_t>(ls.room_below + 1);
            HidePortalFace(s.floorFaces[0]);
        }
        if (ls.room_above != LEVEL_NO_ROOM && Linked(ls.room_above)) {
            s.roomAbove = static_cast<uint8_t>(ls.room_above + 1);
            HidePortalFace(s.ceilingFaces[0]);
        }
    }

    // The sector's floor data: the room beside (only an open border sector
    // may have one), the floor and ceiling slopes and death. True when a
    // room beside was taken.
    bool FloorData(const troom_sector& ls, int x, int z, bool openBorder, tsector& s)
    {
        const tfloordata_group& group = FloorDataGroups[FloorDataGroupNumber(ls.floor_data_index)];
        bool sidePortal = false;
        if (!group.entries.empty()) {
            // Only a portal function's data names the room beside; other
            // functions' data words are no room numbers. The last entry
            // that qualifies gives it.
            if (options_.includeSidePortals && group.portal && openBorder) {
                for (size_t k = group.portalRooms.size(); k-- > 0;) {
                    const uint16_t room = group.portalRooms[k];
                    if (!Linked(room) || !IsPortalOfRoom(room) || Excluded(std::to_string(room + 1))) continue;
                    s.roomBeside = static_cast<uint8_t>(room + 1);
                    sidePortal = true;
                    break;
                }
            }
            // The room's grid is fresh: no wall holds edge values but one a
            // slant has just been given, so only that one is cleared.
            constexpr TWallClearing walls = TWallClearing::ThisSector;
            if (options_.includeFloorAngles) ApplyFloorSlants(project_, level_, group.floorSlants, r_, x, z, walls);
            if (options_.includeCeilingAngles)
                ApplyCeilingSlants(project_, level_, group.ceilingSlants, r_, x, z, walls);
        }
        if (options_.includeDeathSectors) s.death = group.death;
        return sidePortal;
    }

    // A wall keeps only its floor at the room's height; a border sector is
    // flat at that height, and on the first and last column has no rooms
    // above or below. Without a room below or above no height goes under the
    // floor or over the ceiling.
    void ClearWallOrBorder(bool wall, bool border, bool borderColumn, tsector& s) const
    {
        const int8_t heightByte = static_cast<int8_t>(height_ & 0xFF);
        if (wall) {
            s.floorClicks = s.floorBase = s.ceilingClicks = s.ceilingBase = 0;
            s.roomAbove = s.roomBelow = 0;
            s.floorBase = heightByte;
        }
        if (border) {
            s.floorBase = s.floorClicks = s.ceilingBase = s.ceilingClicks = 0;
            if (borderColumn) s.roomAbove = s.roomBelow = 0;
        }
        if (s.roomBelow == 0) {
            if (s.floorBase < 0) s.floorBase = 0;
            if (s.floorClicks < 0) s.floorClicks = 0;
        }
        if (s.roomAbove == 0) {
            if (s.ceilingBase < 0) s.ceilingBase = 0;
            if (s.ceilingClicks < 0) s.ceilingClicks = 0;
        }
        if (border) s.floorBase = heightByte;
    }

    // A doorway to the room beside: flat, at the level's floor height.
    static void Doorway(int32_t floorRise, tsector& s)
    {
        s.floorZFall = s.floorZRise = s.floorXFall = s.floorXRise = 0;
        s.ceilingZFall = s.ceilingZRise = s.ceilingXRise = s.ceilingXFall = 0;
        const TSplitHeight v = SplitHeight(floorRise);
        s.floorBase = std::max<int8_t>(v.base, 0);
        s.floorClicks = std::max<int8_t>(v.clicks, 0);
        if (s.ceilingBase < 0) s.ceilingBase = 0;
        if (s.ceilingClicks < 0) s.ceilingClicks = 0;
    }

    const Ttrlevel& level_;
    tcuarto_list& project_;
    tr_scene& scene_;
    const TConverterOptions& options_;
    const TConverterHooks& hooks_;
    const int roomCount_;

    int r_ = 0;
    int n_ = 0;
    const troom* lr_ = nullptr;
    tcuarto* pr_ = nullptr;
    int rows_ = 0;
    int columns_ = 0;
    uint16_t height_ = 0;
    int32_t y_ = 0;
    std::string heightSuffix_, lengthSuffix_, widthSuffix_;
    std::vector<std::string> exclusions_;
};

// The level's items. Those whose room is not a project room have no room to
// stand in and are left out; the table holds MAX_PROJECT_ITEMS at most. The
// correlative keeps the item's number in the level.
int ConvertItems(const Ttrlevel& level, tcuarto_list& project, int roomCount)
{
    const size_t count = std::min<size_t>(level.num_items, level.items.size());
    int placed = 0;
    int skipped = 0;
    for (size_t i = 0; i < count; ++i) {
        const tlevel_item it = level.items[i];
        if (it.room < 0 || it.room >= roomCount || placed == MAX_PROJECT_ITEMS) {
            ++skipped;
            continue;
        }
        const troom& room = level.rooms[static_cast<size_t>(it.room)];
        titem& t = project.items[static_cast<size_t>(++placed)];
        t.correlative = static_cast<uint32_t>(i);
        t.room = static_cast<int16_t>(it.room + 1);
        t.column = static_cast<int16_t>(it.x / 1024 - room.x / 1024 + 1);
        t.row = static_cast<int16_t>(it.z / 1024 - room.z / 1024 + 1);
        t.objectId = it.id;
        t.angle = static_cast<uint8_t>(it.angle >> 13);
        t.height = 0;
        t.fineX = t.fineY = t.fineZ = 0;
        t.ocb = 0;
        t.order = 0;
        t.amount = 1;
        t.intensity = -1;
        t.color = kWhite;
    }
    project.itemCount = static_cast<int16_t>(placed);
    return skipped;
}

}  // namespace

TConversionResult ConvertLevelToProject(const Ttrlevel& level, tcuarto_list& project, tr_scene& scene,
                                        const TConverterOptions& options, const TConverterHooks& hooks)
{
    TConversionResult result;

    // The floor-data index is the one part whose size follows the level's
    // data: it is made before anything of the project changes, so that
    // running out of memory on it leaves the project as it was.
    IndexFloorData(level, hooks.Gauge3, hooks.Gauge2);

    ResetForConversion(project, scene);
    if (hooks.ProjectReset) hooks.ProjectReset();
    SetProjectTexts(project, hooks.Today ? hooks.Today() : ShortDateText());
    if (hooks.MapReset) hooks.MapReset();

    // Room numbers and links are single bytes: a level with more rooms keeps
    // its first 255.
    const int roomCount =
        static_cast<int>(std::min<size_t>({level.num_rooms, level.rooms.size(), size_t(MAX_CONVERTED_ROOMS)}));
    project.roomCount = static_cast<uint8_t>(roomCount);
    project.rooms.resize(static_cast<size_t>(roomCount) + 1);

    TRoomConverter rooms(level, project, scene, options, hooks, roomCount);
    for (int r = 0; r < roomCount; ++r) {
        if (hooks.Gauge2) hooks.Gauge2->SetPosition(hooks.Gauge2->Position() + 1);
        rooms.Convert(r);
    }
    if (options.includeSidePortals) result.sidePortalExclusions = rooms.Exclusions();
    if (hooks.RoomsConverted) hooks.RoomsConverted();

    if (options.includeItems) result.itemsSkipped = ConvertItems(level, project, roomCount);
    return result;
}

std::string StoredFileName(const std::string& path)
{
    const size_t p = path.find_last_of("\\:/");
    return p == std::string::npos ? path : path.substr(p + 1);
}

std::string ShortDateText()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[64];
    const size_t n = std::strftime(text, sizeof text, "%x", &local);
    return std::string(text, n);
}
