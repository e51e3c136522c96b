// SPDX-License-Identifier: MIT
// Whole reports of every file of the test audio, analysed by the fast path on
// all cores and on three threads, against one thread running the reference
// transforms: the JSON documents must be byte-identical and the spectra equal
// bit for bit (the JSON rounds them).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "analysis/analysis_options.h"
#include "analysis/analyze_file.h"
#include "batch/analyze_path.h"
#include "decode/cancellation.h"
#include "report/json_report.h"
#include "tests/support/files.h"
#include "text/utf8.h"

namespace orvel {
namespace {

const std::atomic<bool> noStop{false};

std::vector<std::filesystem::path> corpus()
{
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(orvel::testing::testAudio(""))) {
        const std::string name = entry.path().filename().string();
        if (entry.is_regular_file() && !name.starts_with(".")) {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

// As the headless analysis builds its records: a failed file keeps its message.
std::vector<FileReport> analyseAll(const std::vector<std::filesystem::path>& files, unsigned threads, bool reference)
{
    const AnalysisOptions options{threads, reference ? Transforms::Reference : Transforms::Fast};
    std::vector<FileReport> records;
    for (const auto& file : files) {
        try {
            records.push_back(analyzePath(file, noStop, {}, options));
        } catch (const Cancelled&) {
            ADD_FAILURE() << "stopped without a stop request";
        }
    }
    return records;
}

TEST(ReferenceReportTest, CorpusReportsAreByteIdenticalToTheReferencePath)
{
#ifdef __SANITIZE_ADDRESS__
    // The whole corpus twice takes most of ten minutes under the sanitizers, which
    // the other analysis tests already run through the same code; Release compares it.
    GTEST_SKIP() << "the Release build compares the corpus";
#endif
    const std::vector<std::filesystem::path> files = corpus();
    ASSERT_GT(files.size(), 20u);
    const std::vector<FileReport> expected = analyseAll(files, 1, true);
    const std::string expectedJson = buildJsonReport(expected);
    const auto analysed = std::count_if(expected.begin(), expected.end(), [](const FileReport& r) { return r.error.empty(); });
    ASSERT_GT(analysed, 20);

    for (const unsigned threads : {0u, 3u}) {
        const std::vector<FileReport> actual = analyseAll(files, threads, false);
        ASSERT_EQ(actual.size(), expected.size());
        EXPECT_TRUE(buildJsonReport(actual) == expectedJson) << "JSON differs with " << threads << " threads";
        for (std::size_t i = 0; i < actual.size(); ++i) {
            const std::vector<double>& a = actual[i].spectrumDb;
            const std::vector<double>& e = expected[i].spectrumDb;
            ASSERT_EQ(a.size(), e.size()) << files[i];
            // A failed file has no spectrum, and memcmp must not see its null data().
            EXPECT_TRUE(a.empty() || std::memcmp(a.data(), e.data(), a.size() * sizeof(double)) == 0) << files[i];
        }
    }
}

TEST(ReferenceReportTest, StopDuringTheSpectraIsCancelledOnAnyThreadCount)
{
    // A stop seen during the spectra ends the call with Cancelled and nothing
    // reports progress afterwards.
    const std::filesystem::path path =
        orvel::testing::testAudio("analysis", "genuine-16bit-44100Hz-2ch-5s.flac");
    for (const unsigned threads : {1u, 2u, 4u}) {
        std::atomic<bool> stop{false};
        std::string last;
        EXPECT_THROW((void)analyzeFile(path, stop,
                                       [&](const std::string& text) {
                                           last = text;
                                           if (text == "Measuring frequency content") {
                                               stop = true;
                                           }
                                       },
                                       AnalysisOptions{threads, Transforms::Fast}),
                     Cancelled)
            << threads << " threads";
        EXPECT_EQ(last, "Measuring frequency content") << threads << " threads";
    }
}

} // namespace
} // namespace orvel
