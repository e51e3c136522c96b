// SPDX-License-Identifier: MIT
#pragma once

#include <string>

namespace orvel {

// The system's reason for an errno value in English ("Permission denied",
// "No such file or directory"), whatever the locale, so that a message reads
// the same in every front end and report.
[[nodiscard]] std::string systemReason(int error);

} // namespace orvel
