#include "editor/editor_state.h"

TMain_Form* Main_Form = nullptr;
tcuarto_list Project;
std::string AppDir;
std::string ProjectFileName;
TProgressBar* ProgressGauge = nullptr;
int32_t NextItemNumber = 0;
bool SpinGuard = false;
