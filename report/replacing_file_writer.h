// SPDX-License-Identifier: MIT
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace orvel {

// Writes a file so that an existing target is never left half-written: the
// bytes go to a temporary file ".<name>.XXXXXX.tmp" in the target's folder,
// which replaces the target by rename only after everything was written,
// synced and closed. Destroying an uncommitted writer (or a failed commit)
// removes the temporary. A new file gets mode 0666 & ~umask; a replaced one
// keeps its permission bits (and its owner where allowed).
//
// Not open when the folder cannot take the temporary, when the target is a
// folder, or when an existing target is read-only: its owner has no write
// permission bit (checked from the bits, so that root, whom access() lets
// write anything, refuses it too) or the caller may not write it. A symbolic link to an
// existing file is followed: that file is replaced and the link stays. An
// existing device, FIFO or socket (/dev/stdout) is written directly, since it
// has no content to keep. Not thread-safe: one owner at a time.
//
//   ReplacingFileWriter out(target);
//   if (!out.isOpen()) -> cannot create
//   out.write(bytes)...; if (!out.commit()) -> writing failed
class ReplacingFileWriter {
public:
    explicit ReplacingFileWriter(const std::filesystem::path& target);
    ~ReplacingFileWriter();
    ReplacingFileWriter(const ReplacingFileWriter&) = delete;
    ReplacingFileWriter& operator=(const ReplacingFileWriter&) = delete;

    [[nodiscard]] bool isOpen() const { return m_fd >= 0; }
    // False once any write has failed; later writes are ignored.
    bool write(std::string_view bytes);
    // Closes and renames over the target. False when anything failed.
    [[nodiscard]] bool commit();
    // Why it is not open or the commit failed, in the system's words
    // ("Permission denied", "No space left on device") or "the file is
    // read-only"; empty while nothing failed.
    [[nodiscard]] const std::string& failure() const { return m_failure; }

private:
    void discard();
    void noteFailure(int error);

    std::filesystem::path m_target;
    std::filesystem::path m_temp;
    int m_slot = -1; // in the registry of temporaries, or -1
    int m_fd = -1;
    bool m_failed = false;
    std::string m_failure;
};

// Removes every temporary that a ReplacingFileWriter still holds. Async-signal-
// safe (only unlink on a fixed, lock-free table), for a signal handler that
// must end the process at once: no ".name.XXXXXX.tmp" stays behind.
void removePendingTemporaries() noexcept;

} // namespace orvel
