// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace orvel {

// A read-only descriptor of a regular file, closed when the object goes.
// Decoders open their input through it so that a FIFO or a device swapped in
// under the name is never read with a blocking call.
class InputFile {
public:
    // Opens path. Returns a closed object and
    // leaves the errno value in errorCode when the file cannot be opened.
    // Throws std::runtime_error "This path is not a regular file." when the
    // opened object is a directory, FIFO, device or socket.
    [[nodiscard]] static InputFile open(const std::filesystem::path& path, int& errorCode);

    InputFile() = default;
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
    InputFile(InputFile&& other) noexcept;
    InputFile& operator=(InputFile&& other) noexcept;
    ~InputFile();

    [[nodiscard]] bool isOpen() const { return m_fd >= 0; }
    [[nodiscard]] int fd() const { return m_fd; }
    [[nodiscard]] std::uint64_t size() const { return m_size; }

    // Reads up to size bytes at offset without moving the file position.
    // Returns the number of bytes read; fewer means end of file or an error.
    [[nodiscard]] std::size_t readAt(std::uint64_t offset, void* buffer, std::size_t size) const;

private:
    InputFile(int fd, std::uint64_t size) : m_fd(fd), m_size(size) {}

    int m_fd = -1;
    std::uint64_t m_size = 0;
};

// "Cannot open this file: " and the system's reason for errorCode (an errno
// value), as every decoder reports a file it cannot open.
[[noreturn]] void throwCannotOpen(int errorCode);

// Refuses an existing path that is not a regular file, from its status alone
// (stat follows symbolic links; nothing is opened). A path that cannot be
// examined passes: its decoder reports it when opening fails.
void throwIfNotRegularFile(const std::filesystem::path& path);

} // namespace orvel
