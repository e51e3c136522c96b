// SPDX-License-Identifier: MIT
#include "tests/support/process.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <stdexcept>

extern char** environ;

namespace orvel::testing {
namespace {

constexpr uid_t kNobody = 65534;

// The inherited environment without a display (a command line that means the
// window must not open one), without the caller's COLUMNS (a table's width
// then depends on the test alone) and with LC_ALL=C.UTF-8, then the test's changes.
std::vector<std::string> childEnvironment(const EnvChanges& changes)
{
    EnvChanges all{{"DISPLAY", std::nullopt},
                   {"COLUMNS", std::nullopt},
                   {"WAYLAND_DISPLAY", std::nullopt},
                   {"QT_QPA_PLATFORM", std::nullopt},
                   {"LC_ALL", "C.UTF-8"}};
    for (const auto& [name, value] : changes) {
        all[name] = value;
    }
    std::vector<std::string> result;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        if (all.count(text.substr(0, text.find('='))) == 0) {
            result.push_back(text);
        }
    }
    for (const auto& [name, value] : all) {
        if (value) {
            result.push_back(name + "=" + *value);
        }
    }
    return result;
}

std::vector<char*> pointers(std::vector<std::string>& strings)
{
    std::vector<char*> result;
    for (std::string& s : strings) {
        result.push_back(s.data());
    }
    result.push_back(nullptr);
    return result;
}

int exitCodeOf(int status)
{
    if (WIFEXITED(status)) {
        return WEXITSTATUS(status);
    }
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
}

int waitFor(pid_t pid, rusage* usage = nullptr)
{
    int status = 0;
    while (::wait4(pid, &status, 0, usage) < 0 && errno == EINTR) {
    }
    return exitCodeOf(status);
}

// Reads every fd to its end (EIO on a pty master whose slave is gone counts as
// the end). Returns false when the deadline passed first.
bool drain(std::vector<std::pair<int, std::string*>> streams, std::chrono::steady_clock::time_point deadline)
{
    while (!streams.empty()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            for (const auto& stream : streams) {
                ::close(stream.first);
            }
            return false;
        }
        std::vector<pollfd> fds;
        for (const auto& stream : streams) {
            fds.push_back({stream.first, POLLIN, 0});
        }
        if (::poll(fds.data(), fds.size(), static_cast<int>(left.count())) <= 0) {
            continue;
        }
        for (std::size_t i = fds.size(); i-- > 0;) {
            if (fds[i].revents == 0) {
                continue;
            }
            char buffer[65536];
            const ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
            if (got > 0) {
                streams[i].second->append(buffer, static_cast<std::size_t>(got));
            } else if (got == 0 || errno != EINTR) {
                ::close(fds[i].fd);
                streams.erase(streams.begin() + static_cast<std::ptrdiff_t>(i));
            }
        }
    }
    return true;
}

void expectNoSanitizerReport(const ProcessResult& result)
{
    // In the sanitizer build a report may come with an exit code the test expects.
    for (const char* mark : {"Sanitizer", "runtime error:"}) {
        EXPECT_EQ(result.err.find(mark), std::string::npos) << result.err;
    }
}

} // namespace

ProcessResult runProcess(const std::vector<std::string>& argv, const ProcessOptions& options)
{
    std::vector<std::string> args = argv;
    std::vector<std::string> envStrings = childEnvironment(options.env);
    std::vector<char*> argp = pointers(args);
    std::vector<char*> envp = pointers(envStrings);
    const std::string dir = options.workingFolder.string();
    const Terminal terminal = options.terminal;

    std::FILE* input = nullptr;
    if (!options.input.empty()) {
        input = std::tmpfile();
        if (input == nullptr || std::fwrite(options.input.data(), 1, options.input.size(), input) != options.input.size() ||
            std::fflush(input) != 0 || ::lseek(::fileno(input), 0, SEEK_SET) != 0) {
            throw std::runtime_error("cannot prepare the child's input");
        }
    }
    int outPipe[2] = {-1, -1};
    int errPipe[2] = {-1, -1};
    int master = -1;
    int slave = -1;
    if (terminal != Terminal::None) {
        winsize size{};
        size.ws_col = options.terminalColumns;
        size.ws_row = 50;
        if (::openpty(&master, &slave, nullptr, nullptr, &size) != 0) {
            throw std::runtime_error("openpty failed");
        }
        ::fcntl(master, F_SETFD, FD_CLOEXEC);
    } else if (::pipe2(outPipe, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    if (terminal != Terminal::StdoutAndStderr && ::pipe2(errPipe, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (terminal != Terminal::None) {
            ::setsid(); // also a process group of its own
            ::dup2(slave, STDOUT_FILENO);
            ::dup2(terminal == Terminal::StdoutAndStderr ? slave : errPipe[1], STDERR_FILENO);
        } else {
            ::setpgid(0, 0); // so a timeout ends whatever the child started too
            ::dup2(outPipe[1], STDOUT_FILENO);
            ::dup2(errPipe[1], STDERR_FILENO);
        }
        ::signal(SIGPIPE, SIG_DFL); // as a shell starts a program
        const int inFd = input != nullptr ? ::fileno(input) : ::open("/dev/null", O_RDONLY);
        if (inFd < 0 || ::dup2(inFd, STDIN_FILENO) < 0) {
            ::_exit(126);
        }
        if (!dir.empty() && ::chdir(dir.c_str()) != 0) {
            ::_exit(126);
        }
        if (options.fileSizeLimit != RLIM_INFINITY) {
            const rlimit limit{options.fileSizeLimit, options.fileSizeLimit};
            ::setrlimit(RLIMIT_FSIZE, &limit);
        }
        if (options.dropRoot && ::geteuid() == 0 && (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)) {
            ::_exit(126);
        }
        ::execve(argp[0], argp.data(), envp.data());
        ::_exit(127);
    }
    if (input != nullptr) {
        std::fclose(input);
    }
    ProcessResult result;
    std::vector<std::pair<int, std::string*>> streams;
    if (terminal != Terminal::None) {
        ::close(slave);
        streams.emplace_back(master, &result.out);
    } else {
        ::close(outPipe[1]);
        streams.emplace_back(outPipe[0], &result.out);
    }
    if (errPipe[1] >= 0) {
        ::close(errPipe[1]);
        streams.emplace_back(errPipe[0], &result.err);
    }
    if (!drain(streams, std::chrono::steady_clock::now() + std::chrono::seconds(options.timeoutSeconds))) {
        ::kill(-pid, SIGKILL);
        ::kill(pid, SIGKILL);
        result.timedOut = true;
    }
    rusage usage{};
    result.exitCode = waitFor(pid, &usage);
    result.maxRssKiB = usage.ru_maxrss;
    expectNoSanitizerReport(result);
    return result;
}

RunningProgram::RunningProgram(const std::vector<std::string>& argv)
{
    std::vector<std::string> args = argv;
    std::vector<std::string> envStrings = childEnvironment({});
    std::vector<char*> argp = pointers(args);
    std::vector<char*> envp = pointers(envStrings);
    int outPipe[2];
    int errPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0 || ::pipe2(errPipe, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    m_pid = ::fork();
    if (m_pid == 0) {
        ::dup2(outPipe[1], STDOUT_FILENO);
        ::dup2(errPipe[1], STDERR_FILENO);
        ::execve(argp[0], argp.data(), envp.data());
        ::_exit(127);
    }
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    m_out = outPipe[0];
    m_err = errPipe[0];
}

RunningProgram::~RunningProgram()
{
    if (m_pid > 0) {
        ::kill(m_pid, SIGKILL);
        waitFor(m_pid);
    }
    for (const int fd : {m_out, m_err}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

std::optional<std::string> RunningProgram::readLine(std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (const auto end = m_pending.find('\n'); end != std::string::npos) {
            std::string line = m_pending.substr(0, end);
            m_pending.erase(0, end + 1);
            return line;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || m_out < 0) {
            return std::nullopt;
        }
        pollfd fd{m_out, POLLIN, 0};
        if (::poll(&fd, 1, static_cast<int>(left.count())) <= 0) {
            continue;
        }
        char buffer[4096];
        const ssize_t got = ::read(m_out, buffer, sizeof buffer);
        if (got <= 0) {
            ::close(m_out);
            m_out = -1;
            return std::nullopt;
        }
        m_pending.append(buffer, static_cast<std::size_t>(got));
    }
}

void RunningProgram::signal(int number) { ::kill(m_pid, number); }

ProcessResult RunningProgram::finish()
{
    ProcessResult result;
    result.out = m_pending;
    std::vector<std::pair<int, std::string*>> streams;
    if (m_out >= 0) {
        streams.emplace_back(m_out, &result.out);
    }
    streams.emplace_back(m_err, &result.err);
    result.timedOut = !drain(streams, std::chrono::steady_clock::now() + std::chrono::seconds(120));
    if (result.timedOut) {
        ::kill(m_pid, SIGKILL);
    }
    m_out = -1;
    m_err = -1;
    rusage usage{};
    result.exitCode = waitFor(m_pid, &usage);
    result.maxRssKiB = usage.ru_maxrss;
    m_pid = -1;
    expectNoSanitizerReport(result);
    return result;
}

bool runningAsRoot() { return ::geteuid() == 0; }

} // namespace orvel::testing
