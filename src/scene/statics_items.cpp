// The statics of a room drawn as the level's static meshes, and the
// project's items as the level's moveables posed in their first frame.
#include <algorithm>

#include "display/colour_utils.h"
#include "level/trlevel.h"
#include "scene/mesh_draw.h"
#include "scene/mesh_list.h"
#include "scene/moveable_pose.h"
#include "scene/scene.h"

namespace {

constexpr int kStaticList = 3;
constexpr int kSelectedStaticList = 4;  // drawn as wireframe
constexpr int kItemList = 5;
constexpr int kMarkedItemList = 6;  // selected and highlighted items
constexpr int32_t kEditItems = 3;
constexpr int32_t kEditItemHighlights = 5;
constexpr int32_t kEditStatics = 7;
constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kRed = 0x0000FF;
constexpr uint32_t kMagenta = 0xFF00FF;

// Objects stand in 45-degree steps, turned the other way round.
int32_t ObjectAngle(int32_t steps)
{
    const int32_t a = steps * 45;
    return a != 0 ? 360 - a : 0;
}

}  // namespace

void tr_scene::BuildRoomStatics(int room)
{
    const tcuarto* r = RoomAt(room);
    if (!r || !Level || !Meshes) return;
    const uint32_t staticMeshes = uint32_t(std::min<size_t>(Level->num_static_meshes, Level->static_meshes.size()));
    const int count = std::clamp<int>(r->staticCount, 0, MAX_ROOM_STATICS);
    for (int i = 1; i <= count; ++i) {
        const troom_static s = r->statics[size_t(i)];
        const TPlacement at = PlaceOnSector(*r, s.column, s.row);
        const double x = at.X + 0.5 + s.fineX / 10.0;
        const double y = at.F + s.height / 4.0 + s.fineY / 10.0;
        const double z = at.Z - 0.5 - s.fineZ / 10.0;

        // A slot the level does not have shows the first mesh.
        const int32_t mesh = s.meshSlot < staticMeshes ? Meshes->MapPointer(Level->static_meshes[s.meshSlot].mesh) : 0;

        GL.SetList(EditMode == kEditStatics && i == r->selectedStatic ? kSelectedStaticList : kStaticList);
        TColor color = kWhite;
        if (Lighting) {
            if (s.intensity >= 0) {
                color = s.color;
                ShadeRGB(color, s.intensity - Brightness);
            } else {
                color = r->ambientColor;
                ShadeRGB(color, r->ambientIntensity - Brightness);
            }
        }
        SetObjectTag(TAG_STATIC, room, i);
        BuildMeshObject(GL, LEVEL_TEXTURE_FIRST_ID, *Meshes, *Level, mesh, x, y, z, float(ObjectAngle(s.angle)),
                        LEVEL_OBJECT_SCALE, false, false, false, color);
    }
}

void tr_scene::BuildRoomItems(int room)
{
    const tcuarto* r = RoomAt(room);
    if (!r || !Level || !Meshes || !Catalog) return;
    const uint32_t moveables = uint32_t(std::min<size_t>(Level->num_moveables, Level->moveables.size()));
    const int count = std::clamp<int>(Project->itemCount, 0, MAX_PROJECT_ITEMS);
    for (int i = 1; i <= count; ++i) {
        const titem item = Project->items[size_t(i)];
        if (item.room != room) continue;

        // The catalog names the moveable slot; an object that borrows
        // another's body is drawn with that one's.
        if (item.objectId < 0 || item.objectId >= TR_CATALOG_SIZE) continue;
        int32_t body = item.objectId;
        const tmovable_record* entry = &(*Catalog)[size_t(body)];
        if (entry->USE_BODY_FROM != -1) {
            body = entry->USE_BODY_FROM;
            if (body < 0 || body >= TR_CATALOG_SIZE) continue;
            entry = &(*Catalog)[size_t(body)];
        }
        const uint32_t slot = entry->flag;
        if (slot >= moveables) continue;
        // Every entry starts at slot 1 and only the objects the level holds
        // get their own: an object the level lacks (an item of another game,
        // or an id given by hand) has no body here, and drawing slot 1 would
        // show it as some other object.
        if (Level->moveables[slot].object_id != uint32_t(body)) continue;

        const TPlacement at = PlaceOnSector(*r, item.column, item.row);
        const double x = at.X + 0.5 + item.fineX / 10.0;
        const double y = at.F + item.height / 4.0 + item.fineY / 10.0;
        const double z = at.Z - 0.5 - item.fineZ / 10.0;
        // Angle bytes beyond a full turn count modulo a turn (the angle is
        // handed on as an unsigned number of degrees).
        const int32_t steps = item.angle % 8;

        int list = kItemList;
        uint32_t color = kWhite;
        if (EditMode == kEditItems && i == Project->selectedItem) {
            color = kRed;
            list = kMarkedItemList;
        }
        if (EditMode == kEditItemHighlights) {
            if (i == Project->highlightedItem) {
                color = kMagenta;
                list = kMarkedItemList;
            }
            if (item.highlight != 0) {
                color = kRed;
                list = kMarkedItemList;
            }
        }
        GL.SetList(list);
        GL.SetColorTColor(color);
        SetObjectTag(TAG_ITEM, room, i);
        BuildMoveableObject(GL, LEVEL_TEXTURE_FIRST_ID, *Meshes, *Level, int32_t(slot), 0, 0, x, y, z,
                            uint16_t(ObjectAngle(steps)), LEVEL_OBJECT_SCALE, false, 0, 0, 0);
    }
}
