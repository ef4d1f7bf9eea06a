// The level-to-project converter: builds a new, unsaved editor project from
// the game level loaded as the Basefile. One project room per level room
// (clamped to 20 x 20 sectors and 5 sectors high, raised or lowered by one
// step where the level's sectors reach past it), sector heights, links to
// the rooms above, below and beside, slants from the floor data, death
// sectors and, optionally, the level's items.
//
// ConvertLevelToProject does the work on the records; the main window
// drives it from its converter tabs and hands in the pieces of itself that
// the conversion steps through (lists, map, gauges) as hooks.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "level/project_records.h"

class Ttrlevel;
class TProgressBar;
class tr_scene;

// The states of the converter tabs' check boxes, with their start values.
struct TConverterOptions {
    bool includeRoomFlags = true;         // "Include Rooms Flags": water, wind, sky and quicksand
    bool includeOutdoorFlag = true;       // "Include Outdoor Flag": shown, not read
    bool includeVerticalPortals = true;   // "Include Vertical Portals": rooms below and above
    bool includeSidePortals = true;       // "Include Side Portals": rooms beside the border sectors
    bool includeCeilingGeometry = true;   // "Include Ceiling Geometry"
    bool includeFloorGeometry = true;     // "Include Floor Geometry"
    bool includeItems = false;            // "Include Items"
    bool includeTriggers = false;         // "Include Triggers": shown, not read
    bool includeStaticMeshes = false;     // "Include Static Meshs": shown, not read
    bool includeDeathSectors = false;     // "Include Death Sectors"
    bool includeFloorAngles = true;       // "Include TR1-TR2 Floor Angles"
    bool includeCeilingAngles = true;     // "Include TR1-TR2 Ceiling Angles"
    bool doNotOverlapRooms = false;       // "Do Not Overlap Rooms": no room raised or lowered
    bool doNotOverlapWaterRooms = false;  // "Do Not Overlap Water Rooms"
};

// The window's pieces that the conversion steps through; every member may be
// left empty.
struct TConverterHooks {
    // The two gauges of the converter tab (maxima 150 and 100): Gauge2 follows
    // the floor-data scan up to 25, then gains 1 per room.
    TProgressBar* Gauge2 = nullptr;
    TProgressBar* Gauge3 = nullptr;
    // Today's date in the short date format; empty: the system's.
    std::function<std::string()> Today;
    // After the project reset: the room, trigger, trigger command and item
    // lists and the "Project Info" memo are to be emptied, the project has no
    // file name and item numbering starts again from 0.
    std::function<void()> ProjectReset;
    // After the texts: the room map back to its background, and the view
    // centred on the (still empty) project.
    std::function<void()> MapReset;
    // A room's full name, for the room list (the record keeps 40 characters).
    std::function<void(const std::string&)> RoomNamed;
    // Every room converted: the room list selects the current room and the
    // neighbour room is shown.
    std::function<void()> RoomsConverted;
};

// What the conversion leaves besides the project.
struct TConversionResult {
    // The side-portal exclusion list of the last room converted: the
    // decimal texts of the project rooms above it, without repeats.
    std::vector<std::string> sidePortalExclusions;
    // Level items left out because their room is not a project room.
    int itemsSkipped = 0;
};

// Rooms a project holds at most (room numbers and links are single bytes).
constexpr int MAX_CONVERTED_ROOMS = 255;
// Room sizes the converter keeps at most.
constexpr int MAX_CONVERTED_SECTORS = 20;
constexpr int MAX_CONVERTED_HEIGHT = 5;

// Builds the project from the level: the floor-data index (FloorDataGroups,
// FloorDataIndex; made first, so that running out of memory on it leaves
// the project unchanged), project reset and texts, the rooms with their
// sectors, and the items when included. The scene's room of interest becomes 1 and its
// InitRoomSectors gives each room its grid. The level is only read; running
// it twice gives the same project. Filling the item list (with the items'
// catalog names) and the "Project Info" memo and refitting the 3D view are
// left to the caller.
TConversionResult ConvertLevelToProject(const Ttrlevel& level, tcuarto_list& project, tr_scene& scene,
                                        const TConverterOptions& options, const TConverterHooks& hooks = {});

// The file-name part of a stored path: what follows its last "\", ":" or "/".
std::string StoredFileName(const std::string& path);

// Today's date in the system's short date format.
std::string ShortDateText();
