// SPDX-License-Identifier: MIT
#include "text/format_number.h"

#include <cstdio>
#include <iomanip>
#include <locale>
#include <sstream>

namespace orvel {

std::string formatNumber(double value, std::int32_t decimals)
{
    std::ostringstream out;
    out.imbue(std::locale::classic());
    out << std::fixed << std::setprecision(decimals < 0 ? 0 : decimals) << value;
    return out.str();
}

std::string clockText(std::chrono::seconds total)
{
    const long long seconds = total.count();
    char text[32];
    if (seconds >= 3600) {
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", seconds / 3600, seconds / 60 % 60, seconds % 60);
    } else {
        std::snprintf(text, sizeof text, "%lld:%02lld", seconds / 60, seconds % 60);
    }
    return text;
}

} // namespace orvel
