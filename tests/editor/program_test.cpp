// The program itself: it starts off-screen, shuts down in order when asked
// to end, and says clearly when there is no display at all.
#include <QProcess>
#include <QProcessEnvironment>

#include <csignal>

#include "editor_fixture.h"

namespace {

// Runs the program in an environment changed by `edit`, ended by SIGTERM
// once it runs when `stop`; gives its exit code and its messages.
std::pair<int, std::string> RunProgram(void (*edit)(QProcessEnvironment&), bool stop)
{
    TestApp();
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("LSAN_OPTIONS", "suppressions=" EDITOR_SOURCE_DIR "/tests/editor/leak_suppressions.txt");
    edit(env);
    program.setProcessEnvironment(env);
    program.setWorkingDirectory("/");  // not the program's own directory
    program.start(EDITOR_PROGRAM, {});
    EXPECT_TRUE(program.waitForStarted(10000));
    if (stop) {
        // Still running after a while: the window is up and waiting for input.
        EXPECT_FALSE(program.waitForFinished(2500));
        ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
    }
    EXPECT_TRUE(program.waitForFinished(20000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    return {program.exitCode(), QString::fromLocal8Bit(program.readAllStandardError()).toStdString()};
}

TEST(Program, StartsOffscreenAndEndsCleanlyWhenAskedToQuit)
{
    const auto [code, err] =
        RunProgram([](QProcessEnvironment& env) { env.insert("QT_QPA_PLATFORM", "offscreen"); }, true);
    EXPECT_EQ(code, 0) << err;
    EXPECT_EQ(err.find("ERROR"), std::string::npos) << err;
}

TEST(Program, WithoutADisplaySaysSo)
{
    const auto [code, err] = RunProgram(
        [](QProcessEnvironment& env) {
            for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(name);
        },
        false);
    EXPECT_EQ(code, 1);
    EXPECT_NE(err.find("no display"), std::string::npos) << err;
}

}  // namespace
