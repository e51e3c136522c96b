// SPDX-License-Identifier: MIT
#include "app/headless_modes.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>
#include <string>
#include <string_view>

#include "batch/batch_runner.h"
#include "batch/output_target.h"
#include "batch/report_file.h"
#include "analysis/math_self_test.h"
#include "decode/cancellation.h"
#include "decode/decode_audio.h"
#include "report/replacing_file_writer.h"

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

// Prints why the output is refused; true when it is.
bool refuseOutput(const std::filesystem::path& output, const std::vector<std::filesystem::path>& inputs,
                  OutputKind kind)
{
    const std::string refused = refusedOutputReason(output, inputs, kind);
    if (refused.empty()) {
        return false;
    }
    std::fprintf(stderr, "kestrone: %s\n", refused.c_str());
    return true;
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

// Collects nothing: each record goes into the report file as it arrives.
class ReportObserver : public BatchObserver {
public:
    explicit ReportObserver(ReportFile& report) : m_report(report) {}
    void record(std::size_t, FileReport&& record) override
    {
        m_anyFailed = m_anyFailed || !record.error.empty();
        m_report.add(record);
    }
    [[nodiscard]] bool anyFailed() const { return m_anyFailed; }

private:
    ReportFile& m_report;
    bool m_anyFailed = false;
};

int runAnalyzeTestMode(const std::filesystem::path& outputPath, const std::vector<std::filesystem::path>& inputs,
                       const std::atomic<bool>& stopRequested)
{
    if (refuseOutput(outputPath, inputs, OutputKind::Report)) {
        return kHeadlessExitUsage;
    }
    try {
        std::vector<BatchInput> batchInputs;
        batchInputs.reserve(inputs.size());
        for (const std::filesystem::path& input : inputs) {
            batchInputs.push_back({input, input, {}, true}); // every file is named by the user
        }
        ReportFile report(outputPath, ReportFormat::Json);
        ReportObserver observer(report);
        BatchSettings settings;
        settings.analysis.origin = false; // the JSON report has no ORIGIN
        runBatch(batchInputs, settings, stopRequested, observer);
        if (stopRequested.load()) {
            return kHeadlessExitInterrupted; // the report's temporary goes with it
        }
        if (!report.finish().empty()) {
            return kExitCannotWrite;
        }
        return observer.anyFailed() ? kExitFailed : kExitOk;
    } catch (const std::exception&) {
        // No memory left for the report: the writer removed its temporary.
        return kExitCannotWrite;
    }
}

int runDecodeTestMode(const std::filesystem::path& inputPath, const std::filesystem::path& outputPath,
                      const std::atomic<bool>& stopRequested)
{
    if (refuseOutput(outputPath, {inputPath}, OutputKind::DecodedSamples)) {
        return kHeadlessExitUsage;
    }
    try {
        const DecodedAudio audio = decodeAudio(inputPath, stopRequested, UnknownExtension::RecogniseContent);

        const std::size_t frames = audio.channels.empty() ? 0 : audio.channels.front().size();
        for (const ChannelSamples& channel : audio.channels) {
            if (channel.size() != frames) {
                return kExitFailed; // ragged channels cannot be interleaved
            }
        }

        ReplacingFileWriter out(outputPath);
        if (!out.isOpen()) {
            return kExitCannotWrite;
        }
        const std::size_t frameBytes = audio.channels.size() * sizeof(double);
        std::string chunk(kFramesPerChunk * frameBytes, '\0');
        for (std::size_t start = 0; start < frames; start += kFramesPerChunk) {
            if (stopRequested.load()) {
                return kHeadlessExitInterrupted;
            }
            const std::size_t end = std::min(frames, start + kFramesPerChunk);
            char* cursor = chunk.data();
            for (std::size_t i = start; i < end; ++i) {
                for (const ChannelSamples& channel : audio.channels) {
                    cursor = storeLittleEndian(cursor, channel[i]);
                }
            }
            if (!out.write(std::string_view(chunk.data(), (end - start) * frameBytes))) {
                return kExitCannotWrite;
            }
        }
        if (stopRequested.load()) {
            return kHeadlessExitInterrupted;
        }
        return out.commit() ? kExitOk : kExitCannotWrite;
    } catch (const Cancelled&) {
        return kHeadlessExitInterrupted;
    } catch (const std::exception&) {
        return kExitFailed;
    }
}

} // namespace orvel
