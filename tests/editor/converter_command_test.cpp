// The converter tabs' "CREATE" button on a running window: a written level
// loaded as the Basefile becomes the project that the lists, the memo, the
// map and the 3D view show.
#include <QTest>

#include <gmock/gmock.h>

#include <cstring>

#include "converter/floor_data_index.h"
#include "display/dib_picture.h"
#include "editor_fixture.h"
#include "level/trlevel.h"
#include "scene/scene.h"
#include "support/level_writer.h"

namespace {

class ConverterCommand : public EditorWindowTest {
protected:
    // A started window whose Basefile holds two rooms of 4 x 5 sectors side
    // by side with a doorway between them, the second a water room one sector
    // higher; a death sector; three items.
    void SetUp() override
    {
        EditorWindowTest::SetUp();
        StartWindow();
        SetTrCatalogDefaults(MoveableCatalog);  // as the Basefile loader leaves it before reading the catalog file
        TLevelDesc d = MakeTwoRoomLevel(LEVEL_TR2, 1, 4);
        d.floor_data = {0x0000, 0x8001, 0x0001, 0x8005, 0x8001, 0x0000};
        d.rooms[0].sectors[1 * 5 + 2].floor_data_index = 3;
        d.items = {{7, 0, 1536, -256, 3584, 0x4000, 0, 0, 0},
                   {9, 1, 6656, -1280, 4608, 0x8000, 0, 0, 0},
                   {11, 0, 2560, 0, 5632, 0, 0, 0, 0}};
        SaveLevelFile(dir.file("two.tr2"), d);
        ASSERT_EQ(BasefileLevel->LoadFromFile(dir.file("two.tr2")), LEVEL_LOADED);
    }
    void ClickCreate() { QTest::mouseClick(form->SpeedButton99, Qt::LeftButton); }
};

TEST_F(ConverterCommand, CreateBuildsTheProjectAndShowsIt)
{
    Project.basefilePath = "C:\\levels\\two.tr2";
    Project.texturesfilePath = "C:\\levels\\two.bmp";
    Project.neighbourRoom = 2;
    MoveableCatalog[7].name = "Medipack";
    MoveableCatalog[9].name = "Shotgun";
    form->CheckBox13->SetChecked(true);  // "Include Items"
    form->CheckBox17->SetChecked(true);  // "Include Death Sectors"
    form->ListBox5->AddItem("an old trigger");
    form->ListBox6->AddItem("an old command");
    form->CheckListBox2->AddItem("an old item");
    ProjectFileName = "old.vel";
    NextItemNumber = 9;
    sink.cursorChanges.clear();
    std::vector<int> gauge2;
    auto shown = form->Gauge2->Model.OnChange;
    form->Gauge2->Model.OnChange = [&](const TProgressBar& g) {
        gauge2.push_back(g.Position());
        shown(g);
    };

    ClickCreate();
    EXPECT_THAT(sink.Texts(), testing::IsEmpty());
    EXPECT_THAT(sink.exceptions, testing::IsEmpty());
    EXPECT_EQ(sink.cursorChanges, (std::vector<bool>{true, false}));
    // Runs end at words 3, 4 and 6 of 6, then one step per room, then rest.
    EXPECT_EQ(gauge2, (std::vector<int>{12, 16, 25, 26, 27, 0}));
    EXPECT_EQ(std::tuple(form->Gauge2->value(), form->Gauge3->value()), std::tuple(0, 0));
    EXPECT_FALSE(form->GroupBox1->isVisible());

    // The options reach the conversion: items, death sectors and side portals; rest as the converter's suite checks.
    ASSERT_EQ(Project.roomCount, 2);
    EXPECT_EQ(Project.name.str(), "TR2VEL Project File:  two.tr2");
    EXPECT_EQ((std::tuple{int(Project.rooms[1].sectors[2][3].death), int(Project.rooms[1].sectors[4][3].roomBeside)}),
              (std::tuple{1, 2}));
    EXPECT_EQ((std::tuple{ProjectFileName, NextItemNumber, int(Project.currentRoom)}), (std::tuple{"", 0, 1}));
    EXPECT_EQ(Lines(form->ListBox4), (std::vector<std::string>{"Room#1", "Room#2-Water"}));
    EXPECT_EQ(Lines(form->CheckListBox2),
              (std::vector<std::string>{"0.- Medipack", "1.- Shotgun", "2.- Moveable Id#11"}));
    EXPECT_EQ((std::tuple{form->ListBox4->ItemIndex(), form->CheckListBox2->ItemIndex(), form->ListBox5->Count(),
                          form->ListBox6->Count(), form->SpinEdit11->Value(), SpinGuard}),
              (std::tuple{0, 2, 0, 0, 2, false}));
    EXPECT_EQ(
        form->Memo1->Lines(),
        (std::vector<std::string>{"Total Rooms in Project:2", "Total Cameras in Project:0", "Total Items in Project:3",
                                  "Total Triggers in Project:0", "Animated Texture Sets:0", "Scrolling Textures:0",
                                  "Lara_Room:1", "Lara_Column:2", "Lara_Row:2",
                                  "Basefile Directory:C:\\levels\\two.tr2", "Textures Directory:C:\\levels\\two.bmp",
                                  "Scriptfile Directory:", "Build Directory:", "Comments:" + Project.comments.str(),
                                  "Name:TR2VEL Project File:  two.tr2"}));
    EXPECT_EQ(form->Memo5->LineCount(), 0);  // the last room's exclusion list (no room lies above it)
    // The map shows its background only; the 3D view is fitted to room 1.
    ASSERT_EQ(MapDIB->ImageSize, MapBackDIB->ImageSize);
    EXPECT_EQ(std::memcmp(MapDIB->PixelBits, MapBackDIB->PixelBits, size_t(MapDIB->ImageSize)), 0);
    EXPECT_EQ(Scene->RoomOfInterest, 1);
    EXPECT_EQ((std::tuple{Scene->BoxMin[0], Scene->BoxMax[0], Scene->BoxMin[1], Scene->BoxMax[1], Scene->BoxMax[2]}),
              (std::tuple{0.0, 4.0, 32.0, 36.0, -2.0}));
}

TEST_F(ConverterCommand, CheckBoxesChooseWhatIsConverted)
{
    form->CheckBox20->SetChecked(false);  // "Include Side Portals"
    form->CheckBox18->SetChecked(false);  // "Include Rooms Flags"
    form->Memo5->AddLine("kept");
    ClickCreate();
    EXPECT_EQ(Project.rooms[1].sectors[4][3].roomBeside, 0);
    EXPECT_EQ(Project.rooms[1].sectors[2][3].death, 0);
    EXPECT_EQ(Lines(form->ListBox4), (std::vector<std::string>{"Room#1", "Room#2"}));
    EXPECT_EQ(form->Memo5->Lines(), (std::vector<std::string>{"kept"}));
    // Without "Include Items" the item list stays empty.
    EXPECT_EQ(Project.itemCount, 0);
    EXPECT_EQ(form->CheckListBox2->Count(), 0);
    EXPECT_EQ(form->Memo1->Lines().at(2), "Total Items in Project:0");
}

TEST_F(ConverterCommand, WithoutABasefileTheProjectIsEmpty)
{
    BasefileLevel = std::make_unique<Ttrlevel>();
    Scene->Level = BasefileLevel.get();
    Project.basefilePath = "/levels/gone.tr4";
    ClickCreate();
    EXPECT_TRUE(sink.messages.empty());
    EXPECT_EQ(Project.roomCount, 0);
    EXPECT_EQ(form->ListBox4->Count(), 0);
    EXPECT_EQ(Project.name.str(), "TR2VEL Project File:  gone.tr4");
    EXPECT_EQ(form->Memo1->Lines().at(0), "Total Rooms in Project:0");
    EXPECT_TRUE(FloorDataIndex.empty());
}

}  // namespace
