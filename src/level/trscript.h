// The keywords of the trigger script vocabulary: commands, trigger
// conditions and actions, each with its number within its kind.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum : int32_t {
    SCP_EMPTY = -1,
    SCP_COMMAND = 0,
    SCP_CONDITION = 1,
    SCP_ACTION = 2,
};

struct Tscp_tabla {
    std::string keyword;
    int32_t code = 0;  // number of the keyword within its kind, from 1
    int32_t kind = SCP_EMPTY;
    int32_t param[4] = {0, 0, 0, 0};
};

// Rows 0-15 commands, 16-26 trigger conditions, 27-31 empty, 32-44 actions.
using Tscp_command_table = std::vector<Tscp_tabla>;

inline constexpr int SCRIPT_COMMAND_ROWS = 45;

extern Tscp_command_table ScriptCommands;
// Reading position and text of a script being read with the table.
extern int32_t ScriptPosition;
extern std::string ScriptText;

// Fills the table once at program start; clears the reading position.
void InitCommandTable();
// Releases the table and the script text at program end.
void FreeCommandTable();
