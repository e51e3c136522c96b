// SPDX-License-Identifier: MIT
#include "ui/report_export.h"

namespace orvel {

ReportFormat reportFormatForFilterIndex(int index) { return index == 1 ? ReportFormat::Json : ReportFormat::Text; }

} // namespace orvel
