// The program around the window: the modules it needs, started before the
// window and ended after it in reverse order.
#pragma once

#include <string>

// Starts the modules (picture codecs, trigger keywords, texture store),
// installs the dialog message sink, creates and shows the window and runs
// the event loop; then ends everything in reverse order. Returns the exit
// code (the one given to Halt when the process was ended). Needs a
// QApplication.
int RunEditor(const std::string& appDir);

// Closes the window as its close box does (nothing when there is none);
// while a dialog is open, ends the process (code 0) instead.
void CloseEditorWindow();

// Module start and end without the window, for the program and for tests.
void StartEditorModules();
void EndEditorModules();
