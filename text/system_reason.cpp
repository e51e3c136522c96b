// SPDX-License-Identifier: MIT
#include "text/system_reason.h"

#include <cstring>

namespace orvel {

std::string systemReason(int error)
{
    // strerrordesc_np is never translated, unlike strerror under a set locale.
    const char* text = ::strerrordesc_np(error);
    return text != nullptr ? std::string(text) : "Unknown error " + std::to_string(error);
}

} // namespace orvel
