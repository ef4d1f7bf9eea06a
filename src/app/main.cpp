// The program: starts the modules the window needs, shows the one window,
// runs the event loop and ends the modules again in reverse order.
#include <QApplication>
#include <QFile>
#include <QSocketNotifier>

#include <unistd.h>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "editor/editor_program.h"

namespace {

int g_signalPipe[2] = {-1, -1};

void OnTerminate(int)
{
    const char byte = 1;
    [[maybe_unused]] ssize_t n = write(g_signalPipe[1], &byte, 1);
}

bool HasDisplay()
{
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform && *platform) return true;
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 && *x11) || (wayland && *wayland);
}

}  // namespace

int main(int argc, char** argv)
{
    if (!HasDisplay()) {
        std::fprintf(stderr,
                     "leveleditor: there is no display to show the editor's window on "
                     "(neither DISPLAY nor WAYLAND_DISPLAY is set).\n"
                     "Start it inside a desktop session, or under a virtual display such as "
                     "`xvfb-run build/src/app/leveleditor`.\n");
        return 1;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("leveleditor"));

    // The end of a session (or a plain kill) closes the window as its close
    // box does, so the program shuts down in order.
    if (pipe(g_signalPipe) == 0) {
        auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, &app, [notifier] {
            char byte;
            [[maybe_unused]] ssize_t n = read(g_signalPipe[0], &byte, 1);
            notifier->setEnabled(false);
            CloseEditorWindow();
        });
        struct sigaction action = {};
        action.sa_handler = OnTerminate;
        sigemptyset(&action.sa_mask);
        sigaction(SIGTERM, &action, nullptr);
        sigaction(SIGINT, &action, nullptr);
        sigaction(SIGHUP, &action, nullptr);
    }

    std::string appDir = QFile::encodeName(QCoreApplication::applicationDirPath()).toStdString();
    if (appDir.empty() || appDir.back() != '/') appDir += '/';
    return RunEditor(appDir);
}
