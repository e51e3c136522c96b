// SPDX-License-Identifier: MIT
#include "batch/analyze_path.h"

#include <exception>

#include "analysis/analyze_file.h"
#include "decode/cancellation.h"
#include "text/utf8.h"

namespace orvel {

FileReport failedRecord(const std::filesystem::path& file, std::string error)
{
    FileReport record;
    record.file = file;
    record.error = std::move(error);
    return record;
}

FileReport analyzePathWith(const AnalyzeFunction& analyze, const std::filesystem::path& path,
                           const std::atomic<bool>& stopRequested, const ProgressCallback& progress)
{
    try {
        FileReport record = analyze(path, stopRequested, progress);
        // The record names the file as it was asked for, whatever the analysis echoed.
        record.file = path;
        return record;
    } catch (const Cancelled&) {
        throw;
    } catch (const std::exception& failure) {
        std::string message = sanitizeUtf8(failure.what());
        // An empty message would pass the failed file off as analysed.
        if (message.empty()) {
            message = "Analysis failed.";
        }
        return failedRecord(path, std::move(message));
    } catch (...) {
        return failedRecord(path, "The analysis failed for an unknown reason.");
    }
}

FileReport analyzePath(const std::filesystem::path& path, const std::atomic<bool>& stopRequested,
                       const ProgressCallback& progress, const AnalysisOptions& options,
                       const DecodedAudioHook& withAudio)
{
    return analyzePathWith(
        [&options, &withAudio](const std::filesystem::path& file, const std::atomic<bool>& stop,
                               const ProgressCallback& report) {
            return analyzeFile(file, stop, report, options, withAudio);
        },
        path, stopRequested, progress);
}

} // namespace orvel
