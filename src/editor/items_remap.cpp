// The "Items Remap" tab: shows a project item, finds its room, and changes
// which object an item (or every item of the same object) places.
#include "editor/editor_state.h"
#include "editor/main_form.h"
#include "editor/project_commands.h"
#include "level/trlevel.h"

titem* TMain_Form::ChosenItem()
{
    const int line = CheckListBox2->ItemIndex();
    const int count = std::min<int>(Project.itemCount, MAX_PROJECT_ITEMS);
    if (line < 0 || line >= count) return nullptr;
    return &Project.items[static_cast<std::size_t>(line) + 1];
}

void TMain_Form::CheckListBox2Click()
{
    const titem* item = ChosenItem();
    if (!item) return;
    Memo4->ClearLines();
    for (const std::string& line : ItemInfoLines(*item)) Memo4->AddLine(line);
}

void TMain_Form::Button1Click()
{
    const titem* item = ChosenItem();
    if (!item) return;
    // Only a room the room list holds can become current.
    const int room = item->room;
    if (room < 1 || room > ListBox4->Count()) return;
    ListBox4->SetItemIndex(room - 1);
    ListBox4Click();
}

void TMain_Form::ListBox3Click()
{
    const int line = ListBox3->ItemIndex();
    if (!BasefileLevel || line < 0) return;
    const std::size_t moveables = std::min<std::size_t>(BasefileLevel->num_moveables, BasefileLevel->moveables.size());
    if (static_cast<std::size_t>(line) >= moveables) return;
    const uint32_t id = BasefileLevel->moveables[static_cast<std::size_t>(line)].object_id;
    SpinEdit12->SetValue(static_cast<int>(id));
}

void TMain_Form::Button37Click()
{
    titem* item = ChosenItem();
    if (!item) return;
    item->objectId = static_cast<int16_t>(SpinEdit12->Value());
    FillItemList(false);
}

void TMain_Form::Button38Click()
{
    const titem* chosen = ChosenItem();
    if (!chosen) return;
    const int16_t oldId = chosen->objectId;
    const int16_t newId = static_cast<int16_t>(SpinEdit12->Value());
    const int count = std::min<int>(Project.itemCount, MAX_PROJECT_ITEMS);
    for (int i = 1; i <= count; ++i) {
        titem& item = Project.items[static_cast<std::size_t>(i)];
        if (item.objectId == oldId) item.objectId = newId;
    }
    FillItemList(false);
}
