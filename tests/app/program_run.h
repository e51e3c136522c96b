// SPDX-License-Identifier: MIT
#pragma once

// Runs the real built kestrone program the way a script would, with its
// standard streams captured and optional limits applied in the child. The
// child never sees a display, so a command line that means the window cannot
// open one.
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "tests/report/scratch_folder.h"

extern char** environ;

namespace orvel::testing {

struct ProgramResult {
    int exitCode = -1; // 128 + signal when a signal ended the process
    std::string out;
    std::string err;
};

struct ProgramOptions {
    std::string localeAll = "C.UTF-8";
    rlim_t fileSizeLimit = RLIM_INFINITY;
    std::filesystem::path workingFolder;
    int timeoutSeconds = 120; // then the child is killed and the result is 128 + SIGKILL
};

inline ProgramResult runProgram(const std::vector<std::string>& args, const ProgramOptions& options = {})
{
    ScratchFolder streams;
    const std::filesystem::path outPath = streams / "stdout";
    const std::filesystem::path errPath = streams / "stderr";

    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (std::strncmp(*entry, "LC_ALL=", 7) != 0 && std::strncmp(*entry, "DISPLAY=", 8) != 0 &&
            std::strncmp(*entry, "WAYLAND_DISPLAY=", 16) != 0 && std::strncmp(*entry, "QT_QPA_PLATFORM=", 16) != 0) {
            environment.emplace_back(*entry);
        }
    }
    environment.push_back("LC_ALL=" + options.localeAll);

    std::vector<char*> argv;
    std::string program = KESTRONE_EXECUTABLE;
    argv.push_back(program.data());
    std::vector<std::string> copies = args;
    for (std::string& arg : copies) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (std::string& entry : environment) {
        envp.push_back(entry.data());
    }
    envp.push_back(nullptr);

    const pid_t pid = ::fork();
    if (pid == 0) {
        const int outFd = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int errFd = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (outFd < 0 || errFd < 0 || ::dup2(outFd, 1) < 0 || ::dup2(errFd, 2) < 0) {
            ::_exit(126);
        }
        const int nullFd = ::open("/dev/null", O_RDONLY);
        if (nullFd >= 0) {
            ::dup2(nullFd, 0);
        }
        if (!options.workingFolder.empty() && ::chdir(options.workingFolder.c_str()) != 0) {
            ::_exit(126);
        }
        if (options.fileSizeLimit != RLIM_INFINITY) {
            const rlimit limit{options.fileSizeLimit, options.fileSizeLimit};
            ::setrlimit(RLIMIT_FSIZE, &limit);
        }
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    int status = 0;
    // A program that opened a window would never end on its own.
    for (int waited = 0; ::waitpid(pid, &status, WNOHANG) == 0; ++waited) {
        if (waited >= options.timeoutSeconds * 100) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            break;
        }
        ::usleep(10000);
    }
    ProgramResult result;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    // The limit applied only to the child; the capture files are small.
    result.out = readBytes(outPath);
    result.err = readBytes(errPath);
    return result;
}

inline std::filesystem::path testAudio(const std::string& name)
{
    return std::filesystem::path(KESTRONE_TEST_AUDIO_DIR) / "app" / name;
}

} // namespace orvel::testing
