// SPDX-License-Identifier: MIT
#pragma once

// Runs a program as a child the way a script would: standard streams captured,
// limits set in the child before exec, no display, LC_ALL=C.UTF-8 unless the
// test says otherwise. A child that outlives its time is killed, so a hang
// fails the test instead of stalling the suite, and a sanitizer report in its
// stderr fails the test whatever the exit code. On Windows (process_windows.cpp)
// the child is started with CreateProcessW, without terminals, limits or users.
#if defined(_WIN32)
#include <cstdint>
using rlim_t = std::uint64_t;
#define RLIM_INFINITY (~rlim_t{0})
#else
#include <sys/resource.h>
#include <sys/types.h>
#endif

#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace orvel::testing {

// Environment changes for a child: a value sets the variable, nullopt removes it.
using EnvChanges = std::map<std::string, std::optional<std::string>>;

// Which streams go to a pseudo-terminal (its output comes back in `out`).
enum class Terminal { None, Stdout, StdoutAndStderr };

struct ProcessOptions {
    EnvChanges env{};                     // applied after LC_ALL=C.UTF-8 and the display variables removed
    std::filesystem::path workingFolder{}; // empty: this process's
    std::string input{};                   // the child's stdin (empty: /dev/null)
    Terminal terminal = Terminal::None;
    unsigned short terminalColumns = 200; // width of the pseudo-terminal
    rlim_t fileSizeLimit = RLIM_INFINITY;
    bool dropRoot = false; // when run as root, the child becomes nobody (65534)
    int timeoutSeconds = 120; // then the child is killed and the result is 128 + SIGKILL
};

struct ProcessResult {
    int exitCode = -1; // 128 + signal number when a signal ended the child
    bool timedOut = false;
    long maxRssKiB = 0;
    std::string out;
    std::string err;
};

// argv[0] is the program's path.
ProcessResult runProcess(const std::vector<std::string>& argv, const ProcessOptions& options = {});

// The built programs, and kestrone run with these arguments.
[[nodiscard]] std::string kestroneProgram();
[[nodiscard]] std::string scanProgram();
ProcessResult runKestrone(std::vector<std::string> args, const ProcessOptions& options = {});
// kestrone --analyze-test REPORT FILE...: args are the report, then the files.
ProcessResult runAnalysis(std::vector<std::string> args, const ProcessOptions& options = {});

#if !defined(_WIN32)
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
#endif

// True when running as root: file permissions then stop nobody.
[[nodiscard]] bool runningAsRoot();

} // namespace orvel::testing
