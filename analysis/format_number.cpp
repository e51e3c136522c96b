// SPDX-License-Identifier: MIT
#include "analysis/format_number.h"

#include <iomanip>
#include <locale>
#include <sstream>

namespace orvel {

std::wstring formatNumber(double value, std::int32_t decimals)
{
    std::wostringstream out;
    out.imbue(std::locale::classic());
    out << std::fixed << std::setprecision(decimals < 0 ? 0 : decimals) << value;
    return out.str();
}

} // namespace orvel
