// SPDX-License-Identifier: MIT
// A --json run over many files keeps flat memory: each record is written to
// the report's temporary as it arrives and then dropped, spectrum included.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/support/files.h"
#include "tests/support/process.h"
#include "tests/support/reports.h"

namespace {

using namespace orvel::testing;
namespace fs = std::filesystem;

// Peak RSS of a --json run over count hard links to one short file.
long peakKiB(const ScratchFolder& scratch, std::size_t count)
{
    const fs::path folder = scratch / ("files-" + std::to_string(count));
    fs::create_directory(folder);
    for (std::size_t i = 0; i < count; ++i) {
        // Built in steps: GCC 12 at -O3 warns falsely (-Wrestrict) on "f" + std::to_string(i).
        std::string name = "f";
        name += std::to_string(i);
        name += ".flac";
        fs::create_hard_link(testAudio("hostile", "good/001-tone.flac"), folder / name);
    }
    // Freed memory held back by a sanitizer would look like growth.
    const char* asan = std::getenv("ASAN_OPTIONS");
    std::string options = asan != nullptr ? std::string(asan) + ":" : std::string();
    options += "quarantine_size_mb=0:thread_local_quarantine_size_kb=0";
    const fs::path report = scratch / ("r-" + std::to_string(count) + ".json");
    const ProcessResult run = runProcess({scanProgram(), "--jobs", "2", "--json", report.native(), folder.native()},
                                         ProcessOptions{.env = {{"ASAN_OPTIONS", options}}, .timeoutSeconds = 300});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(reportFileRecords(report).size(), count);
    return run.maxRssKiB;
}

// Measured on the real allocator: under the sanitizers (whose allocator keeps
// its own caches) the suite leaves it out with the other slow cases.
TEST(ScanMemoryTest, SlowMemoryDoesNotGrowWithTheNumberOfFilesInAJsonRun)
{
    const ScratchFolder scratch;
    const long few = peakKiB(scratch, 40);
    const long many = peakKiB(scratch, 800);
    // Keeping the records (about 18 KB of JSON and 35 KB with the spectrum
    // each) would add 14 to 28 MB; streaming adds nothing that grows.
    EXPECT_LT(many - few, 8 * 1024) << few << " KiB for 40 files, " << many << " KiB for 800";
}

} // namespace
