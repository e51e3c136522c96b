// SPDX-License-Identifier: MIT
// The evidence panel's Spectrogram view and "Save picture…".
#include <gtest/gtest.h>

#include <QImage>
#include <QTest>

#include <filesystem>
#include <memory>
#include <string>

#include "tests/support/files.h"
#include "tests/support/png.h"
#include "tests/support/process.h"
#include "tests/ui/window_fixture.h"
#include "tests/ui/window_test_support.h"
#include "text/utf8.h"
#include "ui/command_button.h"
#include "ui/main_window.h"
#include "ui/queue_list_view.h"
#include "ui/spectrogram_view.h"
#include "ui/spectrum_view.h"
#include "ui/theme.h"

namespace {

namespace fs = std::filesystem;
using kestrone_test::countColour;
using kestrone_test::render;
using kestrone_test::waitFor;
using orvel::MainWindow;
using orvel::SpectrogramView;
using namespace orvel::testing;
namespace theme = orvel::theme;

class SpectrogramViewTest : public kestrone_test::ShownWindowTest {
protected:
    void analyse(const std::vector<fs::path>& files)
    {
        window->queue().addPaths(files);
        QTest::mouseClick(window->button(MainWindow::Analyze), Qt::LeftButton);
        ASSERT_TRUE(waitFor([this] { return !window->queue().busy(); }));
    }
    void select(int entry)
    {
        orvel::QueueListView* list = window->list();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualRect(list->model()->index(entry, 1)).center());
        ASSERT_EQ(window->queue().selectedIndex(), entry);
    }
    bool drawn()
    {
        return waitFor([this] { return window->spectrogram().state() != SpectrogramView::State::Drawing; });
    }

    ScratchFolder temp;
};

TEST_F(SpectrogramViewTest, SavedPictureHasTheBytesKestroneScanWritesForTheFile)
{
    const fs::path file = testAudio("ui", "2ch-48000Hz-16in24-padded.flac");
    analyse({file});
    select(0);
    EXPECT_EQ(window->spectrumMode(), MainWindow::SpectrumCurve);
    EXPECT_TRUE(window->savePictureButton()->isEnabled());

    QTest::mouseClick(window->spectrumModeButton(MainWindow::SpectrogramPicture), Qt::LeftButton);
    EXPECT_EQ(window->spectrumMode(), MainWindow::SpectrogramPicture);
    EXPECT_TRUE(window->spectrumModeButton(MainWindow::SpectrogramPicture)->isChecked());
    EXPECT_FALSE(window->spectrumModeButton(MainWindow::SpectrumCurve)->isChecked());
    ASSERT_TRUE(drawn());
    ASSERT_EQ(window->spectrogram().state(), SpectrogramView::State::Ready) << window->spectrogram().failure();

    window->savePicture(temp / "window.png");
    EXPECT_EQ(window->queue().statusText(), "Picture saved: " + orvel::displayName(temp / "window.png"));
    const ProcessResult scan = runProcess({scanProgram(), "--spectrogram", (temp / "scan").string(), file.string()});
    ASSERT_EQ(scan.exitCode, 0) << scan.err;
    const std::string fromWindow = readBytes(temp / "window.png");
    const auto header = readPngHeader(fromWindow);
    ASSERT_TRUE(header.has_value());
    EXPECT_EQ(header->width, 1200);
    EXPECT_EQ(header->height, 700);
    EXPECT_EQ(fromWindow, readBytes(temp / "scan" / (file.filename().string() + ".png")));
}

TEST_F(SpectrogramViewTest, TheAreaShowsThePictureScaledAndTheSpectrumComesBackUnchanged)
{
    analyse({testAudio("ui", "2ch-44100Hz-16bit-noise.flac"), testAudio("ui", "not-audio.txt")});
    select(0);
    const QRect area = window->layoutRects().spectrum;
    const QImage spectrum = render(*window);

    window->setSpectrumMode(MainWindow::SpectrogramPicture);
    ASSERT_TRUE(drawn());
    const QRect image = orvel::spectrogramImageRect(area, orvel::kWindowPictureSize);
    ASSERT_FALSE(image.isEmpty());
    EXPECT_TRUE(area.contains(image));
    EXPECT_NEAR(static_cast<double>(image.width()) / image.height(), 1200.0 / 700.0, 0.02);
    const QImage shot = render(*window);
    const int panel = countColour(shot, image, theme::kPanelBackground);
    EXPECT_LT(panel, image.width() * image.height() / 100) << "the picture covers its place";
    EXPECT_EQ(countColour(shot, orvel::spectrumPlotRect(area), theme::kAccent), 0) << "no spectrum curve under it";

    // A failed file has no picture to draw or save.
    select(1);
    EXPECT_EQ(window->spectrogram().state(), SpectrogramView::State::Empty);
    EXPECT_FALSE(window->savePictureButton()->isEnabled());
    EXPECT_GT(countColour(render(*window), image, theme::kPanelBackground), image.width() * image.height() * 9 / 10);

    select(0);
    window->setSpectrumMode(MainWindow::SpectrumCurve);
    EXPECT_EQ(render(*window).copy(area), spectrum.copy(area)) << "the spectrum view as it was";
}

TEST_F(SpectrogramViewTest, ReadoutNamesTimeFrequencyAndLevelUnderThePointer)
{
    // A spectrogram with one loud band around 12 kHz in the last column.
    orvel::Spectrogram s;
    s.columns = 10;
    s.bins = 2049;
    s.frameLength = 4096;
    s.sampleRate = 48000;
    s.seconds = 30.0;
    s.levelsDb.assign(s.columns * s.bins, -120.0F);
    for (std::size_t bin = 1000; bin <= 1050; ++bin) {
        s.levelsDb[9 * s.bins + bin] = -6.0F;
    }

    const orvel::PictureSize size{};
    const orvel::PlotArea plot = orvel::plotArea(size);
    const QRect image(100, 50, size.width / 2, size.height / 2); // drawn at half size
    auto at = [&](double px, double py) {
        return QPoint(image.left() + static_cast<int>(px / 2), image.top() + static_cast<int>(py / 2));
    };
    EXPECT_FALSE(orvel::spectrogramReadoutAt(s, size, image, at(plot.left - 4, plot.top + 10)).has_value());
    EXPECT_FALSE(orvel::spectrogramReadoutAt(s, size, image, at(plot.left + 10, plot.top + plot.height + 4)).has_value());

    // The middle row of the plot is half the Nyquist frequency; the last column the last of the time.
    const auto readout =
        orvel::spectrogramReadoutAt(s, size, image, at(plot.left + plot.width - 2, plot.top + plot.height / 2.0));
    ASSERT_TRUE(readout.has_value());
    EXPECT_NEAR(readout->seconds, 28.5, 1e-9);
    EXPECT_NEAR(readout->kHz, 12.0, 24.0 / plot.height * 2);
    EXPECT_EQ(readout->db, -6.0);
    EXPECT_EQ(orvel::spectrogramReadoutText(*readout).toStdString().substr(0, 7), "28.5 s ");

    const auto quiet = orvel::spectrogramReadoutAt(s, size, image, at(plot.left + 2, plot.top + plot.height / 2.0));
    ASSERT_TRUE(quiet.has_value());
    EXPECT_NEAR(quiet->seconds, 1.5, 1e-9);
    EXPECT_EQ(quiet->db, -120.0);
}

} // namespace
