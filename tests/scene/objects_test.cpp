// The level's texture pages, and the room's statics and the project's items
// drawn as the level's static meshes and posed moveables: placement, turn,
// tags, lists, colours, catalog lookups, and a frame through the device.
#include "display/colour_utils.h"
#include "level/trcatalog.h"
#include "scene/level_textures.h"
#include "scene/mesh_draw.h"
#include "scene/mesh_list.h"
#include "support/view_fixture.h"

namespace {

constexpr uint16_t kRed = 0x8000 | 31 << 10, kGreen = 0x8000 | 31 << 5;  // opaque 1555

void Put16(std::vector<uint8_t>& pixels, size_t page, int x, int y, uint16_t value)
{
    const size_t at = page * TEXTILE16_BYTES + (size_t(y) * 256 + size_t(x)) * 2;
    pixels[at] = uint8_t(value);
    pixels[at + 1] = uint8_t(value >> 8);
}

// Record 0 a triangle on page 5 (what a static without a level mesh shows);
// static mesh 0 an axis triangle and static mesh 1 a cube, on page 0;
// moveable 0 (object 10) an axis triangle and moveable 1 (object 11) a cube
// on page 1, each in one frame; pages 0 and 1 red and green.
TLevelDesc ObjectLevel()
{
    TLevelDesc d;
    d.version_code = LEVEL_TR2;
    d.object_textures = {SquareTexture(0), SquareTexture(1), SquareTexture(5)};
    AddMesh(d, AxisTriangle(2));
    d.static_meshes.push_back({});
    d.static_meshes.back().mesh = uint16_t(AddMesh(d, AxisTriangle(0)));
    d.static_meshes.push_back({});
    d.static_meshes.back().mesh = uint16_t(AddMesh(d, MakeCubeMesh(250, 0)));
    TMoveableDesc m;
    m.object_id = 10;
    m.meshes = {AxisTriangle(1)};
    m.animations = {{TFrameDesc{{}, {}, {TFrameRotation{}}}}};
    AddMoveable(d, m);
    m.object_id = 11;
    m.meshes = {MakeCubeMesh(250, 1)};
    AddMoveable(d, m);
    d.num_textiles = 2;
    d.textile8.assign(2 * TEXTILE8_BYTES, 0);
    d.textile16.assign(2 * TEXTILE16_BYTES, 0);
    for (int i = 0; i < 256 * 256; ++i) {
        Put16(d.textile16, 0, i % 256, i / 256, kRed);
        Put16(d.textile16, 1, i % 256, i / 256, kGreen);
    }
    return d;
}

class Objects : public DeviceTest, protected TLevelMeshes {
protected:
    void SetUp() override
    {
        DeviceTest::SetUp();
        OpenView(96, 96);
        CreateTextureBuffer();
        Load(ObjectLevel());
        SetTrCatalogDefaults(catalog);
        catalog[10].flag = 0;  // the triangle
        catalog[11].flag = 1;  // the cube
        catalog[12].USE_BODY_FROM = 11;
        catalog[13].flag = 7;  // a slot the level does not have
        catalog[14].USE_BODY_FROM = 900;
        project.Room().Size(4, 4);  // at the origin, 4 units high
        project.currentRoom = 1;
        scene.Project = &project;
        scene.Level = level.get();
        scene.Meshes = &meshes;
        scene.Catalog = &catalog;
        scene.GL.ColoredFaceTexture = COLORED_TEXTURE;
    }
    tcuarto& Room() { return project.rooms[1]; }
    void AddStatic(uint32_t slot, int column, int row, int height, int angle, uint32_t colour = 0xFFFFFF,
                   int8_t intensity = 0)
    {
        Room().statics[size_t(++Room().staticCount)] = troom_static{
            slot, int16_t(row), int16_t(column), int16_t(height), int16_t(angle), 0, 0, 0, colour, intensity};
    }
    void AddItem(int16_t objectId, int room, int column, int row, int height, uint8_t angle)
    {
        titem& it = project.items[size_t(++project.itemCount)];
        it = titem{};
        it.objectId = objectId;
        it.room = int16_t(room);
        it.column = int16_t(column);
        it.row = int16_t(row);
        it.height = int16_t(height);
        it.angle = angle;
    }
    std::vector<txgl_vertex> Of(int list, uint8_t kind, int element)
    {
        return Tagged(ListVertices(scene.GL, list), kind, -1, element);
    }
    void Rebuild(int part)
    {
        scene.SetDirty(part);
        scene.Update();
    }

    TMoveableCatalog catalog;
    TTestProject project;
    tr_scene scene;
};

}  // namespace

TEST_F(Objects, EveryTextileBecomesAPageOfTheStore)
{
    const auto pages = [](int code, uint32_t count) {
        TLevelDesc d;
        d.version_code = code;
        d.textile16.assign(count * TEXTILE16_BYTES, 0);
        for (uint32_t p = 0; p < count; ++p)
            Put16(d.textile16, p, 0, 0, uint16_t(0x8000 | (p + 1) << 10));  // red p + 1
        if (code >= LEVEL_TR4) {
            d.num_room_textiles = uint16_t(count);
            d.textile32.assign(count * TEXTILE32_BYTES, 0);
        } else {
            d.num_textiles = count;
            d.textile8.assign(count * TEXTILE8_BYTES, 0);
        }
        return d;
    };
    const auto upload = [](const TLevelDesc& d) {
        TLevelMeshes l;
        l.Load(d);
        return LoadLevelTextures(*l.level, 1000);
    };
    TLevelMeshes big;
    big.Load(pages(LEVEL_TR2, 12));
    EXPECT_EQ(LoadLevelTextures(*big.level, 1000), 12);
    for (int32_t p = 0; p < 12; ++p) EXPECT_EQ(Texel(1000 + p, 0, 0), (p + 1) << 11) << p;
    EXPECT_EQ(TextureBuffer->Find(1012), nullptr);
    // 1555 becomes 565; pixels without the opaque bit magenta. A later level
    // replaces the pages both have.
    for (int code : {LEVEL_TR3, LEVEL_TR4, LEVEL_TRC}) {
        TLevelDesc d = pages(code, 2);
        Put16(d.textile16, 0, 1, 0, 0xFFFF);
        Put16(d.textile16, 0, 2, 0, 0x7FFF);
        Put16(d.textile16, 1, 255, 255, uint16_t(0x8000 | 3 << 10 | 17 << 5 | 29));
        EXPECT_EQ(upload(d), 2) << code;
        EXPECT_EQ(Texel(1000, 1, 0), 0xFFDFu) << code;
        EXPECT_EQ(Texel(1000, 2, 0), 0xF81Fu) << code;
        EXPECT_EQ(Texel(1001, 0, 0), 2u << 11) << code;
        EXPECT_EQ(Texel(1001, 255, 255), 3 << 11 | 17 << 6 | 29);
        EXPECT_EQ(Texel(1002, 0, 0), 3 << 11);
    }
    // First-game tiles take the colours of the level's palette (entry 0 magenta).
    for (int code : {LEVEL_TR1, LEVEL_TR1_TUB}) {
        TLevelDesc d;
        d.version_code = code;
        d.num_textiles = 2;
        d.textile8.assign(2 * TEXTILE8_BYTES, 0);
        d.palette[7] = {63, 32, 1};
        d.palette[200] = {10, 40, 20};
        d.textile8[5] = 7;
        d.textile8[TEXTILE8_BYTES + 255 * 256 + 3] = 200;
        EXPECT_EQ(upload(d), 2);
        auto rgb565 = [](int r6, int g6, int b6) {
            return uint16_t((r6 * 4) >> 3 << 11 | (g6 * 4) >> 2 << 5 | (b6 * 4) >> 3);
        };
        EXPECT_EQ(Texel(1000, 5, 0), rgb565(63, 32, 1)) << code;
        EXPECT_EQ(Texel(1001, 3, 255), rgb565(10, 40, 20)) << code;
        EXPECT_EQ(Texel(1000, 0, 0), rgb565(63, 0, 63));
    }
    // Counts beyond the pixels are not trusted; no textiles, no pages, no message.
    big.level->num_textiles = 1000000;
    EXPECT_EQ(LoadLevelTextures(*big.level, 2000), 12);
    EXPECT_EQ(LoadLevelTextures(Ttrlevel(), 3000), 0);
    EXPECT_EQ(TextureBuffer->Count(), 12 + 12);
    EXPECT_TRUE(sink.messages.empty());
}

// However many textiles a level holds, its pages stop below the ids of the
// program's own textures: pages from 4995 on are 4995 .. 5000, and texture
// 5001 stays the one there was.
TEST_F(Objects, LevelPagesStopBelowTheProgramsOwnTextures)
{
    TLevelDesc d;
    d.version_code = LEVEL_TR2;
    d.num_textiles = 8;
    d.textile8.assign(8 * TEXTILE8_BYTES, 0);
    d.textile16.assign(8 * TEXTILE16_BYTES, 0);
    TLevelMeshes l;
    l.Load(d);
    uint8_t* own = new uint8_t[8 * 8 * 2]();
    ASSERT_TRUE(TextureBuffer->AddFromMemory(LEVEL_PAGES_END_ID, 8, 8, own, true, 16));
    const std::tuple<int32_t, int32_t> uploads[] = {{4990, 8}, {4995, 6}, {5000, 1}, {5001, 0}, {9000, 0}};
    for (const auto& [first, pages] : uploads) EXPECT_EQ(LoadLevelTextures(*l.level, first), pages) << first;
    EXPECT_NE(TextureBuffer->Find(5000), nullptr);
    EXPECT_EQ(TextureBuffer->Find(LEVEL_PAGES_END_ID)->Width, 8);
    EXPECT_EQ(TextureBuffer->Find(LEVEL_PAGES_END_ID)->Pixels, own);
    EXPECT_EQ(TextureBuffer->Find(9000), nullptr);
    EXPECT_EQ(LevelTexturePicture(*l.level, 4997)->Height(), 4 * 256);
}

TEST_F(Objects, StaticsStandOnTheirSectorTurnedTaggedAndShaded)
{
    AddStatic(0, 2, 3, 4, 0);
    troom_static turned{0, 3, 2, 4,        2,
                        5, 0, 5, 0xFFFFFF, 0};  // angle 2: 270 degrees; half a unit further along x and z
    Room().statics[size_t(++Room().staticCount)] = turned;
    AddStatic(9, 1, 1, 0, 0);  // no such static mesh: record 0
    scene.Update();
    EXPECT_EQ(scene.GL.Counts[3], 9);
    // Sector (2, 3): x 1 .. 2, z -2 .. -3; its centre one unit up; the triangle's first corner a unit along x.
    const auto first = Of(3, TAG_STATIC, 1);
    ASSERT_EQ(first.size(), 3u);
    EXPECT_TRUE(NearPoint(first[0], 2.5, -1, -2.5));
    EXPECT_EQ(first[0].texture, 1000);
    EXPECT_EQ(int(TagOf(first[0]).room), 1);
    EXPECT_EQ(ColorOf(first[0]), 0xFFFFFFu);
    EXPECT_TRUE(NearPoint(Of(3, TAG_STATIC, 2).at(0), 2.0, -1, -2.0));
    EXPECT_EQ(Of(3, TAG_STATIC, 3).at(0).texture, 1005);

    // Lit, a static takes its own colour at its intensity, or the room's
    // ambient colour for a negative one.
    Room().staticCount = 0;
    AddStatic(0, 1, 1, 0, 0, 0x2060A0, 10);
    AddStatic(0, 2, 2, 0, 0, 0x0000FF, -1);
    Room().ambientColor = 0x00FF80;
    Room().ambientIntensity = 5;
    scene.Brightness = 2;
    scene.Lighting = 1;
    Room().selectedStatic = 2;
    scene.EditMode = 7;  // the selected static goes to the wireframe list
    Rebuild(3);
    TColor own = 0x2060A0, ambient = 0x00FF80;
    ShadeRGB(own, 10 - 2);
    ShadeRGB(ambient, 5 - 2);
    const auto lit = Of(3, TAG_STATIC, 1);
    const auto selected = Of(4, TAG_STATIC, 2);
    ASSERT_EQ(lit.size(), 3u);
    EXPECT_EQ(ColorOf(lit[2]), own);
    ASSERT_EQ(selected.size(), 3u);
    EXPECT_EQ(ColorOf(selected[2]), ambient);
}

TEST_F(Objects, ItemsFindTheirMoveableThroughTheCatalog)
{
    AddItem(10, 1, 1, 1, 0, 0);   // the triangle
    AddItem(12, 1, 3, 3, 4, 0);   // borrows the cube's body
    AddItem(13, 1, 2, 2, 0, 0);   // its slot is beyond the level's moveables
    AddItem(10, 2, 1, 1, 0, 0);   // another room
    AddItem(700, 1, 1, 1, 0, 0);  // outside the catalog
    AddItem(-3, 1, 1, 1, 0, 0);
    AddItem(14, 1, 1, 1, 0, 0);   // borrows from outside the catalog
    AddItem(10, 1, 1, 1, 0, 10);  // the triangle turned: angle 10 is 2 (270 degrees)
    AddItem(15, 1, 2, 2, 0, 0);   // an object the level lacks: its entry's slot 1 is the cube's, not its body
    scene.Update();
    EXPECT_EQ(scene.GL.Counts[5], 3 + 36 + 3);
    const auto triangle = Of(5, TAG_ITEM, 1);
    ASSERT_EQ(triangle.size(), 3u);
    EXPECT_EQ(triangle[0].texture, 1001);
    EXPECT_EQ(int(TagOf(triangle[0]).room), 1);
    EXPECT_EQ(ColorOf(triangle[0]), 0xFFFFFFu);
    EXPECT_TRUE(NearPoint(triangle[0], 1.5, 0, -0.5));
    EXPECT_EQ(Of(5, TAG_ITEM, 2).size(), 36u);
    EXPECT_TRUE(NearPoint(Of(5, TAG_ITEM, 8).at(0), 0.5, 0, 0.5));

    // Selected (edit mode 3) and highlighted (mode 5) items are marked in list 6.
    project.itemCount = 3;
    project.items[2].objectId = project.items[3].objectId = 10;
    project.selectedItem = 1;
    project.highlightedItem = 2;
    project.items[3].highlight = 1;
    const struct {
        int mode;
        std::vector<uint32_t> colours;  // of items 1 to 3 in list 6, 0 when in list 5
    } rows[] = {{0, {0, 0, 0}}, {3, {0x0000FF, 0, 0}}, {5, {0, 0xFF00FF, 0x0000FF}}};
    for (const auto& r : rows) {
        scene.EditMode = r.mode;
        Rebuild(4);
        for (int i = 1; i <= 3; ++i) {
            const auto marked = Of(6, TAG_ITEM, i);
            EXPECT_EQ(marked.empty() ? 0 : ColorOf(marked[0]), r.colours[size_t(i - 1)]) << r.mode << " " << i;
            EXPECT_EQ(Of(5, TAG_ITEM, i).empty(), !marked.empty());
        }
    }

    // Nothing without meshes, catalog or level, or in rooms that do not exist.
    AddStatic(0, 1, 1, 0, 0);
    scene.Catalog = nullptr;
    Rebuild(0);
    EXPECT_EQ(scene.GL.Counts[3], 3);
    EXPECT_EQ(scene.GL.Counts[5] + scene.GL.Counts[6], 0);
    scene.Meshes = nullptr;
    Rebuild(0);
    EXPECT_EQ(scene.GL.Counts[3], 0);
    scene.Meshes = &meshes;
    scene.Catalog = &catalog;
    scene.GL.ClearList(-1);
    scene.BuildRoomStatics(0);
    scene.BuildRoomStatics(2);
    scene.BuildRoomItems(2);
    EXPECT_EQ(scene.GL.Vertices.Count(), 0);
}

// A full table of items is drawn whatever follows the moveables they stand
// for: 300,000 more moveables after them cost nothing more to pose, so the
// level work of a build is spent on meshes alone.
TEST_F(Objects, EveryItemIsDrawnHoweverManyMoveablesFollow)
{
    level->SetNumMoveables(300002);
    for (size_t m = 2; m < level->moveables.size(); ++m) {
        level->moveables[m].object_id = 9999;
        level->moveables[m].animation = -1;
    }
    BuildMeshList(meshes, *level);
    for (int i = 0; i < MAX_PROJECT_ITEMS; ++i) AddItem(int16_t(i % 2 == 0 ? 10 : 11), 1, 2, 2, 0, 0);
    scene.Update();
    const int half = MAX_PROJECT_ITEMS / 2;
    EXPECT_EQ(scene.GL.Counts[5], half * 3 + half * 36);
    EXPECT_EQ(Of(5, TAG_ITEM, MAX_PROJECT_ITEMS - 2).size(), 36u);  // a cube near the end
    // Each item: a unit to find its frame, 16 to place its mesh, and the
    // mesh's own (one, its corners and the vertices of its faces).
    const int64_t triangle = 1 + 16 + 1 + 3 + 3, cube = 1 + 16 + 1 + 8 + 6 * 6;
    EXPECT_EQ(scene.GL.LevelWorkLeft, LevelDrawWork - half * (triangle + cube));
}

TEST_F(Objects, TheStaticAndTheItemShowTheirLevelPages)
{
    ASSERT_EQ(LoadLevelTextures(*level, LEVEL_TEXTURE_FIRST_ID), 2);
    AddStatic(1, 2, 2, 4, 0);    // the red cube, a unit above the floor
    AddItem(11, 1, 3, 3, 4, 0);  // the green cube
    scene.Update();
    EXPECT_EQ(scene.Buffers[3].PrimitiveCount, 12u);
    EXPECT_EQ(scene.Buffers[5].PrimitiveCount, 12u);
    EXPECT_EQ(scene.Buffers[3].GroupTextures.at(0), 1000);
    EXPECT_EQ(scene.Buffers[5].GroupTextures.at(0), 1001);
    TSceneCamera camera;
    auto pixel = [&](double x, double h, double z) { return camera.PixelAt(views[0]->host, x, h, z); };
    auto is = [&](double x, double h, double z, uint32_t rgb) { return Colour(pixel(x, h, z), rgb, 55); };
    camera.Frame(scene.Buffers, true, 2, 0, -2, 8);
    // The cubes' tops, 1.25 units up in the middle of their sectors; the
    // floor beside them; outside the room the background.
    EXPECT_TRUE(is(1.5, 1.25, -1.5, 0xFF0000));
    EXPECT_TRUE(is(2.5, 1.25, -2.5, 0x00FF00));
    EXPECT_NE(pixel(0.5, 0, -3.5), 0xFF000000u);
    EXPECT_FALSE(is(0.5, 0, -3.5, 0xFF0000)) << std::hex << pixel(0.5, 0, -3.5);
    EXPECT_FALSE(is(0.5, 0, -3.5, 0x00FF00)) << std::hex << pixel(0.5, 0, -3.5);
    EXPECT_EQ(pixel(-0.5, 0, 0.5), 0xFF000000u);
}
