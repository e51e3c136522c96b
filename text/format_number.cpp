// SPDX-License-Identifier: MIT
#include "text/format_number.h"

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

} // namespace orvel
