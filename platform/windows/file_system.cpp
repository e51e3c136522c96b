// SPDX-License-Identifier: MIT
#include "platform/file_system.h"

#include "platform/windows/windows_error.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>

namespace orvel {
namespace {

// 100 ns steps since 1601 as nanoseconds since 1970.
std::int64_t unixNanoseconds(LARGE_INTEGER time) { return (time.QuadPart - 116444736000000000LL) * 100; }

} // namespace

bool statusOf(const std::filesystem::path& path, FileStatus& status, int& error)
{
    // No access asked for, only attributes; BACKUP_SEMANTICS opens folders too.
    const HANDLE file = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = errnoOf(GetLastError());
        return false;
    }
    status = FileStatus{};
    BY_HANDLE_FILE_INFORMATION info{};
    FILE_BASIC_INFO basic{};
    if (GetFileType(file) != FILE_TYPE_DISK) {
        status.kind = FileStatus::Kind::Other; // NUL, CON, a pipe
    } else if (!GetFileInformationByHandle(file, &info) ||
               !GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic)) {
        error = errnoOf(GetLastError());
        CloseHandle(file);
        return false;
    } else {
        status.kind = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? FileStatus::Kind::Directory
                                                                             : FileStatus::Kind::Regular;
        status.device = info.dwVolumeSerialNumber;
        status.inode = (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
        status.size = static_cast<std::int64_t>((std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow);
        status.modifiedNs = unixNanoseconds(basic.LastWriteTime);
        status.changedNs = unixNanoseconds(basic.ChangeTime);
        status.ownerWritable = (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) == 0;
    }
    CloseHandle(file);
    error = 0;
    return true;
}

bool userMayWrite(const std::filesystem::path& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) == 0;
}

int renameWithoutReplacing(const std::filesystem::path& file, const std::filesystem::path& aside)
{
    return MoveFileExW(file.c_str(), aside.c_str(), 0) ? 0 : errnoOf(GetLastError());
}

int openForReading(const std::filesystem::path& path)
{
    return _wopen(path.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
}

int openForWriting(const std::filesystem::path& path)
{
    return _wopen(path.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
}

int waitForInput(int, int) { return 1; }

int writeFully(int fd, const char* bytes, std::size_t length) noexcept
{
    while (length > 0) {
        const int written = _write(fd, bytes, static_cast<unsigned>(std::min<std::size_t>(length, 1 << 30)));
        if (written <= 0) {
            return written < 0 ? errno : ENOSPC;
        }
        bytes += written;
        length -= static_cast<std::size_t>(written);
    }
    return 0;
}

int syncToDisk(int fd)
{
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    if (handle == INVALID_HANDLE_VALUE || GetFileType(handle) != FILE_TYPE_DISK) {
        return 0;
    }
    return FlushFileBuffers(handle) ? 0 : errnoOf(GetLastError());
}

} // namespace orvel
