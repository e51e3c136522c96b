// SPDX-License-Identifier: MIT
// analyzeFile on small mutated files of one kind (KESTRONE_FUZZ_EXTENSION),
// then the JSON report of the record, which must parse.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "analysis/analyze_file.h"
#include "decode/cancellation.h"
#include "fuzz/fuzz_input_file.h"
#include "report/json_report.h"
#include "tests/support/json.h"
#include "text/utf8.h"

namespace {

void fail(const char* what)
{
    std::fprintf(stderr, "analysis record breaks its promise: %s\n", what);
    std::abort();
}

void checkVerdict(const orvel::CheckResult& check)
{
    if (std::find(orvel::kVerdicts.begin(), orvel::kVerdicts.end(), check.status) == orvel::kVerdicts.end()) {
        fail("verdict is none of the five");
    }
    if (check.summary.empty()) {
        fail("verdict without a summary");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > 256 * 1024) {
        return 0;
    }
    const std::string& path = orvel::fuzz::inputPath(KESTRONE_FUZZ_EXTENSION);
    orvel::fuzz::writeInput(path, data, size);
    const std::atomic<bool> stop{false};
    orvel::FileReport record;
    try {
        record = orvel::analyzeFile(path, stop, [](const std::string&) {});
        checkVerdict(record.upscaling);
        checkVerdict(record.upsampling);
        checkVerdict(record.aacSin);
        if (record.spectrumDb.size() != 2049) {
            fail("spectrum is not 2049 values");
        }
        for (const double level : record.spectrumDb) {
            if (!std::isfinite(level) || level > 1e-9 || level < -120.0 - 1e-9) {
                fail("spectrum level outside 0..-120 dB");
            }
        }
        if (!(record.analyzedSeconds > 0.0) || record.analyzedSeconds > 30.0 + 1e-9) {
            fail("analysed time outside (0, 30] s");
        }
    } catch (const orvel::Cancelled&) {
        fail("cancelled without a stop request");
    } catch (const std::runtime_error& error) {
        const std::string_view message = error.what();
        if (message.empty() || !orvel::testing::isValidUtf8(message)) {
            fail("error message empty or not UTF-8");
        }
        record = orvel::FileReport{};
        record.file = path;
        record.error = std::string(message);
    }
    if (!orvel::testing::isStrictJson(orvel::buildJsonReport({record}))) {
        fail("JSON report does not parse");
    }
    return 0;
}
