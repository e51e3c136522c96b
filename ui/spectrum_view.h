// SPDX-License-Identifier: MIT
#pragma once

#include <QPoint>
#include <QRect>
#include <QString>

#include <optional>
#include <vector>

#include "analysis/file_report.h"

class QPainter;

namespace orvel {

// The grid levels of the plot, in dB.
inline constexpr int kSpectrumLevels[] = {0, -30, -60, -90, -120};

// The plot area inside the spectrum view rectangle; empty when too short.
[[nodiscard]] QRect spectrumPlotRect(const QRect& view);
// The y of a grid level (0 ... -120 dB) in the plot.
[[nodiscard]] int spectrumLevelY(const QRect& plot, int levelDb);
// The curve's points: at most one per pixel column, dB clamped to 0 ... -120
// (a value that is not a number is drawn at the floor). Fewer than two values,
// or a plot narrower than two pixels, give no points.
[[nodiscard]] std::vector<QPoint> spectrumCurve(const std::vector<double>& spectrumDb, const QRect& plot);
// Axis label j (0 ... 4): j quarters of the Nyquist frequency in kHz, one decimal.
[[nodiscard]] QString spectrumFrequencyLabel(int sampleRate, int j);
// The box the axis label j is centred in.
[[nodiscard]] QRect spectrumFrequencyLabelBox(const QRect& view, const QRect& plot, int j);

// What the spectrum holds under the pointer: the frequency of the nearest
// value, its level, and where on the curve it is drawn.
struct SpectrumReadout {
    double kHz = 0;
    double db = 0;
    QPoint marker;
};
// Empty outside the plot, without a spectrum, or where the value is not a number.
[[nodiscard]] std::optional<SpectrumReadout> spectrumReadoutAt(const FileReport& report, const QRect& plot,
                                                               QPoint pos);
// "12.3 kHz · -45.2 dB"
[[nodiscard]] QString spectrumReadoutText(const SpectrumReadout& readout);

// Paints the spectrum view: titles, grid and level labels with their "dB"
// unit, and either the curve with its frequency axis or the placeholder when
// report is null or has no spectrum. With a pointer over the curve, its
// readout and a marker.
void paintSpectrumView(QPainter& painter, const QRect& view, const FileReport* report,
                       std::optional<QPoint> pointer = std::nullopt);

} // namespace orvel
