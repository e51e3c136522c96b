// SPDX-License-Identifier: MIT
#include "ui/main_window.h"

#include <QAbstractItemView>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEvent>
#include <QFileDialog>
#include <QItemSelectionModel>
#include <QListView>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QResizeEvent>
#include <QScrollBar>
#include <QTreeView>

#include <exception>
#include <utility>

#include "batch/report_file.h"
#include "text/utf8.h"
#include "ui/about_dialog.h"
#include "ui/app_icon.h"
#include "ui/command_button.h"
#include "ui/queue_list_view.h"
#include "ui/report_export.h"
#include "ui/spectrum_view.h"
#include "ui/theme.h"

namespace orvel {
namespace {

const QEvent::Type kWorkerEventType = static_cast<QEvent::Type>(QEvent::registerEventType());

// A worker event on its way to the window's thread; owns the payload until delivered.
class WorkerQEvent : public QEvent {
public:
    explicit WorkerQEvent(std::unique_ptr<WorkerEvent> payload) : QEvent(kWorkerEventType), m_payload(std::move(payload))
    {
    }
    std::unique_ptr<WorkerEvent> takePayload() { return std::move(m_payload); }

private:
    std::unique_ptr<WorkerEvent> m_payload;
};

QString withLineFeeds(const std::string& text)
{
    QString result = theme::toQString(text);
    result.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return result;
}

std::vector<std::filesystem::path> fsPaths(const QStringList& paths)
{
    std::vector<std::filesystem::path> result;
    result.reserve(static_cast<std::size_t>(paths.size()));
    for (const QString& path : paths) {
        result.push_back(theme::pathFromQString(path));
    }
    return result;
}

// The details text: read-only, with the margins of the text set to 0 left and 8 right.
class DetailsText : public QPlainTextEdit {
public:
    explicit DetailsText(QWidget* parent) : QPlainTextEdit(parent) { setViewportMargins(0, 0, 8, 0); }
};

} // namespace

class MainWindow::EventSink : public WorkerEventSink {
public:
    explicit EventSink(QObject* receiver) : m_receiver(receiver) {}
    // postEvent is safe from any thread; Qt destroys an undelivered event with its receiver.
    void post(std::unique_ptr<WorkerEvent> event) override
    {
        QCoreApplication::postEvent(m_receiver, new WorkerQEvent(std::move(event)));
    }

private:
    QObject* m_receiver;
};

MainWindow::MainWindow(AnalyzeFunction analyze, QWidget* parent)
    : QWidget(parent), m_sink(std::make_unique<EventSink>(this))
{
    QueueView& view = *this;
    m_queue = std::make_unique<AnalysisQueue>(view, *m_sink, std::move(analyze));

    ensureResources();
    setWindowTitle(QStringLiteral("Kestrone \u2014 Lossless audio inspector"));
    setWindowIcon(appIcon());
    setMinimumSize(1060, 750);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAcceptDrops(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, theme::kWindowBackground);
    setPalette(pal);

    static const std::array<const char*, 7> kCaptions{"\uFF0B  Add files", "Add folder", "Analyze queue", "Stop",
                                                      "Clear",            "Export report", "About"};
    for (int i = 0; i < 7; ++i) {
        const auto kind = i == Analyze ? CommandButton::Kind::Primary : CommandButton::Kind::Command;
        auto* button = new CommandButton(QString::fromUtf8(kCaptions[static_cast<std::size_t>(i)]), kind, this);
        connect(button, &QAbstractButton::clicked, this, [this, i] { runCommand(static_cast<Command>(i)); });
        m_buttons[static_cast<std::size_t>(i)] = button;
    }

    m_list = new QueueListView(this);
    m_model = new QueueModel(*m_queue, m_list);
    m_list->setModel(m_model);
    connect(m_list, &QueueListView::pathsDropped, this, &MainWindow::addDroppedUrls);
    connect(m_list->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        const QModelIndexList rows = m_list->selectionModel()->selectedRows();
        m_queue->setSelectedIndex(rows.isEmpty() ? -1 : rows.first().row());
    });

    m_details = new DetailsText(this);
    m_details->setReadOnly(true);
    m_details->setFrameShape(QFrame::NoFrame);
    m_details->setFont(theme::font(theme::FontRole::Ui));
    m_details->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_details->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_details->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    m_details->document()->setDocumentMargin(0);
    QPalette detailsPalette = m_details->palette();
    detailsPalette.setColor(QPalette::Base, theme::kPanelBackground);
    detailsPalette.setColor(QPalette::Window, theme::kPanelBackground);
    detailsPalette.setColor(QPalette::Text, theme::kPrimaryText);
    m_details->setPalette(detailsPalette);
    m_details->setAutoFillBackground(true);

    m_progress = new QProgressBar(this);
    m_progress->setRange(0, 100);
    m_progress->setValue(0);
    m_progress->setTextVisible(false);
    m_progress->setAccessibleName(QStringLiteral("Analysis progress"));
    QPalette progressPalette = m_progress->palette();
    progressPalette.setColor(QPalette::Highlight, theme::kAccent);
    progressPalette.setColor(QPalette::Base, theme::kPanelBackground);
    progressPalette.setColor(QPalette::Window, theme::kPanelBackground);
    m_progress->setPalette(progressPalette);

    detailsChanged();
    m_queue->updateCommands();
    resize(1320, 900);
    applyLayout();
}

MainWindow::~MainWindow()
{
    // The list reads the queue: let it go first, then stop and join the worker.
    delete m_list;
    m_list = nullptr;
    m_model = nullptr;
    m_queue.reset();
}

bool MainWindow::event(QEvent* event)
{
    if (event->type() == kWorkerEventType) {
        m_queue->handle(static_cast<WorkerQEvent*>(event)->takePayload());
        return true;
    }
    return QWidget::event(event);
}

QString MainWindow::panelTitle() const
{
    if (const QueueEntry* entry = m_queue->selectedEntry()) {
        return theme::toQString(fileNameOf(entry->path));
    }
    return QStringLiteral("Lossless audio inspector");
}

void MainWindow::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const int w = width();
    const int h = height();
    const int single = Qt::TextSingleLine | Qt::AlignVCenter | Qt::AlignLeft;
    p.fillRect(rect(), theme::kWindowBackground);

    p.setFont(theme::font(theme::FontRole::Wordmark));
    p.setPen(theme::kAccent);
    p.drawText(theme::ltrb(28, 22, 600, 62), single, QStringLiteral("KESTRONE"));

    const QRect& panel = m_layout.panel;
    const int listBottom = m_layout.list.y() + m_layout.list.height();
    const QFont small = theme::font(theme::FontRole::Small);
    p.setFont(small);
    p.setPen(theme::kSecondaryText);
    p.drawText(theme::ltrb(28, listBottom + 8, w - 28, panel.top()), single,
               QStringLiteral("EVIDENCE / SELECT A FILE TO EXPLORE"));

    p.fillRect(panel, theme::kPanelBackground);
    const QFont title = theme::font(theme::FontRole::Title);
    const QRect titleRect = theme::ltrb(panel.left() + 18, panel.top() + 10, m_layout.spectrum.left() - 30, panel.top() + 35);
    p.setFont(title);
    p.setPen(theme::kPrimaryText);
    p.drawText(titleRect, single, QFontMetrics(title).elidedText(panelTitle(), Qt::ElideRight, titleRect.width()));

    const QueueEntry* entry = m_queue->selectedEntry();
    paintSpectrumView(p, m_layout.spectrum, entry ? entry->result.get() : nullptr);

    const QRect statusRect = theme::ltrb(28, h - 39, w - 230, h - 9);
    p.setFont(small);
    p.setPen(theme::kSecondaryText);
    p.drawText(statusRect, single,
               QFontMetrics(small).elidedText(theme::toQString(m_queue->statusText()), Qt::ElideRight, statusRect.width()));
}

void MainWindow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    applyLayout();
}

void MainWindow::applyLayout()
{
    if (!m_list) {
        return;
    }
    m_layout = computeMainLayout(width(), height());
    for (std::size_t i = 0; i < m_buttons.size(); ++i) {
        m_buttons[i]->setGeometry(m_layout.buttons[i]);
    }
    m_list->setGeometry(m_layout.list);
    m_list->setColumnWidths(m_layout.columnWidths);
    m_details->setGeometry(m_layout.details);
    m_progress->setGeometry(m_layout.progress);
    update();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (m_queue->requestClose()) {
        event->accept();
    } else {
        event->ignore();
    }
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls()) {
        event->acceptProposedAction();
    }
}

void MainWindow::dragMoveEvent(QDragMoveEvent* event)
{
    if (event->mimeData()->hasUrls()) {
        event->acceptProposedAction();
    }
}

void MainWindow::dropEvent(QDropEvent* event)
{
    if (!event->mimeData()->hasUrls()) {
        return;
    }
    event->acceptProposedAction();
    addDroppedUrls(event->mimeData()->urls());
}

void MainWindow::addDroppedUrls(const QList<QUrl>& urls)
{
    if (m_queue->busy()) {
        return;
    }
    std::vector<std::filesystem::path> paths;
    for (const QUrl& url : urls) {
        if (!url.isLocalFile()) {
            continue;
        }
        // Decode the percent escapes to the raw bytes of the name, so that a
        // name that is not valid UTF-8 still reaches the file.
        const QByteArray native = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
        paths.emplace_back(std::string(native.constData(), static_cast<std::size_t>(native.size())));
    }
    m_queue->addPaths(paths);
}

void MainWindow::runCommand(Command command)
{
    switch (command) {
    case AddFiles:
        chooseFiles();
        break;
    case AddFolder:
        chooseFolders();
        break;
    case Analyze:
        m_queue->startAnalysis();
        break;
    case Stop:
        m_queue->requestStop();
        break;
    case Clear:
        m_queue->clear();
        break;
    case ExportReport:
        exportReport();
        break;
    case About: {
        AboutDialog dialog(this);
        dialog.exec();
        break;
    }
    }
    update();
}

void MainWindow::chooseFiles()
{
    if (m_queue->busy()) {
        return;
    }
    const QStringList files = QFileDialog::getOpenFileNames(
        this, QStringLiteral("Add audio files"), QString(),
        QStringLiteral("Audio files (*.flac *.wav *.aif *.aiff *.aifc *.m4a *.alac *.aac *.mp3 *.wv *.ape *.tta *.tak *.ogg *.oga *.opus *.wma *.mka *.caf);;All files (*)"));
    if (!files.isEmpty()) {
        m_queue->addPaths(fsPaths(files));
    }
}

void MainWindow::chooseFolders()
{
    if (m_queue->busy()) {
        return;
    }
    // Qt's own dialog, since only it lets several folders be picked at once.
    QFileDialog dialog(this, QStringLiteral("Add audio folders (including subfolders)"));
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(dialog.findChild<QListView*>(QStringLiteral("listView"))),
                                    static_cast<QAbstractItemView*>(dialog.findChild<QTreeView*>())}) {
        if (view) {
            view->setSelectionMode(QAbstractItemView::ExtendedSelection);
        }
    }
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    const QStringList folders = dialog.selectedFiles();
    if (!folders.isEmpty()) {
        m_queue->addPaths(fsPaths(folders));
    }
}

void MainWindow::exportReport()
{
    if (!m_queue->commands().exportReport) {
        return;
    }
    const QStringList filters{QStringLiteral("JSON report (*.json)"), QStringLiteral("Text report (*.txt)")};
    QFileDialog dialog(this);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(filters);
    dialog.setDefaultSuffix(QStringLiteral("json"));
    dialog.selectFile(QStringLiteral("Kestrone-report.json"));
    // A name typed without an extension takes the chosen type's.
    connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog, &filters](const QString& filter) {
        dialog.setDefaultSuffix(filter == filters.at(1) ? QStringLiteral("txt") : QStringLiteral("json"));
    });
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty() || chosen.first().isEmpty()) {
        return;
    }
    const qsizetype filter = filters.indexOf(dialog.selectedNameFilter());
    saveReport(theme::pathFromQString(chosen.first()), filter < 0 ? 1 : static_cast<int>(filter) + 1);
}

void MainWindow::saveReport(const std::filesystem::path& path, int filterIndex)
{
    std::string failure;
    try {
        failure = writeReportFile(path, reportFormatForFilterIndex(filterIndex), m_queue->exportRecords());
    } catch (const std::exception& e) {
        failure = sanitizeUtf8(e.what());
    }
    if (failure.empty()) {
        m_queue->setStatusText("Report saved: " + displayName(path));
    } else {
        QMessageBox::critical(this, QStringLiteral("Cannot save report"), theme::toQString(failure));
    }
}

void MainWindow::rowsAppended(int first, int count)
{
    if (m_model) {
        m_model->appendRows(first, count);
    }
}

void MainWindow::rowChanged(int row)
{
    if (m_model) {
        m_model->changeRow(row);
    }
}

void MainWindow::rowsCleared()
{
    if (m_model) {
        m_model->clearRows();
    }
}

void MainWindow::selectRow(int row)
{
    if (!m_list) {
        return;
    }
    m_list->setCurrentIndex(m_model->index(row, 0));
    m_list->selectRow(row);
    m_list->setFocus(Qt::OtherFocusReason);
}

void MainWindow::commandsChanged(const CommandState& commands)
{
    const std::array<bool, 7> enabled{commands.addFiles, commands.addFolder, commands.analyze,   commands.stop,
                                      commands.clear,    commands.exportReport, commands.about};
    for (std::size_t i = 0; i < m_buttons.size(); ++i) {
        if (m_buttons[i]) {
            m_buttons[i]->setEnabled(enabled[i]);
            m_buttons[i]->update();
        }
    }
}

void MainWindow::progressChanged(int percent)
{
    if (m_progress) {
        m_progress->setValue(percent);
    }
}

void MainWindow::detailsChanged()
{
    if (m_details) {
        m_details->setPlainText(withLineFeeds(m_queue->detailsText()));
    }
    update(m_layout.panel);
}

void MainWindow::repaintWindow() { update(); }

void MainWindow::showAddPathError(const std::string& message)
{
    QMessageBox::warning(this, QStringLiteral("Cannot add path"), theme::toQString(message));
}

} // namespace orvel
