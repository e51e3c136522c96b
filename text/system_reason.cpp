// SPDX-License-Identifier: MIT
#include "text/system_reason.h"

#include <cerrno>
#include <cstring>

namespace orvel {

std::string systemReason(int error)
{
#if defined(_WIN32)
    // The same words as on Linux, so that a report reads alike on both; the
    // C runtime of Windows words these few differently.
    switch (error) {
    case EIO: return "Input/output error";
    case ENOMEM: return "Cannot allocate memory";
    case ENAMETOOLONG: return "File name too long";
    case EAGAIN: return "Resource temporarily unavailable";
    case EFBIG: return "File too large";
    case EXDEV: return "Invalid cross-device link";
    case ENOTEMPTY: return "Directory not empty";
    case EDEADLK: return "Resource deadlock avoided";
    case EILSEQ: return "Invalid or incomplete multibyte or wide character";
    default: break;
    }
    const char* text = std::strerror(error);
#else
    // strerrordesc_np is never translated, unlike strerror under a set locale.
    const char* text = ::strerrordesc_np(error);
#endif
    return text != nullptr ? std::string(text) : "Unknown error " + std::to_string(error);
}

} // namespace orvel
