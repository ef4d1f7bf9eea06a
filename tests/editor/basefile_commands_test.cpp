// Open Basefile and Open Texturesfile: the level's statistics, lists,
// object names and texture pages; the Texturesfile re-laid into the texture
// panel's pages; and what each does with a file it cannot use.
#include <QCoreApplication>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "display/dib_picture.h"
#include "display/dib_viewer.h"
#include "display/texture_store.h"
#include "file_commands_fixture.h"
#include "level/trlevel.h"
#include "scene/mesh_list.h"
#include "scene/scene.h"

namespace {

struct TVersionCase {
    int code;
    const char* fileName;
    const char* nameOf7;  // the catalog's name of object 7 in that game
};

const TVersionCase kVersions[] = {
    {LEVEL_TR1, "level.phd", "Wolf"},
    {LEVEL_TR1_TUB, "level.tub", "Wolf"},
    {LEVEL_TR2, "level.tr2", "Lara grenade launcher animation"},
    {LEVEL_TR2_TRG, "level.trg", "Lara grenade launcher animation"},
    {LEVEL_TR3, "level.tr2", "Lara rocket launcher animation"},
    {LEVEL_TR4, "level.tr4", "Flare animation"},
    {LEVEL_TRC, "level.trc", "Flare animation"},
};

// The statistics a level description gives, counted from its own tables.
std::vector<std::string> ExpectedStatistics(const TLevelDesc& d, uint32_t textiles)
{
    const bool tr1 = d.version_code <= LEVEL_TR1_TUB;
    const bool newer = d.version_code >= LEVEL_TR4;
    auto n = [](std::size_t v) { return std::to_string(v); };
    const std::size_t items = tr1 ? d.items_tr1.size() : d.items.size();
    const int laraRoom = tr1 ? d.items_tr1.at(0).room : d.items.at(0).room;
    const std::size_t samples = tr1 || newer ? d.sample_data.size() : 0;
    return {
        "Size In Bytes of The WAV Sound Found In Basefile:" + n(samples),
        "Total Sample Info Records In Basefile:" + n(d.sound_details.size()),
        "Total Sample Info Offsets In Basefile:" + n(d.sample_indices.size()),
        "Total Source Sounds In Basefile:" + n(d.sound_sources.size()),
        "Total Texture Pieces In Basefile:" + n(d.object_textures.size()),
        "Total Texture Pages In Basefile:" + n(textiles),
        "Total Size Pixel Data In Basefile:" + n(textiles * 65536u),
        "Total Sprite Textures Defined:" + n(d.sprite_textures.size()),
        "Sprite Sequences Table In Basefile:" + n(d.sprite_sequences.size()),
        "Total Animated Texture Data Size In Basefile:" + n(d.animated_textures.size()),
        "Total Animations In Basefile:" + n(d.animations.size()),
        "Total Frames In Basefile:" + n(d.frames.size()),
        "Cinematic Frames In Basefile:" + n(newer ? d.ai_objects.size() : d.cinematic_frames.size()),
        "Demo Data In Basefile:" + n(d.demo_data.size()),
        "Total Cameras and Sinks In Basefile:" + n(d.cameras.size()),
        "Total Rooms In Basefile:" + n(d.rooms.size()),
        "Total Floor Data In Basefile:" + n(d.floor_data.size()),
        "Total Static Meshes In Basefile:" + n(d.static_meshes.size()),
        "Total Boxes In Basefile:" + n(tr1 ? d.boxes_tr1.size() : d.boxes.size()),
        "Total Overlaps In Basefile:" + n(d.overlaps.size()),
        "Total Zones In Basefile:" + n(tr1 ? d.boxes_tr1.size() : d.boxes.size()),
        "Total Meshwords In Basefile:" + n(d.mesh_data.size()),
        "Total Items In Basefile:" + n(items),
        "Total Movables In Basefile:" + n(d.moveables.size()),
        "Lara_Room:" + std::to_string(laraRoom),
    };
}

// A sample level whose moveables are Lara, object 7 twice and an object
// outside the catalog, and whose items place Lara, object 7 and an unknown
// object.
TLevelDesc NamedLevel(int code, int textiles = 2)
{
    TSampleLevelSize size;
    size.entries = 4;
    size.textiles = textiles;
    TLevelDesc d = MakeSampleLevel(code, size);
    const uint32_t moveables[] = {0, 7, 7, 900};
    for (int i = 0; i < 4; ++i) d.moveables[size_t(i)].object_id = moveables[i];
    const int16_t items[] = {0, 7, 650, -3};
    for (int i = 0; i < 4; ++i) {
        if (code <= LEVEL_TR1_TUB)
            d.items_tr1[size_t(i)].id = items[i];
        else
            d.items[size_t(i)].id = items[i];
    }
    return d;
}

uint16_t TexturePixel(int id, int x, int y)
{
    const ttexture_record* r = TextureBuffer->Find(id);
    if (!r || x >= r->Width || y >= r->Height) return 0xDEAD;
    uint16_t v;
    std::memcpy(&v, r->Pixels + (static_cast<std::size_t>(y) * r->Width + x) * 2, 2);
    return v;
}

TColor As565(TColor c)
{
    TBitmap one;
    one.SetPixelFormat(pf16bit);
    one.SetSize(1, 1);
    one.SetPixel(0, 0, c);
    return one.GetPixel(0, 0);
}

using BasefileCommands = FileCommandsTest;

TEST_F(BasefileCommands, EveryVersionFillsTheMemosListsNamesAndPages)
{
    StartWindow();
    for (const TVersionCase& v : kVersions) {
        SCOPED_TRACE(v.fileName + std::to_string(v.code));
        sink.messages.clear();
        const TLevelDesc d = NamedLevel(v.code);
        const std::string path = dir.file(std::to_string(v.code) + v.fileName);
        SaveLevelFile(path, d);
        const int memo3Before = form->Memo3->LineCount();

        ChooseFile(form->FileOpen2, path);
        ASSERT_TRUE(sink.exceptions.empty()) << sink.exceptions.front();
        ASSERT_TRUE(sink.messages.empty()) << sink.messages.front().text;
        EXPECT_EQ(asked.back().Filter,
                  "All Tomb Raider Files (*.pdh, *.tub,*.tr2,*.tr4,*.trc)|*.phd;*.tub;*.tr2;*.tr4;*.trc");
        ASSERT_EQ(BasefileLevel->version_code, v.code);
        EXPECT_EQ(Scene->Level, BasefileLevel.get());
        EXPECT_EQ(Project.basefilePath.str(), path);

        EXPECT_EQ(form->Memo2->Lines(), ExpectedStatistics(d, 2));
        EXPECT_EQ(Items(form->ListBox1),
                  (std::vector<std::string>{"Static Mesh#0", "Static Mesh#1", "Static Mesh#2", "Static Mesh#3"}));
        EXPECT_EQ(form->ListBox1->ItemIndex(), 0);
        const std::vector<std::string> moveables = {"Lara", v.nameOf7, v.nameOf7, "Moveable Id#900"};
        EXPECT_EQ(Items(form->ListBox2), moveables);
        EXPECT_EQ(Items(form->ListBox3), moveables);
        EXPECT_EQ(form->ListBox2->ItemIndex(), 0);
        EXPECT_EQ(form->ListBox3->ItemIndex(), 0);
        // Each object's entry holds the place of its (last) moveable.
        EXPECT_EQ(MoveableCatalog[0].flag, 0);
        EXPECT_EQ(MoveableCatalog[7].flag, 2);
        EXPECT_EQ(MoveableCatalog[8].flag, 1);  // not in the level: the default
        // The item memo grows with every load.
        const std::vector<std::string> lines = form->Memo3->Lines();
        ASSERT_EQ(static_cast<int>(lines.size()), memo3Before + 4);
        EXPECT_EQ(lines[size_t(memo3Before)], "Item# 0-Lara");
        EXPECT_EQ(lines[size_t(memo3Before) + 1], std::string("Item# 1-") + v.nameOf7);
        EXPECT_EQ(lines[size_t(memo3Before) + 2], "Item# 2-Moveable Id#650");
        EXPECT_EQ(lines[size_t(memo3Before) + 3], "Item# 3-Moveable Id#-3");
        // Two pages, ids 1000 and 1001.
        EXPECT_NE(TextureBuffer->Find(1000), nullptr);
        EXPECT_NE(TextureBuffer->Find(1001), nullptr);
    }
    EXPECT_EQ(form->Memo3->Lines().front(), "Basefile Items");
}

TEST_F(BasefileCommands, TheMeshListIsBuiltFromTheLoadedLevel)
{
    StartWindow();
    for (int code : {LEVEL_TR1, LEVEL_TR3, LEVEL_TR4}) {
        const TLevelDesc d = MakeMeshLevel(code, 3, 4, 2, 2);
        const std::string path = dir.file("meshes" + std::to_string(code) + (code == LEVEL_TR4 ? ".tr4" : ".phd"));
        SaveLevelFile(path, d);
        ASSERT_TRUE(form->LoadBasefile(path, true));
        Ttrlevel level;
        ASSERT_EQ(level.LoadFromFile(path), LEVEL_LOADED);
        Tmesh_list expected;
        BuildMeshList(expected, level);
        EXPECT_GT(expected.count, 0u);
        EXPECT_EQ(BasefileMeshes.count, expected.count);
        EXPECT_EQ(BasefileMeshes.pointer_map, expected.pointer_map);
        EXPECT_EQ(form->ListBox1->Count(), 2);
    }
}

TEST_F(BasefileCommands, ASecondLevelReplacesTheStatisticsAndTheTexturePages)
{
    StartWindow();
    // Opaque pages of one colour each.
    TLevelDesc a = NamedLevel(LEVEL_TR2, 3), b = NamedLevel(LEVEL_TR4, 1);
    for (std::size_t i = 0; i < a.textile16.size(); i += 2) a.textile16[i + 1] = 0xFC, a.textile16[i] = 0;
    std::fill(b.textile16.begin(), b.textile16.end(), uint8_t(0xFF));
    SaveLevelFile(dir.file("a.tr2"), a);
    SaveLevelFile(dir.file("b.tr4"), b);
    ChooseFile(form->FileOpen2, dir.file("a.tr2"));
    auto page = [](int id) {
        const ttexture_record* r = TextureBuffer->Find(id);
        return r ? std::vector<uint8_t>(r->Pixels, r->Pixels + 256 * 256 * 2) : std::vector<uint8_t>();
    };
    const std::vector<uint8_t> firstPage = page(1000);
    ASSERT_FALSE(firstPage.empty());
    ChooseFile(form->FileOpen2, dir.file("b.tr4"));
    EXPECT_EQ(form->Memo2->LineCount(), 25);
    EXPECT_EQ(form->Memo2->Lines()[5], "Total Texture Pages In Basefile:1");
    EXPECT_EQ(form->Memo3->LineCount(), 1 + 4 + 4);
    EXPECT_EQ(BasefileLevel->version_code, LEVEL_TR4);
    EXPECT_EQ(Project.basefilePath.str(), dir.file("b.tr4"));
    // Page 1000 is the new level's; 1001 and 1002 stay from the first.
    EXPECT_NE(page(1000), firstPage);
    EXPECT_NE(TextureBuffer->Find(1002), nullptr);
}

TEST_F(BasefileCommands, AFileTheReaderRefusesKeepsTheLoadedLevel)
{
    StartWindow();
    SaveLevelFile(dir.file("good.tr2"), NamedLevel(LEVEL_TR2));
    ChooseFile(form->FileOpen2, dir.file("good.tr2"));
    const Ttrlevel* loaded = BasefileLevel.get();
    const std::vector<std::string> memo2 = form->Memo2->Lines(), memo3 = form->Memo3->Lines();
    const uint32_t meshes = BasefileMeshes.count;

    // Cut short.
    std::vector<uint8_t> bytes = WriteLevelFile(NamedLevel(LEVEL_TR1));
    bytes.resize(bytes.size() / 2);
    WriteFileBytes(dir.file("cut.phd"), bytes);
    // A first word that names no game.
    TLevelDesc unknown = NamedLevel(LEVEL_TR1);
    unknown.version_word = 0x12345678;
    SaveLevelFile(dir.file("unknown.phd"), unknown);

    for (const char* name : {"cut.phd", "unknown.phd"}) {
        sink.messages.clear();
        ChooseFile(form->FileOpen2, dir.file(name));
        EXPECT_EQ(sink.Texts(), std::vector<std::string>{"Invalid or damaged level file"}) << name;
        EXPECT_TRUE(sink.exceptions.empty());
        EXPECT_EQ(BasefileLevel.get(), loaded);
        EXPECT_EQ(Scene->Level, loaded);
        EXPECT_EQ(BasefileLevel->version_code, LEVEL_TR2);
        EXPECT_EQ(BasefileMeshes.count, meshes);
        EXPECT_EQ(Project.basefilePath.str(), dir.file("good.tr2"));
        EXPECT_EQ(form->Memo2->Lines(), memo2);
        EXPECT_EQ(form->Memo3->Lines(), memo3);
        EXPECT_EQ(form->ListBox2->Count(), 4);
    }

    // A file that is gone by the time it is read.
    sink.messages.clear();
    EXPECT_FALSE(form->LoadBasefile(dir.file("vanished.tr2"), true));
    EXPECT_EQ(sink.Texts(), std::vector<std::string>{"Could not find Basefile"});
    EXPECT_EQ(BasefileLevel.get(), loaded);
}

TEST_F(BasefileCommands, ALevelWithoutItemsNamesNoPlayerRoom)
{
    StartWindow();
    TLevelDesc d = MakeSampleLevel(LEVEL_TR3);
    d.items.clear();
    SaveLevelFile(dir.file("empty.tr2"), d);
    ChooseFile(form->FileOpen2, dir.file("empty.tr2"));
    ASSERT_TRUE(sink.messages.empty());
    EXPECT_EQ(form->Memo2->Lines().back(), "Lara_Room:");
    EXPECT_EQ(form->Memo2->Lines()[22], "Total Items In Basefile:0");
    EXPECT_EQ(form->Memo3->Lines(), std::vector<std::string>{"Basefile Items"});
}

// ---- Texturesfile ----

using TexturesfileCommands = FileCommandsTest;

TEST_F(TexturesfileCommands, A512By256PictureBecomesTwoPagesWithTheRightHalfBelow)
{
    StartWindow();
    ASSERT_TRUE(WritePicture(dir.file("wide.bmp"), 512, 256));
    ChooseFile(form->FileOpen3, dir.file("wide.bmp"));
    ASSERT_TRUE(sink.exceptions.empty()) << sink.exceptions.front();
    ASSERT_TRUE(sink.messages.empty()) << sink.messages.front().text;
    EXPECT_EQ(asked.back().Filter,
              "All (*.dds;*.tga;*.dib;*.jpg;*.jpeg;*.bmp;*.ico;*.emf;*.wmf)|*.dds;*.tga;*.dib;*.jpg;*.jpeg;*.bmp;*.ico;"
              "*.emf;*.wmf");
    EXPECT_EQ(Project.texturesfilePath.str(), dir.file("wide.bmp"));
    ASSERT_EQ(PanelBitmap->Width(), 256);
    ASSERT_EQ(PanelBitmap->Height(), 512);
    EXPECT_EQ(PanelBitmap->PixelFormat(), pf16bit);
    EXPECT_EQ(PanelDIB->Width, 256);
    EXPECT_EQ(PanelDIB->Height, 512);
    EXPECT_EQ(PanelView->Picture, PanelDIB.get());
    ASSERT_NE(TextureBuffer->Find(1), nullptr);
    ASSERT_NE(TextureBuffer->Find(2), nullptr);
    EXPECT_EQ(TextureBuffer->Find(3), nullptr);
    // The pages hold the picture without the grid.
    for (int y : {0, 1, 63, 64, 100, 255})
        for (int x : {0, 5, 64, 128, 200, 255}) {
            EXPECT_EQ(TexturePixel(1, x, y), Pattern565(x, y)) << x << "," << y;
            EXPECT_EQ(TexturePixel(2, x, y), Pattern565(256 + x, y)) << x << "," << y;
        }
    // The panel carries the grid: a green frame and lines, red page borders.
    const TColor green = As565(0x00FF00), red = As565(0x0000FF);
    EXPECT_EQ(PanelBitmap->GetPixel(0, 30), green);
    EXPECT_EQ(PanelBitmap->GetPixel(255, 30), green);
    EXPECT_EQ(PanelBitmap->GetPixel(30, 0), green);
    EXPECT_EQ(PanelBitmap->GetPixel(30, 511), green);
    for (int x : {64, 128, 192}) EXPECT_EQ(PanelBitmap->GetPixel(x, 300), green);
    for (int y : {64, 128, 192, 320, 384, 448}) EXPECT_EQ(PanelBitmap->GetPixel(30, y), green) << y;
    EXPECT_EQ(PanelBitmap->GetPixel(30, 256), red);
    // The shown picture is the panel.
    EXPECT_EQ(PanelDIB->Bitmap().GetPixel(30, 256), red);
    EXPECT_EQ(PanelDIB->Bitmap().GetPixel(10, 10), PanelBitmap->GetPixel(10, 10));
}

TEST_F(TexturesfileCommands, ShortPicturesAreFilledToWholePages)
{
    StartWindow();
    // 512 x 100: each half rounded to 128 rows, the right half at rows 128..255.
    ASSERT_TRUE(WritePicture(dir.file("short.tga"), 512, 100));
    ASSERT_TRUE(form->LoadTexturesfile(dir.file("short.tga"), true));
    ASSERT_EQ(PanelBitmap->Height(), 256);
    EXPECT_NE(TextureBuffer->Find(1), nullptr);
    EXPECT_EQ(TextureBuffer->Find(2), nullptr);
    EXPECT_EQ(TexturePixel(1, 7, 99), Pattern565(7, 99));
    EXPECT_EQ(TexturePixel(1, 7, 100), 0);
    EXPECT_EQ(TexturePixel(1, 7, 127), 0);
    EXPECT_EQ(TexturePixel(1, 7, 128), Pattern565(256 + 7, 0));
    EXPECT_EQ(TexturePixel(1, 200, 227), Pattern565(256 + 200, 99));
    EXPECT_EQ(TexturePixel(1, 200, 228), 0);
    EXPECT_EQ(TexturePixel(1, 200, 255), 0);

    // 256 x 300: two pages, the lower one holding rows 256..299 and filler.
    ASSERT_TRUE(WritePicture(dir.file("tall.bmp"), 256, 300));
    ASSERT_TRUE(form->LoadTexturesfile(dir.file("tall.bmp"), true));
    ASSERT_EQ(PanelBitmap->Height(), 512);
    EXPECT_EQ(TexturePixel(2, 40, 0), Pattern565(40, 256));
    EXPECT_EQ(TexturePixel(2, 40, 43), Pattern565(40, 299));
    EXPECT_EQ(TexturePixel(2, 40, 44), 0);
    EXPECT_EQ(TexturePixel(1, 40, 255), Pattern565(40, 255));
    EXPECT_TRUE(sink.messages.empty());
}

TEST_F(TexturesfileCommands, PicturesOfOtherSizesAreRefused)
{
    StartWindow();
    ASSERT_TRUE(WritePicture(dir.file("good.bmp"), 256, 256));
    ChooseFile(form->FileOpen3, dir.file("good.bmp"));
    const TBitmap* panel = PanelBitmap.get();
    const uint16_t pixel = TexturePixel(1, 3, 3);

    for (auto [w, h] : {std::pair{256, 63}, std::pair{300, 256}, std::pair{128, 128}}) {
        const std::string name = dir.file("size" + std::to_string(w) + "x" + std::to_string(h) + ".bmp");
        ASSERT_TRUE(WritePicture(name, w, h));
        sink.messages.clear();
        ChooseFile(form->FileOpen3, name);
        EXPECT_EQ(sink.Texts(),
                  std::vector<std::string>{"Height must be 64 pixels or more, and Width must be 256 or 512 pixels!"});
        EXPECT_EQ(PanelBitmap.get(), panel);
        EXPECT_EQ(TexturePixel(1, 3, 3), pixel);
        EXPECT_EQ(Project.texturesfilePath.str(), dir.file("good.bmp"));
    }
}

TEST_F(TexturesfileCommands, APictureTheLoaderCannotReadIsReportedAndChangesNothing)
{
    StartWindow();
    ASSERT_TRUE(WritePicture(dir.file("good.bmp"), 256, 256));
    ChooseFile(form->FileOpen3, dir.file("good.bmp"));
    const TBitmap* panel = PanelBitmap.get();
    WriteFileBytes(dir.file("notes.xyz"), std::string("text").data(), 4);
    WriteFileBytes(dir.file("broken.tga"), std::string("\x01\x02\x03").data(), 3);
    for (const char* name : {"notes.xyz", "broken.tga"}) {
        sink.exceptions.clear();
        ChooseFile(form->FileOpen3, dir.file(name));
        EXPECT_EQ(sink.exceptions.size(), 1u) << name;
        EXPECT_EQ(PanelBitmap.get(), panel);
        EXPECT_EQ(Project.texturesfilePath.str(), dir.file("good.bmp"));
    }
}

}  // namespace
