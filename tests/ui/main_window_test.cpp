// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <QDropEvent>
#include <QFileDialog>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTimer>
#include <QUrl>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

#include "analysis/analyze_file.h"
#include "tests/ui/queue_test_support.h"
#include "tests/support/files.h"
#include "tests/support/messages.h"
#include "report/json_report.h"
#include "report/summary_text.h"
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
using kestrone_test::render;
using kestrone_test::onNextModal;
using kestrone_test::waitFor;
using orvel::MainWindow;
namespace theme = orvel::theme;

using orvel::testing::readBytes;

// The colour a verdict word must be listed in.
QColor verdictColour(const QString& status)
{
    if (status == QLatin1String("Possible") || status == QLatin1String("Evidence found")) {
        return QColor(0xFF, 0xC5, 0x70);
    }
    if (status == QLatin1String("No evidence")) {
        return QColor(0x5D, 0xE0, 0xBB);
    }
    return QColor(0x94, 0xA4, 0xB8);
}

class MainWindowTest : public kestrone_test::ShownWindowTest {
protected:
    void runAnalysis()
    {
        QTest::mouseClick(window->button(MainWindow::Analyze), Qt::LeftButton);
        ASSERT_TRUE(window->queue().busy());
        ASSERT_TRUE(waitFor([this] { return !window->queue().busy(); }));
    }
    QString cell(int row, int column) const
    {
        const auto* model = window->list()->model();
        return model->data(model->index(row, column)).toString();
    }
    QRect cellRect(int row, int column) const
    {
        QueueListView* list = window->list();
        const QRect r = list->visualRect(list->model()->index(row, column));
        return r.translated(list->viewport()->mapTo(list, QPoint(0, 0)));
    }
    void clickRow(int row)
    {
        QueueListView* list = window->list();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(list->model()->index(row, 1)).center());
    }
    QRect plotRect() const { return orvel::spectrumPlotRect(window->layoutRects().spectrum); }

    using QueueListView = orvel::QueueListView;
    orvel::testing::ScratchFolder temp;
};

TEST_F(MainWindowTest, ARunOverRealFilesEndsWithColouredVerdictRows)
{
    queueTestFiles();
    ASSERT_EQ(window->list()->model()->rowCount(), 4);
    EXPECT_EQ(cell(0, 0), QStringLiteral("2ch-44100Hz-16bit-noise.flac"));
    EXPECT_EQ(cell(0, 1), QStringLiteral("\u2014"));
    EXPECT_EQ(cell(3, orvel::kStateColumn), QStringLiteral("Queued"));

    QTest::mouseClick(window->button(MainWindow::Analyze), Qt::LeftButton);
    ASSERT_TRUE(window->queue().busy());
    EXPECT_TRUE(window->button(MainWindow::Stop)->isEnabled());
    EXPECT_FALSE(window->button(MainWindow::Analyze)->isEnabled());
    EXPECT_FALSE(window->button(MainWindow::AddFiles)->isEnabled());
    EXPECT_FALSE(window->button(MainWindow::ExportReport)->isEnabled());
    ASSERT_TRUE(waitFor([this] { return !window->queue().busy(); }));

    EXPECT_EQ(cell(0, orvel::kStateColumn), QStringLiteral("Complete"));
    EXPECT_EQ(cell(1, orvel::kStateColumn), QStringLiteral("Complete"));
    EXPECT_EQ(cell(2, orvel::kStateColumn), QStringLiteral("Complete"));
    EXPECT_EQ(cell(3, orvel::kStateColumn), QStringLiteral("Error"));
    EXPECT_EQ(cell(0, 2), QStringLiteral("No evidence"));
    EXPECT_EQ(cell(1, 2), QStringLiteral("Evidence found"));
    EXPECT_EQ(cell(2, 2), QStringLiteral("Inconclusive"));
    EXPECT_EQ(cell(2, 4), QStringLiteral("Not applicable"));
    EXPECT_EQ(window->list()->model()->headerData(orvel::kConclusionColumn, Qt::Horizontal).toString(), QStringLiteral("CONCLUSION"));
    EXPECT_EQ(cell(1, orvel::kConclusionColumn), QStringLiteral("Padded from 16-bit, possibly resampled from 44.1 kHz"));
    EXPECT_EQ(cell(2, orvel::kConclusionColumn), QStringLiteral("Lossy file (MP3)"));
    EXPECT_EQ(window->progressBar()->value(), 100);
    EXPECT_EQ(window->queue().statusText(), "4 files: 1 no trace \u00B7 1 padded from 16-bit \u00B7 1 lossy file (1 MP3) \u00B7 1 not analyzed \u00B7 AAC-SIN is experimental");

    const auto* model = window->list()->model();
    for (int row = 0; row < 3; ++row) {
        for (int column = orvel::kConclusionColumn + 1; column < orvel::kStateColumn; ++column) {
            const QString status = cell(row, column);
            ASSERT_FALSE(status.isEmpty());
            EXPECT_EQ(model->data(model->index(row, column), Qt::ForegroundRole).value<QColor>(), verdictColour(status))
                << row << "," << column << " " << status.toStdString();
        }
    }
    EXPECT_EQ(model->data(model->index(3, orvel::kStateColumn), Qt::ForegroundRole).value<QColor>(), theme::kError);
    EXPECT_EQ(model->data(model->index(3, 2)).toString(), QString());

    // What is painted carries those colours.
    const QImage list = render(*window->list());
    EXPECT_GT(countColour(list, cellRect(0, 2), theme::kAccent), 0);
    EXPECT_EQ(countColour(list, cellRect(0, 2), theme::kEvidence), 0);
    EXPECT_GT(countColour(list, cellRect(1, 2), theme::kEvidence), 0);
    EXPECT_GT(countColour(list, cellRect(1, orvel::kConclusionColumn), theme::kEvidence), 0);
    EXPECT_GT(countColour(list, cellRect(3, orvel::kStateColumn), theme::kError), 0);
    EXPECT_EQ(countColour(list, cellRect(2, orvel::kStateColumn), theme::kError), 0);

    EXPECT_TRUE(window->button(MainWindow::Analyze)->isEnabled()) << "the failed file is pending";
    EXPECT_TRUE(window->button(MainWindow::ExportReport)->isEnabled());
    EXPECT_FALSE(window->button(MainWindow::Stop)->isEnabled());
}

TEST_F(MainWindowTest, SelectingARowShowsItsSummaryAndSpectrum)
{
    queueTestFiles();
    runAnalysis();
    // Nothing drawn in the plot before a file with a spectrum is selected.
    clickRow(3);
    ASSERT_EQ(window->queue().selectedIndex(), 3);
    EXPECT_EQ(window->panelTitle(), QStringLiteral("not-audio.txt"));
    EXPECT_EQ(countColour(render(*window), plotRect(), theme::kAccent), 0) << "a failed file has no curve";
    EXPECT_TRUE(window->details()->toPlainText().startsWith(QStringLiteral("Analysis could not complete\n\nUnsupported format")));

    clickRow(1);
    ASSERT_EQ(window->queue().selectedIndex(), 1);
    EXPECT_EQ(window->panelTitle(), QStringLiteral("2ch-48000Hz-16in24-padded.flac"));
    const QString details = window->details()->toPlainText();
    QString expected = theme::toQString(orvel::buildSummaryText(*window->queue().entries()[1].result, true));
    expected.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    EXPECT_EQ(details, expected);
    // The answer first, then why and what it means, then the facts and the four blocks.
    const QStringList paragraphs = details.split(QStringLiteral("\n\n"));
    ASSERT_GE(paragraphs.size(), 3);
    EXPECT_TRUE(paragraphs[0].startsWith(QStringLiteral("CONCLUSION / Padded from 16-bit, possibly resampled from 44.1 kHz\n"))) << details.toStdString();
    EXPECT_TRUE(paragraphs[0].contains(QStringLiteral("16-bit grid"))) << details.toStdString();
    EXPECT_TRUE(paragraphs[1].startsWith(QStringLiteral("FLAC  \u00B7  48.000 kHz  \u00B7  24 bit  \u00B7  2 ch\n")));
    EXPECT_TRUE(paragraphs[2].startsWith(QStringLiteral("UPSCALING / Evidence found\n")));

    const QImage shot = render(*window);
    EXPECT_GT(countColour(shot, plotRect(), theme::kAccent), plotRect().width() / 2) << "the curve spans the plot";
    EXPECT_GT(countColour(shot, plotRect(), theme::kGrid), 4 * plotRect().width() / 2) << "the grid lines";
}

TEST_F(MainWindowTest, TheOriginColumnAndTheCutoffMarkerShowAnMp3Transcode)
{
    // A lame 128 kb/s transcode stored as FLAC, and the genuine file it was made from.
    window->queue().addPaths({orvel::testing::testAudio("origin", "mp3-b128-band.flac"),
                              orvel::testing::testAudio("origin", "genuine-band-44100.flac")});
    runAnalysis();
    const auto* model = window->list()->model();
    const int origin = orvel::kStateColumn - 1;
    EXPECT_EQ(model->headerData(origin, Qt::Horizontal).toString(), QStringLiteral("ORIGIN"));
    EXPECT_EQ(cell(0, origin), QStringLiteral("Evidence found"));
    EXPECT_EQ(cell(1, origin), QStringLiteral("No evidence"));
    EXPECT_EQ(cell(0, orvel::kConclusionColumn), QStringLiteral("Likely MP3 source"));
    EXPECT_EQ(cell(1, orvel::kConclusionColumn), QStringLiteral("No trace found"));
    const QImage list = render(*window->list());
    EXPECT_GT(countColour(list, cellRect(0, origin), theme::kEvidence), 0);
    EXPECT_GT(countColour(list, cellRect(1, origin), theme::kAccent), 0);
    EXPECT_EQ(countColour(list, cellRect(1, origin), theme::kEvidence), 0);

    clickRow(0);
    const orvel::FileReport& mp3 = *window->queue().entries()[0].result;
    EXPECT_TRUE(window->details()->toPlainText().startsWith(
        QStringLiteral("CONCLUSION / Likely MP3 source\nThe audio still carries the frame grid that MP3 encoding leaves.")))
        << window->details()->toPlainText().toStdString();
    EXPECT_NE(window->details()->toPlainText().indexOf(QStringLiteral("\n\nORIGIN / Evidence found\nMP3 frame grid\n")), -1)
        << window->details()->toPlainText().toStdString();
    ASSERT_TRUE(mp3.originFacts.cutoffKhz.has_value());
    const QRect view = window->layoutRects().spectrum;
    const QRect plot = plotRect();
    const std::optional<orvel::SpectrumCutoffMark> mark = orvel::spectrumCutoffMark(mp3, view, plot);
    ASSERT_TRUE(mark.has_value());
    EXPECT_EQ(mark->label, QStringLiteral("Lowpass %1 kHz").arg(*mp3.originFacts.cutoffKhz, 0, 'f', 1));
    // 16.9 kHz of 22.05: three quarters of the way across.
    EXPECT_NEAR(mark->x, plot.left() + *mp3.originFacts.cutoffKhz / 22.05 * plot.width(), 1.0);
    const QImage shot = render(*window);
    const QRect line(mark->x, plot.top(), 1, plot.height());
    EXPECT_GT(countColour(shot, line, theme::kEvidence), plot.height() / 3) << "a dashed line down the plot";
    EXPECT_GT(countColour(shot, mark->labelBox, theme::kEvidence), 4) << "with its value beside it";
    EXPECT_TRUE(view.contains(mark->labelBox));

    // The genuine file's plot carries no finding's marker.
    clickRow(1);
    EXPECT_EQ(countColour(render(*window), plot, theme::kEvidence), 0);
}

TEST_F(MainWindowTest, AnEmptyWindowShowsTheDropHintTaglineAndPlaceholder)
{
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Kestrone \u2014 Lossless audio inspector"));
    EXPECT_EQ(window->minimumSize(), QSize(1060, 750));
    EXPECT_EQ(window->panelTitle(), QStringLiteral("Lossless audio inspector"));
    EXPECT_EQ(window->details()->toPlainText(), theme::toQString(orvel::kIntroductionText).replace(
                                                    QStringLiteral("\r\n"), QStringLiteral("\n")));
    const QImage shot = render(*window);
    EXPECT_EQ(countColour(shot, plotRect(), theme::kAccent), 0);
    EXPECT_GT(countColour(shot, plotRect(), theme::kSecondaryText), 0) << "the placeholder text";
    EXPECT_GT(countColour(shot, window->layoutRects().list, theme::kSecondaryText), 0) << "the drop hint";
    EXPECT_GT(countColour(shot, QRect(28, 22, 572, 40), theme::kAccent), 100) << "the wordmark";
    // A disabled Analyze button has the idle face; enabled, it turns accent.
    const QRect analyze = window->layoutRects().buttons[MainWindow::Analyze];
    EXPECT_EQ(shot.pixelColor(analyze.topLeft() + QPoint(2, 2)), theme::kPanelBackground);
    EXPECT_EQ(window->queue().statusText(), "Ready");
    const QImage emptyList = render(*window->list());
    EXPECT_EQ(emptyList.pixelColor(4, 4), theme::kHeader);
    EXPECT_EQ(emptyList.pixelColor(emptyList.width() - 2, 4), theme::kHeader) << "the header runs the full width";
    EXPECT_EQ(emptyList.pixelColor(4, emptyList.height() - 4), theme::kPanelBackground);

    window->queue().addPaths({orvel::testing::testAudio("ui", "2ch-44100Hz-16bit-noise.flac")});
    const QImage queued = render(*window);
    EXPECT_EQ(queued.pixelColor(analyze.topLeft() + QPoint(2, 2)), theme::kAccent);
    const QImage list = render(*window->list());
    EXPECT_EQ(countColour(list, QRect(0, cellRect(0, 0).bottom() + 1, list.width(), 200), theme::kSecondaryText), 0)
        << "no drop hint once something is queued";
    EXPECT_EQ(window->queue().statusText(), "1 file \u00B7 Ready to analyze");
    EXPECT_EQ(window->panelTitle(), QStringLiteral("2ch-44100Hz-16bit-noise.flac")) << "the first row is selected";
}

TEST_F(MainWindowTest, LayoutFollowsTheDesignArithmetic)
{
    window->resize(1320, 900);
    QCoreApplication::processEvents();
    const int x[] = {28, 164, 300, 456, 544, 632, 784};
    const int w[] = {126, 126, 146, 78, 78, 142, 78};
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(window->button(static_cast<MainWindow::Command>(i))->geometry(), QRect(x[i], 105, w[i], 38)) << i;
    }
    EXPECT_EQ(window->list()->geometry(), QRect(28, 162, 1264, 294));
    EXPECT_EQ(window->list()->model()->columnCount(), 7) << "FILE, CONCLUSION, four checks, STATE";
    EXPECT_EQ(window->list()->columnWidth(0), 316);
    EXPECT_EQ(window->list()->columnWidth(1), 252);
    for (int column = 2; column < 7; ++column) {
        EXPECT_EQ(window->list()->columnWidth(column), 138);
    }
    EXPECT_EQ(window->layoutRects().panel, QRect(28, 494, 1264, 354));
    EXPECT_EQ(window->details()->geometry(), QRect(46, 538, 641, 294));
    EXPECT_EQ(window->layoutRects().spectrum, QRect(721, 510, 551, 322));
    EXPECT_EQ(window->progressBar()->geometry(), QRect(1112, 869, 180, 13));

    // A very short window keeps 150 for the list and 80 for the details.
    const orvel::MainLayout shortLayout = orvel::computeMainLayout(1060, 300);
    EXPECT_EQ(shortLayout.list.height(), 150);
    EXPECT_EQ(shortLayout.details.height(), 80);
}

TEST_F(MainWindowTest, ButtonsAreLabelledAndAPressedButtonTakesThePressedFace)
{
    const char* captions[] = {"\uFF0B  Add files", "Add folder", "Analyze queue", "Stop", "Clear", "Export report", "About"};
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(window->button(static_cast<MainWindow::Command>(i))->text(), QString::fromUtf8(captions[i]));
    }
    orvel::CommandButton* about = window->button(MainWindow::About);
    EXPECT_EQ(render(*about).pixelColor(2, 2), theme::kPanelBackground);
    about->setDown(true);
    EXPECT_EQ(render(*about).pixelColor(2, 2), theme::kPressed);
    about->setDown(false);
    EXPECT_GT(countColour(render(*window->button(MainWindow::Stop)), window->button(MainWindow::Stop)->rect(),
                          theme::kDisabledText),
              0)
        << "a disabled caption";
}

TEST_F(MainWindowTest, ClosingDuringARunIsRefusedWithTheStatusText)
{
    queueTestFiles();
    QTest::mouseClick(window->button(MainWindow::Analyze), Qt::LeftButton);
    ASSERT_TRUE(window->queue().busy());

    EXPECT_FALSE(window->close());
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->queue().statusText(), "Stopping safely\u2026 The window closes when analysis has stopped.");
    ASSERT_TRUE(waitFor([this] { return !window->queue().busy(); }));
    EXPECT_EQ(window->queue().statusText().substr(0, 8), "4 files:");
    EXPECT_NE(window->queue().statusText().find("\u00B7 Stopped"), std::string::npos);

    EXPECT_TRUE(window->close());
    EXPECT_FALSE(window->isVisible());
}

TEST_F(MainWindowTest, DroppedItemsAreQueuedUnlessARunIsGoingOn)
{
    // As the platform delivers a drop: enter (which picks the target), then drop.
    auto drop = [](QWidget* target, const QList<QUrl>& urls) {
        QMimeData mime;
        mime.setUrls(urls);
        QDragEnterEvent enter(QPoint(40, 40), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &enter);
        QDropEvent event(QPointF(40, 40), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &event);
    };
    const fs::path folder = temp.path() / "dropped";
    fs::create_directories(folder);
    fs::copy_file(orvel::testing::testAudio("ui", "2ch-44100Hz-16bit-noise.flac"), folder / "one.flac");
    fs::copy_file(orvel::testing::testAudio("ui", "2ch-44100Hz-128k.mp3"), folder / "two.mp3");
    const QString single = QString::fromStdString(orvel::testing::testAudio("ui", "2ch-44100Hz-16bit-noise.flac").string());

    drop(window.get(), {QUrl::fromLocalFile(QString::fromStdString(folder.string()))});
    EXPECT_EQ(window->queue().entries().size(), 2u);
    drop(window->list()->viewport(), {QUrl::fromLocalFile(single), QUrl::fromLocalFile(single)});
    ASSERT_EQ(window->queue().entries().size(), 3u);
    EXPECT_EQ(window->queue().entries()[2].path, orvel::testing::testAudio("ui", "2ch-44100Hz-16bit-noise.flac"));

    QTest::mouseClick(window->button(MainWindow::Analyze), Qt::LeftButton);
    ASSERT_TRUE(window->queue().busy());
    drop(window.get(), {QUrl::fromLocalFile(QString::fromStdString(orvel::testing::testAudio("ui", "2ch-44100Hz-128k.mp3").string()))});
    EXPECT_EQ(window->queue().entries().size(), 3u) << "a drop during a run is discarded";
}

TEST_F(MainWindowTest, FileDialogsOfferAudioFilesAndSeveralFolders)
{
    QString title;
    QStringList filters;
    onNextModal([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        title = dialog->windowTitle();
        filters = dialog->nameFilters();
        dialog->reject();
    });
    QTest::mouseClick(window->button(MainWindow::AddFiles), Qt::LeftButton);
    EXPECT_EQ(title, QStringLiteral("Add audio files"));
    EXPECT_EQ(filters, (QStringList{QStringLiteral("Audio files (*.flac *.wav *.aif *.aiff *.aifc *.m4a *.alac *.aac *.mp3 *.wv *.ape *.tta *.tak *.ogg *.oga *.opus *.wma *.mka *.caf)"),
                                    QStringLiteral("All files (*)")}));
    EXPECT_TRUE(window->queue().entries().empty()) << "cancelled: nothing added";

    const fs::path folder = temp.path() / "picked";
    fs::create_directories(folder / "inner");
    fs::copy_file(orvel::testing::testAudio("ui", "2ch-44100Hz-16bit-noise.flac"), folder / "inner" / "one.flac");
    QAbstractItemView::SelectionMode mode = QAbstractItemView::NoSelection;
    onNextModal([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        title = dialog->windowTitle();
        if (auto* view = dialog->findChild<QListView*>(QStringLiteral("listView"))) {
            mode = view->selectionMode();
        }
        dialog->setDirectory(QString::fromStdString(temp.path().string()));
        dialog->selectFile(QString::fromStdString(folder.string()));
        static_cast<QDialog*>(dialog)->accept();
    });
    QTest::mouseClick(window->button(MainWindow::AddFolder), Qt::LeftButton);
    EXPECT_EQ(title, QStringLiteral("Add audio folders (including subfolders)"));
    EXPECT_EQ(mode, QAbstractItemView::ExtendedSelection);
    ASSERT_EQ(window->queue().entries().size(), 1u);
    EXPECT_EQ(window->queue().entries()[0].path, (folder / "inner" / "one.flac"));
}

class ExportTest : public MainWindowTest {
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        queueTestFiles();
        runAnalysis();
    }
};

TEST_F(ExportTest, JsonExportIsExactlyTheReportOfAllResults)
{
    const fs::path target = temp.path() / "report.txt";
    window->saveReport(target, 1);
    const std::string bytes = readBytes(target);
    EXPECT_EQ(bytes, orvel::buildJsonReport(window->queue().exportRecords()));
    ASSERT_FALSE(bytes.empty());
    EXPECT_EQ(bytes.front(), '{');
    EXPECT_EQ(window->queue().statusText(), "Report saved: " + target.string());
}

TEST_F(ExportTest, TheSaveDialogOffersBothTypesAndTheChosenTypeDecidesTheFormat)
{
    QStringList filters;
    QString proposed;
    QString chosen;
    onNextModal([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        filters = dialog->nameFilters();
        if (auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) {
            proposed = name->text();
        }
        dialog->setDirectory(QString::fromStdString(temp.path().string()));
        dialog->selectNameFilter(QStringLiteral("Text report (*.txt)"));
        static_cast<QDialog*>(dialog)->accept();
        chosen = dialog->selectedFiles().value(0);
    });
    QTest::mouseClick(window->button(MainWindow::ExportReport), Qt::LeftButton);

    EXPECT_EQ(filters, (QStringList{QStringLiteral("JSON report (*.json)"), QStringLiteral("Text report (*.txt)"),
                                    QStringLiteral("CSV table (*.csv)"), QStringLiteral("JSON Lines (*.jsonl)"),
                                    QStringLiteral("HTML page (*.html)")}))
        << "JSON first, the default";
    EXPECT_EQ(proposed, QStringLiteral("Kestrone-report.json"));
    ASSERT_FALSE(chosen.isEmpty());
    const fs::path target = chosen.toStdString();
    EXPECT_EQ(target.parent_path(), temp.path());
    const std::string bytes = readBytes(target);
    ASSERT_GE(bytes.size(), 3u);
    EXPECT_EQ(bytes.substr(0, 3), "\xEF\xBB\xBF") << "the text report";
    EXPECT_NE(bytes.find("\r\n" + std::string(40, '-') + "\r\n"), std::string::npos);
    EXPECT_EQ(window->queue().statusText(), "Report saved: " + target.string());
}

TEST_F(ExportTest, CancellingTheSaveDialogChangesNothing)
{
    const std::string before = window->queue().statusText();
    onNextModal([](QWidget* modal) { static_cast<QDialog*>(modal)->reject(); });
    QTest::mouseClick(window->button(MainWindow::ExportReport), Qt::LeftButton);
    EXPECT_EQ(window->queue().statusText(), before);
    EXPECT_TRUE(fs::is_empty(temp.path()));
}

TEST_F(ExportTest, AFailedExportShowsTheMessageBoxAndKeepsTheStatus)
{
    const std::string before = window->queue().statusText();
    QString title;
    QString text;
    QString informative;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    onNextModal([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        title = box->windowTitle();
        text = box->text();
        informative = box->informativeText();
        icon = box->icon();
        box->accept();
    });
    window->saveReport(temp.path() / "missing" / "report.json", 1);
    EXPECT_EQ(title, QStringLiteral("Cannot save report"));
    // One line names the file and the system's reason; nothing repeats it.
    const fs::path target = temp.path() / "missing" / "report.json";
    EXPECT_EQ(text.toStdString(), orvel::testing::cannotCreateReportMessage(target.native(), "No such file or directory"));
    EXPECT_EQ(informative, QString());
    EXPECT_EQ(icon, QMessageBox::Critical);
    EXPECT_EQ(window->queue().statusText(), before);
}

TEST_F(ExportTest, AnExportThatResolvesToAnAnalysedFileIsRefusedAndTheAudioKept)
{
    ASSERT_FALSE(window->queue().entries().empty());
    const fs::path audio = window->queue().entries()[0].path;
    const std::string before = readBytes(audio);
    const fs::path link = temp.path() / "report.json";
    fs::create_symlink(audio, link);
    QString text;
    onNextModal([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        text = box->text();
        box->accept();
    });
    window->saveReport(link, 1);
    EXPECT_TRUE(text.startsWith(QStringLiteral("Refusing to write"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QString::fromStdString(audio.filename().string()))) << text.toStdString();
    EXPECT_EQ(readBytes(audio), before);
    EXPECT_TRUE(fs::is_symlink(link));
}

} // namespace
