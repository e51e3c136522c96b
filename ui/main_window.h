// SPDX-License-Identifier: MIT
#pragma once

#include <QList>
#include <QUrl>
#include <QWidget>

#include <array>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ui/analysis_queue.h"
#include "ui/main_layout.h"
#include "ui/queue_view.h"
#include "ui/worker_event.h"

class QAction;
class QMenu;
class QPlainTextEdit;
class QProgressBar;

namespace orvel {

class CommandButton;
class QueueListView;
class QueueModel;
class SplitterHandle;
class SpectrogramView;

// The program's one top-level window: seven commands and the findings filter,
// the queue list (sortable by its headers, with a row menu), a splitter, the
// details text, the progress bar and the painted header, evidence panel,
// spectrum and status line. It shows what the AnalysisQueue tells it and
// forwards user actions and worker events to it. It opens within the screen's
// available area, whatever the scale.
class MainWindow : public QWidget, private QueueView {
    Q_OBJECT
public:
    enum Command { AddFiles, AddFolder, Analyze, Stop, Clear, ExportReport, About };
    // What the row menu does to the selected file.
    enum RowAction { CopyPath, OpenFolder, RemoveFromQueue, Reanalyze, ShowInPanel };

    static constexpr QSize kDesignSize{1320, 900};
    static constexpr QSize kDesignMinimum{1060, 750};

    // An empty analyze runs analyzePath; tests put their own.
    explicit MainWindow(AnalyzeFunction analyze = {}, QWidget* parent = nullptr);
    ~MainWindow() override;

    [[nodiscard]] AnalysisQueue& queue() { return *m_queue; }
    [[nodiscard]] CommandButton* button(Command command) const { return m_buttons[command]; }
    [[nodiscard]] QueueListView* list() const { return m_list; }
    [[nodiscard]] QPlainTextEdit* details() const { return m_details; }
    [[nodiscard]] QProgressBar* progressBar() const { return m_progress; }
    [[nodiscard]] const MainLayout& layoutRects() const { return m_layout; }
    [[nodiscard]] QueueModel* model() const { return m_model; }
    [[nodiscard]] CommandButton* filterToggle() const { return m_filter; }
    // Shorter rows and the buttons beside the wordmark: more of the list shows.
    [[nodiscard]] CommandButton* compactToggle() const { return m_compact; }
    void setCompactRows(bool compact);
    [[nodiscard]] bool compactRows() const { return m_compactRows; }
    // Ctrl+Q: closes the window, asking first while an analysis runs.
    [[nodiscard]] QAction* quitAction() const { return m_quit; }
    // Where the next file dialog opens: the folder of what was last chosen in one.
    [[nodiscard]] const QString& lastFolder() const { return m_lastFolder; }
    [[nodiscard]] QWidget* splitter() const;
    // The shortcut of a command (null for Clear, which has none).
    [[nodiscard]] QAction* commandAction(Command command) const { return m_commandActions[command]; }
    [[nodiscard]] QAction* rowAction(RowAction action) const { return m_rowActions[action]; }
    [[nodiscard]] QMenu* rowMenu() const { return m_rowMenu; }
    // Where the status line and the not-queued notice are painted.
    [[nodiscard]] QRect statusRect() const;

    // The list's height as the splitter sets it; -1 returns to the design's share.
    void setListHeight(int height);

    // Adds dropped items, unless a run is going on.
    void addDroppedUrls(const QList<QUrl>& urls);
    // Writes the export to path in the dialog's format index (see kExportTypes):
    // the status line tells of success, a message box of failure.
    void saveReport(const std::filesystem::path& path, int filterIndex);

    // The evidence panel's title: the selected file's name, else the tagline;
    // beside it, dimmer, the whole path of the file's folder (else empty).
    [[nodiscard]] QString panelTitle() const;
    [[nodiscard]] QString panelFolder() const;

    // The spectrum area shows the averaged spectrum or the selected file's
    // spectrogram picture; Spectrum and Spectrogram switch between them.
    enum SpectrumMode { SpectrumCurve, SpectrogramPicture };
    void setSpectrumMode(SpectrumMode mode);
    [[nodiscard]] SpectrumMode spectrumMode() const { return m_spectrumMode; }
    [[nodiscard]] CommandButton* spectrumModeButton(SpectrumMode mode) const { return m_modeButtons[mode]; }
    [[nodiscard]] CommandButton* savePictureButton() const { return m_savePicture; }
    [[nodiscard]] const SpectrogramView& spectrogram() const { return *m_spectrogram; }
    // Writes the selected file's picture (the bytes kestrone-scan --spectrogram
    // writes for it): the status line tells of success, a message box of failure.
    void savePicture(const std::filesystem::path& path);

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    class EventSink;

    void runCommand(Command command);
    void chooseFiles();
    void chooseFolders();
    void exportReport();
    void choosePictureTarget();
    void spectrogramChanged();
    void syncSpectrogram();
    void updatePictureButtons();
    void applyLayout();
    void fitToScreen(const QMargins& frame);
    void createActions();
    void runRowAction(RowAction action);
    void updateRowActions();
    void restoreSelection();
    void showRowMenu(const QPoint& globalPos);
    void quit();
    // The window's size and place, the splitter, the sort, the findings
    // filter, the spectrum view, compact rows and the last folder, kept
    // between runs of the program.
    void restoreSettings();
    void saveSettings() const;
    void rememberFolder(const QString& chosen, bool isFolder);

    // QueueView
    void rowsAppended(int first, int count) override;
    void rowChanged(int row) override;
    void rowsCleared() override;
    void selectRow(int row) override;
    void commandsChanged(const CommandState& commands) override;
    void progressChanged(int percent) override;
    void detailsChanged() override;
    void repaintWindow() override;
    void showAddPathError(const std::string& message) override;
    void closeWindow() override;

    std::unique_ptr<EventSink> m_sink;
    std::unique_ptr<AnalysisQueue> m_queue;
    std::array<CommandButton*, 7> m_buttons{};
    std::array<QAction*, 7> m_commandActions{};
    std::array<QAction*, 5> m_rowActions{};
    QMenu* m_rowMenu = nullptr;
    CommandButton* m_filter = nullptr;
    CommandButton* m_compact = nullptr;
    bool m_compactRows = false;
    QAction* m_quit = nullptr;
    QString m_lastFolder;
    SplitterHandle* m_splitter = nullptr;
    int m_listHeight = -1;
    bool m_fitted = false;
    std::optional<QPoint> m_pointer; // over the spectrum
    QueueModel* m_model = nullptr;
    QueueListView* m_list = nullptr;
    QPlainTextEdit* m_details = nullptr;
    QProgressBar* m_progress = nullptr;
    MainLayout m_layout;
    SpectrumMode m_spectrumMode = SpectrumCurve;
    std::array<CommandButton*, 2> m_modeButtons{};
    CommandButton* m_savePicture = nullptr;
    bool m_saveWhenDrawn = false; // "Save picture…" asked before the picture was ready
    std::unique_ptr<SpectrogramView> m_spectrogram;
};

} // namespace orvel
