// SPDX-License-Identifier: MIT
// What the window remembers between runs, and how many rows it shows.
#include <gtest/gtest.h>

#include <QDir>
#include <QFileDialog>
#include <QHeaderView>
#include <QPlainTextEdit>
#include <QTest>

#include <filesystem>
#include <functional>
#include <memory>
#include <ostream>
#include <string>

#include "tests/support/files.h"
#include "tests/ui/window_fixture.h"
#include "ui/command_button.h"
#include "ui/main_layout.h"
#include "ui/queue_list_view.h"

namespace {

namespace fs = std::filesystem;
using orvel::MainWindow;

std::unique_ptr<MainWindow> openWindow()
{
    auto window = std::make_unique<MainWindow>();
    window->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    return window;
}

// The folder the "Add files" dialog opens in.
QString addFilesFolder(MainWindow& window)
{
    QString folder;
    kestrone_test::onNextModal([&folder](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        folder = dialog->directory().absolutePath();
        dialog->reject();
    });
    QTest::mouseClick(window.button(MainWindow::AddFiles), Qt::LeftButton);
    return folder;
}

struct Remembered {
    const char* name;
    std::function<void(MainWindow&, const orvel::testing::ScratchFolder&)> change;
    std::function<QString(MainWindow&)> observe;
};

void PrintTo(const Remembered& row, std::ostream* out) { *out << row.name; }

class WindowSettingsTest : public ::testing::TestWithParam<Remembered> {};

TEST_P(WindowSettingsTest, AChoiceSurvivesClosingAndOpeningTheWindow)
{
    const orvel::testing::ScratchFolder scratch;
    std::unique_ptr<MainWindow> window = openWindow();
    const QString before = GetParam().observe(*window);
    GetParam().change(*window, scratch);
    const QString chosen = GetParam().observe(*window);
    ASSERT_NE(chosen, before) << "the change took effect";
    window->close();
    window.reset();

    window = openWindow();
    EXPECT_EQ(GetParam().observe(*window), chosen);
}

void clickHeader(MainWindow& window, int section)
{
    QHeaderView* header = window.list()->horizontalHeader();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(section) + 20, header->height() / 2));
}

INSTANTIATE_TEST_SUITE_P(
    Choices, WindowSettingsTest,
    ::testing::Values(
        Remembered{"Geometry", [](MainWindow& w, const auto&) { w.setGeometry(140, 90, 1200, 820); },
                   [](MainWindow& w) {
                       const QRect g = w.geometry();
                       return QStringLiteral("%1,%2 %3x%4").arg(g.x()).arg(g.y()).arg(g.width()).arg(g.height());
                   }},
        Remembered{"Splitter", [](MainWindow& w, const auto&) { w.setListHeight(420); },
                   [](MainWindow& w) { return QString::number(w.list()->height()); }},
        Remembered{"Sort",
                   [](MainWindow& w, const auto&) {
                       clickHeader(w, orvel::kConclusionColumn);
                       clickHeader(w, orvel::kConclusionColumn);
                   },
                   [](MainWindow& w) {
                       const orvel::QueueSort sort = w.model()->sort();
                       return QString::number(sort.column) + (sort.descending ? QStringLiteral(" down") : QString());
                   }},
        Remembered{"FindingsFilter",
                   [](MainWindow& w, const auto&) { QTest::mouseClick(w.filterToggle(), Qt::LeftButton); },
                   [](MainWindow& w) {
                       return QString::number(w.model()->onlyFindings()) + QString::number(w.filterToggle()->isChecked());
                   }},
        Remembered{"SpectrogramView",
                   [](MainWindow& w, const auto&) {
                       QTest::mouseClick(w.spectrumModeButton(MainWindow::SpectrogramPicture), Qt::LeftButton);
                   },
                   [](MainWindow& w) { return QString::number(w.spectrumMode()); }},
        Remembered{"CompactRows",
                   [](MainWindow& w, const auto&) { QTest::mouseClick(w.compactToggle(), Qt::LeftButton); },
                   [](MainWindow& w) {
                       return QString::number(w.compactRows()) + QStringLiteral(" ") +
                              QString::number(w.list()->verticalHeader()->defaultSectionSize());
                   }},
        Remembered{"LastFolder",
                   [](MainWindow& w, const orvel::testing::ScratchFolder& scratch) {
                       const fs::path picked = scratch / "picked";
                       fs::create_directories(picked);
                       fs::copy_file(orvel::testing::testAudio("ui", "2ch-44100Hz-16bit-noise.flac"), picked / "one.flac");
                       kestrone_test::onNextModal([&scratch, &picked](QWidget* modal) {
                           auto* dialog = qobject_cast<QFileDialog*>(modal);
                           ASSERT_NE(dialog, nullptr);
                           dialog->setDirectory(QString::fromStdString(scratch.path().string()));
                           dialog->selectFile(QString::fromStdString(picked.string()));
                           static_cast<QDialog*>(dialog)->accept();
                       });
                       QTest::mouseClick(w.button(MainWindow::AddFolder), Qt::LeftButton);
                       ASSERT_EQ(w.queue().entries().size(), 1u);
                   },
                   addFilesFolder}),
    [](const ::testing::TestParamInfo<Remembered>& param) { return std::string(param.param.name); });

// A 1366x768 screen under a 32-unit panel, the window with a 30-unit title bar.
struct RowsCase {
    bool compact;
    int fewest;
    int most;
};

void PrintTo(const RowsCase& row, std::ostream* out) { *out << (row.compact ? "compact" : "default"); }

class CompactRowsTest : public ::testing::TestWithParam<RowsCase> {};

TEST_P(CompactRowsTest, RowsShownAt1366x768)
{
    const orvel::testing::ScratchFolder scratch;
    std::vector<fs::path> files;
    for (int i = 0; i < 20; ++i) {
        files.push_back(scratch.touch("track" + std::to_string(i) + ".flac"));
    }
    std::unique_ptr<MainWindow> window = openWindow();
    const orvel::WindowFit fit = orvel::fitWindowToScreen(MainWindow::kDesignSize, MainWindow::kDesignMinimum,
                                                          QRect(0, 32, 1366, 736), QMargins(0, 30, 0, 0));
    window->setMinimumSize(fit.minimum);
    window->setGeometry(fit.geometry);
    window->setCompactRows(GetParam().compact);
    window->queue().addPaths(files);
    QCoreApplication::processEvents();
    ASSERT_EQ(window->size(), fit.geometry.size());

    const QRect viewport = window->list()->viewport()->rect();
    int shown = 0;
    for (int row = 0; row < window->model()->rowCount(); ++row) {
        shown += viewport.contains(window->list()->visualRect(window->model()->index(row, 0))) ? 1 : 0;
    }
    EXPECT_GE(shown, GetParam().fewest);
    EXPECT_LE(shown, GetParam().most);
    // Everything else keeps its place in the window.
    const QRect client = window->rect();
    for (QWidget* control : {static_cast<QWidget*>(window->compactToggle()), static_cast<QWidget*>(window->filterToggle()),
                             static_cast<QWidget*>(window->details())}) {
        EXPECT_TRUE(client.contains(control->geometry()));
    }
    EXPECT_FALSE(window->compactToggle()->geometry().intersects(window->button(MainWindow::About)->geometry()));
    EXPECT_GE(window->layoutRects().panel.height(), orvel::kMinPanelHeight);
}

INSTANTIATE_TEST_SUITE_P(Layouts, CompactRowsTest,
                         ::testing::Values(RowsCase{false, 4, 4}, RowsCase{true, 12, 99}),
                         [](const ::testing::TestParamInfo<RowsCase>& param) {
                             return std::string(param.param.compact ? "Compact" : "Default");
                         });

} // namespace
