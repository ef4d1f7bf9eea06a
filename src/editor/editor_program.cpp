#include "editor/editor_program.h"

#include <QApplication>

#include <memory>

#include "codecs/file_formats.h"
#include "display/device.h"
#include "display/texture_store.h"
#include "editor/editor_state.h"
#include "editor/event_dispatch.h"
#include "editor/main_form.h"
#include "editor/qt_message_sink.h"
#include "level/trscript.h"

void StartEditorModules()
{
    PictureCodecs::Initialization();
    CreateTextureBuffer();
    InitCommandTable();
}

void EndEditorModules()
{
    ReleaseEditorState();
    FreeCommandTable();
    FreeTextureBuffer();
    PictureCodecs::Finalization();
    ReleaseDirect3D();
}

void CloseEditorWindow()
{
    // With a dialog open a handler waits for its answer; ending the process
    // unwinds that handler before the window goes.
    if (QApplication::activeModalWidget()) BeginProcessEnd(0);
    else if (Main_Form) Main_Form->close();
}

int RunEditor(const std::string& appDir)
{
    TQtMessageSink sink;
    TScopedMessageSink scoped(sink);
    ResetProcessEnd();
    int code = 0;
    try {
        StartEditorModules();
        {
            auto form = std::make_unique<TMain_Form>(appDir);
            if (!ProcessEnding()) {
                form->show();
                code = QApplication::exec();
            }
            if (ProcessEnding()) code = ProcessExitCode();
        }
    } catch (const EProcessEnd& e) {
        code = e.Code();
    }
    EndEditorModules();
    return code;
}
