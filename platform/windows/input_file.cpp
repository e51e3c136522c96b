// SPDX-License-Identifier: MIT
// The Windows form of decode/input_file.cpp: a handle wrapped in a C runtime
// descriptor, read at an offset without a shared file position.
#include "decode/input_file.h"

#include "platform/file_system.h"
#include "platform/windows/windows_error.h"
#include "text/system_reason.h"

#include <fcntl.h>
#include <io.h>

#include <stdexcept>
#include <utility>

namespace orvel {
namespace {

constexpr const char* kNotRegularFile = "This path is not a regular file.";

HANDLE handleOf(int fd) { return reinterpret_cast<HANDLE>(_get_osfhandle(fd)); }

} // namespace

InputFile InputFile::open(const std::filesystem::path& path, int& errorCode)
{
    errorCode = 0;
    // Others may read, write, rename or delete the file meanwhile, as on Linux.
    const HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        errorCode = errnoOf(GetLastError());
        return {};
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileType(handle) != FILE_TYPE_DISK || !GetFileInformationByHandle(handle, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        CloseHandle(handle);
        throw std::runtime_error(kNotRegularFile);
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDONLY | _O_BINARY);
    if (fd < 0) {
        errorCode = errno;
        CloseHandle(handle);
        return {};
    }
    return InputFile(fd, (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow);
}

InputFile::InputFile(InputFile&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_size(std::exchange(other.m_size, 0))
{
}

InputFile& InputFile::operator=(InputFile&& other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0) {
            _close(m_fd);
        }
        m_fd = std::exchange(other.m_fd, -1);
        m_size = std::exchange(other.m_size, 0);
    }
    return *this;
}

InputFile::~InputFile()
{
    if (m_fd >= 0) {
        _close(m_fd);
    }
}

std::size_t InputFile::readAt(std::uint64_t offset, void* buffer, std::size_t size) const
{
    if (offset >= m_size) {
        return 0;
    }
    std::size_t done = 0;
    auto* bytes = static_cast<unsigned char*>(buffer);
    while (done < size) {
        const std::uint64_t at = offset + done;
        OVERLAPPED where{};
        where.Offset = static_cast<DWORD>(at);
        where.OffsetHigh = static_cast<DWORD>(at >> 32);
        DWORD got = 0;
        const DWORD asked = static_cast<DWORD>(std::min<std::size_t>(size - done, 1 << 30));
        if (!ReadFile(handleOf(m_fd), bytes + done, asked, &got, &where) || got == 0) {
            break;
        }
        done += got;
    }
    return done;
}

void throwCannotOpen(int errorCode)
{
    throw std::runtime_error("Cannot open this file: " + systemReason(errorCode) + ".");
}

void throwIfNotRegularFile(const std::filesystem::path& path)
{
    FileStatus status;
    int error = 0;
    if (statusOf(path, status, error) && !status.regular()) {
        throw std::runtime_error(kNotRegularFile);
    }
}

} // namespace orvel
