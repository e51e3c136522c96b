// SPDX-License-Identifier: MIT
#pragma once

#include <filesystem>
#include <string_view>

namespace orvel {

// Writes a file so that an existing target is never left half-written: the
// bytes go to a temporary file in the target's folder, which replaces the
// target by rename only after everything was written and closed. Destroying
// an uncommitted writer (or a failed commit) removes the temporary.
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

private:
    void discard();

    std::filesystem::path m_target;
    std::filesystem::path m_temp;
    int m_fd = -1;
    bool m_failed = false;
};

} // namespace orvel
