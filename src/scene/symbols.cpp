// Small symbols for the project's objects: the player start, lights,
// cameras and sinks, flyby cameras, sound sources and box volumes. Each
// stands on the floor of its sector, in its own colour (selected elements
// differently), tagged with its kind, room and number.
#include <algorithm>

#include "scene/scene.h"

namespace {

constexpr float SYMBOL_SIZE = 0.2f;

}  // namespace

tr_scene::TPlacement tr_scene::PlaceOnSector(const tcuarto& room, int column, int row) const
{
    TPlacement at;
    at.X = double(room.x) + column - 1;
    at.Z = 1.0 - (double(room.z) + row);
    at.F = room.y;
    // The floor under an element outside the grid is that of the nearest
    // sector inside it.
    const int columns = DrawnColumns(room), rows = DrawnRows(room);
    if (columns < 1 || rows < 1) return at;
    double c[4];
    FloorCornerHeights(room.sectors[std::clamp(column, 1, columns)][std::clamp(row, 1, rows)], c);
    at.F += *std::max_element(c, c + 4);
    return at;
}

void tr_scene::SetObjectTag(uint8_t kind, int room, int element)
{
    tpick_tag tag{};
    tag.kind = kind;
    tag.room = uint8_t(room);
    tag.element = uint8_t(element);
    GL.SetTag(tag);
}

void tr_scene::BuildPlayerStart()
{
    if (!Project) return;
    const tcuarto* r = RoomAt(Project->playerRoom);
    if (!r) return;
    const TPlacement at = PlaceOnSector(*r, Project->playerColumn, Project->playerRow);
    GL.SetTexture(COLORED_TEXTURE);
    GL.SetTag(tpick_tag{});
    GL.SetColorTColor(0x0000FF);
    GL.Box(float(at.X + 0.4), float(at.F), float(at.Z - 0.4), SYMBOL_SIZE, SYMBOL_SIZE);
}

void tr_scene::BuildRoomLights(int room)
{
    const tcuarto* r = RoomAt(room);
    if (!r) return;
    GL.SetTexture(COLORED_TEXTURE);
    const int count = std::clamp<int>(r->lightCount, 0, MAX_ROOM_LIGHTS);
    for (int i = 1; i <= count; ++i) {
        const troom_light light = r->lights[size_t(i)];
        const TPlacement at = PlaceOnSector(*r, light.column, light.row);
        const double y = at.F + light.height / 4.0;
        SetObjectTag(TAG_LIGHT, room, i);
        GL.SetColorTColor(i == r->selectedLight ? 0x00FFFF : 0xFFFFFF);
        GL.Box(float(at.X + 0.4), float(y), float(at.Z - 0.4), SYMBOL_SIZE, SYMBOL_SIZE);
        if (ShowLightRanges) GL.Sphere(at.X + 0.5, y, at.Z - 0.5, float(light.range), 12, 12);
    }
}

void tr_scene::BuildCameras(int room)
{
    const tcuarto* r = RoomAt(room);
    if (!r) return;
    GL.SetTexture(COLORED_TEXTURE);
    const int count = std::clamp<int>(Project->cameraCount, 0, MAX_PROJECT_CAMERAS);
    for (int i = 1; i <= count; ++i) {
        const tcamera camera = Project->cameras[size_t(i)];
        if (camera.room != room) continue;
        const TPlacement at = PlaceOnSector(*r, camera.column, camera.row);
        SetObjectTag(TAG_CAMERA, room, i);
        const bool selected = EditMode == 4 && i == Project->selectedCamera;
        // Cameras green, sinks blue; the selected one at half brightness.
        if (camera.kind == 0) GL.SetColor(0, selected ? 96 : 192, 0);
        else GL.SetColor(0, 0, selected ? 124 : 248);
        GL.Box(float(at.X + 0.4), float(at.F + camera.height / 4.0), float(at.Z - 0.4), SYMBOL_SIZE, SYMBOL_SIZE);
    }
}

void tr_scene::BuildSoundEntries(int room)
{
    const tcuarto* r = RoomAt(room);
    if (!r) return;
    GL.SetTexture(COLORED_TEXTURE);
    const int count = std::clamp<int>(Project->soundSourceCount, 0, MAX_PROJECT_SOUNDS);
    for (int i = 1; i <= count; ++i) {
        const tsound_source sound = Project->soundSources[size_t(i)];
        if (sound.room != room) continue;
        const TPlacement at = PlaceOnSector(*r, sound.column, sound.row);
        SetObjectTag(TAG_SOUND, room, i);
        if (i == Project->selectedSoundSource) GL.SetColor(127, 0, 127);
        else GL.SetColor(255, 0, 255);
        GL.Box(float(at.X + 0.4), float(at.F + sound.height / 4.0), float(at.Z - 0.4), SYMBOL_SIZE, SYMBOL_SIZE);
    }
}

void tr_scene::BuildFlybyCameras(int room)
{
    const tcuarto* r = RoomAt(room);
    if (!r) return;
    GL.SetTexture(COLORED_TEXTURE);
    const int count = std::clamp<int>(Project->flybyCount, 0, MAX_PROJECT_FLYBYS);
    for (int i = 1; i <= count; ++i) {
        const tflyby_camera flyby = Project->flybyCameras[size_t(i)];
        if (flyby.room != room) continue;
        const TPlacement at = PlaceOnSector(*r, flyby.column, flyby.row);
        const double y = at.F + flyby.height / 4.0;
        SetObjectTag(TAG_FLYBY, room, i);
        if (i == Project->selectedFlyby) GL.SetColor(255, 0, 0);
        else GL.SetColor(255, 255, 0);
        GL.Box(float(at.X + 0.3), float(y - 0.1), float(at.Z - 0.4), SYMBOL_SIZE, SYMBOL_SIZE);
        // The pointer shows where the camera looks: turned about the vertical
        // axis by the second angle, then about the x axis by the first.
        GL.PushMatrix();
        GL.Translate(float(at.X + 0.4), float(y), float(at.Z - 0.4));
        GL.Rotate(float(flyby.angle1), float(flyby.angle2), 0.0f, false);
        GL.Pyramid(0.0f, 0.0f, 0.0f, 1.0f, 0.3f, 0.3f);
        GL.PopMatrix();
    }
}

void tr_scene::BuildRoomBoxes()
{
    if (!Project) return;
    const int room = Project->currentRoom;
    const tcuarto* r = RoomAt(room);
    if (!r) return;
    GL.SetTexture(COLORED_TEXTURE);
    const int count = std::min<int>(r->boxCount, MAX_ROOM_BOXES);
    const double T = double(r->y) + r->height - 0.001;
    for (int i = 1; i <= count; ++i) {
        const troom_box box = r->boxes[size_t(i)];
        const TPlacement at = PlaceOnSector(*r, box.column, box.row);
        const double X = at.X, Z = at.Z;
        const double y = at.F + box.height;
        const double a = box.width, b = box.depth;
        const double G = at.F + 0.001;
        SetObjectTag(TAG_BOX, room, i);
        if (i == r->selectedBox) GL.SetColor(128, 128, 0);
        else GL.SetColor(255, 255, 0);
        auto k = [](double x, double yy, double z) { return TxGL::TCorner{float(x), float(yy), float(z)}; };
        // The type (the record's first byte) says which side of the sector
        // the box volume lies on.
        switch (box.unused[0]) {
        case 0:
            GL.Quad(k(X, y + b, Z + 0.001), k(X + a, y + b, Z + 0.001), k(X + a, y, Z + 0.001), k(X, y, Z + 0.001));
            break;
        case 1:
            GL.Quad(k(X + a, y + b, Z - 1.001), k(X, y + b, Z - 1.001), k(X, y, Z - 1.001), k(X + a, y, Z - 1.001));
            break;
        case 2:
            GL.Quad(k(X + 1.001, y + b, Z), k(X + 1.001, y + b, Z - a), k(X + 1.001, y, Z - a), k(X + 1.001, y, Z));
            break;
        case 3:
            GL.Quad(k(X - 0.001, y + b, Z - 1), k(X - 0.001, y + b, Z - 1 + a), k(X - 0.001, y, Z - 1 + a),
                    k(X - 0.001, y, Z - 1));
            break;
        case 4: GL.Quad(k(X, T, Z - 1 + b), k(X + a, T, Z - 1 + b), k(X + a, T, Z - 1), k(X, T, Z - 1)); break;
        case 5: GL.Quad(k(X, G, Z - 1), k(X + a, G, Z - 1), k(X + a, G, Z - 1 + b), k(X, G, Z - 1 + b)); break;
        default: break;
        }
    }
}
