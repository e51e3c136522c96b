// SPDX-License-Identifier: MIT
// fromUtf8/toUtf8 and the file-name conversions on arbitrary bytes:
//  - toUtf8 always gives valid UTF-8, for any wide text;
//  - valid UTF-8 survives fromUtf8 then toUtf8 unchanged;
//  - fromUtf8 of anything gives text that toUtf8 turns into valid UTF-8 again,
//    unchanged by a second round;
//  - a file name (any bytes) survives widePathFromNative then nativePathFromWide.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz/json_check.h"
#include "report/utf8.h"

namespace {

void fail(const char* what)
{
    std::fprintf(stderr, "UTF-8 conversion fault: %s\n", what);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    const std::string once = orvel::toUtf8(orvel::fromUtf8(bytes));
    if (!orvel::fuzz::isValidUtf8(once)) {
        fail("fromUtf8 then toUtf8 gave invalid UTF-8");
    }
    if (orvel::fuzz::isValidUtf8(bytes) && once != bytes) {
        fail("valid UTF-8 changed on the round trip");
    }
    if (orvel::toUtf8(orvel::fromUtf8(once)) != once) {
        fail("second round trip changed the text");
    }
    if (orvel::fuzz::isValidUtf8(bytes) && orvel::fromUtf8(bytes).size() > bytes.size()) {
        fail("more characters than bytes");
    }

    if (orvel::nativePathFromWide(orvel::widePathFromNative(bytes)) != bytes) {
        fail("file name bytes changed on the path round trip");
    }

    // The same bytes read as raw 32-bit values: anything a wide string can hold.
    std::wstring wide;
    for (std::size_t i = 0; i + 4 <= size; i += 4) {
        wide.push_back(static_cast<wchar_t>(std::uint32_t{data[i]} | (std::uint32_t{data[i + 1]} << 8) |
                                            (std::uint32_t{data[i + 2]} << 16) | (std::uint32_t{data[i + 3]} << 24)));
    }
    const std::string narrow = orvel::toUtf8(wide);
    if (!orvel::fuzz::isValidUtf8(narrow)) {
        fail("toUtf8 gave invalid UTF-8");
    }
    if (orvel::fromUtf8(narrow).size() != wide.size()) {
        fail("toUtf8 did not give one character per wide character");
    }
    return 0;
}
