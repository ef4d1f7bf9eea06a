// The program itself: it starts off-screen, shuts down in order when asked
// to end, and says clearly when there is no display at all.
#include <QProcess>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

#include <csignal>

#include "editor_fixture.h"

namespace {

QProcessEnvironment ProgramEnvironment()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("LSAN_OPTIONS", "suppressions=" EDITOR_SOURCE_DIR "/tests/editor/leak_suppressions.txt");
    return env;
}

TEST(Program, StartsOffscreenAndEndsCleanlyWhenAskedToQuit)
{
    TestApp();
    QProcess program;
    QProcessEnvironment env = ProgramEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    program.setProcessEnvironment(env);
    program.setWorkingDirectory("/");  // not the program's own directory
    program.start(EDITOR_PROGRAM, {});
    ASSERT_TRUE(program.waitForStarted(10000));
    // Still running after a while: the window is up and waiting for input.
    EXPECT_FALSE(program.waitForFinished(2500));
    ASSERT_EQ(program.state(), QProcess::Running);
    ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
    ASSERT_TRUE(program.waitForFinished(20000));
    const QString err = QString::fromLocal8Bit(program.readAllStandardError());
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit) << err.toStdString();
    EXPECT_EQ(program.exitCode(), 0) << err.toStdString();
    EXPECT_FALSE(err.contains("ERROR")) << err.toStdString();
}

TEST(Program, WithoutADisplaySaysSo)
{
    TestApp();
    QProcess program;
    QProcessEnvironment env = ProgramEnvironment();
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.remove("QT_QPA_PLATFORM");
    program.setProcessEnvironment(env);
    program.start(EDITOR_PROGRAM, {});
    ASSERT_TRUE(program.waitForFinished(20000));
    EXPECT_EQ(program.exitCode(), 1);
    const QString err = QString::fromLocal8Bit(program.readAllStandardError());
    EXPECT_TRUE(err.contains("no display")) << err.toStdString();
}

}  // namespace
