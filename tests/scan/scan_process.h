// SPDX-License-Identifier: MIT
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace scantest {

// Environment changes for a child: a value sets the variable, nullopt removes it.
using EnvChanges = std::map<std::string, std::optional<std::string>>;

struct ProcessResult {
    int exitCode = -1; // 128 + signal number when the child was killed
    std::string out;
    std::string err;
};

enum class Terminal { None, Stdout, StdoutAndStderr };

// Runs a program to its end. With a terminal, the chosen streams go to a
// pseudo-terminal whose output is returned in `out`.
ProcessResult runProgram(const std::vector<std::string>& argv, const EnvChanges& env = {},
                         const std::filesystem::path& cwd = {}, Terminal terminal = Terminal::None);

// A child whose stdout is read line by line while it runs.
class RunningProgram {
public:
    explicit RunningProgram(const std::vector<std::string>& argv);
    ~RunningProgram();
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;

    // The next stdout line without its "\n", or nullopt at end of output or timeout.
    std::optional<std::string> readLine(std::chrono::milliseconds timeout);
    void signal(int number);
    [[nodiscard]] pid_t pid() const { return m_pid; }
    // True once stdout reached its end (the child closed it or exited).
    [[nodiscard]] bool outputClosed() const { return m_out < 0; }
    // Reads the rest of both streams and waits for the exit.
    ProcessResult finish();

private:
    pid_t m_pid = -1;
    int m_out = -1;
    int m_err = -1;
    std::string m_pending;
};

std::string readFile(const std::filesystem::path& path);

// The test's own scratch folder under the build tree, emptied first.
std::filesystem::path scratchFolder(const std::string& name);

} // namespace scantest
