// The "Project Info" lines that the memo of the Memo tab shows for the open
// project: each caption directly followed by its value.
#pragma once

#include <string>
#include <vector>

#include "level/project_records.h"

// Fifteen lines: room, camera, item and trigger counts, the animated set
// count (twice, the second time as "Scrolling Textures:"), the player start,
// the Basefile and Texturesfile paths, the script and build directories, the
// comments and the name.
std::vector<std::string> ProjectInfoLines(const tcuarto_list& project);
