// The project commands of the File menu: New, Open, Save and Save As, their
// dialogs, the lists and the "Project Info" memo an opened project fills,
// and the Basefile and Texturesfile a project names.
#include <QCoreApplication>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "display/dib_picture.h"
#include "display/texture_store.h"
#include "editor/project_commands.h"
#include "file_commands_fixture.h"
#include "level/project_file.h"
#include "level/trlevel.h"
#include "scene/scene.h"
#include "support/project_fixture.h"

namespace {

class ProjectCommands : public FileCommandsTest {
protected:
    // A project of three rooms with every table filled, its room 2 current.
    void BuildProject(uint32_t seed = 7)
    {
        MakeProject(Project, 3, 6, 5, 4, seed);
        Project.currentRoom = 2;
        Project.basefilePath = "";
        Project.texturesfilePath = "";
        Project.items[1].correlative = 4000000000u;  // the largest, as an unsigned number
        Project.items[2].objectId = 0;
        Project.items[3].objectId = 1200;             // no catalog entry
        SetTrCatalogDefaults(MoveableCatalog);
        MoveableCatalog[0].name = "Lara";
    }

    // Saves the project through Save As under the name.
    void SaveAs(const std::string& path)
    {
        ChooseFile(form->FileSaveAs1, path);
        ASSERT_TRUE(sink.exceptions.empty()) << sink.exceptions.front();
    }

    std::vector<std::string> ExpectedInfo(const tcuarto_list& p)
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
    StartWindow();
    BuildProject();
    ProjectFileName = "old.vel";
    NextItemNumber = 17;
    Scene->RoomOfInterest = 3;
    for (TListBox* list : {form->ListBox1, form->ListBox2, form->ListBox3, form->ListBox4, form->ListBox5,
                           form->ListBox6, form->ListBox8, form->ListBox9, form->CheckListBox2})
        list->AddItem("line");
    form->ComboBox2->SetItemIndex(2);
    // Something drawn on the shown map.
    MapDIB->SetBrushColor(0x0000FF);
    MapDIB->Canvas().FillRect(Rect(100, 100, 200, 200));

    Choose(form->FileNew);
    EXPECT_TRUE(sink.exceptions.empty());
    EXPECT_EQ(Project.roomCount, 0);
    EXPECT_EQ(Project.rooms.size(), 12u);
    EXPECT_EQ(Project.currentRoom, 1);
    EXPECT_EQ(Project.playerRoom, 1);
    EXPECT_EQ(Project.playerColumn, 2);
    EXPECT_EQ(Project.playerRow, 2);
    for (int count : {Project.itemCount, Project.cameraCount, Project.flybyCount, Project.soundSourceCount,
                      Project.triggerCount, Project.animSetCount, Project.selectedItem, Project.highlightedItem,
                      Project.selectedCamera, Project.selectedFlyby, Project.selectedSoundSource})
        EXPECT_EQ(count, 0);
    for (const auto* text : {&Project.name, &Project.basefilePath, &Project.texturesfilePath, &Project.sparePath,
                             &Project.scriptDirectory, &Project.buildDirectory})
        EXPECT_EQ(text->str(), "");
    EXPECT_EQ(Project.comments.str(), "Created with Brackwater");
    EXPECT_EQ(ProjectFileName, "");
    EXPECT_EQ(NextItemNumber, 0);
    EXPECT_EQ(Scene->RoomOfInterest, 1);
    for (TListBox* list : {form->ListBox1, form->ListBox2, form->ListBox4, form->ListBox5, form->ListBox6,
                           form->ListBox8, form->ListBox9, form->CheckListBox2})
        EXPECT_EQ(list->Count(), 0) << list->objectName().toStdString();
    // The Items Remap tab keeps the Basefile's moveables.
    EXPECT_EQ(form->ListBox3->Count(), 1);
    // The memos lose their caption lines too.
    for (TMemo* memo : {form->Memo1, form->Memo2, form->Memo3}) EXPECT_EQ(memo->LineCount(), 0);
    EXPECT_EQ(form->ComboBox2->ItemIndex(), 0);
    // The map shows its background alone.
    EXPECT_EQ(MapDIB->Bitmap().GetPixel(150, 150), MapBackDIB->Bitmap().GetPixel(150, 150));
    EXPECT_EQ(std::memcmp(MapDIB->PixelBits, MapBackDIB->PixelBits, static_cast<std::size_t>(MapDIB->ImageSize)), 0);
}

TEST_F(ProjectCommands, SaveAsThenOpenGivesTheProjectBackAndFillsTheLists)
{
    StartWindow();
    BuildProject();
    const std::string path = dir.file("castle.vel");
    SaveAs(path);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_TRUE(asked[0].Save);
    EXPECT_EQ(asked[0].Filter, "DXvel3d Project File|*.vel");
    EXPECT_EQ(asked[0].DefaultSuffix, "vel");
    EXPECT_EQ(ProjectFileName, path);
    EXPECT_EQ(form->StatusText(1), "Level Saved as castle.vel");
    EXPECT_FALSE(form->GroupBox1->isVisibleTo(form.get()));
    // The writer stepped the window's gauge, one step per room.
    EXPECT_EQ(form->Gauge1->Model.Max(), 3);
    ASSERT_TRUE(std::filesystem::exists(path));

    const tcuarto_list saved = Project;
    uint32_t largest = 0;
    for (int i = 1; i <= saved.itemCount; ++i) {
        const uint32_t c = saved.items[size_t(i)].correlative;
        if (c > largest) largest = c;
    }
    Choose(form->FileNew);
    sink.cursorChanges.clear();

    ChooseFile(form->FileOpen1, path);
    ASSERT_TRUE(sink.exceptions.empty()) << sink.exceptions.front();
    EXPECT_TRUE(sink.messages.empty()) << sink.messages.front().text;
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_FALSE(asked[1].Save);
    EXPECT_EQ(asked[1].Filter, "DXvel3d Project File|*.vel");
    EXPECT_EQ(StoredDifference(saved, Project), "");
    EXPECT_EQ(ProjectFileName, path);
    EXPECT_EQ(form->StatusText(0), path);
    EXPECT_EQ(NextItemNumber, static_cast<int32_t>(largest + 1));
    EXPECT_EQ(Scene->RoomOfInterest, 2);
    EXPECT_EQ(Project.rooms.size(), 4u);
    // The hourglass for the whole command, and the progress group hidden after it.
    ASSERT_FALSE(sink.cursorChanges.empty());
    EXPECT_TRUE(sink.cursorChanges.front());
    EXPECT_FALSE(sink.cursorChanges.back());
    EXPECT_FALSE(form->GroupBox1->isVisibleTo(form.get()));

    std::vector<std::string> rooms, triggers, sets, items;
    for (int n = 1; n <= 3; ++n) rooms.push_back(saved.rooms[size_t(n)].name.str());
    for (int i = 0; i < saved.triggerCount; ++i) triggers.push_back(saved.triggers[size_t(i)].name.str());
    for (int s = 1; s <= saved.animSetCount; ++s) sets.push_back("Animated Set #" + std::to_string(s));
    for (int i = 1; i <= saved.itemCount; ++i) {
        const int id = saved.items[size_t(i)].objectId;
        // Every id but 0 has the catalog's default name, inside the catalog or not.
        const std::string name = id == 0 ? "Lara" : "Moveable Id#" + std::to_string(id);
        items.push_back(std::to_string(saved.items[size_t(i)].correlative) + ".- " + name);
    }
    EXPECT_EQ(Items(form->ListBox4), rooms);
    EXPECT_EQ(form->ListBox4->ItemIndex(), 1);
    EXPECT_EQ(Items(form->ListBox5), triggers);
    EXPECT_EQ(form->ListBox5->ItemIndex(), saved.triggerCount - 1);
    EXPECT_EQ(Items(form->ListBox8), sets);
    EXPECT_EQ(form->ListBox8->ItemIndex(), 0);
    EXPECT_EQ(Items(form->CheckListBox2), items);
    EXPECT_EQ(items[0], "4000000000.- " + CatalogName(MoveableCatalog, saved.items[1].objectId));
    EXPECT_EQ(items[1].substr(items[1].find(".- ")), ".- Lara");
    EXPECT_EQ(items[2].substr(items[2].find(".- ")), ".- Moveable Id#1200");
    EXPECT_EQ(form->CheckListBox2->ItemIndex(), saved.itemCount - 1);
    EXPECT_EQ(form->Memo1->Lines(), ExpectedInfo(saved));
    EXPECT_EQ(form->SpinEdit11->Value(), Project.neighbourRoom);

    // A second Open adds a second block.
    ChooseFile(form->FileOpen1, path);
    std::vector<std::string> twice = ExpectedInfo(saved);
    const auto block = ExpectedInfo(saved);
    twice.insert(twice.end(), block.begin(), block.end());
    EXPECT_EQ(form->Memo1->Lines(), twice);
}

TEST_F(ProjectCommands, SaveWithoutANameAsksForOneThenSavesUnderIt)
{
    StartWindow();
    Choose(form->FileNew);
    Answer(dir.file("first.vel"));
    Choose(form->FileSave);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_TRUE(asked[0].Save);
    EXPECT_EQ(ProjectFileName, dir.file("first.vel"));
    ASSERT_TRUE(std::filesystem::exists(dir.file("first.vel")));

    // With a name the next Save asks nothing and writes the project there.
    Project.name = "Second save";
    Choose(form->FileSave);
    EXPECT_EQ(asked.size(), 1u);
    EXPECT_EQ(form->StatusText(1), "Level Saved as first.vel");
    tcuarto_list reread;
    ASSERT_EQ(LoadProject(reread, dir.file("first.vel")), 0);
    EXPECT_EQ(reread.name.str(), "Second save");
    EXPECT_TRUE(sink.exceptions.empty());

    // A cancelled dialog changes nothing.
    ProjectFileName.clear();
    Answer("");
    Choose(form->FileSave);
    EXPECT_EQ(asked.size(), 2u);
    EXPECT_EQ(ProjectFileName, "");
    EXPECT_TRUE(sink.messages.empty());
}

TEST_F(ProjectCommands, AFailedSaveIsReportedAndKeepsTheName)
{
    StartWindow();
    BuildProject();
    ProjectFileName = dir.file("kept.vel");
    ChooseFile(form->FileSaveAs1, dir.file("no such folder/x.vel"));
    EXPECT_EQ(sink.exceptions.size(), 1u);
    EXPECT_EQ(ProjectFileName, dir.file("kept.vel"));
    EXPECT_FALSE(form->GroupBox1->isVisibleTo(form.get()));
    EXPECT_EQ(Project.progressGauge, nullptr);
}

TEST_F(ProjectCommands, OpeningAMissingFileChangesNothing)
{
    StartWindow();
    BuildProject();
    ProjectFileName = "current.vel";
    const tcuarto_list before = Project;
    ChooseFile(form->FileOpen1, dir.file("missing.vel"));
    EXPECT_EQ(sink.Texts(), std::vector<std::string>{"Could not find Project"});
    EXPECT_EQ(form->StatusText(0), dir.file("missing.vel"));
    EXPECT_EQ(ProjectFileName, "current.vel");
    EXPECT_EQ(AnyDifference(before, Project), "");
    EXPECT_EQ(form->Memo1->Lines(), std::vector<std::string>{"Project Info"});
}

TEST_F(ProjectCommands, AFileTheReaderRefusesKeepsTheProjectAndItsName)
{
    StartWindow();
    BuildProject();
    const std::string good = dir.file("good.vel");
    SaveAs(good);
    const tcuarto_list before = Project;

    // Not a project file at all.
    WriteFileBytes(dir.file("notes.vel"), std::string("Just some notes, not a project.").data(), 31);
    ChooseFile(form->FileOpen1, dir.file("notes.vel"));
    EXPECT_EQ(sink.Texts(), std::vector<std::string>{" ERROR...invalid DXVel3d file format! "});
    EXPECT_EQ(ProjectFileName, good);
    EXPECT_EQ(AnyDifference(before, Project), "");
    EXPECT_FALSE(form->GroupBox1->isVisibleTo(form.get()));
    EXPECT_EQ(form->ListBox4->Count(), 0);
    EXPECT_EQ(form->Memo1->Lines(), std::vector<std::string>{"Project Info"});

    // A project file cut short.
    std::vector<uint8_t> bytes = ReadFileBytes(good);
    bytes.resize(bytes.size() / 2);
    WriteFileBytes(dir.file("cut.vel"), bytes);
    sink.messages.clear();
    ChooseFile(form->FileOpen1, dir.file("cut.vel"));
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(ProjectFileName, good);
    EXPECT_EQ(AnyDifference(before, Project), "");
    EXPECT_TRUE(sink.exceptions.empty());

    // A later Save still writes the project's own file.
    Choose(form->FileSave);
    tcuarto_list reread;
    ASSERT_EQ(LoadProject(reread, good), 0);
    EXPECT_EQ(StoredDifference(before, reread), "");
}

TEST_F(ProjectCommands, AChosenPathTheProjectCannotStoreIsRefused)
{
    StartWindow();
    Answer(dir.path() + "/\u4e2d.vel");
    Choose(form->FileOpen1);
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_NE(sink.messages[0].text.find("cannot store"), std::string::npos);
    EXPECT_EQ(form->StatusText(0), "");
    EXPECT_EQ(ProjectFileName, "");
}

TEST_F(ProjectCommands, OpenReopensTheStoredBasefileAndTexturesfile)
{
    StartWindow();
    TLevelDesc level = MakeSampleLevel(LEVEL_TR2);
    level.moveables[0].object_id = 0;
    SaveLevelFile(dir.file("base.tr2"), level);
    ASSERT_TRUE(WritePicture(dir.file("pages.bmp"), 256, 256));

    BuildProject();
    Project.basefilePath = "  " + dir.file("base.tr2") + " ";
    Project.texturesfilePath = dir.file("pages.bmp");
    SaveAs(dir.file("with files.vel"));
    Choose(form->FileNew);
    ASSERT_EQ(TextureBuffer->Find(1), nullptr);
    ASSERT_EQ(TextureBuffer->Find(1000), nullptr);

    ChooseFile(form->FileOpen1, dir.file("with files.vel"));
    EXPECT_TRUE(sink.messages.empty()) << sink.messages.front().text;
    EXPECT_TRUE(sink.exceptions.empty());
    EXPECT_NE(TextureBuffer->Find(1), nullptr);
    EXPECT_NE(TextureBuffer->Find(1000), nullptr);
    EXPECT_EQ(BasefileLevel->version_code, LEVEL_TR2);
    EXPECT_EQ(form->ListBox1->Count(), 3);
    EXPECT_EQ(form->ListBox3->ItemText(0), "Lara");
    EXPECT_EQ(form->Memo2->LineCount(), 25);
    // The stored paths are left as they were.
    EXPECT_EQ(Project.basefilePath.str(), "  " + dir.file("base.tr2") + " ");
    EXPECT_EQ(Project.texturesfilePath.str(), dir.file("pages.bmp"));
    EXPECT_EQ(PanelBitmap->Height(), 256);
    // The item list names the items with the Basefile's catalog.
    EXPECT_EQ(form->CheckListBox2->ItemText(1).substr(form->CheckListBox2->ItemText(1).find(".- ")), ".- Lara");
    EXPECT_EQ(form->Memo1->LineCount(), 15);
}

TEST_F(ProjectCommands, StoredFilesThatAreGoneAreReportedAndOpenGoesOn)
{
    StartWindow();
    BuildProject();
    Project.basefilePath = dir.file("gone.tr4");
    Project.texturesfilePath = dir.file("gone.bmp");
    SaveAs(dir.file("p.vel"));
    Choose(form->FileNew);
    ChooseFile(form->FileOpen1, dir.file("p.vel"));
    EXPECT_EQ(sink.Texts(), (std::vector<std::string>{"Could not find Texturesfile. Will continue anyway.",
                                                      "Could not find Basefile. Will continue anyway."}));
    EXPECT_EQ(form->Memo1->LineCount(), 15);
    EXPECT_EQ(form->CheckListBox2->Count(), Project.itemCount);

    // Empty and blank paths name no file and ask for none.
    Project.basefilePath = "   ";
    Project.texturesfilePath = "";
    SaveAs(dir.file("p.vel"));
    sink.messages.clear();
    ChooseFile(form->FileOpen1, dir.file("p.vel"));
    EXPECT_TRUE(sink.messages.empty());
}

TEST_F(ProjectCommands, ABrokenStoredTexturesfileIsReportedAndOpenGoesOn)
{
    StartWindow();
    WriteFileBytes(dir.file("broken.bmp"), std::string("BM not really a bitmap").data(), 22);
    BuildProject();
    Project.texturesfilePath = dir.file("broken.bmp");
    SaveAs(dir.file("p.vel"));
    Choose(form->FileNew);
    ChooseFile(form->FileOpen1, dir.file("p.vel"));
    EXPECT_EQ(sink.exceptions.size(), 1u);
    EXPECT_EQ(form->Memo1->LineCount(), 15);
    EXPECT_EQ(form->ListBox4->Count(), 3);
    EXPECT_EQ(form->CheckListBox2->Count(), Project.itemCount);
    EXPECT_EQ(PanelBitmap->Width(), 0);
}

TEST_F(ProjectCommands, AProjectWithoutItemsNumbersItsNextItemOne)
{
    StartWindow();
    Choose(form->FileNew);
    SaveAs(dir.file("empty.vel"));
    NextItemNumber = 9;
    ChooseFile(form->FileOpen1, dir.file("empty.vel"));
    EXPECT_EQ(NextItemNumber, 1);
    EXPECT_EQ(form->ListBox4->Count(), 0);
    EXPECT_EQ(form->CheckListBox2->Count(), 0);
    EXPECT_EQ(form->CheckListBox2->ItemIndex(), -1);
    EXPECT_EQ(form->Memo1->Lines()[0], "Total Rooms in Project:0");
    EXPECT_EQ(form->Memo1->Lines()[13], "Comments:Created with Brackwater");
}

}  // namespace
