// SPDX-License-Identifier: MIT
#include "ui/spectrum_view.h"

#include <QPainter>
#include <QPen>
#include <QPolygon>

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "text/format_number.h"
#include "ui/theme.h"

namespace orvel {
namespace {

int rightEdge(const QRect& r) { return r.x() + r.width(); }
int bottomEdge(const QRect& r) { return r.y() + r.height(); }

} // namespace

QRect spectrumPlotRect(const QRect& view)
{
    const int top = view.top() + 65;
    const int bottom = bottomEdge(view) - 35;
    if (bottom <= top) {
        return {};
    }
    return theme::ltrb(view.left() + 37, top, rightEdge(view) - 12, bottom);
}

int spectrumLevelY(const QRect& plot, int levelDb) { return plot.top() + plot.height() * -levelDb / 120; }

std::vector<QPoint> spectrumCurve(const std::vector<double>& spectrumDb, const QRect& plot)
{
    std::vector<QPoint> points;
    const std::int64_t n = static_cast<std::int64_t>(spectrumDb.size());
    const std::int64_t w = plot.width();
    if (n < 2 || w < 2) {
        return points;
    }
    const std::int64_t count = std::min(n, w);
    points.reserve(static_cast<std::size_t>(count));
    for (std::int64_t i = 0; i < count; ++i) {
        const std::int64_t k = i * (n - 1) / (count - 1);
        const int x = plot.left() + static_cast<int>(k * w / (n - 1));
        const double value = spectrumDb[static_cast<std::size_t>(k)];
        const double f = std::isnan(value) ? 1.0 : std::clamp(-value / 120.0, 0.0, 1.0);
        const int y = plot.top() + static_cast<int>(plot.height() * f);
        points.emplace_back(x, y);
    }
    return points;
}

QString spectrumFrequencyLabel(int sampleRate, int j)
{
    return theme::toQString(formatNumber(sampleRate / 2000.0 * j * 0.25, 1));
}

QRect spectrumFrequencyLabelBox(const QRect& view, const QRect& plot, int j)
{
    const int top = bottomEdge(plot) + 5;
    const int bottom = bottomEdge(plot) + 23;
    if (j >= 4) {
        return theme::ltrb(rightEdge(view) - 48, top, rightEdge(view), bottom);
    }
    const int centre = plot.left() + plot.width() * j / 4;
    return theme::ltrb(centre - 24, top, centre + 24, bottom);
}

std::optional<SpectrumReadout> spectrumReadoutAt(const FileReport& report, const QRect& plot, QPoint pos)
{
    const std::int64_t n = static_cast<std::int64_t>(report.spectrumDb.size());
    if (n < 2 || plot.width() < 2 || pos.x() < plot.left() || pos.x() > rightEdge(plot) || pos.y() < plot.top() ||
        pos.y() > bottomEdge(plot)) {
        return std::nullopt;
    }
    // The same mapping as the curve: x = left + k w / (n-1).
    const std::int64_t w = plot.width();
    const std::int64_t k = std::clamp<std::int64_t>(((pos.x() - plot.left()) * (n - 1) * 2 + w) / (2 * w), 0, n - 1);
    const double value = report.spectrumDb[static_cast<std::size_t>(k)];
    if (std::isnan(value)) {
        return std::nullopt;
    }
    SpectrumReadout readout;
    readout.kHz = report.sampleRate / 2000.0 * static_cast<double>(k) / static_cast<double>(n - 1);
    readout.db = value;
    const double f = std::clamp(-value / 120.0, 0.0, 1.0);
    readout.marker = QPoint(plot.left() + static_cast<int>(k * w / (n - 1)), plot.top() + static_cast<int>(plot.height() * f));
    return readout;
}

QString spectrumReadoutText(const SpectrumReadout& readout)
{
    return theme::toQString(formatNumber(readout.kHz, 1) + " kHz \u00B7 " + formatNumber(readout.db, 1) + " dB");
}

void paintSpectrumView(QPainter& painter, const QRect& view, const FileReport* report, std::optional<QPoint> pointer)
{
    const int right = rightEdge(view);
    const int single = Qt::TextSingleLine | Qt::AlignVCenter;
    painter.setPen(theme::kSecondaryText);
    painter.setFont(theme::font(theme::FontRole::Title));
    painter.drawText(theme::ltrb(view.left(), view.top(), right, view.top() + 20), single | Qt::AlignLeft,
                     QStringLiteral("SPECTRUM"));
    const QFont small = theme::font(theme::FontRole::Small);
    painter.setFont(small);
    painter.drawText(theme::ltrb(view.left(), view.top() + 24, right, view.top() + 44), single | Qt::AlignLeft,
                     QStringLiteral("Relative power \u00B7 averaged frames"));

    const QRect plot = spectrumPlotRect(view);
    if (plot.isEmpty()) {
        return;
    }
    for (const int level : kSpectrumLevels) {
        const int y = spectrumLevelY(plot, level);
        painter.setPen(QPen(theme::kGrid, 1));
        painter.drawLine(plot.left(), y, rightEdge(plot), y);
        painter.setPen(theme::kSecondaryText);
        painter.drawText(theme::ltrb(view.left(), y - 8, plot.left() - 5, y + 8), single | Qt::AlignLeft,
                         QString::number(level));
    }
    painter.setPen(theme::kSecondaryText);
    painter.drawText(theme::ltrb(view.left(), plot.top() - 22, plot.left() - 5, plot.top() - 8), single | Qt::AlignLeft,
                     QStringLiteral("dB"));

    if (!report || report->spectrumDb.empty()) {
        painter.setPen(theme::kSecondaryText);
        painter.drawText(plot, single | Qt::AlignHCenter, QStringLiteral("The spectrum will appear after analysis"));
        return;
    }
    if (plot.width() < 2) {
        return;
    }
    const std::vector<QPoint> points = spectrumCurve(report->spectrumDb, plot);
    if (points.size() >= 2) {
        painter.setPen(QPen(theme::kAccent, 1, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
        painter.drawPolyline(points.data(), static_cast<int>(points.size()));
    }
    painter.setPen(theme::kSecondaryText);
    for (int j = 0; j <= 4; ++j) {
        painter.drawText(spectrumFrequencyLabelBox(view, plot, j), single | Qt::AlignHCenter,
                         spectrumFrequencyLabel(report->sampleRate, j));
    }
    painter.drawText(theme::ltrb(right - 30, bottomEdge(view) - 12, right, bottomEdge(view) + 5),
                     single | Qt::AlignLeft, QStringLiteral("kHz"));

    if (pointer) {
        if (const std::optional<SpectrumReadout> readout = spectrumReadoutAt(*report, plot, *pointer)) {
            painter.setPen(QPen(theme::kGrid, 1, Qt::DashLine));
            painter.drawLine(readout->marker.x(), plot.top(), readout->marker.x(), bottomEdge(plot));
            painter.fillRect(QRect(readout->marker - QPoint(2, 2), QSize(5, 5)), theme::kPrimaryText);
            painter.setPen(theme::kPrimaryText);
            painter.drawText(theme::ltrb(view.left(), view.top() + 24, right, view.top() + 44), single | Qt::AlignRight,
                             spectrumReadoutText(*readout));
        }
    }
}

} // namespace orvel
