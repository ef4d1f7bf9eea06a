#include "editor/event_dispatch.h"

#include <QCoreApplication>

#include <stdexcept>

#include "platform/rtl/messages.h"

namespace {
bool g_ending = false;
int g_exitCode = 0;
}  // namespace

bool ProcessEnding() { return g_ending; }
int ProcessExitCode() { return g_exitCode; }

void BeginProcessEnd(int code)
{
    if (!g_ending) {
        g_ending = true;
        g_exitCode = code;
    }
    // Quits the main loop and every nested one (open message boxes included).
    if (QCoreApplication::instance()) QCoreApplication::exit(g_exitCode);
}

void ResetProcessEnd()
{
    g_ending = false;
    g_exitCode = 0;
}

void Dispatch(const std::function<void()>& handler) noexcept
{
    if (g_ending || !handler) return;
    try {
        try {
            handler();
        } catch (const EProcessEnd&) {
            throw;
        } catch (const std::exception& e) {
            ShowException(e);
        } catch (...) {
            ShowException(std::runtime_error("An unknown error occurred."));
        }
    } catch (const EProcessEnd& e) {
        BeginProcessEnd(e.Code());
    } catch (...) {
        // The error box itself failed; the loop goes on all the same.
    }
}
