#include "level/trscript.h"

#include <iterator>

Tscp_command_table ScriptCommands;
int32_t ScriptPosition = 0;
std::string ScriptText;

namespace {

const char* const kCommands[] = {
    "Start_Trigger", "Copy_Trigger",    "Paste_Trigger",    "Put_Item",      "Kill_Lara",  "Add_Camera",
    "Put_Alternate", "Put_Static_Mesh", "Put_Spot_Light",   "Put_RGB_Light", "Climb_Wall", "Monkey_Swing",
    "exit",          "Add_Sink",        "Put_Sound_Source", "Put_Raw_FD",
};

const char* const kConditions[] = {
    "Do_with_Activate",
    "Do_with_Deactivate",
    "If_Lara_on_ground_Do_with_Activate",
    "If_Lara_on_ground_Do_with_Deactivate",
    "TrapDoor",
    "If_KeyLock_is_ON_Do_with_Activate",
    "If_Switch_is_ON_Do_with_Activate",
    "If_Item_is_picked_Up_Do_with_Activate",
    "If_Item_at_Sector_Do_with_Activate",
    "End_Trigger",
    "IF_Lara_in_Combat_Do_With_Activate",
};

const char* const kActions[] = {
    "Item",          "Switch_camera", "Underwater_Flow", "Alternate_On",     "Alternate_Room",
    "Alternate_Off", "Look_at_item",  "End_Level",       "Play_sound_Track", "Effects",
    "Found_Secret",  "End",           "Play_cutscene",
};

template <size_t N>
void Fill(size_t& row, const char* const (&words)[N], int32_t kind)
{
    for (size_t i = 0; i < N; ++i, ++row) {
        Tscp_tabla& r = ScriptCommands[row];
        r.keyword = words[i];
        r.code = static_cast<int32_t>(i + 1);
        r.kind = kind;
    }
}

}  // namespace

void InitCommandTable()
{
    ScriptCommands.assign(SCRIPT_COMMAND_ROWS, Tscp_tabla{});
    size_t row = 0;
    Fill(row, kCommands, SCP_COMMAND);
    Fill(row, kConditions, SCP_CONDITION);
    row += 5;  // rows 27-31 stay empty
    Fill(row, kActions, SCP_ACTION);
    static_assert(std::size(kCommands) + std::size(kConditions) + 5 + std::size(kActions) == SCRIPT_COMMAND_ROWS);
    ScriptPosition = 0;
}

void FreeCommandTable()
{
    Tscp_command_table().swap(ScriptCommands);
    std::string().swap(ScriptText);
}
