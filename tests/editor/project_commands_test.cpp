// The project commands of the File menu: New, Open, Save and Save As, their
// dialogs, the lists and the "Project Info" memo an opened project fills,
// the Basefile and Texturesfile a project names, and files they refuse.
#include <QCoreApplication>

#include <gmock/gmock.h>

#include <filesystem>

#include "display/dib_picture.h"
#include "display/texture_store.h"
#include "editor/project_commands.h"
#include "editor_fixture.h"
#include "level/project_file.h"
#include "level/trlevel.h"
#include "scene/scene.h"
#include "support/level_writer.h"
#include "support/project_fixture.h"

namespace {

class ProjectCommands : public EditorWindowTest {
protected:
    // A started window and a project of three rooms with every table
    // filled, its room 2 current, item 1 of the largest correlative, item 2
    // placing Lara and item 3 an object the catalog does not hold.
    void StartWithProject()
    {
        StartWindow();
        MakeProject(Project, 3, 6, 5, 4, 7);
        Project.currentRoom = 2;
        Project.basefilePath = "";
        Project.texturesfilePath = "";
        Project.items[1].correlative = 4000000000u;
        Project.items[2].objectId = 0;
        Project.items[3].objectId = 1200;
        SetTrCatalogDefaults(MoveableCatalog);
        MoveableCatalog[0].name = "Lara";
    }
    void SaveAs(const std::string& path)
    {
        Choose(form->FileSaveAs1, path);
        ASSERT_TRUE(sink.exceptions.empty()) << sink.exceptions.front();
    }
    static std::vector<std::string> Info(const tcuarto_list& p)
    {
        auto n = [](int v) { return std::to_string(v); };
        return {"Total Rooms in Project:" + n(p.roomCount),
                "Total Cameras in Project:" + n(p.cameraCount),
                "Total Items in Project:" + n(p.itemCount),
                "Total Triggers in Project:" + n(p.triggerCount),
                "Animated Texture Sets:" + n(p.animSetCount),
                "Scrolling Textures:" + n(p.animSetCount),
                "Lara_Room:" + n(p.playerRoom),
                "Lara_Column:" + n(p.playerColumn),
                "Lara_Row:" + n(p.playerRow),
                "Basefile Directory:" + p.basefilePath.str(),
                "Textures Directory:" + p.texturesfilePath.str(),
                "Scriptfile Directory:" + p.scriptDirectory.str(),
                "Build Directory:" + p.buildDirectory.str(),
                "Comments:" + p.comments.str(),
                "Name:" + p.name.str()};
    }
};

TEST_F(ProjectCommands, NewEmptiesTheProjectTheListsAndTheMap)
{
    StartWithProject();
    ProjectFileName = "old.vel";
    NextItemNumber = 17;
    Scene->RoomOfInterest = 3;
    for (TListBox* list : {form->ListBox1, form->ListBox2, form->ListBox3, form->ListBox4, form->ListBox5,
                           form->ListBox6, form->ListBox8, form->ListBox9, form->CheckListBox2})
        list->AddItem("line");
    form->ComboBox2->SetItemIndex(2);
    MapDIB->SetBrushColor(0x0000FF);  // something drawn on the shown map
    MapDIB->Canvas().FillRect(Rect(100, 100, 200, 200));

    Choose(form->FileNew);
    EXPECT_TRUE(sink.exceptions.empty());
    // The project is reset as the project records' suite checks; its texts are emptied here.
    EXPECT_EQ((std::tuple{int(Project.roomCount), int(Project.itemCount), int(Project.currentRoom)}),
              (std::tuple{0, 0, 1}));
    EXPECT_EQ((std::vector<std::string>{Project.name.str(), Project.basefilePath.str(), Project.texturesfilePath.str(),
                                        Project.sparePath.str(), Project.scriptDirectory.str(),
                                        Project.buildDirectory.str(), ProjectFileName}),
              std::vector<std::string>(7, ""))
        << "name, basefile, texturesfile, spare path, script and build directories, project file name";
    EXPECT_EQ(Project.comments.str(), "Created with Brackwater");
    EXPECT_EQ(std::pair(NextItemNumber, Scene->RoomOfInterest), std::pair(0, 1));
    for (TListBox* list : {form->ListBox1, form->ListBox2, form->ListBox4, form->ListBox5, form->ListBox6,
                           form->ListBox8, form->ListBox9, form->CheckListBox2})
        EXPECT_EQ(list->Count(), 0) << list->objectName().toStdString();
    EXPECT_EQ(form->ListBox3->Count(), 1);  // the Items Remap tab keeps the Basefile's moveables
    for (TMemo* memo : {form->Memo1, form->Memo2, form->Memo3}) EXPECT_EQ(memo->LineCount(), 0);  // captions too
    EXPECT_EQ(form->ComboBox2->ItemIndex(), 0);
    // The map shows its background alone.
    EXPECT_EQ(std::memcmp(MapDIB->PixelBits, MapBackDIB->PixelBits, static_cast<std::size_t>(MapDIB->ImageSize)), 0);
}

TEST_F(ProjectCommands, SaveAsThenOpenGivesTheProjectBackAndFillsTheLists)
{
    StartWithProject();
    const std::string path = dir.file("castle.vel");
    SaveAs(path);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ((std::tuple{asked[0].Save, asked[0].Filter, asked[0].DefaultSuffix}),
              (std::tuple{true, "DXvel3d Project File|*.vel", "vel"}));
    EXPECT_EQ(ProjectFileName, path);
    EXPECT_EQ(form->StatusText(1), "Level Saved as castle.vel");
    EXPECT_EQ(form->Gauge1->Model.Max(), 3);  // the writer stepped the window's gauge, one step per room
    const tcuarto_list saved = Project;
    Choose(form->FileNew);
    sink.cursorChanges.clear();

    Choose(form->FileOpen1, path);
    ASSERT_TRUE(sink.exceptions.empty()) << sink.exceptions.front();
    EXPECT_TRUE(sink.messages.empty()) << sink.messages.front().text;
    EXPECT_EQ((std::tuple{asked[1].Save, asked[1].Filter}), (std::tuple{false, "DXvel3d Project File|*.vel"}));
    EXPECT_EQ(StoredDifference(saved, Project), "");
    EXPECT_EQ(ProjectFileName + "|" + form->StatusText(0), path + "|" + path);
    uint32_t largest = 0;
    for (int i = 1; i <= saved.itemCount; ++i)
        largest = std::max(largest, uint32_t{saved.items[size_t(i)].correlative});
    EXPECT_EQ(NextItemNumber, static_cast<int32_t>(largest + 1));
    EXPECT_EQ(std::pair(Scene->RoomOfInterest, Project.rooms.size()), std::pair(2, std::size_t(4)));
    // The hourglass for the whole command, and the progress group hidden after it.
    EXPECT_EQ(sink.cursorChanges, (std::vector<bool>{true, false}));
    EXPECT_FALSE(form->GroupBox1->isVisibleTo(form.get()));

    std::vector<std::string> rooms, triggers, sets, items;
    for (int n = 1; n <= 3; ++n) rooms.push_back(saved.rooms[size_t(n)].name.str());
    for (int i = 0; i < saved.triggerCount; ++i) triggers.push_back(saved.triggers[size_t(i)].name.str());
    for (int s = 1; s <= saved.animSetCount; ++s) sets.push_back("Animated Set #" + std::to_string(s));
    for (int i = 1; i <= saved.itemCount; ++i) {
        const int id = saved.items[size_t(i)].objectId;
        // Every id but 0 has the catalog's default name, inside the catalog or not.
        items.push_back(std::to_string(saved.items[size_t(i)].correlative) + ".- " +
                        (id == 0 ? "Lara" : "Moveable Id#" + std::to_string(id)));
    }
    EXPECT_EQ(items[0].substr(0, 13), "4000000000.- ");
    EXPECT_EQ(items[2].substr(items[2].find(".- ")), ".- Moveable Id#1200");
    EXPECT_EQ(Lines(form->ListBox4), rooms);
    EXPECT_EQ(Lines(form->ListBox5), triggers);
    EXPECT_EQ(Lines(form->ListBox8), sets);
    EXPECT_EQ(Lines(form->CheckListBox2), items);
    EXPECT_EQ((std::tuple{form->ListBox4->ItemIndex(), form->ListBox5->ItemIndex(), form->ListBox8->ItemIndex(),
                          form->CheckListBox2->ItemIndex()}),
              (std::tuple{1, saved.triggerCount - 1, 0, saved.itemCount - 1}));
    EXPECT_EQ(form->Memo1->Lines(), Info(saved));
    EXPECT_EQ(form->SpinEdit11->Value(), Project.neighbourRoom);

    // A second Open adds a second block.
    Choose(form->FileOpen1, path);
    std::vector<std::string> twice = Info(saved), block = Info(saved);
    twice.insert(twice.end(), block.begin(), block.end());
    EXPECT_EQ(form->Memo1->Lines(), twice);
}

TEST_F(ProjectCommands, SaveWithoutANameAsksForOneThenSavesUnderIt)
{
    StartWindow();
    Choose(form->FileNew);
    Choose(form->FileSave, dir.file("first.vel"));
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_TRUE(asked[0].Save);
    EXPECT_EQ(ProjectFileName, dir.file("first.vel"));
    // With a name the next Save asks nothing and writes the project there.
    Project.name = "Second save";
    Choose(form->FileSave);
    EXPECT_EQ(asked.size(), 1u);
    EXPECT_EQ(form->StatusText(1), "Level Saved as first.vel");
    tcuarto_list reread;
    ASSERT_EQ(LoadProject(reread, dir.file("first.vel")), 0);
    EXPECT_EQ(reread.name.str(), "Second save");
    // A cancelled dialog changes nothing.
    ProjectFileName.clear();
    Choose(form->FileSave, "");
    EXPECT_EQ(asked.size(), 2u);
    EXPECT_EQ(ProjectFileName, "");
    EXPECT_THAT(sink.Texts(), testing::IsEmpty());
    EXPECT_THAT(sink.exceptions, testing::IsEmpty());
    // A failed save is reported and keeps the name.
    ProjectFileName = dir.file("kept.vel");
    Choose(form->FileSaveAs1, dir.file("no such folder/x.vel"));
    EXPECT_EQ(sink.exceptions.size(), 1u);
    EXPECT_EQ(ProjectFileName, dir.file("kept.vel"));
    EXPECT_FALSE(form->GroupBox1->isVisibleTo(form.get()));
    EXPECT_EQ(Project.progressGauge, nullptr);
}

TEST_F(ProjectCommands, FilesTheReaderRefusesLeaveTheProjectAndItsName)
{
    StartWithProject();
    const std::string good = dir.file("good.vel");
    SaveAs(good);
    const tcuarto_list before = Project;
    std::vector<uint8_t> cut = ReadFileBytes(good);
    cut.resize(cut.size() / 2);
    WriteFileBytes(dir.file("cut.vel"), cut);
    WriteFileBytes(dir.file("notes.vel"), std::string("Just some notes, not a project.").data(), 31);
    // The chosen path, what the status bar then shows, and the message ("" any).
    const std::tuple<std::string, std::string, std::string> refusals[] = {
        {dir.path() + "/\u4e2d.vel", "", "cannot store"},
        {dir.file("missing.vel"), dir.file("missing.vel"), "Could not find Project"},
        {dir.file("notes.vel"), dir.file("notes.vel"), " ERROR...invalid DXVel3d file format! "},
        {dir.file("cut.vel"), dir.file("cut.vel"), ""},
    };
    for (const auto& [path, status, message] : refusals) {
        sink.messages.clear();
        Choose(form->FileOpen1, path);
        ASSERT_EQ(sink.messages.size(), 1u) << path;
        EXPECT_NE(sink.messages[0].text.find(message), std::string::npos) << sink.messages[0].text;
        EXPECT_TRUE(sink.exceptions.empty());
        EXPECT_EQ(form->StatusText(0), status);
        EXPECT_EQ(ProjectFileName, good);
        EXPECT_EQ(AnyDifference(before, Project), "");
        EXPECT_EQ(form->Memo1->Lines(), std::vector<std::string>{"Project Info"});
        EXPECT_EQ(form->ListBox4->Count(), 0);
        EXPECT_FALSE(form->GroupBox1->isVisibleTo(form.get()));
    }
    // A later Save still writes the project's own file.
    Choose(form->FileSave);
    tcuarto_list reread;
    ASSERT_EQ(LoadProject(reread, good), 0);
    EXPECT_EQ(StoredDifference(before, reread), "");
}

TEST_F(ProjectCommands, OpenReopensTheStoredBasefileAndTexturesfile)
{
    StartWithProject();
    TLevelDesc level = MakeSampleLevel(LEVEL_TR2);
    level.moveables[0].object_id = 0;
    SaveLevelFile(dir.file("base.tr2"), level);
    ASSERT_TRUE(WritePicture(dir.file("pages.bmp"), 256, 256));
    Project.basefilePath = "  " + dir.file("base.tr2") + " ";
    Project.texturesfilePath = dir.file("pages.bmp");
    SaveAs(dir.file("with files.vel"));
    Choose(form->FileNew);
    ASSERT_EQ(TextureBuffer->Find(1), nullptr);
    ASSERT_EQ(TextureBuffer->Find(1000), nullptr);

    Choose(form->FileOpen1, dir.file("with files.vel"));
    EXPECT_TRUE(sink.messages.empty()) << sink.messages.front().text;
    EXPECT_TRUE(sink.exceptions.empty());
    EXPECT_NE(TextureBuffer->Find(1), nullptr);
    EXPECT_NE(TextureBuffer->Find(1000), nullptr);
    EXPECT_EQ(BasefileLevel->version_code, LEVEL_TR2);
    EXPECT_EQ((std::tuple{form->ListBox1->Count(), form->ListBox3->ItemText(0), form->Memo2->LineCount(),
                          PanelBitmap->Height(), form->Memo1->LineCount()}),
              (std::tuple{3, "Lara", 25, 256, 15}));
    // The stored paths are left as they were.
    EXPECT_EQ(Project.basefilePath.str() + "|" + Project.texturesfilePath.str(),
              "  " + dir.file("base.tr2") + " |" + dir.file("pages.bmp"));
    // The item list names the items with the Basefile's catalog.
    const std::string second = form->CheckListBox2->ItemText(1);
    EXPECT_EQ(second.substr(second.find(".- ")), ".- Lara");
}

TEST_F(ProjectCommands, StoredFilesThatAreGoneOrBrokenAreReportedAndOpenGoesOn)
{
    StartWithProject();
    WriteFileBytes(dir.file("broken.bmp"), std::string("BM not really a bitmap").data(), 22);
    // The stored Basefile and Texturesfile, and the messages and exceptions Open then gives.
    const std::tuple<std::string, std::string, std::vector<std::string>, size_t> stored[] = {
        {dir.file("gone.tr4"),
         dir.file("gone.bmp"),
         {"Could not find Texturesfile. Will continue anyway.", "Could not find Basefile. Will continue anyway."},
         0},
        {"   ", "", {}, 0},  // empty and blank paths name no file and ask for none
        {"", dir.file("broken.bmp"), {}, 1},
    };
    for (const auto& [basefile, texturesfile, messages, exceptions] : stored) {
        Project.basefilePath = basefile;
        Project.texturesfilePath = texturesfile;
        SaveAs(dir.file("p.vel"));
        Choose(form->FileNew);
        sink.messages.clear();
        Choose(form->FileOpen1, dir.file("p.vel"));
        EXPECT_EQ(sink.Texts(), messages) << texturesfile;
        EXPECT_EQ(sink.exceptions.size(), exceptions);
        EXPECT_EQ((std::tuple{form->Memo1->LineCount(), form->ListBox4->Count(), form->CheckListBox2->Count()}),
                  (std::tuple{15, 3, int(Project.itemCount)}));
        EXPECT_EQ(PanelBitmap->Width(), 0);
    }
}

TEST_F(ProjectCommands, AProjectWithoutItemsNumbersItsNextItemOne)
{
    StartWindow();
    Choose(form->FileNew);
    Choose(form->FileSaveAs1, dir.file("empty.vel"));
    NextItemNumber = 9;
    Choose(form->FileOpen1, dir.file("empty.vel"));
    EXPECT_EQ(NextItemNumber, 1);
    EXPECT_EQ((std::tuple{form->ListBox4->Count(), form->CheckListBox2->Count(), form->CheckListBox2->ItemIndex()}),
              (std::tuple{0, 0, -1}));
    EXPECT_EQ(form->Memo1->Lines()[0] + "|" + form->Memo1->Lines()[13],
              "Total Rooms in Project:0|Comments:Created with Brackwater");
}

}  // namespace
