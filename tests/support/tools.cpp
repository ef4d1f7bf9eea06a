#include "support/tools.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

extern char** environ;

std::string ToolProgram(const std::string& name)
{
    const std::string path = "/usr/bin/" + name;
    return ::access(path.c_str(), X_OK) == 0 ? path : "";
}

bool RunProgram(const std::string& program, const std::vector<std::string>& args, const std::string& input,
                const std::string& output, std::string* log)
{
    char errName[] = "/tmp/editor-tool-XXXXXX";
    const int errFd = ::mkstemp(errName);
    if (errFd < 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!input.empty()) posix_spawn_file_actions_addopen(&actions, 0, input.c_str(), O_RDONLY, 0);
    if (!output.empty()) posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    else posix_spawn_file_actions_adddup2(&actions, errFd, 1);
    posix_spawn_file_actions_adddup2(&actions, errFd, 2);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int rc = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = -1;
    if (rc == 0) ::waitpid(pid, &status, 0);
    ::close(errFd);
    if (log) {
        std::ifstream in(errName);
        *log = std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    ::unlink(errName);
    return rc == 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

namespace {

bool Spawn(const std::string& name, const std::vector<std::string>& args, const std::string& input,
           const std::string& output, std::string* log)
{
    const std::string program = ToolProgram(name);
    if (program.empty()) {
        if (log) *log = name + " is not installed";
        return false;
    }
    return RunProgram(program, args, input, output, log);
}

}  // namespace

bool RunTool(const std::string& name, const std::vector<std::string>& args, std::string* log)
{
    return Spawn(name, args, "", "", log);
}

bool RunToolPiped(const std::string& name, const std::vector<std::string>& args, const std::string& input,
                  const std::string& output, std::string* log)
{
    return Spawn(name, args, input, output, log);
}
