// The editor's long-lived state: one of each for the whole run, beside the
// one window that works on it.
#pragma once

#include <cstdint>
#include <string>

#include "level/project_records.h"

class TMain_Form;
class TProgressBar;

extern TMain_Form* Main_Form;
// The open project.
extern tcuarto_list Project;
// The program's directory, ending with a path separator (a file system
// name); the start-up pictures and the object catalog lie there.
extern std::string AppDir;
// File name of the open project (a record text); empty when it has none.
extern std::string ProjectFileName;
// The gauge the project reader and writer step.
extern TProgressBar* ProgressGauge;
// The next item correlative number.
extern int32_t NextItemNumber;
// Set while code itself writes the room spin edits, so that the neighbour
// spin edit's change handler does nothing.
extern bool SpinGuard;
