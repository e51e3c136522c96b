// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QDropEvent>
#include <QFileDialog>
#include <QHeaderView>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QScreen>
#include <QScrollBar>
#include <QTimer>
#include <QUrl>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "tests/support/files.h"
#include "tests/support/messages.h"
#include "tests/ui/queue_test_support.h"
#include "ui/about_dialog.h"
#include "ui/command_button.h"
#include "ui/main_window.h"
#include "ui/queue_order.h"
#include "ui/queue_list_view.h"
#include "ui/spectrum_view.h"
#include "ui/theme.h"
#include "tests/ui/window_fixture.h"
#include "tests/ui/window_test_support.h"

namespace {

namespace fs = std::filesystem;
using kestrone_test::countColour;
using kestrone_test::onNextModal;
using kestrone_test::render;
using kestrone_test::UrlCatcher;
using kestrone_test::waitFor;
using orvel::MainWindow;
namespace theme = orvel::theme;

class WindowUseTest : public kestrone_test::ShownWindowTest {
protected:
    void SetUp() override
    {
        ShownWindowTest::SetUp();
        if (HasFatalFailure()) {
            return;
        }
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }
    void runAnalysis()
    {
        window->queue().startAnalysis();
        ASSERT_TRUE(window->queue().busy());
        ASSERT_TRUE(waitFor([this] { return !window->queue().busy(); }));
    }
    QString cell(int row, int column) const
    {
        const auto* model = window->list()->model();
        return model->data(model->index(row, column)).toString();
    }
    QStringList column(int column) const
    {
        QStringList cells;
        for (int row = 0; row < window->list()->model()->rowCount(); ++row) {
            cells << cell(row, column);
        }
        return cells;
    }
    void clickHeader(int section)
    {
        QHeaderView* header = window->list()->horizontalHeader();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(section) + 20, header->height() / 2));
    }
    QWidget* focused() const { return QApplication::focusWidget(); }
    void key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTest::keyClick(focused() ? focused() : window.get(), static_cast<Qt::Key>(key), modifiers);
    }
    orvel::CommandButton* button(MainWindow::Command command) const { return window->button(command); }

    orvel::testing::ScratchFolder temp;
};

TEST_F(WindowUseTest, TabAndShiftTabWalkTheControlsAndLeaveTheList)
{
    queueTestFiles();
    ASSERT_EQ(focused(), window->list()) << "adding files focuses the list";
    ASSERT_EQ(window->queue().selectedIndex(), 0);
    key(Qt::Key_Tab);
    EXPECT_EQ(focused(), window->details()) << "Tab leaves the list";
    EXPECT_EQ(window->queue().selectedIndex(), 0) << "and selects nothing else";
    key(Qt::Key_Tab);
    EXPECT_EQ(focused(), window->spectrumModeButton(MainWindow::SpectrumCurve)) << "then the spectrum's view switch";
    key(Qt::Key_Tab);
    EXPECT_EQ(focused(), window->spectrumModeButton(MainWindow::SpectrogramPicture));
    key(Qt::Key_Tab);
    EXPECT_EQ(focused(), button(MainWindow::AddFiles)) << "and wraps to the first control";

    // Stop, Export report and Save picture (nothing analysed) are disabled: the walk passes over them.
    const std::vector<QWidget*> forward{button(MainWindow::AddFolder),
                                        button(MainWindow::Analyze),
                                        button(MainWindow::Clear),
                                        button(MainWindow::About),
                                        window->filterToggle(),
                                        window->compactToggle(),
                                        window->list(),
                                        window->details(),
                                        window->spectrumModeButton(MainWindow::SpectrumCurve),
                                        window->spectrumModeButton(MainWindow::SpectrogramPicture),
                                        button(MainWindow::AddFiles)};
    for (std::size_t i = 0; i < forward.size(); ++i) {
        key(Qt::Key_Tab);
        EXPECT_EQ(focused(), forward[i]) << "step " << i;
    }
    for (std::size_t i = forward.size() - 1; i-- > 0;) {
        key(Qt::Key_Backtab, Qt::ShiftModifier);
        EXPECT_EQ(focused(), forward[i]) << "back to " << i;
    }
}

TEST_F(WindowUseTest, HomeAndEndSelectTheFirstAndLastFileAsShown)
{
    queueTestFiles();
    window->list()->setFocus();
    key(Qt::Key_End);
    EXPECT_EQ(window->queue().selectedIndex(), 3);
    key(Qt::Key_Home);
    EXPECT_EQ(window->queue().selectedIndex(), 0);
    // Sorted by name, descending: the last row shown is the first name.
    clickHeader(0);
    clickHeader(0);
    key(Qt::Key_End);
    EXPECT_EQ(window->queue().selectedIndex(), 2) << "2ch-44100Hz-128k.mp3 sorts first by name";
    key(Qt::Key_Home);
    EXPECT_EQ(window->queue().selectedIndex(), 3) << "not-audio.txt sorts last by name";
}

TEST_F(WindowUseTest, FocusStaysWithTheCommandsAfterAnalyzeAndClear)
{
    queueTestFiles();
    button(MainWindow::Analyze)->setFocus(Qt::TabFocusReason);
    key(Qt::Key_Space);
    ASSERT_TRUE(window->queue().busy());
    EXPECT_EQ(focused(), button(MainWindow::Stop)) << "not About, where Space would open it";
    ASSERT_TRUE(waitFor([this] { return !window->queue().busy(); }));
    EXPECT_EQ(focused(), button(MainWindow::Analyze)) << "the failed file is pending again";

    button(MainWindow::Clear)->setFocus(Qt::TabFocusReason);
    key(Qt::Key_Space);
    EXPECT_TRUE(window->queue().entries().empty());
    EXPECT_EQ(focused(), button(MainWindow::AddFiles));
}

TEST_F(WindowUseTest, HeaderClicksSortByNameVerdictAndStateAndTheSelectionStays)
{
    queueTestFiles();
    runAnalysis();
    window->list()->selectRow(2);
    ASSERT_EQ(window->queue().selectedIndex(), 2);

    clickHeader(2);
    EXPECT_EQ(column(2), (QStringList{"Evidence found", "No evidence", "Inconclusive", ""}))
        << "findings first, the failed file last";
    EXPECT_EQ(cell(0, 0), QStringLiteral("2ch-48000Hz-16in24-padded.flac"));
    EXPECT_EQ(window->queue().selectedIndex(), 2) << "the selected file stays selected";
    EXPECT_EQ(window->list()->selectionModel()->selectedRows().value(0).row(), window->model()->rowOf(2));
    clickHeader(2);
    EXPECT_EQ(cell(3, 0), QStringLiteral("2ch-48000Hz-16in24-padded.flac")) << "the second click reverses";

    // CONCLUSION: likely findings, then lossy files, clean files, and the failed one.
    clickHeader(orvel::kConclusionColumn);
    const QStringList conclusions = column(orvel::kConclusionColumn);
    ASSERT_EQ(conclusions.size(), 4);
    EXPECT_EQ(conclusions.mid(0, 3), (QStringList{"Padded from 16-bit, possibly resampled from 44.1 kHz", "Lossy file (MP3)", "No trace found"}));
    EXPECT_TRUE(conclusions[3].startsWith(QStringLiteral("Not analyzed: "))) << conclusions[3].toStdString();

    clickHeader(0);
    EXPECT_EQ(column(0), (QStringList{"2ch-44100Hz-128k.mp3", "2ch-44100Hz-16bit-noise.flac",
                                      "2ch-48000Hz-16in24-padded.flac", "not-audio.txt"}));
    const QHeaderView* h = window->list()->horizontalHeader();
    const QRect stateHeader(h->sectionViewportPosition(orvel::kStateColumn), 0, h->sectionSize(orvel::kStateColumn), h->height());
    const int unmarked = countColour(render(*window->list()->horizontalHeader()), stateHeader, theme::kSecondaryText);
    clickHeader(orvel::kStateColumn);
    EXPECT_EQ(column(orvel::kStateColumn), (QStringList{"Complete", "Complete", "Complete", "Error"}));
    EXPECT_GT(countColour(render(*window->list()->horizontalHeader()), stateHeader, theme::kSecondaryText), unmarked)
        << "the arrow is painted into the sorted column's header";
}

TEST_F(WindowUseTest, TheFindingsToggleShowsOnlyFilesWithFindings)
{
    queueTestFiles();
    runAnalysis();
    EXPECT_NE(window->queue().statusText().find("4 files: 1 no trace"), std::string::npos)
        << window->queue().statusText();
    EXPECT_TRUE(window->filterToggle()->toolTip().contains(QStringLiteral("Only files with findings")));
    window->list()->selectRow(0);

    QTest::mouseClick(window->filterToggle(), Qt::LeftButton);
    EXPECT_TRUE(window->filterToggle()->isChecked());
    ASSERT_EQ(window->list()->model()->rowCount(), 1);
    EXPECT_EQ(cell(0, 0), QStringLiteral("2ch-48000Hz-16in24-padded.flac"));
    EXPECT_EQ(window->queue().selectedIndex(), -1) << "the hidden file is no longer shown in the panel";
    EXPECT_EQ(render(*window->filterToggle()).pixelColor(2, 2), theme::kPressed) << "the toggle looks on";

    QTest::mouseClick(window->filterToggle(), Qt::LeftButton);
    EXPECT_EQ(window->list()->model()->rowCount(), 4);
}

TEST_F(WindowUseTest, TheRowMenuActsOnTheFileUnderThePointer)
{
    queueTestFiles();
    orvel::QueueListView* list = window->list();
    const QPoint at = list->visualRect(list->model()->index(2, 1)).center();
    QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, at, list->viewport()->mapToGlobal(at));
    QCoreApplication::sendEvent(list->viewport(), &menuEvent);
    ASSERT_TRUE(waitFor([this] { return window->rowMenu()->isVisible(); }, 5000));
    EXPECT_EQ(window->queue().selectedIndex(), 2) << "the row under the pointer is selected";
    QStringList texts;
    for (const QAction* action : window->rowMenu()->actions()) {
        texts << action->text();
        EXPECT_TRUE(action->isEnabled()) << action->text().toStdString();
    }
    EXPECT_EQ(texts, (QStringList{"Copy full path", "Open containing folder", "Remove from queue", "Re-analyze",
                                  "Show in evidence panel"}));
    window->rowMenu()->close();
    // The offscreen platform leaves no window active after a popup.
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));

    const fs::path path = orvel::testing::testAudio("ui", "2ch-44100Hz-128k.mp3");
    window->rowAction(MainWindow::CopyPath)->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QString::fromStdString(path.string()));

    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &catcher, "open");
    window->rowAction(MainWindow::OpenFolder)->trigger();
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    ASSERT_EQ(catcher.opened.size(), 1);
    EXPECT_EQ(catcher.opened[0].toLocalFile(), QString::fromStdString(path.parent_path().string()));

    window->rowAction(MainWindow::ShowInPanel)->trigger();
    EXPECT_EQ(focused(), window->details());
    EXPECT_EQ(window->panelTitle(), QStringLiteral("2ch-44100Hz-128k.mp3"));

    window->rowAction(MainWindow::Reanalyze)->trigger();
    ASSERT_TRUE(window->queue().busy());
    EXPECT_FALSE(window->rowAction(MainWindow::RemoveFromQueue)->isEnabled()) << "not during a run";
    ASSERT_TRUE(waitFor([this] { return !window->queue().busy(); }));
    EXPECT_EQ(cell(2, orvel::kStateColumn), QStringLiteral("Complete"));
    EXPECT_EQ(cell(0, orvel::kStateColumn), QStringLiteral("Queued")) << "only the chosen file was analysed";

    // In the list, Ctrl+C copies the full path and Delete removes the selected file.
    list->setFocus();
    QGuiApplication::clipboard()->clear();
    key(Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QString::fromStdString(path.string()));
    key(Qt::Key_Delete);
    ASSERT_EQ(window->queue().entries().size(), 3u);
    EXPECT_EQ(window->list()->model()->rowCount(), 3);
    EXPECT_EQ(cell(2, 0), QStringLiteral("not-audio.txt"));
    EXPECT_EQ(window->queue().selectedIndex(), 2) << "the next file takes the selection";

    // The Menu key opens it for the current row.
    list->setCurrentIndex(list->model()->index(0, 0));
    QContextMenuEvent keyMenu(QContextMenuEvent::Keyboard, QPoint(0, 0), list->mapToGlobal(QPoint(0, 0)));
    QCoreApplication::sendEvent(list, &keyMenu);
    ASSERT_TRUE(waitFor([this] { return window->rowMenu()->isVisible(); }, 5000));
    EXPECT_EQ(window->queue().selectedIndex(), 0);
    window->rowMenu()->close();
}

TEST_F(WindowUseTest, CtrlQQuitsAtOnceWhenIdleAndAsksFirstDuringARun)
{
    queueTestFiles();
    window->queue().startAnalysis();
    ASSERT_TRUE(window->queue().busy());
    QString question;
    onNextModal([&question](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        question = box->text();
        box->button(QMessageBox::No)->click();
    });
    QTest::keyClick(window.get(), Qt::Key_Q, Qt::ControlModifier);
    EXPECT_EQ(question, QStringLiteral("An analysis is running. Stop it and quit?"));
    EXPECT_TRUE(window->isVisible()) << "No keeps the window and the run";
    ASSERT_TRUE(waitFor([this] { return !window->queue().busy(); }));

    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    QTest::keyClick(window.get(), Qt::Key_Q, Qt::ControlModifier);
    EXPECT_FALSE(window->isVisible()) << "idle: closed without a question";
}

TEST_F(WindowUseTest, ShortcutsRunTheCommandsAndTheButtonsNameThem)
{
    const std::pair<MainWindow::Command, QStringList> tips[] = {
        {MainWindow::AddFiles, {"Ctrl+O"}},   {MainWindow::AddFolder, {"Ctrl+Shift+O"}},
        {MainWindow::Analyze, {"F5", "Ctrl+R"}}, {MainWindow::Stop, {"Esc"}},
        {MainWindow::ExportReport, {"Ctrl+S"}}, {MainWindow::About, {"F1"}}};
    for (const auto& [command, keys] : tips) {
        for (const QString& name : keys) {
            EXPECT_TRUE(button(command)->toolTip().contains(name)) << button(command)->toolTip().toStdString();
        }
    }

    // The title of the dialog a key opens (dismissed at once), or empty.
    auto dialogOf = [this](Qt::Key key, Qt::KeyboardModifiers modifiers) {
        QString title;
        bool seen = false;
        onNextModal([&](QWidget* modal) {
            seen = true;
            title = qobject_cast<orvel::AboutDialog*>(modal) ? QStringLiteral("About") : modal->windowTitle();
            static_cast<QDialog*>(modal)->reject();
        });
        QTest::keyClick(window.get(), key, modifiers);
        waitFor([&seen] { return seen; }, 3000);
        window->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
        return title;
    };
    EXPECT_EQ(dialogOf(Qt::Key_O, Qt::ControlModifier), QStringLiteral("Add audio files"));
    EXPECT_EQ(dialogOf(Qt::Key_O, Qt::ControlModifier | Qt::ShiftModifier),
              QStringLiteral("Add audio folders (including subfolders)"));

    queueTestFiles();
    QTest::keyClick(window.get(), Qt::Key_F5);
    ASSERT_TRUE(window->queue().busy());
    QTest::keyClick(window.get(), Qt::Key_Escape);
    EXPECT_TRUE(window->queue().stopRequested());
    ASSERT_TRUE(waitFor([this] { return !window->queue().busy(); }));
    QTest::keyClick(window.get(), Qt::Key_R, Qt::ControlModifier);
    ASSERT_TRUE(window->queue().busy()) << "Ctrl+R analyses too";
    ASSERT_TRUE(waitFor([this] { return !window->queue().busy(); }));

    EXPECT_TRUE(dialogOf(Qt::Key_S, Qt::ControlModifier).isEmpty() == false) << "the save dialog";
    EXPECT_EQ(dialogOf(Qt::Key_F1, Qt::NoModifier), QStringLiteral("About"));
}

TEST_F(WindowUseTest, WhatIsNotQueuedIsSaidInTheStatusLine)
{
    auto drop = [this](const QList<QUrl>& urls) {
        QMimeData mime;
        mime.setUrls(urls);
        QDragEnterEvent enter(QPoint(40, 40), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window.get(), &enter);
        QDropEvent event(QPointF(40, 40), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window.get(), &event);
    };
    const fs::path missing = temp.path() / "gone.flac";
    drop({QUrl::fromLocalFile(QString::fromStdString(missing.string())),
          QUrl::fromLocalFile(QString::fromStdString(orvel::testing::testAudio("ui", "2ch-44100Hz-16bit-noise.flac").string()))});
    EXPECT_EQ(window->queue().entries().size(), 1u);
    EXPECT_EQ(window->queue().noticeText(),
              "1 path not queued: " + missing.string() + ": Cannot read this path: No such file or directory.");
    const QRect status = window->statusRect();
    EXPECT_GT(countColour(render(*window), status, theme::kEvidence), 0) << "the notice is painted";

    window->queue().startAnalysis();
    ASSERT_TRUE(window->queue().busy());
    drop({QUrl::fromLocalFile(QString::fromStdString(orvel::testing::testAudio("ui", "2ch-44100Hz-128k.mp3").string()))});
    EXPECT_EQ(window->queue().entries().size(), 1u) << "refused during a run";
    EXPECT_EQ(window->queue().noticeText(),
              "1 item not queued: analysis is running; add again when it has stopped");
    EXPECT_GT(countColour(render(*window), status, theme::kEvidence), 0);
    ASSERT_TRUE(waitFor([this] { return !window->queue().busy(); }));
    EXPECT_EQ(window->progressBar()->value(), 100);
    drop({QUrl::fromLocalFile(QString::fromStdString(orvel::testing::testAudio("ui", "2ch-44100Hz-128k.mp3").string()))});
    EXPECT_EQ(window->queue().entries().size(), 2u);
    EXPECT_EQ(window->progressBar()->value(), 50) << "the new file is not analyzed yet";
    EXPECT_EQ(countColour(render(*window), status, theme::kEvidence), 0) << "nothing left out";
}

TEST_F(WindowUseTest, ACloseDuringARunClosesTheWindowOnceTheStopIsDone)
{
    queueTestFiles();
    window->queue().startAnalysis();
    ASSERT_TRUE(window->queue().busy());
    EXPECT_FALSE(window->close());
    EXPECT_EQ(window->queue().statusText(), "Stopping safely\u2026 The window closes when analysis has stopped.");
    QCoreApplication::processEvents();
    if (window->queue().busy()) {
        EXPECT_EQ(window->queue().statusText(), "Stopping safely\u2026 The window closes when analysis has stopped.")
            << "the hint stays while the stop goes on";
    }
    ASSERT_TRUE(waitFor([this] { return !window->isVisible(); }));
    EXPECT_FALSE(window->queue().busy());
}

TEST_F(WindowUseTest, TheSplitterGivesTheListMoreRowsAndADoubleClickRestoresIt)
{
    QWidget* handle = window->splitter();
    const int listHeight = window->list()->height();
    EXPECT_EQ(handle->geometry(), QRect(28, 162 + listHeight, window->list()->width(), 38));
    EXPECT_EQ(handle->cursor().shape(), Qt::SplitVCursor);

    const QPoint grip = handle->rect().center();
    QTest::mousePress(handle, Qt::LeftButton, {}, grip);
    QTest::mouseMove(handle, grip + QPoint(0, 120));
    QTest::mouseRelease(handle, Qt::LeftButton, {}, grip + QPoint(0, 120));
    EXPECT_EQ(window->list()->height(), listHeight + 120);
    EXPECT_EQ(window->layoutRects().panel.top(), 162 + listHeight + 120 + 38);
    EXPECT_GE(window->layoutRects().panel.height(), orvel::kMinPanelHeight);

    // Far past the bottom: the panel keeps its least height.
    window->setListHeight(5000);
    EXPECT_EQ(window->layoutRects().panel.height(), orvel::kMinPanelHeight);
    window->setListHeight(0);
    EXPECT_EQ(window->list()->height(), orvel::kMinListHeight);

    QTest::mouseDClick(handle, Qt::LeftButton, {}, handle->rect().center());
    EXPECT_EQ(window->list()->height(), listHeight);
}

TEST_F(WindowUseTest, AVerticalScrollBarBringsNoHorizontalOne)
{
    std::vector<fs::path> files;
    for (int i = 0; i < 30; ++i) {
        std::string name = "f";
        name += std::to_string(i);
        name += ".flac";
        files.push_back(temp.touch(name));
    }
    window->queue().addPaths(files);
    QCoreApplication::processEvents();
    orvel::QueueListView* list = window->list();
    ASSERT_TRUE(list->verticalScrollBar()->isVisible());
    EXPECT_FALSE(list->horizontalScrollBar()->isVisible());
    int total = 0;
    for (int c = 0; c < list->model()->columnCount(); ++c) {
        total += list->columnWidth(c);
    }
    EXPECT_LE(total, list->viewport()->width());
    EXPECT_EQ(list->columnWidth(2), window->layoutRects().columnWidths[2]) << "the verdict columns keep their width";
}

TEST_F(WindowUseTest, HoveringTheSpectrumReadsOutFrequencyAndLevel)
{
    window->queue().addPaths({orvel::testing::testAudio("ui", "2ch-44100Hz-16bit-noise.flac")});
    runAnalysis();
    const QRect view = window->layoutRects().spectrum;
    const QRect plot = orvel::spectrumPlotRect(view);
    const QRect readoutRow = theme::ltrb(view.left() + view.width() / 2, view.top() + 24, view.right(), view.top() + 44);
    EXPECT_EQ(countColour(render(*window), readoutRow, theme::kPrimaryText), 0);
    // The level axis names its unit.
    const QRect unit = theme::ltrb(view.left(), plot.top() - 22, plot.left() - 5, plot.top() - 8);
    EXPECT_GT(countColour(render(*window), unit, theme::kSecondaryText), 0);

    QTest::mouseMove(window.get(), plot.center());
    QCoreApplication::processEvents();
    EXPECT_GT(countColour(render(*window), readoutRow, theme::kPrimaryText), 0) << "the readout is painted";
    QTest::mouseMove(window.get(), QPoint(10, 10));
    QCoreApplication::processEvents();
    EXPECT_EQ(countColour(render(*window), readoutRow, theme::kPrimaryText), 0) << "and gone off the plot";
}

TEST_F(WindowUseTest, AFailedExportNamesTheTargetAndTheReason)
{
    queueTestFiles();
    runAnalysis();
    QString text;
    QString informative;
    onNextModal([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        text = box->text();
        informative = box->informativeText();
        box->accept();
    });
    const fs::path target = temp.path() / "missing" / "report.json";
    window->saveReport(target, 1);
    // The same message as every front end gives, naming the target once.
    EXPECT_EQ(text.toStdString(), orvel::testing::cannotCreateReportMessage(target.string(), "No such file or directory"));
    EXPECT_EQ(informative, QString());
}

// Run on a 1920x1200 screen, a 1366x768 one and a 1920x1080 one at scale 1.5.
TEST(ScreenFit, TheWindowOpensInsideTheAvailableAreaWithEveryControlVisible)
{
    MainWindow window;
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const QScreen* screen = window.screen();
    ASSERT_NE(screen, nullptr);
    const QRect available = screen->availableGeometry();
    const bool scaled = qEnvironmentVariable("QT_SCALE_FACTOR") == QLatin1String("1.5");
    if (scaled) {
        EXPECT_DOUBLE_EQ(window.devicePixelRatioF(), 1.5);
    }
    auto everythingShows = [&window](const char* when) {
        const QRect client = window.rect();
        for (int i = 0; i < 7; ++i) {
            EXPECT_TRUE(client.contains(window.button(static_cast<MainWindow::Command>(i))->geometry())) << when << i;
        }
        EXPECT_TRUE(client.contains(window.filterToggle()->geometry())) << when;
        EXPECT_TRUE(client.contains(window.list()->geometry())) << when;
        EXPECT_TRUE(client.contains(window.details()->geometry())) << when;
        EXPECT_TRUE(client.contains(window.progressBar()->geometry())) << when;
        EXPECT_TRUE(client.contains(window.statusRect())) << when;
        EXPECT_TRUE(client.contains(window.layoutRects().spectrum)) << when;
        EXPECT_FALSE(window.filterToggle()->geometry().intersects(window.button(MainWindow::About)->geometry()));
    };
    EXPECT_TRUE(available.contains(window.frameGeometry())) << "frame within the available area";
    const qreal dpr = window.devicePixelRatioF();
    EXPECT_LE(window.frameGeometry().width() * dpr, screen->geometry().width() * dpr + 0.5);
    EXPECT_LE(window.minimumWidth(), available.width());
    EXPECT_LE(window.minimumHeight(), available.height());
    everythingShows("opened");
    if (available.width() >= 1340 && available.height() >= 940) {
        EXPECT_EQ(window.size(), MainWindow::kDesignSize) << "room enough: the design's size";
        EXPECT_EQ(window.minimumSize(), MainWindow::kDesignMinimum);
    }

    window.showMaximized();
    ASSERT_TRUE(waitFor([&window] { return window.isMaximized(); }, 5000));
    QCoreApplication::processEvents();
    EXPECT_TRUE(available.contains(window.frameGeometry()));
    everythingShows("maximised");
}

TEST(ScreenFit, TheFitCutsSizeAndMinimumToTheAvailableAreaAndCentres)
{
    // 1920x1080 at scale 1.5, with a 30-unit title bar.
    const orvel::WindowFit hidpi = orvel::fitWindowToScreen(QSize(1320, 900), QSize(1060, 750), QRect(0, 0, 1280, 720),
                                                            QMargins(0, 30, 0, 0));
    EXPECT_EQ(hidpi.geometry, QRect(0, 30, 1280, 690));
    EXPECT_EQ(hidpi.minimum, QSize(1060, 690));
    // 1366x768 with a panel of 32 at the top.
    const orvel::WindowFit laptop = orvel::fitWindowToScreen(QSize(1320, 900), QSize(1060, 750), QRect(0, 32, 1366, 736),
                                                             QMargins());
    EXPECT_EQ(laptop.geometry, QRect(23, 32, 1320, 736));
    EXPECT_EQ(laptop.minimum, QSize(1060, 736));
    const orvel::WindowFit desk = orvel::fitWindowToScreen(QSize(1320, 900), QSize(1060, 750), QRect(0, 0, 1920, 1200),
                                                           QMargins(1, 20, 1, 1));
    EXPECT_EQ(desk.geometry, QRect(1 + 299, 20 + 139, 1320, 900));
    EXPECT_EQ(desk.minimum, QSize(1060, 750));
}

} // namespace

