// SPDX-License-Identifier: MIT
#pragma once

#include <filesystem>
#include <string>

#include "report/report_format.h"

namespace orvel {

// The save dialog's file types, 1-based as the dialog reports them: 1 is the
// JSON report, every other index the text report. The typed extension plays no part.
[[nodiscard]] ReportFormat reportFormatForFilterIndex(int index);

} // namespace orvel
