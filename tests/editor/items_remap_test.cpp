// The "Items Remap" tab: an item shown field by field, its room found, and
// its object replaced alone or with every item of the same object.
#include "editor_fixture.h"
#include "level/trlevel.h"
#include "scene/scene.h"
#include "support/level_writer.h"
#include "support/project_fixture.h"

namespace {

class ItemsRemap : public EditorWindowTest {
protected:
    // A TR1 Basefile (moveables Lara, Wolf, Bear) and an opened project of
    // three rooms whose four items place a wolf in room 2, a wolf in room 3,
    // Lara in a room the project does not have and object 650 in room 1.
    void SetUp() override
    {
        EditorWindowTest::SetUp();
        StartWindow();
        TLevelDesc level = MakeSampleLevel(LEVEL_TR1);
        for (int i = 0; i < 3; ++i) level.moveables[size_t(i)].object_id = std::array{0, 7, 8}[size_t(i)];
        SaveLevelFile(dir.file("base.phd"), level);
        MakeProject(Project, 3, 5, 5, 0, 3);
        Project.currentRoom = 1;
        Project.basefilePath = dir.file("base.phd");
        Project.texturesfilePath = "";
        Project.itemCount = 4;
        // Item 1 with every field in use; the record's fields in their order.
        Project.items[1] = titem{10, 2, 3, -4, -12, 7, 200, -5, 6, 32767, 255, 9, -100, 0xFFFFFFFE, -32768, 44, 0};
        Project.items[2] = titem{11, 3, 0, 0, 0, 7, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
        Project.items[3] = titem{12, 9, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
        Project.items[4] = titem{13, 1, 0, 0, 0, 650, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
        Choose(form->FileSaveAs1, dir.file("items.vel"));
        Choose(form->FileOpen1, dir.file("items.vel"));
        ASSERT_TRUE(sink.messages.empty()) << sink.messages.front().text;
        ASSERT_TRUE(sink.exceptions.empty()) << sink.exceptions.front();
    }
    std::vector<int> ObjectIds() const
    {
        std::vector<int> ids;
        for (int i = 1; i <= Project.itemCount; ++i) ids.push_back(Project.items[size_t(i)].objectId);
        return ids;
    }
};

TEST_F(ItemsRemap, TheListNamesTheItemsALineShowsItsFieldsAndFindItemItsRoom)
{
    EXPECT_EQ(Lines(form->CheckListBox2),
              (std::vector<std::string>{"10.- Wolf", "11.- Wolf", "12.- Lara", "13.- Moveable Id#650"}));
    EXPECT_EQ(form->CheckListBox2->ItemIndex(), 3);
    EXPECT_EQ(Lines(form->ListBox3), (std::vector<std::string>{"Lara", "Wolf", "Bear"}));
    ChooseLine(form->CheckListBox2, 0);
    EXPECT_EQ(form->Memo4->Lines(),
              (std::vector<std::string>{"Correlative: 10", "Room: 2", "Column: 3", "Row: -4", "High: -12", "ID: 7",
                                        "Angle: 200", "-X-: -5", "-Y-: 6", "-Z-: 32767", "Flag: 255", "Amount: 9",
                                        "Intensity: -100", "Color: -2", "Order: 44", "OCB: -32768"}));
    ChooseLine(form->CheckListBox2, 3);
    EXPECT_EQ(form->Memo4->Lines()[0] + "|" + form->Memo4->Lines()[5], "Correlative: 13|ID: 650");

    ChooseLine(form->CheckListBox2, 1);
    Click(form->Button1);
    EXPECT_EQ((std::tuple{int(Project.currentRoom), form->ListBox4->ItemIndex(), Scene->RoomOfInterest}),
              (std::tuple{3, 2, 3}));
    // An item in a room the project does not have leaves the room as it is.
    ChooseLine(form->CheckListBox2, 2);
    Click(form->Button1);
    EXPECT_EQ(Project.currentRoom, 3);
    // A moveable's line gives its object id.
    ChooseLine(form->ListBox3, 2);
    EXPECT_EQ(form->SpinEdit12->Value(), 8);
    ChooseLine(form->ListBox3, 0);
    EXPECT_EQ(form->SpinEdit12->Value(), 0);
    EXPECT_TRUE(sink.exceptions.empty());
}

TEST_F(ItemsRemap, ReplaceChangesTheChosenItemAlone)
{
    ChooseLine(form->CheckListBox2, 0);
    const std::vector<std::string> shown = form->Memo4->Lines();
    form->SpinEdit12->SetValue(8);
    Click(form->Button37);
    EXPECT_EQ(ObjectIds(), (std::vector<int>{8, 7, 0, 650}));
    EXPECT_EQ(Lines(form->CheckListBox2),
              (std::vector<std::string>{"10.- Bear", "11.- Wolf", "12.- Lara", "13.- Moveable Id#650"}));
    // No line is chosen afterwards, and the memo keeps what it showed; with
    // no line chosen the buttons do nothing.
    EXPECT_EQ(form->CheckListBox2->ItemIndex(), -1);
    EXPECT_EQ(form->Memo4->Lines(), shown);
    form->SpinEdit12->SetValue(5);
    for (TButton* button : {form->Button37, form->Button38, form->Button1}) Click(button);
    EXPECT_EQ(ObjectIds(), (std::vector<int>{8, 7, 0, 650}));
    // An id the catalog has no name for shows its default name; the id is kept in 16 bits.
    for (auto [id, line] : {std::pair{599, "12.- Moveable Id#599"}, {70000, "12.- Moveable Id#4464"}}) {
        ChooseLine(form->CheckListBox2, 2);
        form->SpinEdit12->SetValue(id);
        Click(form->Button37);
        EXPECT_EQ(form->CheckListBox2->ItemText(2), line);
    }
    const int16_t kept = Project.items[3].objectId;  // a copy: the record is packed
    EXPECT_EQ(kept, static_cast<int16_t>(70000));
}

TEST_F(ItemsRemap, ReplaceAllChangesEveryItemOfTheSameObjectAndSaveWritesThem)
{
    ChooseLine(form->CheckListBox2, 1);
    form->SpinEdit12->SetValue(0);
    Click(form->Button38);
    EXPECT_EQ(ObjectIds(), (std::vector<int>{0, 0, 0, 650}));
    EXPECT_EQ(form->CheckListBox2->ItemIndex(), -1);
    // An object no other item places changes only the chosen item.
    ChooseLine(form->CheckListBox2, 3);
    form->SpinEdit12->SetValue(7);
    Click(form->Button38);
    EXPECT_EQ(Lines(form->CheckListBox2),
              (std::vector<std::string>{"10.- Lara", "11.- Lara", "12.- Lara", "13.- Wolf"}));
    Choose(form->FileSave);
    Choose(form->FileNew);
    Choose(form->FileOpen1, dir.file("items.vel"));
    EXPECT_EQ(ObjectIds(), (std::vector<int>{0, 0, 0, 7}));
}

}  // namespace
