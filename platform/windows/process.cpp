// SPDX-License-Identifier: MIT
#include "platform/process.h"

#include "platform/windows/windows_error.h"

#include <fcntl.h>
#include <io.h>
#include <malloc.h>
#include <shellapi.h>

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <thread>

namespace orvel {
namespace {

void (*g_onStop)() = nullptr;

// Runs on a thread of its own that the console starts; returning TRUE keeps
// the process alive so that the run can end as it does on Linux.
BOOL WINAPI onConsoleEvent(DWORD event)
{
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
        if (g_onStop != nullptr) {
            g_onStop();
        }
        return TRUE;
    default:
        return FALSE;
    }
}

HANDLE handleOf(int fd) { return reinterpret_cast<HANDLE>(_get_osfhandle(fd)); }

} // namespace

std::vector<std::string> commandLineArguments(int, char**)
{
    std::vector<std::string> args;
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) {
        return args;
    }
    for (int i = 1; i < count; ++i) {
        args.push_back(utf8Of(wide[i]));
    }
    LocalFree(wide);
    return args;
}

void prepareConsoleProgram()
{
    SetConsoleOutputCP(CP_UTF8);
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
}

void onStopRequest(void (*onStop)())
{
    g_onStop = onStop;
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

void exitImmediately(int code) noexcept { _exit(code); }

// GetConsoleMode rather than _isatty, which says yes to NUL as well.
bool isTerminal(int fd)
{
    DWORD mode = 0;
    return GetConsoleMode(handleOf(fd), &mode) != 0;
}

std::size_t terminalWidth(int fd)
{
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (GetConsoleScreenBufferInfo(handleOf(fd), &info) && info.srWindow.Right > info.srWindow.Left) {
        return static_cast<std::size_t>(info.srWindow.Right - info.srWindow.Left + 1);
    }
    return 0;
}

unsigned availableCores()
{
    DWORD_PTR process = 0;
    DWORD_PTR system = 0;
    if (GetProcessAffinityMask(GetCurrentProcess(), &process, &system) && process != 0) {
        return static_cast<unsigned>(std::popcount(static_cast<std::uint64_t>(process)));
    }
    return std::max(1u, std::thread::hardware_concurrency());
}

std::filesystem::path userCacheFolder()
{
    const wchar_t* local = _wgetenv(L"LOCALAPPDATA");
    return local != nullptr && *local != L'\0' ? std::filesystem::path(local) : std::filesystem::path();
}

// The program's own folder first, then the system's; never the current folder.
void* loadLibrary(const std::string& name, std::string& reason)
{
    const std::filesystem::path file(std::u8string(name.begin(), name.end()));
    HMODULE library = LoadLibraryExW(file.c_str(), nullptr, LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
    if (library == nullptr) {
        const DWORD error = GetLastError();
        wchar_t* text = nullptr;
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                       error, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), reinterpret_cast<wchar_t*>(&text), 0, nullptr);
        reason = text != nullptr ? utf8Of(text) : "error " + std::to_string(error);
        LocalFree(text);
        while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' || reason.back() == '.')) {
            reason.pop_back();
        }
    }
    return library;
}

void* librarySymbol(void* library, const char* name)
{
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void keepHeapBetweenFiles() {}

void* allocateLargeBuffer(std::size_t bytes)
{
    // No huge pages without a privilege users do not have; the boundary still holds.
    void* data = _aligned_malloc(bytes, std::size_t{2} << 20);
    if (data == nullptr) {
        throw std::bad_alloc();
    }
    return data;
}

void releaseLargeBuffer(void* data, std::size_t) noexcept { _aligned_free(data); }

} // namespace orvel
