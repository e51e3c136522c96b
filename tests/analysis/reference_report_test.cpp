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

#include "analysis/analysis_settings.h"
#include "analysis/analyze_file.h"
#include "decode/cancellation.h"
#include "report/json_report.h"
#include "report/utf8.h"

namespace orvel {
namespace {

const std::atomic<bool> noStop{false};

std::vector<std::filesystem::path> corpus()
{
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(KESTRONE_TEST_AUDIO_DIR)) {
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
    setAnalysisThreads(threads);
    setReferenceTransforms(reference);
    std::vector<FileReport> records;
    for (const auto& file : files) {
        const std::wstring path = fromFsPath(file);
        try {
            records.push_back(analyzeFile(path, noStop, {}));
        } catch (const Cancelled&) {
            ADD_FAILURE() << "stopped without a stop request";
        } catch (const std::exception& error) {
            FileReport failed;
            failed.file = path;
            failed.error = fromUtf8(error.what());
            records.push_back(std::move(failed));
        }
    }
    setAnalysisThreads(0);
    setReferenceTransforms(false);
    return records;
}

TEST(ReferenceReportTest, CorpusReportsAreByteIdenticalToTheReferencePath)
{
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
    // The two channels' spectra may run side by side; a stop seen by either
    // ends the call with Cancelled and nothing reports progress afterwards.
    const std::wstring path = fromFsPath(std::filesystem::path(KESTRONE_TEST_AUDIO_DIR) / "analysis" /
                                         "genuine-16bit-44100Hz-2ch-5s.flac");
    for (const unsigned threads : {1u, 2u, 4u}) {
        setAnalysisThreads(threads);
        std::atomic<bool> stop{false};
        std::wstring last;
        EXPECT_THROW((void)analyzeFile(path, stop,
                                       [&](const std::wstring& text) {
                                           last = text;
                                           if (text == L"Measuring frequency content") {
                                               stop = true;
                                           }
                                       }),
                     Cancelled)
            << threads << " threads";
        EXPECT_EQ(last, L"Measuring frequency content") << threads << " threads";
    }
    setAnalysisThreads(0);
}

} // namespace
} // namespace orvel
