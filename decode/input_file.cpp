// SPDX-License-Identifier: MIT
#include "decode/input_file.h"

#include <cerrno>
#include <stdexcept>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "text/system_reason.h"

namespace orvel {
namespace {

constexpr const char* kNotRegularFile = "This path is not a regular file.";

} // namespace

InputFile InputFile::open(const std::filesystem::path& path, int& errorCode)
{
    errorCode = 0;
    const std::string native = path.native();
    // O_NONBLOCK: opening a FIFO must not wait for a writer. It has no effect
    // on reads from a regular file, the only kind kept.
    int fd = -1;
    do {
        fd = ::open(native.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        errorCode = errno;
        return {};
    }
    InputFile file(fd, 0);
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        errorCode = errno;
        return {};
    }
    if (!S_ISREG(info.st_mode)) {
        throw std::runtime_error(kNotRegularFile);
    }
    file.m_size = static_cast<std::uint64_t>(info.st_size);
    return file;
}

InputFile::InputFile(InputFile&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_size(std::exchange(other.m_size, 0))
{
}

InputFile& InputFile::operator=(InputFile&& other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
        m_fd = std::exchange(other.m_fd, -1);
        m_size = std::exchange(other.m_size, 0);
    }
    return *this;
}

InputFile::~InputFile()
{
    if (m_fd >= 0) {
        ::close(m_fd);
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
        const ssize_t got = ::pread(m_fd, bytes + done, size - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;
        }
        done += static_cast<std::size_t>(got);
    }
    return done;
}

void throwCannotOpen(int errorCode)
{
    throw std::runtime_error("Cannot open this file: " + systemReason(errorCode) + ".");
}

void throwIfNotRegularFile(const std::filesystem::path& path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
        throw std::runtime_error(kNotRegularFile);
    }
}

} // namespace orvel
