// SPDX-License-Identifier: MIT
#include "report/replacing_file_writer.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/file_system.h"
#include "report/temporary_registry.h"
#include "text/system_reason.h"

namespace orvel {
namespace {

// The process umask without changing it: umask() can only be read by setting
// it, which would briefly give files made by other threads the wrong mode.
mode_t currentUmask()
{
    if (std::FILE* status = std::fopen("/proc/self/status", "re")) {
        char line[256];
        unsigned int mask = 0;
        bool found = false;
        while (std::fgets(line, sizeof line, status) != nullptr) {
            if (std::sscanf(line, "Umask: %o", &mask) == 1) {
                found = true;
                break;
            }
        }
        std::fclose(status);
        if (found) {
            return static_cast<mode_t>(mask);
        }
    }
    const mode_t mask = ::umask(022);
    ::umask(mask);
    return mask;
}

// Linux releases the descriptor even when close fails with EINTR, so it is
// never retried; any failure still means the data may not be on disk.
bool closeOnce(int fd) { return ::close(fd) == 0; }

// Room for ".", ".XXXXXX.tmp" and the name within NAME_MAX (255 bytes).
constexpr std::size_t kMaxNameInTemp = 200;

// Far more reports than any run writes at once.
TemporaryRegistry<char, PATH_MAX> g_temporaries;

} // namespace

void removePendingTemporaries() noexcept
{
    g_temporaries.removeAll([](const char* path) { ::unlink(path); });
}

ReplacingFileWriter::ReplacingFileWriter(const std::filesystem::path& target)
    : m_target(target)
{
    if (target.empty()) {
        noteFailure(ENOENT);
        return;
    }
    struct stat existing {};
    const bool exists = ::stat(target.c_str(), &existing) == 0;
    if (exists && S_ISDIR(existing.st_mode)) {
        noteFailure(EISDIR);
        return;
    }
    if (exists && !S_ISREG(existing.st_mode)) {
        // A device, FIFO or socket (/dev/stdout, a pipe): there is no old
        // content to keep, and renaming over it would replace the node itself.
        m_fd = ::open(target.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
        if (m_fd < 0) {
            noteFailure(errno);
        }
        return;
    }
    if (exists && ((existing.st_mode & S_IWUSR) == 0 || ::access(target.c_str(), W_OK) != 0)) {
        // A file the user made read-only is not silently replaced, not even
        // by root, for whom access() grants everything: the bits decide.
        m_failure = "the file is read-only";
        return;
    }
    if (exists) {
        // Write through a symbolic link: the file it names is replaced and the
        // link stays. A dangling link is replaced by the new file itself.
        std::error_code error;
        const std::filesystem::path resolved = std::filesystem::canonical(target, error);
        if (!error) {
            m_target = resolved;
        }
    }

    const std::filesystem::path folder = m_target.parent_path();
    std::string name(1, '.');
    name.append(m_target.filename().native(), 0, kMaxNameInTemp);
    name.append(".XXXXXX.tmp");
    std::string pattern = folder.empty() ? name : (folder / name).native();
    const int fd = ::mkostemps(pattern.data(), 4, O_CLOEXEC);
    if (fd < 0) {
        noteFailure(errno);
        return;
    }
    m_fd = fd;
    m_temp = pattern;
    m_slot = g_temporaries.add(pattern);

    const mode_t mode = exists ? (existing.st_mode & 0777) : (0666 & ~currentUmask());
    if (exists) {
        // Only possible for root or the owner; a report keeps who it belongs to when it can.
        [[maybe_unused]] const int ignored = ::fchown(m_fd, existing.st_uid, existing.st_gid);
    }
    if (::fchmod(m_fd, mode) != 0) {
        noteFailure(errno);
        discard();
    }
}

ReplacingFileWriter::~ReplacingFileWriter() { discard(); }

bool ReplacingFileWriter::write(std::string_view bytes)
{
    if (m_fd < 0 || m_failed) {
        m_failed = true;
        return false;
    }
    if (const int error = writeFully(m_fd, bytes.data(), bytes.size()); error != 0) {
        m_failed = true;
        noteFailure(error);
        return false;
    }
    return true;
}

bool ReplacingFileWriter::commit()
{
    if (m_fd < 0) {
        return false;
    }
    if (m_temp.empty()) {
        const int fd = m_fd;
        m_fd = -1;
        const bool closed = closeOnce(fd);
        if (!closed) {
            noteFailure(errno);
        }
        return closed && !m_failed;
    }
    if (m_failed || ::fsync(m_fd) != 0) {
        noteFailure(errno);
        discard();
        return false;
    }
    const int fd = m_fd;
    m_fd = -1;
    if (!closeOnce(fd) || ::rename(m_temp.c_str(), m_target.c_str()) != 0) {
        noteFailure(errno);
        ::unlink(m_temp.c_str());
        m_temp.clear();
        g_temporaries.release(m_slot);
        return false;
    }
    m_temp.clear();
    g_temporaries.release(m_slot);

    // Make the rename itself durable; the new content is complete either way.
    const std::filesystem::path folder = m_target.parent_path();
    const int dirFd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

void ReplacingFileWriter::noteFailure(int error)
{
    // The first failure is the cause; later ones follow from it.
    if (m_failure.empty()) {
        m_failure = systemReason(error != 0 ? error : EIO);
    }
}

void ReplacingFileWriter::discard()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_temp.empty()) {
        ::unlink(m_temp.c_str());
        m_temp.clear();
    }
    g_temporaries.release(m_slot);
}

} // namespace orvel
