#include "editor_fixture.h"

#include <QCoreApplication>

#include "editor/editor_program.h"
#include "editor/event_dispatch.h"

QApplication& TestApp()
{
    static int argc = 1;
    static char name[] = "test_editor";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

std::string TestAppDir()
{
    TestApp();
    return QCoreApplication::applicationDirPath().toStdString() + "/";
}

void EditorWindowTest::SetUp()
{
    TestApp();
    scoped = std::make_unique<TScopedMessageSink>(sink);
    ResetProcessEnd();
    StartEditorModules();
}

void EditorWindowTest::StartWindow(const std::string& appDir)
{
    form = std::make_unique<TMain_Form>(appDir);
    form->show();
    QCoreApplication::processEvents();
}

void EditorWindowTest::TearDown()
{
    if (form) form->close();
    form.reset();
    QCoreApplication::processEvents();
    EndEditorModules();
    ResetProcessEnd();
    scoped.reset();
}

// The font configuration library keeps a cache for the life of the process
// that the leak checker sees as lost; it is not ours.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig\n";
}
