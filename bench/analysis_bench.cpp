// SPDX-License-Identifier: MIT
// Benchmarks of the analysis: the transforms (fast path per instruction set
// against the reference), the spectrum, the AAC-SIN check, a whole file next
// to libFLAC decoding the same file, and the headless analysis of a folder.
//   usage: kestrone-bench --audio-dir=DIR [benchmark flags]
// DIR holds bench-30s.flac (30 s, 44.1 kHz, 16-bit stereo broadband),
// bench-5min-96kHz.flac (5 minutes, 96 kHz, 24-bit stereo broadband) and
// folder/ with the files of the throughput run (tools/run-benchmarks.sh).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <span>
#include <atomic>
#include <complex>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <thread>
#include <string>
#include <vector>

#include "analysis/aac_sin.h"
#include "analysis/analysis_options.h"
#include "analysis/analyze_file.h"
#include "analysis/averaged_spectrum.h"
#include "analysis/fft.h"
#include "analysis/aac_kbd_grid.h"
#include "analysis/codec_grid.h"
#include "analysis/opus_grid.h"
#include "analysis/lower_rate.h"
#include "analysis/lowpass_edge.h"
#include "analysis/mp3_grid.h"
#include "analysis/origin.h"
#include "analysis/origin_trace.h"
#include "analysis/signal_level.h"
#include "analysis/simd_level.h"
#include "analysis/sine_mdct.h"
#include "analysis/spectrogram.h"
#include "analysis/spectrum_db.h"
#include "batch/batch_runner.h"
#include "batch/report_file.h"
#include "bench/libflac_decode.h"
#include "decode/decode_audio.h"
#include "picture/spectrogram_picture.h"

namespace orvel::bench {
namespace {

std::filesystem::path audioDir;
const std::atomic<bool> noStop{false};

AnalysisOptions options(unsigned threads, bool reference)
{
    return AnalysisOptions{threads, reference ? Transforms::Reference : Transforms::Fast};
}

std::vector<double> noise(std::size_t length, std::uint64_t seed)
{
    std::mt19937_64 engine(seed);
    std::uniform_real_distribution<double> uniform(-0.5, 0.5);
    std::vector<double> values(length);
    for (double& v : values) {
        v = uniform(engine);
    }
    return values;
}

std::vector<std::complex<double>> complexNoise(std::size_t n)
{
    const std::vector<double> re = noise(n, 1);
    const std::vector<double> im = noise(n, 2);
    std::vector<std::complex<double>> data(n);
    for (std::size_t i = 0; i < n; ++i) {
        data[i] = {re[i], im[i]};
    }
    return data;
}

std::vector<SimdLevel> supportedLevels()
{
    std::vector<SimdLevel> levels;
    for (const SimdLevel level : {SimdLevel::Portable, SimdLevel::Sse2, SimdLevel::Avx2, SimdLevel::Avx512}) {
        if (simdLevelSupported(level)) {
            levels.push_back(level);
        }
    }
    return levels;
}

const DecodedAudio& benchAudio()
{
    static const DecodedAudio audio = decodeAudio(audioDir / "bench-30s.flac", noStop);
    return audio;
}

// The two channels' spectrum as analyzeFile builds it.
struct SpectrumInput {
    std::vector<double> power;
    std::int32_t strongBins = 0;
};

const SpectrumInput& benchSpectrum()
{
    static const SpectrumInput input = [] {
        SpectrumInput result;
        const DecodedAudio& audio = benchAudio();
        result.power = averagedPowerSpectrum(audio.channels[0], noStop);
        keepLouderBins(result.power, averagedPowerSpectrum(audio.channels[1], noStop));
        result.strongBins = spectrumLevels(result.power).strongBinCount;
        return result;
    }();
    return input;
}

// ORIGIN on the bench file, whole and per detector, on one thread. The
// detectors' inputs are made as checkOrigin makes them (16-bit grid, the
// AAC-SIN band limit of the analysis spectrum).
enum class OriginPart { Whole, Spectral, Mp3Grid, AacKbdGrid, CodecGrids, OpusGrid };

void originCase(benchmark::State& state, OriginPart part)
{
    const DecodedAudio& audio = benchAudio();
    const SpectrumInput& spectrum = benchSpectrum();
    OriginInput whole = originInput(audio, spectrum.power, false);
    whole.options = options(1, false);
    const std::span<const double> left = audio.channels[0];
    const std::span<const double> right = audio.channels[1];
    const std::int32_t bandLimit = aacSinBandLimit(spectrum.power);
    const double lsb = std::ldexp(1.0, -15);
    const double rms = std::hypot(signalRms(left), signalRms(right)) / std::sqrt(2.0);
    for (auto _ : state) {
        switch (part) {
        case OriginPart::Whole:
            benchmark::DoNotOptimize(checkOrigin(whole, noStop, {}));
            break;
        case OriginPart::Spectral: {
            const LongTermSpectrum lts = longTermSpectrum(left, right, audio.sampleRate, noStop);
            benchmark::DoNotOptimize(lossyLowpassEdge(lts, audio.sampleRate, lsb));
            benchmark::DoNotOptimize(measureLowerRate(lts, audio.sampleRate));
            break;
        }
        case OriginPart::Mp3Grid:
            benchmark::DoNotOptimize(searchMp3Grid({left, right, lsb, bandLimit, -1.0}, noStop, {}));
            break;
        case OriginPart::AacKbdGrid:
            benchmark::DoNotOptimize(searchAacKbdGrid({{left, right}, lsb, bandLimit, {}}, noStop, {}));
            break;
        case OriginPart::CodecGrids:
            // Every full-band codec's search, as a file with no grid gets them all.
            // The codecs of one hop share a first pass, as ORIGIN's traces do.
            {
                std::vector<CodecGridFirstPass> passes;
                for (const CodecGridShape& shape : codecGridShapes()) {
                    if (shape.localControls) {
                        continue; // the Opus grid, below
                    }
                    const CodecGridInput input{left, right, lsb, rms};
                    const auto hop = static_cast<std::int32_t>(shape.window.size() / 2);
                    auto pass = std::find_if(passes.begin(), passes.end(), [&](const CodecGridFirstPass& p) {
                        return p.period == shape.period && p.hop == hop;
                    });
                    if (pass == passes.end()) {
                        passes.push_back(codecGridFirstPass(shape, input, noStop));
                        pass = passes.end() - 1;
                    }
                    benchmark::DoNotOptimize(searchCodecGrid(shape, input, noStop, {}, {}, &*pass));
                }
            }
            [[fallthrough]];
        case OriginPart::OpusGrid: {
            // Resampled to 48 kHz and searched on its own: no other row shares its hop.
            const CodecGridShape& shape = codecGridShapes().back();
            const CeltSamples celt = celtSamples(shape, left, right, audio.sampleRate);
            benchmark::DoNotOptimize(searchCodecGrid(shape, {celt.left, celt.right, lsb, celt.rms, celt.length}, noStop, {}));
            break;
        }
        }
    }
}

void analyzeFileCpuCase(benchmark::State& state)
{
    const std::filesystem::path path = audioDir / "bench-30s.flac";
    for (auto _ : state) {
        benchmark::DoNotOptimize(analyzeFile(path, noStop, {}, options(1, false)));
    }
}

void fftReferenceCase(benchmark::State& state)
{
    const auto n = static_cast<std::size_t>(state.range(0));
    const std::vector<std::complex<double>> input = complexNoise(n);
    std::vector<std::complex<double>> data = input;
    for (auto _ : state) {
        std::copy(input.begin(), input.end(), data.begin());
        fftReference(data.data(), n, false);
        benchmark::DoNotOptimize(data.data());
    }
}

void fftFastCase(benchmark::State& state, SimdLevel level)
{
    const auto n = static_cast<std::size_t>(state.range(0));
    const std::vector<std::complex<double>> input = complexNoise(n);
    std::vector<std::complex<double>> data = input;
    for (auto _ : state) {
        std::copy(input.begin(), input.end(), data.begin());
        fftWith(level, data.data(), n, false);
        benchmark::DoNotOptimize(data.data());
    }
}

void mdctReferenceCase(benchmark::State& state)
{
    const std::vector<double> samples = noise(2048, 3);
    std::vector<double> coefficients(1024);
    SineMdct mdct;
    for (auto _ : state) {
        mdct.forwardReference(samples.data(), 0, coefficients.data());
        benchmark::DoNotOptimize(coefficients.data());
    }
}

void mdctFastCase(benchmark::State& state, SimdLevel level)
{
    const std::vector<double> samples = noise(2048, 3);
    std::vector<double> coefficients(1024);
    SineMdct mdct;
    for (auto _ : state) {
        mdct.forward(samples.data(), 0, coefficients.data(), level);
        benchmark::DoNotOptimize(coefficients.data());
    }
}

void spectrumCase(benchmark::State& state, bool reference)
{
    const ChannelSamples& samples = benchAudio().channels[0];
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            averagedPowerSpectrum(samples, noStop, reference ? Transforms::Reference : Transforms::Fast));
    }
}

void aacSinCase(benchmark::State& state, unsigned threads, bool reference)
{
    const AnalysisOptions settings = options(threads, reference);
    const DecodedAudio& audio = benchAudio();
    const SpectrumInput& spectrum = benchSpectrum();
    for (auto _ : state) {
        benchmark::DoNotOptimize(checkAacSin(audio, spectrum.power, spectrum.strongBins, noStop, {}, settings));
    }
}

void analyzeFileCase(benchmark::State& state, unsigned threads, bool reference)
{
    const std::filesystem::path path = audioDir / "bench-30s.flac";
    for (auto _ : state) {
        benchmark::DoNotOptimize(analyzeFile(path, noStop, {}, options(threads, reference)));
    }
}

// The files the spectrogram is measured on, against analyzeFile of the same file.
const char* const kSpectrogramFiles[] = {"bench-30s.flac", "bench-5min-96kHz.flac"};

void analyzeNamedFileCase(benchmark::State& state, const char* name, unsigned threads)
{
    const std::filesystem::path path = audioDir / name;
    for (auto _ : state) {
        benchmark::DoNotOptimize(analyzeFile(path, noStop, {}, options(threads, false)));
    }
}

// The spectrogram of the default picture from the decoded region analyzeFile
// also decodes: what a picture adds to a file's analysis.
void spectrogramCase(benchmark::State& state, const char* name, std::size_t frameLength, unsigned threads)
{
    const DecodedAudio audio = decodeAudio(audioDir / name, noStop);
    SpectrogramOptions options;
    options.analysis.threads = threads;
    options.frameLength = frameLength;
    options.columns = static_cast<std::size_t>(plotArea(PictureSize{}).width);
    for (auto _ : state) {
        benchmark::DoNotOptimize(computeSpectrogram(audio, options, noStop));
    }
}

void pictureCase(benchmark::State& state)
{
    SpectrogramOptions options;
    options.columns = static_cast<std::size_t>(plotArea(PictureSize{}).width);
    const Spectrogram spectrogram = computeSpectrogram(benchAudio(), options, noStop);
    PictureLabels labels;
    labels.fileName = "bench-30s.flac";
    labels.codec = "FLAC";
    labels.sampleRate = 44100;
    labels.bits = 16;
    labels.verdicts = {{"Upscaling", "No evidence"}, {"Upsampling", "No evidence"}, {"AAC-SIN", "No evidence"}};
    for (auto _ : state) {
        benchmark::DoNotOptimize(renderSpectrogramPng(spectrogram, labels, PictureSize{}));
    }
}

void decodeAudioCase(benchmark::State& state)
{
    const std::filesystem::path path = audioDir / "bench-30s.flac";
    for (auto _ : state) {
        benchmark::DoNotOptimize(decodeAudio(path, noStop));
    }
}

void libFlacCase(benchmark::State& state)
{
    const std::string path = (audioDir / "bench-30s.flac").string();
    for (auto _ : state) {
        benchmark::DoNotOptimize(decodeWithLibFlacOnly(path));
    }
}

void folderCase(benchmark::State& state, unsigned threads)
{
    std::vector<std::filesystem::path> paths;
    for (const auto& entry : std::filesystem::directory_iterator(audioDir / "folder")) {
        paths.push_back(entry.path());
    }
    std::sort(paths.begin(), paths.end());
    const std::vector<BatchInput> inputs = collectInputs(paths);
    const std::filesystem::path output = audioDir / "folder-report.json";
    BatchSettings settings;
    settings.analysis.threads = threads;
    // As the headless analysis runs: one file at a time, the JSON report written as records arrive.
    struct ToReport : BatchObserver {
        ReportFile* report = nullptr;
        bool failed = false;
        void record(std::size_t, FileReport&& record) override
        {
            failed = failed || !record.error.empty();
            report->add(record);
        }
    };
    for (auto _ : state) {
        ReportFile report(output, ReportFormat::Json);
        ToReport observer;
        observer.report = &report;
        runBatch(inputs, settings, noStop, observer);
        if (!report.finish().empty() || observer.failed) {
            state.SkipWithError("the headless analysis failed");
            break;
        }
    }
    state.counters["files"] = static_cast<double>(inputs.size());
    state.counters["files_per_s"] =
        benchmark::Counter(static_cast<double>(inputs.size()), benchmark::Counter::kIsIterationInvariantRate);
}

void registerAll()
{
    for (const long n : {2048L, 4096L}) {
        benchmark::RegisterBenchmark("fft/reference", fftReferenceCase)->Arg(n);
        for (const SimdLevel level : supportedLevels()) {
            benchmark::RegisterBenchmark((std::string("fft/") + simdLevelName(level)).c_str(), fftFastCase, level)
                ->Arg(n);
        }
    }
    benchmark::RegisterBenchmark("SineMdct::forward/reference", mdctReferenceCase);
    for (const SimdLevel level : supportedLevels()) {
        benchmark::RegisterBenchmark((std::string("SineMdct::forward/") + simdLevelName(level)).c_str(), mdctFastCase,
                                     level);
    }
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const std::string coreLabel = std::to_string(cores);
    benchmark::RegisterBenchmark("averagedPowerSpectrum/reference", spectrumCase, true)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("averagedPowerSpectrum/fast", spectrumCase, false)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("checkAacSin/reference/threads:1", aacSinCase, 1u, true)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark("checkAacSin/fast/threads:1", aacSinCase, 1u, false)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark(("checkAacSin/fast/threads:" + coreLabel).c_str(), aacSinCase, 0u, false)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    // CPU time of this process, so that other work on the machine does not
    // count: ORIGIN's share of a whole file's analysis, and of each detector.
    benchmark::RegisterBenchmark("analyzeFile/fast/threads:1/cpu", analyzeFileCpuCase)
        ->Unit(benchmark::kMillisecond)
        ->MeasureProcessCPUTime();
    benchmark::RegisterBenchmark("checkOrigin/threads:1/cpu", originCase, OriginPart::Whole)
        ->Unit(benchmark::kMillisecond)
        ->MeasureProcessCPUTime();
    benchmark::RegisterBenchmark("origin/lowpass+lower-rate/cpu", originCase, OriginPart::Spectral)
        ->Unit(benchmark::kMillisecond)
        ->MeasureProcessCPUTime();
    benchmark::RegisterBenchmark("origin/mp3-grid/cpu", originCase, OriginPart::Mp3Grid)
        ->Unit(benchmark::kMillisecond)
        ->MeasureProcessCPUTime();
    benchmark::RegisterBenchmark("origin/codec-grids/cpu", originCase, OriginPart::CodecGrids)
        ->Unit(benchmark::kMillisecond)
        ->MeasureProcessCPUTime();
    benchmark::RegisterBenchmark("origin/opus-grid/cpu", originCase, OriginPart::OpusGrid)
        ->Unit(benchmark::kMillisecond)
        ->MeasureProcessCPUTime();
    benchmark::RegisterBenchmark("origin/aac-kbd-grid/cpu", originCase, OriginPart::AacKbdGrid)
        ->Unit(benchmark::kMillisecond)
        ->MeasureProcessCPUTime();
    benchmark::RegisterBenchmark("libFLAC decode only", libFlacCase)->Unit(benchmark::kMillisecond)->UseRealTime();
    benchmark::RegisterBenchmark("decodeAudio", decodeAudioCase)->Unit(benchmark::kMillisecond)->UseRealTime();
    benchmark::RegisterBenchmark("analyzeFile/reference/threads:1", analyzeFileCase, 1u, true)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark("analyzeFile/fast/threads:1", analyzeFileCase, 1u, false)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark(("analyzeFile/fast/threads:" + coreLabel).c_str(), analyzeFileCase, 0u, false)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    for (const char* name : kSpectrogramFiles) {
        if (!std::filesystem::exists(audioDir / name)) {
            continue;
        }
        // One thread: wall time is the whole cost even on a busy machine. All cores: as a scan runs.
        for (const unsigned threads : {1u, 0u}) {
            const std::string suffix = "/threads:" + (threads == 1 ? std::string("1") : coreLabel);
            benchmark::RegisterBenchmark((std::string("analyzeFile/") + name + suffix).c_str(), analyzeNamedFileCase,
                                         name, threads)
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime();
            for (const std::size_t frame : {2048u, 4096u, 8192u}) {
                benchmark::RegisterBenchmark((std::string("computeSpectrogram/") + name + "/frame:" +
                                              std::to_string(frame) + suffix)
                                                 .c_str(),
                                             spectrogramCase, name, frame, threads)
                    ->Unit(benchmark::kMillisecond)
                    ->UseRealTime();
            }
        }
    }
    benchmark::RegisterBenchmark("renderSpectrogramPng/1200x700", pictureCase)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark("folder --analyze-test/threads:1", folderCase, 1u)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->Iterations(1);
    benchmark::RegisterBenchmark(("folder --analyze-test/threads:" + coreLabel).c_str(), folderCase, 0u)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->Iterations(1);
}

} // namespace
} // namespace orvel::bench

int main(int argc, char** argv)
{
    // Take --audio-dir=DIR out before Google Benchmark reads the rest.
    std::vector<char*> rest;
    for (int i = 0; i < argc; ++i) {
        constexpr const char* kFlag = "--audio-dir=";
        if (i > 0 && std::strncmp(argv[i], kFlag, std::strlen(kFlag)) == 0) {
            orvel::bench::audioDir = argv[i] + std::strlen(kFlag);
        } else {
            rest.push_back(argv[i]);
        }
    }
    if (orvel::bench::audioDir.empty() || !std::filesystem::exists(orvel::bench::audioDir / "bench-30s.flac")) {
        std::fprintf(stderr, "usage: kestrone-bench --audio-dir=DIR [benchmark flags] (see tools/run-benchmarks.sh)\n");
        return 64;
    }
    int restCount = static_cast<int>(rest.size());
    benchmark::Initialize(&restCount, rest.data());
    // The level the analysis picked on this CPU, beside the per-level figures.
    benchmark::AddCustomContext("kernels", orvel::simdLevelName(orvel::bestSimdLevel()));
    orvel::bench::registerAll();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
