// SPDX-License-Identifier: MIT
#include "ui/report_export.h"

namespace orvel {

std::optional<ReportFormat> reportFormatForFilterIndex(int index)
{
    switch (index) {
    case 1: return ReportFormat::Json;
    case 3: return ReportFormat::Csv;
    case 4: return std::nullopt;
    case 5: return ReportFormat::Html;
    default: return ReportFormat::Text;
    }
}

} // namespace orvel
