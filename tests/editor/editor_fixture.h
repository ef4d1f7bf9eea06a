// What the window suites share: one QApplication for the whole program, a
// window started in a recording message sink whose file dialogs answer what
// the test chooses, a scratch directory, and builders of rooms and pictures.
#pragma once

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QListWidget>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "editor/editor_state.h"
#include "editor/main_form.h"
#include "platform/rtl/messages.h"
#include "support/temp_dir.h"

// The QApplication of the test program (made on first use).
QApplication& TestApp();
// The directory holding a copy of the program's data files, ending with "/".
std::string TestAppDir();

// Project room n given its place, size and height, with a fresh sector grid
// (walls on its border) and the name "Room#n"; the room count grows to n.
struct TRoomPlace {
    int x = 0, z = 0, y = 0, columns = 4, rows = 4, height = 4;
};
tcuarto& AddRoom(tcuarto_list& project, int n, TRoomPlace place);

// A colour as the 16-bit (5-6-5) pictures of the window hold it.
TColor As565(TColor c);
// The lines of a list.
std::vector<std::string> Lines(const TListBox* list);

class EditorWindowTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Creates the window (FormCreate runs) and shows it.
    void StartWindow(const std::string& appDir = TestAppDir());
    // Chooses a menu command as the user does; its file dialog answers with
    // the path when one is given, and cancels for an empty one.
    void Choose(QAction* action, std::optional<std::string> answer = std::nullopt);
    // A user's click on a button, or choice of a line.
    void Click(QAbstractButton* button);
    void ChooseLine(QListWidget* list, int line);
    // Has ImageMagick write a picture of the test pattern (see Pattern565) in
    // the format of the name's extension.
    bool WritePicture(const std::string& file, int width, int height);
    // The test pattern's pixel as 5-6-5: every pixel converts exactly, and none is black.
    static uint16_t Pattern565(int x, int y);

    TRecordingSink sink;
    std::unique_ptr<TScopedMessageSink> scoped;
    std::unique_ptr<TMain_Form> form;
    TempDir dir;
    std::vector<TMain_Form::TFileDialogRequest> asked;
};
