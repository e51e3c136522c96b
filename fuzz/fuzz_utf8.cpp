// SPDX-License-Identifier: MIT
// The text helpers on arbitrary bytes:
//  - sanitizeUtf8 and displayBytes always give valid UTF-8 (by the fuzz
//    targets' own independent checker), and a second pass changes nothing;
//  - valid UTF-8 passes both unchanged;
//  - isValidUtf8 agrees with the independent checker.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "tests/support/json.h"
#include "text/utf8.h"

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
    const bool valid = orvel::testing::isValidUtf8(bytes);
    if (orvel::isValidUtf8(bytes) != valid) {
        fail("isValidUtf8 disagrees with the checker");
    }
    for (const std::string& once : {orvel::sanitizeUtf8(bytes), orvel::displayBytes(bytes)}) {
        if (!orvel::testing::isValidUtf8(once)) {
            fail("the result is not valid UTF-8");
        }
        if (valid && once != bytes) {
            fail("valid UTF-8 changed");
        }
        if (orvel::sanitizeUtf8(once) != once || orvel::displayBytes(once) != once) {
            fail("a second pass changed the text");
        }
    }
    return 0;
}
