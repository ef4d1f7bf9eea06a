// Open Basefile and Open Texturesfile: the level's statistics, lists,
// object names, meshes and texture pages; the Texturesfile laid out into the
// texture panel's pages; and what each does with a file it cannot use.
#include <cstring>

#include "display/dib_picture.h"
#include "display/dib_viewer.h"
#include "display/texture_store.h"
#include "editor/project_commands.h"
#include "editor_fixture.h"
#include "level/trlevel.h"
#include "platform/d3d8/d3d8_control.h"
#include "platform/gdi/graphics.h"
#include "scene/mesh_list.h"
#include "scene/scene.h"
#include "support/level_writer.h"
#include "support/scoped_value.h"

namespace {

// The statistics a level description gives, counted from its own tables.
std::vector<std::string> ExpectedStatistics(const TLevelDesc& d, uint32_t textiles)
{
    const bool tr1 = d.version_code <= LEVEL_TR1_TUB, newer = d.version_code >= LEVEL_TR4;
    auto n = [](std::size_t v) { return std::to_string(v); };
    const std::size_t boxes = tr1 ? d.boxes_tr1.size() : d.boxes.size();
    return {"Size In Bytes of The WAV Sound Found In Basefile:" + n(tr1 || newer ? d.sample_data.size() : 0),
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
            "Total Boxes In Basefile:" + n(boxes),
            "Total Overlaps In Basefile:" + n(d.overlaps.size()),
            "Total Zones In Basefile:" + n(boxes),
            "Total Meshwords In Basefile:" + n(d.mesh_data.size()),
            "Total Items In Basefile:" + n(tr1 ? d.items_tr1.size() : d.items.size()),
            "Total Movables In Basefile:" + n(d.moveables.size()),
            "Lara_Room:" + std::to_string(tr1 ? d.items_tr1.at(0).room : d.items.at(0).room)};
}

// A sample level whose moveables are Lara, object 7 twice and an object
// outside the catalog, and whose items place Lara, object 7 and unknown objects.
TLevelDesc NamedLevel(int code, int textiles = 2)
{
    TSampleLevelSize size;
    size.entries = 4;
    size.textiles = textiles;
    TLevelDesc d = MakeSampleLevel(code, size);
    const uint32_t moveables[] = {0, 7, 7, 900};
    const int16_t items[] = {0, 7, 650, -3};
    for (int i = 0; i < 4; ++i) {
        d.moveables[size_t(i)].object_id = moveables[i];
        (code <= LEVEL_TR1_TUB ? d.items_tr1[size_t(i)].id : d.items[size_t(i)].id) = items[i];
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

using BasefileCommands = EditorWindowTest;

TEST_F(BasefileCommands, EveryVersionFillsTheMemosListsNamesMeshesAndPages)
{
    StartWindow();
    const struct {
        int code;
        const char* fileName;
        const char* nameOf7;  // the catalog's name of object 7 in that game
    } versions[] = {
        {LEVEL_TR1, "level.phd", "Wolf"},
        {LEVEL_TR1_TUB, "level.tub", "Wolf"},
        {LEVEL_TR2, "level.tr2", "Lara grenade launcher animation"},
        {LEVEL_TR2_TRG, "level.trg", "Lara grenade launcher animation"},
        {LEVEL_TR3, "level.tr2", "Lara rocket launcher animation"},
        {LEVEL_TR4, "level.tr4", "Flare animation"},
        {LEVEL_TRC, "level.trc", "Flare animation"},
    };
    for (const auto& v : versions) {
        SCOPED_TRACE(v.fileName + std::to_string(v.code));
        sink.messages.clear();
        const TLevelDesc d = NamedLevel(v.code);
        const std::string path = dir.file(std::to_string(v.code) + v.fileName);
        SaveLevelFile(path, d);
        const int memo3Before = form->Memo3->LineCount();

        Choose(form->FileOpen2, path);
        ASSERT_TRUE(sink.exceptions.empty()) << sink.exceptions.front();
        ASSERT_TRUE(sink.messages.empty()) << sink.messages.front().text;
        EXPECT_EQ(asked.back().Filter,
                  "All Tomb Raider Files (*.pdh, *.tub,*.tr2,*.tr4,*.trc)|*.phd;*.tub;*.tr2;*.tr4;*.trc");
        ASSERT_EQ(BasefileLevel->version_code, v.code);
        EXPECT_EQ(Scene->Level, BasefileLevel.get());
        EXPECT_EQ(Project.basefilePath.str(), path);
        EXPECT_EQ(form->Memo2->Lines(), ExpectedStatistics(d, 2));
        EXPECT_EQ(Lines(form->ListBox1),
                  (std::vector<std::string>{"Static Mesh#0", "Static Mesh#1", "Static Mesh#2", "Static Mesh#3"}));
        const std::vector<std::string> moveables = {"Lara", v.nameOf7, v.nameOf7, "Moveable Id#900"};
        EXPECT_EQ(Lines(form->ListBox2), moveables);
        EXPECT_EQ(Lines(form->ListBox3), moveables);
        EXPECT_EQ(std::tuple(form->ListBox1->ItemIndex(), form->ListBox2->ItemIndex(), form->ListBox3->ItemIndex()),
                  std::tuple(0, 0, 0));
        // Each object's entry holds the place of its (last) moveable; object 8, not in the level, the default.
        EXPECT_EQ((std::tuple{MoveableCatalog[0].flag, MoveableCatalog[7].flag, MoveableCatalog[8].flag}),
                  (std::tuple{0, 2, 1}));
        // The item memo grows with every load.
        const std::vector<std::string> lines = form->Memo3->Lines();
        EXPECT_EQ(std::vector<std::string>(lines.begin() + memo3Before, lines.end()),
                  (std::vector<std::string>{"Item# 0-Lara", std::string("Item# 1-") + v.nameOf7,
                                            "Item# 2-Moveable Id#650", "Item# 3-Moveable Id#-3"}));
        // Two pages from id 1000.
        EXPECT_NE(TextureBuffer->Find(1000), nullptr);
        EXPECT_NE(TextureBuffer->Find(1001), nullptr);
    }
    EXPECT_EQ(form->Memo3->Lines().front(), "Basefile Items");

    // The mesh list is built from the loaded level.
    SaveLevelFile(dir.file("meshes.tr4"), MakeMeshLevel(LEVEL_TR4, 3, 4, 2, 2));
    ASSERT_TRUE(form->LoadBasefile(dir.file("meshes.tr4"), true));
    EXPECT_GT(BasefileMeshes.count, 0u);
    EXPECT_EQ(form->ListBox1->Count(), 2);
}

TEST_F(BasefileCommands, ASecondLevelReplacesTheStatisticsAndTheTexturePagesItHas)
{
    StartWindow();
    // Opaque pages of one colour each.
    TLevelDesc a = NamedLevel(LEVEL_TR2, 3), b = NamedLevel(LEVEL_TR4, 1);
    for (std::size_t i = 0; i < a.textile16.size(); i += 2) {
        a.textile16[i + 1] = 0xFC;
        a.textile16[i] = 0;
    }
    std::fill(b.textile16.begin(), b.textile16.end(), uint8_t(0xFF));
    SaveLevelFile(dir.file("a.tr2"), a);
    SaveLevelFile(dir.file("b.tr4"), b);
    Choose(form->FileOpen2, dir.file("a.tr2"));
    const uint16_t first = TexturePixel(1000, 5, 5);
    Choose(form->FileOpen2, dir.file("b.tr4"));
    EXPECT_EQ(form->Memo2->LineCount(), 25);
    EXPECT_EQ(form->Memo2->Lines()[5], "Total Texture Pages In Basefile:1");
    EXPECT_EQ(form->Memo3->LineCount(), 1 + 4 + 4);
    EXPECT_EQ(BasefileLevel->version_code, LEVEL_TR4);
    EXPECT_EQ(Project.basefilePath.str(), dir.file("b.tr4"));
    // Page 1000 is the new level's; 1001 and 1002 stay from the first.
    EXPECT_NE(TexturePixel(1000, 5, 5), first);
    EXPECT_NE(TextureBuffer->Find(1002), nullptr);

    // A level without items names no player room.
    TLevelDesc empty = MakeSampleLevel(LEVEL_TR3);
    empty.items.clear();
    SaveLevelFile(dir.file("empty.tr2"), empty);
    Choose(form->FileOpen2, dir.file("empty.tr2"));
    ASSERT_TRUE(sink.messages.empty());
    EXPECT_EQ(form->Memo2->Lines()[22] + "|" + form->Memo2->Lines().back(), "Total Items In Basefile:0|Lara_Room:");
    EXPECT_EQ(form->Memo3->LineCount(), 1 + 4 + 4);
}

TEST_F(BasefileCommands, AFileTheReaderRefusesKeepsTheLoadedLevel)
{
    StartWindow();
    SaveLevelFile(dir.file("good.tr2"), NamedLevel(LEVEL_TR2));
    Choose(form->FileOpen2, dir.file("good.tr2"));
    const Ttrlevel* loaded = BasefileLevel.get();
    const std::vector<std::string> memo2 = form->Memo2->Lines(), memo3 = form->Memo3->Lines();
    const uint32_t meshes = BasefileMeshes.count;
    std::vector<uint8_t> bytes = WriteLevelFile(NamedLevel(LEVEL_TR1));
    bytes.resize(bytes.size() / 2);
    WriteFileBytes(dir.file("cut.phd"), bytes);
    TLevelDesc unknown = NamedLevel(LEVEL_TR1);
    unknown.version_word = 0x12345678;  // a first word that names no game
    SaveLevelFile(dir.file("unknown.phd"), unknown);

    for (const char* name : {"cut.phd", "unknown.phd"}) {
        sink.messages.clear();
        Choose(form->FileOpen2, dir.file(name));
        EXPECT_EQ(sink.Texts(), std::vector<std::string>{"Invalid or damaged level file"}) << name;
        EXPECT_TRUE(sink.exceptions.empty());
        EXPECT_EQ(BasefileLevel.get(), loaded);
        EXPECT_EQ(Scene->Level, loaded);
        EXPECT_EQ(std::pair(BasefileLevel->version_code, BasefileMeshes.count), std::pair(int(LEVEL_TR2), meshes));
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

// What a Basefile and a Texturesfile leave loaded, to be compared after a
// load that ran out of memory.
struct TLoadedMaterial {
    const Ttrlevel* level;
    uint32_t meshes;
    std::vector<std::string> memo2, memo3, statics, moveables;
    uint16_t flagOf7;
    std::string basefilePath, texturesfilePath;
    const TBitmap* panel;
    const TDIBPicture* panelDIB;
    std::vector<uint16_t> pixels;  // of pages 1, 1000, 1001 and 1002

    static TLoadedMaterial Now(const TMain_Form& form)
    {
        return {BasefileLevel.get(),
                BasefileMeshes.count,
                form.Memo2->Lines(),
                form.Memo3->Lines(),
                Lines(form.ListBox1),
                Lines(form.ListBox2),
                MoveableCatalog[7].flag,
                Project.basefilePath.str(),
                Project.texturesfilePath.str(),
                PanelBitmap.get(),
                PanelDIB.get(),
                {TexturePixel(1, 3, 3), TexturePixel(1000, 5, 5), TexturePixel(1001, 5, 5), TexturePixel(1002, 5, 5)}};
    }
};

// Lowers the largest bitmap, or makes the device refuse every texture, for
// the life of the scope.
class TScarceMemory {
public:
    TScarceMemory(int64_t bitmapLimit, bool noTextures) : limit_(BitmapMemoryLimit, bitmapLimit)
    {
        if (noTextures) D3DFailNext(TD3DFailPoint::CreateTexture, -1);
    }
    ~TScarceMemory() { D3DClearFailures(); }

private:
    TScopedValue<int64_t> limit_;
};

TEST_F(BasefileCommands, RunningOutOfMemoryKeepsTheLoadedLevelPanelAndPages)
{
    StartWindow();
    // The material loaded first: a level of two pages and a picture of one.
    SaveLevelFile(dir.file("good.tr2"), NamedLevel(LEVEL_TR2));
    ASSERT_TRUE(WritePicture(dir.file("good.bmp"), 256, 256));
    Choose(form->FileOpen2, dir.file("good.tr2"));
    Choose(form->FileOpen3, dir.file("good.bmp"));
    ASSERT_TRUE(sink.exceptions.empty()) << sink.exceptions.front();
    ASSERT_TRUE(sink.messages.empty()) << sink.messages.front().text;

    // What would replace it: a level of three pages (393,216 bytes as one
    // 16-bit bitmap) in every layout, and a picture of two pages.
    TLevelDesc tr4 = NamedLevel(LEVEL_TR4, 3), tr1 = NamedLevel(LEVEL_TR1, 3);
    for (TLevelDesc* d : {&tr4, &tr1}) d->moveables[1].object_id = 8;
    SaveLevelFile(dir.file("new.tr4"), tr4);
    SaveLevelFile(dir.file("new.phd"), tr1);
    ASSERT_TRUE(WritePicture(dir.file("new.bmp"), 256, 512));
    for (const char* level : {"new.tr4", "new.phd"}) {
        Project.basefilePath = dir.file(level);
        Project.texturesfilePath = dir.file("new.bmp");
        Choose(form->FileSaveAs1, dir.file(std::string(level) + ".vel"));
    }
    Project.basefilePath = dir.file("good.tr2");
    Project.texturesfilePath = dir.file("good.bmp");
    const TLoadedMaterial before = TLoadedMaterial::Now(*form);

    const std::string outOfMemory = OUT_OF_MEMORY_MESSAGE;
    const std::string outOfResources = EOutOfResources().what();
    const struct {
        QAction* command;
        const char* file;
        int64_t bitmapLimit;
        bool noTextures;
        std::vector<std::string> exceptions;
    } cases[] = {
        // The pages' bitmap is larger than a bitmap may be.
        {form->FileOpen2, "new.tr4", 300000, false, {outOfResources}},
        {form->FileOpen2, "new.phd", 300000, false, {outOfResources}},
        // The device has no room for the pages.
        {form->FileOpen2, "new.tr4", BitmapMemoryLimit, true, {outOfMemory}},
        {form->FileOpen2, "new.phd", BitmapMemoryLimit, true, {outOfMemory}},
        {form->FileOpen3, "new.bmp", BitmapMemoryLimit, true, {outOfMemory}},
        // The picture itself is too large.
        {form->FileOpen3, "new.bmp", 300000, false, {outOfResources}},
        // A project's Open goes on past the Texturesfile and the Basefile
        // it names, and only the project is new.
        {form->FileOpen1, "new.tr4.vel", BitmapMemoryLimit, true, {outOfMemory, outOfMemory}},
        {form->FileOpen1, "new.phd.vel", 300000, false, {outOfResources, outOfResources}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " " + std::to_string(c.bitmapLimit) + (c.noTextures ? " no textures" : ""));
        sink.messages.clear();
        sink.exceptions.clear();
        const bool project = c.command == form->FileOpen1;
        {
            TScarceMemory scarce(c.bitmapLimit, c.noTextures);
            Choose(c.command, dir.file(c.file));
        }
        EXPECT_EQ(sink.exceptions, c.exceptions);
        EXPECT_EQ(sink.Texts(), std::vector<std::string>{});
        TLoadedMaterial after = TLoadedMaterial::Now(*form);
        if (project) {
            EXPECT_EQ(after.basefilePath, dir.file(std::string(c.file).substr(0, 7)));
            EXPECT_EQ(after.texturesfilePath, dir.file("new.bmp"));
            after.basefilePath = before.basefilePath;
            after.texturesfilePath = before.texturesfilePath;
            Project.basefilePath = before.basefilePath;
            Project.texturesfilePath = before.texturesfilePath;
        }
        EXPECT_EQ(after.level, before.level);
        EXPECT_EQ(after.meshes, before.meshes);
        EXPECT_EQ(after.memo2, before.memo2);
        EXPECT_EQ(after.memo3, before.memo3);
        EXPECT_EQ(after.statics, before.statics);
        EXPECT_EQ(after.moveables, before.moveables);
        EXPECT_EQ(after.flagOf7, before.flagOf7);
        EXPECT_EQ(after.basefilePath, before.basefilePath);
        EXPECT_EQ(after.texturesfilePath, before.texturesfilePath);
        EXPECT_EQ(after.panel, before.panel);
        EXPECT_EQ(after.panelDIB, before.panelDIB);
        EXPECT_EQ(after.pixels, before.pixels);
        EXPECT_EQ(Scene->Level, before.level);
    }
    // With memory enough the same files load.
    sink.exceptions.clear();
    Choose(form->FileOpen2, dir.file("new.tr4"));
    Choose(form->FileOpen3, dir.file("new.bmp"));
    EXPECT_EQ(sink.exceptions, std::vector<std::string>{});
    EXPECT_EQ(BasefileLevel->version_code, LEVEL_TR4);
    EXPECT_EQ(PanelBitmap->Height(), 512);
    EXPECT_NE(TextureBuffer->Find(1002), nullptr);
}

// A Texturesfile is 256 or 512 pixels wide, at least 64 high, and its pages
// (a 512-wide picture's halves one below the other, each rounded up to 64
// rows) take ids 1 to 999 at most, below the Basefile's.
// A picture of a right width that is too tall gets a message of its own,
// which names the largest heights (those of 999 pages).
TEST(TexturesfileSize, WidthsHeightsAndPageCounts)
{
    const char* const shape = "Height must be 64 pixels or more, and Width must be 256 or 512 pixels!";
    const char* const tall =
        "Height must be 255744 pixels or less for a Width of 256 pixels, and 127872 pixels or less for a Width of 512 "
        "pixels!";
    const struct {
        int width, height;
        const char* message;  // nil: it fits
    } sizes[] = {
        {256, 64, nullptr},         {512, 64, nullptr},     {256, 63, shape},
        {300, 256, shape},          {0, 0, shape},          {300, INT32_MAX, shape},
        {256, 999 * 256, nullptr},  {256, 255744, nullptr}, {256, 999 * 256 + 1, tall},
        {512, 999 * 128, nullptr},  {512, 127872, nullptr}, {512, 999 * 128 - 63, nullptr},
        {512, 999 * 128 + 1, tall}, {256, INT32_MAX, tall}, {512, INT32_MAX, tall},
    };
    for (const auto& s : sizes) {
        const char* message = TexturesfileSizeMessage(s.width, s.height);
        EXPECT_EQ(message ? std::string(message) : "", s.message ? std::string(s.message) : "")
            << s.width << "x" << s.height;
        EXPECT_EQ(TexturesfileSizeFits(s.width, s.height), s.message == nullptr) << s.width << "x" << s.height;
    }
}

// A level may hold millions of static meshes, moveables and items; the
// lists and the item memo show the first MAX_BASEFILE_LIST_LINES of each,
// while every moveable still gives its object's entry its place.
TEST_F(BasefileCommands, ListsShowAtMostTheirLimitOfLines)
{
    StartWindow();
    const std::size_t many = MAX_BASEFILE_LIST_LINES + 500;
    TLevelDesc d = NamedLevel(LEVEL_TR2);
    d.static_meshes.resize(many, d.static_meshes[0]);
    d.moveables.resize(many, d.moveables[2]);  // object 7
    d.moveables.back().object_id = 9;
    d.items.resize(many, d.items[0]);
    SaveLevelFile(dir.file("many.tr2"), d);
    const int memo3 = form->Memo3->LineCount();
    Choose(form->FileOpen2, dir.file("many.tr2"));
    ASSERT_TRUE(sink.exceptions.empty()) << sink.exceptions.front();
    const int limit = int(MAX_BASEFILE_LIST_LINES);
    EXPECT_EQ(form->ListBox1->Count(), limit);
    EXPECT_EQ(form->ListBox2->Count(), limit);
    EXPECT_EQ(form->ListBox3->Count(), limit);
    EXPECT_EQ(form->Memo3->LineCount() - memo3, limit);
    EXPECT_EQ(form->ListBox1->ItemText(limit - 1), "Static Mesh#" + std::to_string(limit - 1));
    EXPECT_EQ(form->ListBox3->ItemText(limit - 1), form->ListBox3->ItemText(2));
    EXPECT_EQ(form->Memo3->Lines().back(), "Item# " + std::to_string(limit - 1) + "-Lara");
    EXPECT_EQ(form->Memo2->Lines()[23], "Total Movables In Basefile:" + std::to_string(many));
    EXPECT_EQ(MoveableCatalog[9].flag, uint16_t(many - 1));
    EXPECT_EQ(MoveableCatalog[7].flag, uint16_t(many - 2));
}

using TexturesfileCommands = EditorWindowTest;

TEST_F(TexturesfileCommands, A512By256PictureBecomesTwoPagesWithTheRightHalfBelow)
{
    StartWindow();
    ASSERT_TRUE(WritePicture(dir.file("wide.bmp"), 512, 256));
    Choose(form->FileOpen3, dir.file("wide.bmp"));
    ASSERT_TRUE(sink.exceptions.empty()) << sink.exceptions.front();
    ASSERT_TRUE(sink.messages.empty()) << sink.messages.front().text;
    EXPECT_EQ(asked.back().Filter,
              "All (*.dds;*.tga;*.dib;*.jpg;*.jpeg;*.bmp;*.ico;*.emf;*.wmf)|*.dds;*.tga;*.dib;*.jpg;*.jpeg;*.bmp;*.ico;"
              "*.emf;*.wmf");
    EXPECT_EQ(Project.texturesfilePath.str(), dir.file("wide.bmp"));
    EXPECT_EQ((std::tuple{PanelBitmap->Width(), PanelBitmap->Height(), PanelBitmap->PixelFormat(), PanelDIB->Width,
                          PanelDIB->Height}),
              (std::tuple{256, 512, pf16bit, 256, 512}));
    EXPECT_EQ(PanelView->Picture, PanelDIB.get());
    EXPECT_NE(TextureBuffer->Find(1), nullptr);
    EXPECT_NE(TextureBuffer->Find(2), nullptr);
    EXPECT_EQ(TextureBuffer->Find(3), nullptr);
    // The pages hold the picture without the grid.
    for (int y : {0, 1, 63, 64, 100, 255})
        for (int x : {0, 5, 64, 128, 200, 255}) {
            EXPECT_EQ(TexturePixel(1, x, y), Pattern565(x, y)) << x << "," << y;
            EXPECT_EQ(TexturePixel(2, x, y), Pattern565(256 + x, y)) << x << "," << y;
        }
    // The panel carries the grid: a green frame and lines, red page borders.
    const TColor green = As565(0x00FF00), red = As565(0x0000FF);
    for (auto [x, y] : {std::pair{0, 30},
                        {255, 30},
                        {30, 0},
                        {30, 511},
                        {64, 300},
                        {128, 300},
                        {192, 300},
                        {30, 64},
                        {30, 128},
                        {30, 192},
                        {30, 320},
                        {30, 384},
                        {30, 448}})
        EXPECT_EQ(PanelBitmap->GetPixel(x, y), green) << x << "," << y;
    EXPECT_EQ(PanelBitmap->GetPixel(30, 256), red);
    // The shown picture is the panel.
    EXPECT_EQ(PanelDIB->Bitmap().GetPixel(30, 256), red);
    EXPECT_EQ(PanelDIB->Bitmap().GetPixel(10, 10), PanelBitmap->GetPixel(10, 10));
}

TEST_F(TexturesfileCommands, ShortPicturesAreFilledToWholePagesAndOtherSizesRefused)
{
    StartWindow();
    // The picture, the panel's height, and texture pixels (page, x, y) with
    // the picture's pixel they show (-1: filler).
    const struct {
        const char* name;
        int w, h, panelHeight;
        std::vector<std::tuple<int, int, int, int, int>> pixels;
    } pictures[] = {
        // Each half rounded to 128 rows, the right half at rows 128..255.
        {"short.tga",
         512,
         100,
         256,
         {{1, 7, 99, 7, 99},
          {1, 7, 100, -1, 0},
          {1, 7, 127, -1, 0},
          {1, 7, 128, 263, 0},
          {1, 200, 227, 456, 99},
          {1, 200, 228, -1, 0},
          {1, 200, 255, -1, 0}}},
        // Two pages, the lower one holding rows 256..299 and filler.
        {"tall.bmp",
         256,
         300,
         512,
         {{2, 40, 0, 40, 256}, {2, 40, 43, 40, 299}, {2, 40, 44, -1, 0}, {1, 40, 255, 40, 255}}},
    };
    for (const auto& p : pictures) {
        ASSERT_TRUE(WritePicture(dir.file(p.name), p.w, p.h));
        ASSERT_TRUE(form->LoadTexturesfile(dir.file(p.name), true));
        EXPECT_EQ(PanelBitmap->Height(), p.panelHeight) << p.name;
        for (auto [page, x, y, px, py] : p.pixels)
            EXPECT_EQ(TexturePixel(page, x, y), px < 0 ? 0 : Pattern565(px, py)) << p.name << " " << x << "," << y;
    }
    EXPECT_EQ(TextureBuffer->Find(3), nullptr);
    EXPECT_TRUE(sink.messages.empty());

    // Pictures of other sizes, and pictures the loader cannot read, change nothing.
    const TBitmap* panel = PanelBitmap.get();
    const uint16_t pixel = TexturePixel(1, 3, 3);
    WriteFileBytes(dir.file("notes.xyz"), std::string("text").data(), 4);
    WriteFileBytes(dir.file("broken.tga"), std::string("\x01\x02\x03").data(), 3);
    const std::string sizeMessage = "Height must be 64 pixels or more, and Width must be 256 or 512 pixels!";
    for (auto [w, h] : {std::pair{256, 63}, {300, 256}, {128, 128}})
        ASSERT_TRUE(WritePicture(dir.file(std::to_string(w) + "x" + std::to_string(h) + ".bmp"), w, h));
    for (auto [name, message] : {std::pair{"256x63.bmp", sizeMessage},
                                 {"300x256.bmp", sizeMessage},
                                 {"128x128.bmp", sizeMessage},
                                 {"notes.xyz", ""},
                                 {"broken.tga", ""}}) {
        sink.messages.clear();
        sink.exceptions.clear();
        Choose(form->FileOpen3, dir.file(name));
        EXPECT_EQ(sink.Texts(), message.empty() ? std::vector<std::string>{} : std::vector<std::string>{message})
            << name;
        EXPECT_EQ(sink.exceptions.size(), message.empty() ? 1u : 0u) << name;
        EXPECT_EQ(PanelBitmap.get(), panel) << name;
        EXPECT_EQ(TexturePixel(1, 3, 3), pixel) << name;
        EXPECT_EQ(Project.texturesfilePath.str(), dir.file("tall.bmp"));
    }
}

// Pictures of the right widths with more rows than 999 pages hold are
// refused with the message that names the largest heights, and change
// nothing. (The tallest of each width that fit are in the sizes above.)
TEST_F(TexturesfileCommands, TooTallPicturesAreRefusedWithTheLargestHeights)
{
    StartWindow();
    ASSERT_TRUE(WritePicture(dir.file("small.bmp"), 256, 256));
    Choose(form->FileOpen3, dir.file("small.bmp"));
    const TBitmap* panel = PanelBitmap.get();
    // Black bilevel pictures, small to write and to read.
    auto pbm = [this](int w, int h) {
        const std::string name = dir.file(std::to_string(w) + "x" + std::to_string(h) + ".pbm");
        std::string bytes = "P4\n" + std::to_string(w) + " " + std::to_string(h) + "\n";
        bytes.append(std::size_t(w) / 8 * std::size_t(h), '\xff');
        WriteFileBytes(name, bytes.data(), bytes.size());
        return name;
    };
    const std::string tall =
        "Height must be 255744 pixels or less for a Width of 256 pixels, and 127872 pixels or less for a Width of 512 "
        "pixels!";
    for (auto [w, h] : {std::pair{256, 255745}, {512, 127873}}) {
        sink.messages.clear();
        Choose(form->FileOpen3, pbm(w, h));
        EXPECT_EQ(sink.Texts(), std::vector<std::string>{tall}) << w << "x" << h;
        EXPECT_TRUE(sink.exceptions.empty()) << w << "x" << h;
        EXPECT_EQ(PanelBitmap.get(), panel) << w << "x" << h;
        EXPECT_EQ(Project.texturesfilePath.str(), dir.file("small.bmp"));
    }
}

}  // namespace
