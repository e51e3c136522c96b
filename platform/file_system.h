// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <filesystem>

namespace orvel {

// What the system says of a path, links followed: enough to tell two names of
// one file apart from two files, whether a file changed, and whether its owner
// made it read-only.
struct FileStatus {
    enum class Kind { Regular, Directory, Other };
    Kind kind = Kind::Other;
    std::uint64_t device = 0; // device and inode (volume serial and file index on Windows):
    std::uint64_t inode = 0;  // the same pair is the same file
    std::int64_t size = 0;
    std::int64_t modifiedNs = 0;
    std::int64_t changedNs = 0; // status change (Linux); last change of any kind (Windows)
    bool ownerWritable = true;  // the owner's write bit; on Windows, not marked read-only

    [[nodiscard]] bool regular() const { return kind == Kind::Regular; }
    [[nodiscard]] bool sameFile(const FileStatus& other) const
    {
        return device == other.device && inode == other.inode;
    }
};

// The status of path, or false with an errno value in error when it cannot be examined.
[[nodiscard]] bool statusOf(const std::filesystem::path& path, FileStatus& status, int& error);

// Whether the calling user may write an existing file: access(W_OK) on Linux,
// which grants root everything, so callers look at ownerWritable as well.
[[nodiscard]] bool userMayWrite(const std::filesystem::path& path);

// Gives file the new name aside unless aside exists. 0, or an errno value
// (EEXIST when aside is taken).
[[nodiscard]] int renameWithoutReplacing(const std::filesystem::path& file, const std::filesystem::path& aside);

// A descriptor for the C runtime's read/write/close: reading (binary), or
// writing a file created or emptied with mode 0666 & ~umask. -1 with errno set
// when it cannot be opened. Never inherited by child processes.
[[nodiscard]] int openForReading(const std::filesystem::path& path);
[[nodiscard]] int openForWriting(const std::filesystem::path& path);

// Waits up to milliseconds for fd to have input: 1 ready, 0 not yet, -1 with
// errno on failure. Where a descriptor cannot be waited on (a Windows console
// or pipe), it counts as ready and the read that follows blocks.
[[nodiscard]] int waitForInput(int fd, int milliseconds);

// Writes all of bytes to fd, retrying interrupted writes: 0, or the errno
// value of the first failure (ENOSPC when nothing more could be written).
// Async-signal-safe.
[[nodiscard]] int writeFully(int fd, const char* bytes, std::size_t length) noexcept;

// Makes what was written to fd durable. A pipe or terminal, which cannot be
// synced, counts as done. 0, or an errno value.
[[nodiscard]] int syncToDisk(int fd);

} // namespace orvel
