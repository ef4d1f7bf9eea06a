// The floor data of the loaded level, decoded once per conversion: one group
// per run of floor-data functions, and an index from a word position to the
// group whose run starts there.
//
// A level sector keeps the position of the first word of its run; position 0
// means none. The converter looks a sector's group up through the index and
// reads its portal and death flags and its entries; the slope conversion
// reads an entry's data word.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "converter/slope_conversion.h"

class Ttrlevel;
class TProgressBar;

// One trigger action.
struct tfdaction {
    uint8_t action = 0;       // bits 10-13 of the action word
    uint16_t parameter = 0;   // bits 0-9
    uint16_t cameraWord = 0;  // camera actions: the following word masked with 0x7F00
};
static_assert(sizeof(tfdaction) == 6);

// The trigger part of a function-4 entry.
struct tfdlist {
    uint16_t triggerType = 0;  // the entry's sub-function
    int32_t triggerItem = -1;  // types 2, 3 and 4: the word after the setup word
    int32_t actionCount = 0;
    std::vector<tfdaction> actions;
};

// One floor-data function.
struct ttrigger_list {
    uint16_t function = 0;     // bits 0-4 of the function word
    uint16_t subFunction = 0;  // bits 8-14
    uint16_t data = 0;         // the word after the function word; 0 for functions that take none
    tfdlist trigger;           // function 4 only
};

// One run of floor-data functions.
struct tfloordata_group {
    uint16_t firstWord = 0;  // position of the run's first word (low 16 bits)
    int32_t entryCount = 0;
    uint8_t portal = 0;        // holds a function-1 entry
    uint8_t trigger = 0;       // holds a function-4 entry
    uint8_t death = 0;         // holds a function-5 entry
    uint8_t highFunction = 0;  // holds a function code above 25
    std::vector<ttrigger_list> entries;
    // What the converter reads of the whole run, however long it is: the
    // data words of its portal functions that can name a level room of a
    // project (below MAX_PORTAL_ROOM), each once, in the order of their last
    // entries; and its floor and ceiling slants folded together in order.
    std::vector<uint16_t> portalRooms;
    TSlantSummary floorSlants, ceilingSlants;
};

// Level rooms a project can hold: room numbers and links are single bytes.
constexpr uint16_t MAX_PORTAL_ROOM = 255;

// Floor-data function codes the converter acts on.
constexpr uint16_t FD_PORTAL = 1;
constexpr uint16_t FD_FLOOR_SLANT = 2;
constexpr uint16_t FD_CEILING_SLANT = 3;
constexpr uint16_t FD_TRIGGER = 4;
constexpr uint16_t FD_DEATH = 5;

// Functions a group keeps as entries, and actions a trigger keeps: the
// games' runs hold a few functions and their triggers some tens of actions,
// while a run of a crafted level may go on for all its words. A longer run
// or action list is read to its end, so that the runs after it are found;
// its flags, portal rooms and slants count all of it (the converter reads
// nothing else), but its further entries and actions are not kept, which
// bounds the groups' memory by their number.
constexpr std::size_t MAX_GROUP_ENTRIES = 16;
constexpr std::size_t MAX_TRIGGER_ACTIONS = 64;

// The groups, numbered from 0; group 0 is always there and empty. Only the
// groups the index can name are kept (numbers up to 65535).
extern std::vector<tfloordata_group> FloorDataGroups;
// One element per floor-data word: the number of the group whose run starts
// at that word, 0 at every other position.
extern std::vector<uint16_t> FloorDataIndex;

// Decodes the level's floor data into FloorDataGroups and FloorDataIndex,
// replacing what they held; what they take is bounded by 65536 groups of
// MAX_GROUP_ENTRIES entries and two bytes a word. While scanning, Gauge3 runs from 0 to 100 and
// Gauge2 from 0 to 25 with the position reached; Gauge3 is then set back to
// 0. Either gauge may be null. The scan never reads past the level's words:
// a run ends with the data even when its last function lacks the end flag,
// and a data word that would lie past the end reads as 0.
void IndexFloorData(const Ttrlevel& level, TProgressBar* Gauge3, TProgressBar* Gauge2);

// The number of the group whose run starts at a sector's floor-data index;
// 0 (no entries) for a position at or past the end of the index.
inline uint16_t FloorDataGroupNumber(uint32_t floorDataIndex)
{
    return floorDataIndex < FloorDataIndex.size() ? FloorDataIndex[floorDataIndex] : 0;
}
