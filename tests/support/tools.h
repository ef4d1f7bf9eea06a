// Running the command-line tools that write test pictures (the libtiff
// tools, netpbm), found in the distribution's own folder.
#pragma once

#include <string>
#include <vector>

// Runs a program given by its path (no shell), with stdin and stdout
// redirected to files where given; true when it exited with 0. Its messages
// (and its output, when not redirected) go to *log when given.
bool RunProgram(const std::string& program, const std::vector<std::string>& args, const std::string& input,
                const std::string& output, std::string* log = nullptr);
// The path of /usr/bin/<name>, or "" when it is not installed.
std::string ToolProgram(const std::string& name);
// Runs the tool with the arguments (no shell); true when it exited with 0.
// Its messages go to *log when given.
bool RunTool(const std::string& name, const std::vector<std::string>& args, std::string* log = nullptr);
// Runs the tool with stdin and stdout redirected to files.
bool RunToolPiped(const std::string& name, const std::vector<std::string>& args, const std::string& input,
                  const std::string& output, std::string* log = nullptr);
