// SPDX-License-Identifier: MIT
#include "text/system_reason.h"

#include <cstring>

namespace orvel {

std::string systemReason(int error)
{
#if defined(_WIN32)
    // The C runtime of Windows has its texts in English only.
    const char* text = std::strerror(error);
#else
    // strerrordesc_np is never translated, unlike strerror under a set locale.
    const char* text = ::strerrordesc_np(error);
#endif
    return text != nullptr ? std::string(text) : "Unknown error " + std::to_string(error);
}

} // namespace orvel
