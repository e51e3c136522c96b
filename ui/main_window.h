// SPDX-License-Identifier: MIT
#pragma once

#include <QList>
#include <QUrl>
#include <QWidget>

#include <array>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "ui/analysis_queue.h"
#include "ui/main_layout.h"
#include "ui/queue_view.h"
#include "ui/worker_event.h"

class QPlainTextEdit;
class QProgressBar;

namespace orvel {

class CommandButton;
class QueueListView;
class QueueModel;

// The program's one top-level window: seven commands, the queue list, the
// details text, the progress bar and the painted header, evidence panel,
// spectrum and status line. It shows what the AnalysisQueue tells it and
// forwards user actions and worker events to it.
class MainWindow : public QWidget, private QueueView {
    Q_OBJECT
public:
    enum Command { AddFiles, AddFolder, Analyze, Stop, Clear, ExportReport, About };

    // An empty analyze runs analyzePath; tests put their own.
    explicit MainWindow(AnalyzeFunction analyze = {}, QWidget* parent = nullptr);
    ~MainWindow() override;

    [[nodiscard]] AnalysisQueue& queue() { return *m_queue; }
    [[nodiscard]] CommandButton* button(Command command) const { return m_buttons[command]; }
    [[nodiscard]] QueueListView* list() const { return m_list; }
    [[nodiscard]] QPlainTextEdit* details() const { return m_details; }
    [[nodiscard]] QProgressBar* progressBar() const { return m_progress; }
    [[nodiscard]] const MainLayout& layoutRects() const { return m_layout; }

    // Adds dropped items, unless a run is going on.
    void addDroppedUrls(const QList<QUrl>& urls);
    // Writes the export to path in the dialog's format index (1 JSON, else text):
    // the status line tells of success, a message box of failure.
    void saveReport(const std::filesystem::path& path, int filterIndex);

    // The evidence panel's title: the selected file's name, else the tagline.
    [[nodiscard]] QString panelTitle() const;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    class EventSink;

    void runCommand(Command command);
    void chooseFiles();
    void chooseFolders();
    void exportReport();
    void applyLayout();

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

    std::unique_ptr<EventSink> m_sink;
    std::unique_ptr<AnalysisQueue> m_queue;
    std::array<CommandButton*, 7> m_buttons{};
    QueueModel* m_model = nullptr;
    QueueListView* m_list = nullptr;
    QPlainTextEdit* m_details = nullptr;
    QProgressBar* m_progress = nullptr;
    MainLayout m_layout;
};

} // namespace orvel
