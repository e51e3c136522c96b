// SPDX-License-Identifier: MIT
#include "tests/scan/scan_process.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace scantest {
namespace {

std::vector<std::string> childEnvironment(const EnvChanges& changes)
{
    std::vector<std::string> result;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        const std::string name = text.substr(0, text.find('='));
        if (changes.count(name) == 0) {
            result.push_back(text);
        }
    }
    for (const auto& [name, value] : changes) {
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

int waitFor(pid_t pid)
{
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return exitCodeOf(status);
}

// Reads every fd to its end (EIO on a pty master whose slave is gone counts as the end).
void drain(std::vector<std::pair<int, std::string*>> streams)
{
    while (!streams.empty()) {
        std::vector<pollfd> fds;
        for (const auto& stream : streams) {
            fds.push_back({stream.first, POLLIN, 0});
        }
        if (::poll(fds.data(), fds.size(), 60000) <= 0) {
            throw std::runtime_error("child output stalled");
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
}

} // namespace

ProcessResult runProgram(const std::vector<std::string>& argv, const EnvChanges& env, const std::filesystem::path& cwd,
                         Terminal terminal)
{
    std::vector<std::string> args = argv;
    std::vector<std::string> envStrings = childEnvironment(env);
    std::vector<char*> argp = pointers(args);
    std::vector<char*> envp = pointers(envStrings);
    const std::string dir = cwd.string();

    int outPipe[2] = {-1, -1};
    int errPipe[2] = {-1, -1};
    int master = -1;
    int slave = -1;
    if (terminal != Terminal::None) {
        winsize size{};
        size.ws_col = 200;
        size.ws_row = 50;
        if (::openpty(&master, &slave, nullptr, nullptr, &size) != 0) {
            throw std::runtime_error("openpty failed");
        }
    } else if (::pipe2(outPipe, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    if (terminal != Terminal::StdoutAndStderr && ::pipe2(errPipe, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (terminal != Terminal::None) {
            ::setsid();
            ::dup2(slave, STDOUT_FILENO);
            ::dup2(terminal == Terminal::StdoutAndStderr ? slave : errPipe[1], STDERR_FILENO);
        } else {
            ::dup2(outPipe[1], STDOUT_FILENO);
            ::dup2(errPipe[1], STDERR_FILENO);
        }
        ::signal(SIGPIPE, SIG_DFL); // as a shell starts a program
        const int devNull = ::open("/dev/null", O_RDONLY);
        ::dup2(devNull, STDIN_FILENO);
        if (!dir.empty() && ::chdir(dir.c_str()) != 0) {
            ::_exit(127);
        }
        ::execve(argp[0], argp.data(), envp.data());
        ::_exit(127);
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
    drain(streams);
    result.exitCode = waitFor(pid);
    return result;
}

RunningProgram::RunningProgram(const std::vector<std::string>& argv)
{
    std::vector<std::string> args = argv;
    std::vector<char*> argp = pointers(args);
    int outPipe[2];
    int errPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0 || ::pipe2(errPipe, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    m_pid = ::fork();
    if (m_pid == 0) {
        ::dup2(outPipe[1], STDOUT_FILENO);
        ::dup2(errPipe[1], STDERR_FILENO);
        ::execv(argp[0], argp.data());
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
    drain(streams);
    m_out = -1;
    m_err = -1;
    result.exitCode = waitFor(m_pid);
    m_pid = -1;
    return result;
}

std::string readFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::filesystem::path scratchFolder(const std::string& name)
{
    const std::filesystem::path folder = std::filesystem::path(KESTRONE_BINARY_DIR) / "scan-test-scratch" / name;
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    return folder;
}

} // namespace scantest
