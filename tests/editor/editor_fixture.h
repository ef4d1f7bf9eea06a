// What the window suites share: one QApplication for the whole program, a
// recording message sink, and lookup of the window's controls by name.
#pragma once

#include <QApplication>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "editor/main_form.h"
#include "platform/rtl/messages.h"

// The QApplication of the test program (made on first use).
QApplication& TestApp();

// The directory holding a copy of the program's data files, ending with "/".
std::string TestAppDir();

// A window started in a recording sink, ended in order by the destructor.
class EditorWindowTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Creates the window (FormCreate runs) and shows it.
    void StartWindow(const std::string& appDir = TestAppDir());

    template <class T>
    T* Control(const char* name)
    {
        T* c = form->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(c, nullptr) << "no control " << name;
        return c;
    }

    TRecordingSink sink;
    std::unique_ptr<TScopedMessageSink> scoped;
    std::unique_ptr<TMain_Form> form;
};
