// SPDX-License-Identifier: MIT
#include "platform/file_system.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace orvel {

bool statusOf(const std::filesystem::path& path, FileStatus& status, int& error)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        error = errno;
        return false;
    }
    error = 0;
    status.kind = S_ISREG(info.st_mode)   ? FileStatus::Kind::Regular
                  : S_ISDIR(info.st_mode) ? FileStatus::Kind::Directory
                                          : FileStatus::Kind::Other;
    status.device = static_cast<std::uint64_t>(info.st_dev);
    status.inode = static_cast<std::uint64_t>(info.st_ino);
    status.size = static_cast<std::int64_t>(info.st_size);
    status.modifiedNs = static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    status.changedNs = static_cast<std::int64_t>(info.st_ctim.tv_sec) * 1000000000 + info.st_ctim.tv_nsec;
    status.ownerWritable = (info.st_mode & S_IWUSR) != 0;
    return true;
}

bool userMayWrite(const std::filesystem::path& path) { return ::access(path.c_str(), W_OK) == 0; }

int renameWithoutReplacing(const std::filesystem::path& file, const std::filesystem::path& aside)
{
    if (::renameat2(AT_FDCWD, file.c_str(), AT_FDCWD, aside.c_str(), RENAME_NOREPLACE) == 0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return errno;
    }
    // A file system without RENAME_NOREPLACE: a hard link fails on an
    // existing name just the same.
    if (::link(file.c_str(), aside.c_str()) != 0) {
        return errno;
    }
    ::unlink(file.c_str());
    return 0;
}

int openForReading(const std::filesystem::path& path) { return ::open(path.c_str(), O_RDONLY | O_CLOEXEC); }

int openForWriting(const std::filesystem::path& path)
{
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
}

int waitForInput(int fd, int milliseconds)
{
    pollfd ready{fd, POLLIN, 0};
    return ::poll(&ready, 1, milliseconds);
}

int writeFully(int fd, const char* bytes, std::size_t length) noexcept
{
    while (length > 0) {
        const ssize_t written = ::write(fd, bytes, length);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return written < 0 ? errno : ENOSPC; // EFBIG past the file size limit, ENOSPC, EIO ...
        }
        bytes += written;
        length -= static_cast<std::size_t>(written);
    }
    return 0;
}

int syncToDisk(int fd)
{
    if (::fsync(fd) == 0 || errno == EINVAL || errno == EROFS) {
        return 0;
    }
    return errno;
}

} // namespace orvel
