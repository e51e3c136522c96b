// SPDX-License-Identifier: MIT
#include "tests/hostile/hostile_process.h"

#include <algorithm>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <fstream>
#include <iterator>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace kestrone_hostile {
namespace {

constexpr uid_t kNobody = 65534;

std::string slurp(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace

RunResult runTool(const std::string& program, const std::vector<std::string>& args, const RunOptions& options)
{
    std::string capture = (std::filesystem::temp_directory_path() / "kestrone-hostile-run-XXXXXX").native();
    if (::mkdtemp(capture.data()) == nullptr) {
        return {};
    }
    const std::filesystem::path outPath = std::filesystem::path(capture) / "stdout";
    const std::filesystem::path errPath = std::filesystem::path(capture) / "stderr";

    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (std::strncmp(*entry, "LC_ALL=", 7) != 0 && std::strncmp(*entry, "DISPLAY=", 8) != 0 &&
            std::strncmp(*entry, "WAYLAND_DISPLAY=", 16) != 0) {
            environment.emplace_back(*entry);
        }
    }
    environment.emplace_back("LC_ALL=C.UTF-8");
    std::vector<std::string> argvStore{program};
    argvStore.insert(argvStore.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : argvStore) {
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
        const int nullFd = ::open("/dev/null", O_RDONLY);
        if (outFd < 0 || errFd < 0 || nullFd < 0 || ::dup2(outFd, 1) < 0 || ::dup2(errFd, 2) < 0 ||
            ::dup2(nullFd, 0) < 0) {
            ::_exit(126);
        }
        if (options.fileSizeLimit != RLIM_INFINITY) {
            const rlimit limit{options.fileSizeLimit, options.fileSizeLimit};
            ::setrlimit(RLIMIT_FSIZE, &limit);
        }
        if (options.dropRoot && ::geteuid() == 0 && (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)) {
            ::_exit(126);
        }
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }

    RunResult result;
    int status = 0;
    rusage usage{};
    for (int waited = 0; ::wait4(pid, &status, WNOHANG, &usage) == 0; ++waited) {
        if (waited >= options.timeoutSeconds * 100) {
            ::kill(pid, SIGKILL);
            ::wait4(pid, &status, 0, &usage);
            result.timedOut = true;
            break;
        }
        ::usleep(10000);
    }
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.maxRssKiB = usage.ru_maxrss;
    result.out = slurp(outPath);
    result.err = slurp(errPath);
    std::error_code ignored;
    std::filesystem::remove_all(capture, ignored);
    // In the sanitizer build a report may come with an exit code the test expects.
    for (const char* mark : {"Sanitizer", "runtime error:"}) {
        EXPECT_EQ(result.err.find(mark), std::string::npos) << result.err;
    }
    return result;
}

std::filesystem::path hostileAudio(const std::string& name)
{
    return std::filesystem::path(KESTRONE_TEST_AUDIO_DIR) / "hostile" / name;
}

std::vector<std::filesystem::path> hostileFiles(const std::string& folder)
{
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(hostileAudio(folder))) {
        if (entry.is_regular_file()) {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

bool runningAsRoot() { return ::geteuid() == 0; }

} // namespace kestrone_hostile
