// SPDX-License-Identifier: MIT
#include "ui/report_export.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

#include "text/utf8.h"

namespace orvel {

ReportFormat reportFormatForFilterIndex(int index) { return index == 1 ? ReportFormat::Json : ReportFormat::Text; }

std::string reportWriteFailureReason(const std::filesystem::path& target)
{
    namespace fs = std::filesystem;
    const auto reason = [](int error) { return sanitizeUtf8(std::strerror(error)); };
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    std::error_code ec;
    const fs::file_status status = fs::status(folder, ec);
    if (ec) {
        return reason(ec.value());
    }
    if (!fs::is_directory(status)) {
        return reason(ENOTDIR);
    }
    // The report is written beside the target and renamed over it: the folder must take new files.
    if (::access(folder.c_str(), W_OK | X_OK) != 0) {
        return reason(errno);
    }
    if (fs::is_directory(target, ec)) {
        return reason(EISDIR);
    }
    return {};
}

} // namespace orvel
