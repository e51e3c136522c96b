// SPDX-License-Identifier: MIT
// origin-report: the ORIGIN check's verdict and measurements for each file,
// one tab-separated line each, for the evaluation scripts; with --text first,
// each file's status, summary and evidence text instead.
#include <atomic>
#include <ctime>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "analysis/aac_sin.h"
#include "analysis/averaged_spectrum.h"
#include "analysis/origin.h"
#include "analysis/spectrum_db.h"
#include "decode/decode_audio.h"
#include "tools/testgen/testgen.h"

namespace {

std::string number(const std::optional<double>& value)
{
    if (!value) {
        return "-";
    }
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.4g", *value);
    return buffer;
}

std::string integer(const std::optional<std::int32_t>& value)
{
    return value ? std::to_string(*value) : "-";
}

int originReport(int argc, char** argv)
{
    const bool text = argc >= 2 && std::string(argv[1]) == "--text";
    if (text) {
        --argc;
        ++argv;
    }
    if (argc < 2) {
        std::fprintf(stderr, "usage: kestrone-testgen origin-report [--text] FILE...\n");
        return 64;
    }
    const std::atomic<bool> noStop{false};
    int failures = 0;
    if (!text) {
        std::printf("file\tstatus\tsummary\ttrace\tmp3_offset\tmp3_near_zero\tmp3_baseline\tmp3_z\taac_offset\t"
                "aac_near_zero\taac_baseline\tlowpass_khz\tsteepness\tabove\tfloor_db\tactive\tlower_rate\t"
                "lower_edge_khz\tlower_drop_db\tgrids\tcpu_ms\n");
    }
    for (int i = 1; i < argc; ++i) {
        try {
            const orvel::DecodedAudio audio = orvel::decodeAudio(argv[i], noStop);
            std::vector<double> spectrum = orvel::averagedPowerSpectrum(audio.channels[0], noStop);
            if (audio.channels.size() >= 2) {
                orvel::keepLouderBins(spectrum, orvel::averagedPowerSpectrum(audio.channels[1], noStop));
            }
            const orvel::SpectrumLevels levels = orvel::spectrumLevels(spectrum);
            const orvel::CheckResult aacSin =
                orvel::checkAacSin(audio, spectrum, levels.strongBinCount, noStop, {});
            // Thread CPU time: other work on a busy machine does not count.
            timespec before{};
            clock_gettime(CLOCK_THREAD_CPUTIME_ID, &before);
            const orvel::OriginResult r =
                orvel::checkOrigin(orvel::originInput(audio, spectrum, aacSin.status == orvel::Verdict::Possible), noStop, {});
            timespec after{};
            clock_gettime(CLOCK_THREAD_CPUTIME_ID, &after);
            const double ms = (after.tv_sec - before.tv_sec) * 1e3 + (after.tv_nsec - before.tv_nsec) / 1e6;
            const orvel::OriginMeasurements& m = r.m;
            if (text) {
                std::string evidence = r.evidence;
                for (std::size_t at = evidence.find("\r\n"); at != std::string::npos; at = evidence.find("\r\n")) {
                    evidence.replace(at, 2, "\n  ");
                }
                std::printf("%s\n  %s: %s\n  %s\n", argv[i], std::string(orvel::verdictText(r.status)).c_str(), r.summary.c_str(), evidence.c_str());
                continue;
            }
            // Each full-band codec grid searched: key excess/z@offset.
            std::string grids;
            for (const auto& g : m.codecGrids) {
                char one[96];
                std::snprintf(one, sizeof one, "%s%s %.4f/%.1f@%d", grids.empty() ? "" : " ", g.key.c_str(),
                              g.nearZero - g.baseline, g.z, g.offset);
                grids += one;
            }
            std::printf("%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%.1f\n", argv[i],
                        std::string(orvel::verdictText(r.status)).c_str(), r.summary.c_str(), m.trace.empty() ? "-" : m.trace.c_str(),
                        integer(m.mp3Offset).c_str(), number(m.mp3NearZero).c_str(), number(m.mp3Baseline).c_str(),
                        number(m.mp3Z).c_str(), integer(m.aacKbdOffset).c_str(), number(m.aacKbdNearZero).c_str(),
                        number(m.aacKbdBaseline).c_str(), number(m.lowpassKhz).c_str(),
                        number(m.lowpassSteepness).c_str(), number(m.lowpassAboveShare).c_str(),
                        number(m.lowpassFloorOverNoiseDb).c_str(), integer(m.lowpassActiveFrames).c_str(),
                        integer(m.lowerRateSourceHz).c_str(), number(m.lowerRateEdgeKhz).c_str(),
                        number(m.lowerRateDropDb).c_str(), grids.empty() ? "-" : grids.c_str(), ms);
        } catch (const std::exception& e) {
            std::printf("%s\terror\t%s\n", argv[i], e.what());
            ++failures;
        }
        std::fflush(stdout);
    }
    return failures == 0 ? 0 : 1;
}

} // namespace

KESTRONE_TESTGEN_COMMAND("origin-report", originReport);
