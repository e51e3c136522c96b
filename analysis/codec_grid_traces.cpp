// SPDX-License-Identifier: MIT
// The full-band codecs' frame grids as rows of ORIGIN's table: one common
// search (codec_grid) with each codec's own window, hop and bins.
#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <optional>

#include "analysis/codec_grid.h"
#include "analysis/grid_mdct.h"
#include "analysis/kbd_window.h"
#include "analysis/opus_grid.h"
#include "analysis/origin_trace.h"
#include "decode/cancellation.h"

namespace orvel {

namespace {

struct CodecGridRow {
    const char* key;     // prefix of the record's numbers
    const char* trace;   // "vorbis-grid"
    const char* codec;   // "Vorbis"
    const char* summary; // "Vorbis frame grid"
    const char* progress;
    bool (*rateFits)(std::int32_t rate);
    CodecGridShape (*shape)();
    bool celt = false; // searched on the samples resampled to 48 kHz with the de-emphasis undone
};

bool upTo48k(std::int32_t rate)
{
    return rate >= 8000 && rate <= 48000;
}

bool ac3Rate(std::int32_t rate)
{
    return rate == 32000 || rate == 44100 || rate == 48000;
}

// libvorbis switches between 2048- and 256-sample blocks, and each short block
// moves the long-block grid by 128: only the phase modulo 128 holds.
CodecGridShape vorbisShape()
{
    return {powerSineWindow(2048), 1024, 128, 8, 1024, {}};
}

CodecGridShape aacShape()
{
    return {kbdWindow(2048, 4.0), 1024, 1024, 8, 1024, {}};
}

// An Opus decoder works at 48 kHz; a file at 44.1 kHz is a decode resampled
// (opusdec --rate, or a resampler after it), which keeps the grid once
// resampled back. Other rates are rarely made from Opus and are not searched.
bool opusRate(std::int32_t rate)
{
    return rate == 48000 || rate == 44100;
}

CodecGridShape ac3Shape()
{
    return {kbdWindow(512, 5.0), 256, 256, 4, 256, {}};
}

constexpr std::array<CodecGridRow, 4> kRows{{
    {"vorbis", "vorbis-grid", "Vorbis", "Vorbis frame grid", "Vorbis grid", upTo48k, vorbisShape},
    {"aac_ms", "aac-ms-grid", "AAC", "AAC frame grid (KBD window, mid/side)", "AAC grid (mid/side)", upTo48k,
     aacShape},
    {"ac3", "ac3-grid", "AC-3", "AC-3 frame grid", "AC-3 grid", ac3Rate, ac3Shape},
    {"opus", "opus-grid", "Opus", "Opus frame grid", "Opus grid", opusRate, celtShape, true},
}};

const CodecGridShape& shapeOf(std::size_t row)
{
    return codecGridShapes()[row];
}

CodecGridMeasurement searchRow(const OriginContext& c, std::size_t index, std::vector<CodecGridFirstPass>& firstPasses,
                               bool withProgress)
{
    const CodecGridRow& row = kRows[index];
    if (!row.rateFits(c.input.sampleRate)) {
        return {};
    }
    const double lsb = c.gridLsb > 0.0 ? c.gridLsb : std::ldexp(1.0, -23);
    const CodecGridShape& searched = shapeOf(index);
    CeltSamples celt;
    if (row.celt) {
        throwIfStopRequested(c.stop);
        celt = celtSamples(searched, c.left, c.right, c.input.sampleRate);
    }
    const CodecGridInput input = row.celt ? CodecGridInput{celt.left, celt.right, lsb, celt.rms, celt.length}
                                          : CodecGridInput{c.left, c.right, lsb, c.rms};
    const std::function<void(const std::string&)> none;
    const auto& progress = withProgress ? c.progress : none;
    const auto hop = static_cast<std::int32_t>(searched.window.size() / 2);
    const auto same = [&](const CodecGridFirstPass& p) { return p.period == searched.period && p.hop == hop; };
    auto pass = std::find_if(firstPasses.begin(), firstPasses.end(), same);
    if (pass == firstPasses.end()) {
        firstPasses.push_back(codecGridFirstPass(searched, input, c.stop, progress, row.progress));
        pass = firstPasses.end() - 1;
    }
    return searchCodecGrid(searched, input, c.stop, progress, row.progress, &*pass);
}

template <std::size_t Row>
OriginFinding codecGridTrace(OriginContext& c)
{
    const CodecGridRow& row = kRows[Row];
    OriginFinding f;
    const CodecGridMeasurement g = Row < c.searchedGrids.size() && c.searchedGrids[Row].has_value()
                                       ? *c.searchedGrids[Row]
                                       : searchRow(c, Row, c.firstPasses, true);
    if (!g.measured) {
        return f;
    }
    c.m.codecGrids.push_back({row.key, g.verified, g.baseline, g.spread, g.z(), g.offset});
    const CodecGridShape& shape = shapeOf(Row);
    const std::string period = shape.fold < shape.period ? " (modulo " + std::to_string(shape.fold) + ")"
                                                         : " / " + std::to_string(shape.period);
    if (g.screened) {
        f.lines.push_back(std::string(row.summary) + ": best offset " + std::to_string(g.offset) + period +
                          "; near-zero coefficients " + originPercent(g.verified) + " against " +
                          originPercent(g.baseline) + " at the other candidates on " + std::to_string(g.segments) +
                          " search segments (lead " + originFixed(g.excess(), 3) +
                          ", under a grid's 0.012: not verified).");
        return f;
    }
    f.lines.push_back(std::string(row.summary) + ": best offset " + std::to_string(g.offset) + period +
                      "; near-zero coefficients " + originPercent(g.verified) + " against " +
                      originPercent(g.baseline) +
                      (shape.localControls ? " at the 8 neighbouring offsets (excess " : " at 7 control offsets (excess ") + originFixed(g.excess(), 3) +
                      ", sd " + originFixed(g.spread * 100.0, 2) + " points, z " +
                      originFixed(std::min(g.z(), 9999.0), 1) + "); " + std::to_string(g.segments) + " segments.");
    if (codecGridFound(g, shape)) {
        markGridFound(f, 5, row.summary, row.trace, row.codec);
        f.excess = g.excess();
    }
    return f;
}

constexpr std::array<OriginTrace, kRows.size()> kTraces{{
    {kRows[0].trace, kRows[0].codec, codecGridTrace<0>},
    {kRows[1].trace, kRows[1].codec, codecGridTrace<1>},
    {kRows[2].trace, kRows[2].codec, codecGridTrace<2>},
    {kRows[3].trace, kRows[3].codec, codecGridTrace<3>},
}};

} // namespace

std::span<const OriginTrace> codecGridTraces()
{
    return kTraces;
}

void searchCodecGridsAhead(OriginContext& c, std::vector<std::function<void(bool)>>& tasks,
                           const std::atomic<bool>& decided)
{
    c.searchedGrids.assign(kRows.size(), std::nullopt);
    std::array<bool, kRows.size()> taken{};
    for (std::size_t first = 0; first < kRows.size(); ++first) {
        if (taken[first]) {
            continue;
        }
        // The rows of one period and hop share a first pass, so they go in one task.
        std::vector<std::size_t> group;
        for (std::size_t row = first; row < kRows.size(); ++row) {
            if (shapeOf(row).period == shapeOf(first).period &&
                shapeOf(row).window.size() == shapeOf(first).window.size()) {
                group.push_back(row);
                taken[row] = true;
            }
        }
        tasks.push_back([&c, &decided, group](bool onCallingThread) {
            std::vector<CodecGridFirstPass> firstPasses;
            for (const std::size_t row : group) {
                if (decided.load()) {
                    return; // another grid decides: the trace will not look
                }
                c.searchedGrids[row] = searchRow(c, row, firstPasses, onCallingThread);
            }
        });
    }
}

std::span<const CodecGridShape> codecGridShapes()
{
    static const std::array<CodecGridShape, kRows.size()> shapes{kRows[0].shape(), kRows[1].shape(),
                                                                  kRows[2].shape(), kRows[3].shape()};
    return shapes;
}

} // namespace orvel
