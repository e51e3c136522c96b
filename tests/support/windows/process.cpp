// SPDX-License-Identifier: MIT
// runProcess on Windows: CreateProcessW with pipes for the three streams, the
// environment changed as on Linux, and the child (with whatever it started,
// through a job object) killed when it outlives its time.
#include "tests/support/process.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <stdexcept>
#include <thread>

namespace orvel::testing {
namespace {

std::wstring wide(const std::string& utf8)
{
    if (utf8.empty()) {
        return {};
    }
    const int size = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), size);
    return out;
}

// One argument quoted the way CommandLineToArgvW reads it back.
void appendQuoted(std::wstring& line, const std::wstring& arg)
{
    if (!line.empty()) {
        line += L' ';
    }
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
        line += arg;
        return;
    }
    line += L'"';
    std::size_t backslashes = 0;
    for (const wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        line.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        line += c;
    }
    line.append(backslashes * 2, L'\\');
    line += L'"';
}

// The inherited environment without a display or COLUMNS, then the test's
// changes; names compare without case, as Windows compares them.
std::wstring childEnvironment(const EnvChanges& changes)
{
    std::map<std::wstring, std::wstring> all;
    if (wchar_t* block = GetEnvironmentStringsW()) {
        for (const wchar_t* entry = block; *entry != L'\0'; entry += wcslen(entry) + 1) {
            const std::wstring text = entry;
            const std::size_t eq = text.find(L'=', 1);
            if (eq != std::wstring::npos) {
                all[text.substr(0, eq)] = text.substr(eq + 1);
            }
        }
        FreeEnvironmentStringsW(block);
    }
    const auto erase = [&all](const std::wstring& name) {
        for (auto it = all.begin(); it != all.end();) {
            it = _wcsicmp(it->first.c_str(), name.c_str()) == 0 ? all.erase(it) : std::next(it);
        }
    };
    erase(L"COLUMNS");
    for (const auto& [name, value] : changes) {
        erase(wide(name));
        if (value) {
            all[wide(name)] = wide(*value);
        }
    }
    std::wstring block;
    for (const auto& [name, value] : all) {
        block += name + L'=' + value;
        block += L'\0';
    }
    block += L'\0';
    return block;
}

struct Pipe {
    HANDLE read = nullptr;
    HANDLE write = nullptr;
};

// The child's end inheritable, ours not.
Pipe makePipe(bool childReads)
{
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    Pipe pipe;
    if (!CreatePipe(&pipe.read, &pipe.write, &inherit, 0)) {
        throw std::runtime_error("CreatePipe failed");
    }
    SetHandleInformation(childReads ? pipe.write : pipe.read, HANDLE_FLAG_INHERIT, 0);
    return pipe;
}

void readAll(HANDLE from, std::string* into)
{
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(from, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        into->append(buffer, got);
    }
    CloseHandle(from);
}

} // namespace

ProcessResult runProcess(const std::vector<std::string>& argv, const ProcessOptions& options)
{
    if (options.terminal != Terminal::None) {
        throw std::runtime_error("a terminal for the child is not available on Windows");
    }
    std::wstring commandLine;
    for (const std::string& arg : argv) {
        appendQuoted(commandLine, wide(arg));
    }
    std::wstring environment = childEnvironment(options.env);
    Pipe in = makePipe(true);
    Pipe out = makePipe(false);
    Pipe err = makePipe(false);

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in.read;
    startup.hStdOutput = out.write;
    startup.hStdError = err.write;
    PROCESS_INFORMATION child{};
    const std::wstring folder = options.workingFolder.native();
    const HANDLE job = CreateJobObjectW(nullptr, nullptr);
    const bool started =
        CreateProcessW(wide(argv.at(0)).c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                       CREATE_UNICODE_ENVIRONMENT | CREATE_SUSPENDED | CREATE_NO_WINDOW, environment.data(),
                       folder.empty() ? nullptr : folder.c_str(), &startup, &child);
    CloseHandle(in.read);
    CloseHandle(out.write);
    CloseHandle(err.write);
    if (!started) {
        CloseHandle(in.write);
        CloseHandle(out.read);
        CloseHandle(err.read);
        CloseHandle(job);
        throw std::runtime_error("cannot start " + argv.at(0));
    }
    AssignProcessToJobObject(job, child.hProcess);
    ResumeThread(child.hThread);
    CloseHandle(child.hThread);

    ProcessResult result;
    std::thread outReader(readAll, out.read, &result.out);
    std::thread errReader(readAll, err.read, &result.err);
    std::thread writer([handle = in.write, &input = options.input] {
        DWORD written = 0;
        for (std::size_t at = 0; at < input.size(); at += written) {
            if (!WriteFile(handle, input.data() + at, static_cast<DWORD>(input.size() - at), &written, nullptr)) {
                break;
            }
        }
        CloseHandle(handle);
    });
    if (WaitForSingleObject(child.hProcess, static_cast<DWORD>(options.timeoutSeconds) * 1000) == WAIT_TIMEOUT) {
        TerminateJobObject(job, 128 + 9);
        result.timedOut = true;
        WaitForSingleObject(child.hProcess, INFINITE);
    }
    writer.join();
    outReader.join();
    errReader.join();
    DWORD code = 0;
    GetExitCodeProcess(child.hProcess, &code);
    result.exitCode = static_cast<int>(code);
    CloseHandle(child.hProcess);
    CloseHandle(job);
    return result;
}

bool runningAsRoot() { return false; }

} // namespace orvel::testing
