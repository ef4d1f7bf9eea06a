// The "Items Remap" tab: an item shown field by field, its room found, and
// its object replaced alone or with every item of the same object.
#include <QCoreApplication>

#include <gtest/gtest.h>

#include "file_commands_fixture.h"
#include "level/trlevel.h"
#include "scene/scene.h"
#include "support/project_fixture.h"

namespace {

class ItemsRemap : public FileCommandsTest {
protected:
    // A TR1 Basefile (moveables Lara, Wolf, Bear) and an opened project of
    // three rooms whose four items place a wolf in room 2, a wolf in room 3,
    // Lara in a room the project does not have and object 650 in room 1.
    void SetUpProject()
    {
        StartWindow();
        TLevelDesc level = MakeSampleLevel(LEVEL_TR1);
        const uint32_t moveables[] = {0, 7, 8};
        for (int i = 0; i < 3; ++i) level.moveables[size_t(i)].object_id = moveables[i];
        SaveLevelFile(dir.file("base.phd"), level);

        MakeProject(Project, 3, 5, 5, 0, 3);
        Project.currentRoom = 1;
        Project.basefilePath = dir.file("base.phd");
        Project.texturesfilePath = "";
        Project.itemCount = 4;
        const struct {
            uint32_t correlative;
            int16_t room, id;
        } items[] = {{10, 2, 7}, {11, 3, 7}, {12, 9, 0}, {13, 1, 650}};
        for (int i = 0; i < 4; ++i) {
            titem& t = Project.items[size_t(i) + 1];
            t = titem{};
            t.correlative = items[i].correlative;
            t.room = items[i].room;
            t.objectId = items[i].id;
        }
        titem& first = Project.items[1];
        first.column = 3;
        first.row = -4;
        first.height = -12;
        first.angle = 200;
        first.fineX = -5;
        first.fineY = 6;
        first.fineZ = 32767;
        first.flag = 255;
        first.amount = 9;
        first.intensity = -100;
        first.color = 0xFFFFFFFE;
        first.ocb = -32768;
        first.order = 44;
        ChooseFile(form->FileSaveAs1, dir.file("items.vel"));
        ChooseFile(form->FileOpen1, dir.file("items.vel"));
        ASSERT_TRUE(sink.messages.empty()) << sink.messages.front().text;
        ASSERT_TRUE(sink.exceptions.empty()) << sink.exceptions.front();
    }

    void ChooseItem(int line)
    {
        form->CheckListBox2->setCurrentRow(line);
        QCoreApplication::processEvents();
    }
    void Click(TButton* button)
    {
        button->click();
        QCoreApplication::processEvents();
    }
    std::vector<int> ObjectIds() const
    {
        std::vector<int> ids;
        for (int i = 1; i <= Project.itemCount; ++i) ids.push_back(Project.items[size_t(i)].objectId);
        return ids;
    }
};

TEST_F(ItemsRemap, TheListNamesTheItemsAndALineShowsItsFields)
{
    SetUpProject();
    EXPECT_EQ(Items(form->CheckListBox2),
              (std::vector<std::string>{"10.- Wolf", "11.- Wolf", "12.- Lara", "13.- Moveable Id#650"}));
    EXPECT_EQ(form->CheckListBox2->ItemIndex(), 3);
    EXPECT_EQ(Items(form->ListBox3), (std::vector<std::string>{"Lara", "Wolf", "Bear"}));

    ChooseItem(0);
    EXPECT_EQ(form->Memo4->Lines(),
              (std::vector<std::string>{"Correlative: 10", "Room: 2", "Column: 3", "Row: -4", "High: -12", "ID: 7",
                                        "Angle: 200", "-X-: -5", "-Y-: 6", "-Z-: 32767", "Flag: 255", "Amount: 9",
                                        "Intensity: -100", "Color: -2", "Order: 44", "OCB: -32768"}));
    ChooseItem(3);
    EXPECT_EQ(form->Memo4->Lines()[0], "Correlative: 13");
    EXPECT_EQ(form->Memo4->Lines()[5], "ID: 650");
}

TEST_F(ItemsRemap, FindItemMakesTheItemsRoomCurrent)
{
    SetUpProject();
    ChooseItem(1);
    Click(form->Button1);
    EXPECT_EQ(Project.currentRoom, 3);
    EXPECT_EQ(form->ListBox4->ItemIndex(), 2);
    EXPECT_EQ(Scene->RoomOfInterest, 3);
    // An item in a room the project does not have leaves the room as it is.
    ChooseItem(2);
    Click(form->Button1);
    EXPECT_EQ(Project.currentRoom, 3);
    EXPECT_TRUE(sink.exceptions.empty());
}

TEST_F(ItemsRemap, AMoveableLineGivesItsObjectId)
{
    SetUpProject();
    form->ListBox3->setCurrentRow(2);
    QCoreApplication::processEvents();
    EXPECT_EQ(form->SpinEdit12->Value(), 8);
    form->ListBox3->setCurrentRow(0);
    QCoreApplication::processEvents();
    EXPECT_EQ(form->SpinEdit12->Value(), 0);
}

TEST_F(ItemsRemap, ReplaceChangesTheChosenItemAlone)
{
    SetUpProject();
    ChooseItem(0);
    const std::vector<std::string> shown = form->Memo4->Lines();
    form->SpinEdit12->SetValue(8);
    Click(form->Button37);
    EXPECT_EQ(ObjectIds(), (std::vector<int>{8, 7, 0, 650}));
    EXPECT_EQ(Items(form->CheckListBox2),
              (std::vector<std::string>{"10.- Bear", "11.- Wolf", "12.- Lara", "13.- Moveable Id#650"}));
    // No line is chosen afterwards, and the memo keeps what it showed.
    EXPECT_EQ(form->CheckListBox2->ItemIndex(), -1);
    EXPECT_EQ(form->Memo4->Lines(), shown);
    // With no line chosen the buttons do nothing.
    form->SpinEdit12->SetValue(5);
    Click(form->Button37);
    Click(form->Button38);
    Click(form->Button1);
    EXPECT_EQ(ObjectIds(), (std::vector<int>{8, 7, 0, 650}));

    // An id the catalog has no name for shows its default name; the id is
    // kept in 16 bits.
    ChooseItem(2);
    form->SpinEdit12->SetValue(599);
    Click(form->Button37);
    EXPECT_EQ(form->CheckListBox2->ItemText(2), "12.- Moveable Id#599");
    ChooseItem(2);
    form->SpinEdit12->SetValue(70000);
    Click(form->Button37);
    const int16_t kept = Project.items[3].objectId;
    EXPECT_EQ(kept, static_cast<int16_t>(70000));
    EXPECT_EQ(form->CheckListBox2->ItemText(2), "12.- Moveable Id#4464");
}

TEST_F(ItemsRemap, ReplaceAllChangesEveryItemOfTheSameObject)
{
    SetUpProject();
    ChooseItem(1);
    form->SpinEdit12->SetValue(0);
    Click(form->Button38);
    EXPECT_EQ(ObjectIds(), (std::vector<int>{0, 0, 0, 650}));
    EXPECT_EQ(form->CheckListBox2->ItemIndex(), -1);

    // An object no other item places changes only the chosen item.
    ChooseItem(3);
    form->SpinEdit12->SetValue(7);
    Click(form->Button38);
    EXPECT_EQ(ObjectIds(), (std::vector<int>{0, 0, 0, 7}));
    EXPECT_EQ(Items(form->CheckListBox2),
              (std::vector<std::string>{"10.- Lara", "11.- Lara", "12.- Lara", "13.- Wolf"}));

    // The changes are the project's: Save writes them.
    Choose(form->FileSave);
    Choose(form->FileNew);
    ChooseFile(form->FileOpen1, dir.file("items.vel"));
    EXPECT_EQ(ObjectIds(), (std::vector<int>{0, 0, 0, 7}));
}

}  // namespace
