// SPDX-License-Identifier: MIT
#include "app/headless_modes.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstdint>
#include <cstring>
#include <exception>
#include <new>
#include <string>
#include <string_view>

#include "analysis/analyze_file.h"
#include "analysis/file_report.h"
#include "analysis/math_self_test.h"
#include "decode/cancellation.h"
#include "decode/decode_audio.h"
#include "report/json_report.h"
#include "report/replacing_file_writer.h"
#include "report/utf8.h"

namespace orvel {
namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitCannotWrite = 2;

// Frames converted per write: 8192 stereo frames are 128 KiB, so the output
// never needs a second copy of the samples in memory.
constexpr std::size_t kFramesPerChunk = 8192;

// IEEE 754 binary64 in little-endian byte order, whatever the host order.
char* storeLittleEndian(char* out, double value)
{
    const auto bits = std::bit_cast<std::uint64_t>(value);
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(out, &bits, sizeof bits);
    } else {
        for (int i = 0; i < 8; ++i) {
            out[i] = static_cast<char>((bits >> (8 * i)) & 0xFF);
        }
    }
    return out + sizeof bits;
}

FileReport failedRecord(const std::wstring& file, std::wstring error)
{
    FileReport record;
    record.file = file;
    record.error = std::move(error);
    return record;
}

} // namespace

int runMathTestMode()
{
    try {
        return runMathSelfTest() ? kExitOk : kExitFailed;
    } catch (const std::exception&) {
        return kExitFailed;
    }
}

int runAnalyzeTestMode(const std::wstring& outputPath, const std::vector<std::wstring>& inputs)
{
    const std::atomic<bool> stopRequested{false};
    const ProgressCallback noProgress;
    std::vector<FileReport> records;
    bool anyFailed = false;
    try {
        records.reserve(inputs.size());
        for (const std::wstring& input : inputs) {
            try {
                FileReport record = analyzeFile(input, stopRequested, noProgress);
                anyFailed = anyFailed || !record.error.empty();
                records.push_back(std::move(record));
            } catch (const Cancelled&) {
                // The flag is never set here; should a stop surface anyway, the
                // file still gets its record and counts as failed.
                records.push_back(failedRecord(input, L"The analysis was stopped."));
                anyFailed = true;
            } catch (const std::exception& error) {
                records.push_back(failedRecord(input, fromUtf8(error.what())));
                anyFailed = true;
            }
        }
    } catch (const std::bad_alloc&) {
        // No memory left for the list of records: no report can be built.
        return kExitCannotWrite;
    }

    try {
        ReplacingFileWriter out(toFsPath(outputPath));
        if (!out.isOpen()) {
            return kExitCannotWrite;
        }
        out.write(buildJsonReport(records));
        if (!out.commit()) {
            return kExitCannotWrite;
        }
    } catch (const std::exception&) {
        // Building the document ran out of memory; the writer removed its temporary.
        return kExitCannotWrite;
    }
    return anyFailed ? kExitFailed : kExitOk;
}

int runDecodeTestMode(const std::wstring& inputPath, const std::wstring& outputPath)
{
    try {
        const std::atomic<bool> stopRequested{false};
        const DecodedAudio audio = decodeAudio(inputPath, stopRequested);

        const std::size_t frames = audio.channels.empty() ? 0 : audio.channels.front().size();
        for (const std::vector<double>& channel : audio.channels) {
            if (channel.size() != frames) {
                return kExitFailed; // ragged channels cannot be interleaved
            }
        }

        ReplacingFileWriter out(toFsPath(outputPath));
        if (!out.isOpen()) {
            return kExitCannotWrite;
        }
        const std::size_t frameBytes = audio.channels.size() * sizeof(double);
        std::string chunk(kFramesPerChunk * frameBytes, '\0');
        for (std::size_t start = 0; start < frames; start += kFramesPerChunk) {
            const std::size_t end = std::min(frames, start + kFramesPerChunk);
            char* cursor = chunk.data();
            for (std::size_t i = start; i < end; ++i) {
                for (const std::vector<double>& channel : audio.channels) {
                    cursor = storeLittleEndian(cursor, channel[i]);
                }
            }
            if (!out.write(std::string_view(chunk.data(), (end - start) * frameBytes))) {
                return kExitCannotWrite;
            }
        }
        return out.commit() ? kExitOk : kExitCannotWrite;
    } catch (const Cancelled&) {
        return kExitFailed;
    } catch (const std::exception&) {
        return kExitFailed;
    }
}

} // namespace orvel
