// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QPainter>

#include <cmath>
#include <limits>
#include <vector>

#include "analysis/file_report.h"
#include "ui/app_icon.h"
#include "ui/spectrum_view.h"
#include "ui/theme.h"
#include "tests/ui/window_test_support.h"

namespace {

using orvel::spectrumCurve;
using orvel::spectrumPlotRect;
namespace theme = orvel::theme;

const QRect kView = theme::ltrb(721, 510, 1272, 832);

TEST(SpectrumViewTest, PlotSitsInsideTheViewAndVanishesWhenTooShort)
{
    EXPECT_EQ(spectrumPlotRect(kView), theme::ltrb(758, 575, 1260, 797));
    EXPECT_TRUE(spectrumPlotRect(theme::ltrb(0, 0, 300, 100)).isEmpty());
    EXPECT_TRUE(spectrumPlotRect(theme::ltrb(0, 0, 300, 99)).isEmpty());
    EXPECT_FALSE(spectrumPlotRect(theme::ltrb(0, 0, 300, 101)).isEmpty());
}

TEST(SpectrumViewTest, GridLevelsDivideThePlotHeightInIntegerSteps)
{
    const QRect plot = theme::ltrb(0, 10, 100, 131); // height 121
    EXPECT_EQ(orvel::spectrumLevelY(plot, 0), 10);
    EXPECT_EQ(orvel::spectrumLevelY(plot, -30), 10 + 121 * 30 / 120);
    EXPECT_EQ(orvel::spectrumLevelY(plot, -60), 70);
    EXPECT_EQ(orvel::spectrumLevelY(plot, -120), 131);
}

TEST(SpectrumViewTest, CurveTakesOnePointPerColumnAndClampsToTheGrid)
{
    const QRect plot = theme::ltrb(100, 50, 600, 290); // w 500, h 240
    std::vector<double> db(2049, -60.0);
    db.front() = 12.0;          // above 0 dB: drawn on the top line
    db.back() = -400.0;         // below -120 dB: on the bottom line
    db[1024] = std::numeric_limits<double>::quiet_NaN();
    const auto points = spectrumCurve(db, plot);
    ASSERT_EQ(points.size(), 500u);
    EXPECT_EQ(points.front(), QPoint(100, 50));
    EXPECT_EQ(points.back(), QPoint(600, 290));
    EXPECT_EQ(points[1].y(), 50 + 120);
    for (std::size_t i = 1; i < points.size(); ++i) {
        EXPECT_GE(points[i].x(), points[i - 1].x());
        EXPECT_GE(points[i].y(), 50);
        EXPECT_LE(points[i].y(), 290);
    }
    // k = i (n-1) / (count-1), x = left + k w / (n-1), both in integers.
    const std::int64_t k = 250LL * 2048 / 499;
    EXPECT_EQ(points[250].x(), 100 + static_cast<int>(k * 500 / 2048));
}

TEST(SpectrumViewTest, ANarrowPlotOrAShortSpectrumDrawsNoCurve)
{
    EXPECT_TRUE(spectrumCurve(std::vector<double>(2049, 0.0), theme::ltrb(0, 0, 1, 100)).empty());
    EXPECT_TRUE(spectrumCurve(std::vector<double>(1, 0.0), theme::ltrb(0, 0, 400, 100)).empty());
    EXPECT_TRUE(spectrumCurve({}, theme::ltrb(0, 0, 400, 100)).empty());
    // Fewer values than columns: one point per value.
    const auto points = spectrumCurve({0.0, -120.0, 0.0}, theme::ltrb(0, 0, 400, 120));
    ASSERT_EQ(points.size(), 3u);
    EXPECT_EQ(points[1], QPoint(200, 120));
    EXPECT_EQ(points[2], QPoint(400, 0));
}

TEST(SpectrumViewTest, FrequencyAxisShowsQuartersOfNyquistInKilohertz)
{
    const char* expected48[] = {"0.0", "6.0", "12.0", "18.0", "24.0"};
    for (int j = 0; j <= 4; ++j) {
        EXPECT_EQ(orvel::spectrumFrequencyLabel(48000, j), QString::fromLatin1(expected48[j]));
    }
    EXPECT_EQ(orvel::spectrumFrequencyLabel(44100, 1), QStringLiteral("5.5"));
    EXPECT_EQ(orvel::spectrumFrequencyLabel(96000, 3), QStringLiteral("36.0"));
    const QRect plot = spectrumPlotRect(kView);
    EXPECT_EQ(orvel::spectrumFrequencyLabelBox(kView, plot, 0), theme::ltrb(758 - 24, 802, 758 + 24, 820));
    EXPECT_EQ(orvel::spectrumFrequencyLabelBox(kView, plot, 2), theme::ltrb(1009 - 24, 802, 1009 + 24, 820));
    EXPECT_EQ(orvel::spectrumFrequencyLabelBox(kView, plot, 4), theme::ltrb(1272 - 48, 802, 1272, 820));
}

TEST(SpectrumViewTest, PaintsTheCurveOnlyForAResultWithASpectrum)
{
    QImage image(kView.right() + 40, kView.bottom() + 40, QImage::Format_ARGB32);
    const QRect plot = spectrumPlotRect(kView);
    auto paint = [&](const orvel::FileReport* report) {
        image.fill(theme::kPanelBackground);
        QPainter painter(&image);
        orvel::paintSpectrumView(painter, kView, report);
    };
    paint(nullptr);
    EXPECT_EQ(kestrone_test::countColour(image, plot, theme::kAccent), 0);
    EXPECT_GT(kestrone_test::countColour(image, plot, theme::kGrid), 4 * plot.width() / 2);

    orvel::FileReport failed;
    failed.error = "broken";
    paint(&failed);
    EXPECT_EQ(kestrone_test::countColour(image, plot, theme::kAccent), 0);

    orvel::FileReport flat;
    flat.sampleRate = 48000;
    flat.spectrumDb.assign(2049, -150.0); // all on the bottom grid line
    paint(&flat);
    const int bottom = orvel::spectrumLevelY(plot, -120);
    EXPECT_GT(kestrone_test::countColour(image, QRect(plot.left(), bottom, plot.width(), 1), theme::kAccent),
              plot.width() * 9 / 10);
    EXPECT_EQ(kestrone_test::countColour(image, QRect(plot.left(), plot.top(), plot.width(), bottom - plot.top()),
                                         theme::kAccent),
              0);
}

TEST(SpectrumViewTest, TheReadoutGivesTheFrequencyAndLevelUnderThePointer)
{
    const QRect plot = theme::ltrb(100, 50, 600, 290); // w 500, h 240
    orvel::FileReport report;
    report.sampleRate = 48000;
    report.spectrumDb.assign(2049, -60.0);
    report.spectrumDb[1024] = -45.31;
    report.spectrumDb[2048] = std::numeric_limits<double>::quiet_NaN();

    const auto left = orvel::spectrumReadoutAt(report, plot, QPoint(100, 60));
    ASSERT_TRUE(left.has_value());
    EXPECT_DOUBLE_EQ(left->kHz, 0.0);
    EXPECT_EQ(left->marker, QPoint(100, 50 + 120));

    // The middle column is bin 1024 of 2048: 12 kHz at 48 kHz.
    const auto middle = orvel::spectrumReadoutAt(report, plot, QPoint(350, 200));
    ASSERT_TRUE(middle.has_value());
    EXPECT_DOUBLE_EQ(middle->kHz, 12.0);
    EXPECT_DOUBLE_EQ(middle->db, -45.31);
    EXPECT_EQ(middle->marker, QPoint(350, 50 + static_cast<int>(240 * 45.31 / 120)));
    EXPECT_EQ(orvel::spectrumReadoutText(*middle), QString::fromUtf8("12.0 kHz \u00B7 -45.3 dB"));

    EXPECT_FALSE(orvel::spectrumReadoutAt(report, plot, QPoint(600, 100)).has_value()) << "not a number there";
    EXPECT_FALSE(orvel::spectrumReadoutAt(report, plot, QPoint(99, 100)).has_value()) << "left of the plot";
    EXPECT_FALSE(orvel::spectrumReadoutAt(report, plot, QPoint(300, 291)).has_value()) << "below it";
    report.spectrumDb.resize(1);
    EXPECT_FALSE(orvel::spectrumReadoutAt(report, plot, QPoint(300, 100)).has_value()) << "no spectrum";
}

TEST(ResourcesTest, LicenceNoticesShipAsAResource)
{
    orvel::ensureResources();
    QFile file(QStringLiteral(":/kestrone/licenses.txt"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    for (const char* needle : {"libFLAC", "BSD-3-Clause", "libsndfile", "LGPL-2.1-or-later", "FFmpeg", "LGPL-3.0",
                               "Redistributions in binary form must reproduce the above copyright"}) {
        EXPECT_TRUE(text.contains(QString::fromLatin1(needle))) << needle;
    }
    QFile icon(QStringLiteral(":/kestrone/kestrone.svg"));
    ASSERT_TRUE(icon.open(QIODevice::ReadOnly));
    const QByteArray svg = icon.readAll();
    EXPECT_TRUE(svg.contains("#5DE0BB"));
    EXPECT_TRUE(svg.contains("#0F141D"));
}

} // namespace
