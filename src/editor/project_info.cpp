#include "editor/project_info.h"

std::vector<std::string> ProjectInfoLines(const tcuarto_list& p)
{
    return {
        "Total Rooms in Project:" + std::to_string(p.roomCount),
        "Total Cameras in Project:" + std::to_string(p.cameraCount),
        "Total Items in Project:" + std::to_string(p.itemCount),
        "Total Triggers in Project:" + std::to_string(p.triggerCount),
        "Animated Texture Sets:" + std::to_string(p.animSetCount),
        "Scrolling Textures:" + std::to_string(p.animSetCount),
        "Lara_Room:" + std::to_string(p.playerRoom),
        "Lara_Column:" + std::to_string(p.playerColumn),
        "Lara_Row:" + std::to_string(p.playerRow),
        "Basefile Directory:" + p.basefilePath.str(),
        "Textures Directory:" + p.texturesfilePath.str(),
        "Scriptfile Directory:" + p.scriptDirectory.str(),
        "Build Directory:" + p.buildDirectory.str(),
        "Comments:" + p.comments.str(),
        "Name:" + p.name.str(),
    };
}
