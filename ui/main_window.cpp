// SPDX-License-Identifier: MIT
#include "ui/main_window.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QMenu>
#include <QMouseEvent>
#include <QScreen>
#include <QShowEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFocusEvent>
#include <QItemSelectionModel>
#include <QListView>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QResizeEvent>
#include <QScrollBar>
#include <QSettings>
#include <QTreeView>

#include <algorithm>
#include <exception>
#include <functional>
#include <utility>

#include "analysis/analysis_version.h"
#include "batch/output_target.h"
#include "batch/report_file.h"
#include "text/utf8.h"
#include "ui/about_dialog.h"
#include "ui/app_icon.h"
#include "ui/command_button.h"
#include "ui/queue_list_view.h"
#include "ui/report_export.h"
#include "ui/spectrogram_view.h"
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

// The details text: read-only, with the margins of the text set to 0 left and 8 right,
// framed in the accent colour while it has the focus.
class DetailsText : public QPlainTextEdit {
public:
    explicit DetailsText(QWidget* parent) : QPlainTextEdit(parent) { setViewportMargins(0, 0, 8, 0); }

protected:
    void paintEvent(QPaintEvent* event) override
    {
        QPlainTextEdit::paintEvent(event);
        if (hasFocus()) {
            QPainter painter(viewport());
            painter.setPen(QPen(theme::kAccent, 2));
            painter.drawRect(viewport()->rect().adjusted(1, 1, -1, -1));
        }
    }
    void focusInEvent(QFocusEvent* event) override
    {
        QPlainTextEdit::focusInEvent(event);
        viewport()->update();
    }
    void focusOutEvent(QFocusEvent* event) override
    {
        QPlainTextEdit::focusOutEvent(event);
        viewport()->update();
    }
};

// Where the window keeps what it remembers between runs.
QSettings windowSettings() { return QSettings(QStringLiteral("kestrone"), QStringLiteral("kestrone")); }

// The file manager shows a folder given as a file URL; the bytes of the
// path are percent-encoded so that any name reaches it unchanged.
QUrl folderUrl(const std::filesystem::path& folder)
{
    const std::string& native = folder.native();
    const QByteArray bytes(native.data(), static_cast<qsizetype>(native.size()));
    return QUrl::fromEncoded("file://" + bytes.toPercentEncoding("/"), QUrl::StrictMode);
}

} // namespace

// The strip between the list and the evidence panel: dragging it sets the
// list's height, a double click returns to the design's. It paints a grip
// only while the pointer is on it, so the window looks as designed otherwise.
class SplitterHandle : public QWidget {
public:
    SplitterHandle(QWidget* parent, std::function<int()> listHeight, std::function<void(int)> setListHeight)
        : QWidget(parent), m_listHeight(std::move(listHeight)), m_setListHeight(std::move(setListHeight))
    {
        setCursor(Qt::SplitVCursor);
        setAttribute(Qt::WA_Hover);
        setAccessibleName(QStringLiteral("Resize the queue list"));
        setToolTip(QStringLiteral("Drag to show more or fewer rows; double-click for the default"));
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        if (!underMouse() && m_dragFrom < 0) {
            return;
        }
        QPainter painter(this);
        const QRect grip(width() / 2 - 24, 17, 48, 4);
        painter.fillRect(grip, theme::kGrid);
    }
    void mousePressEvent(QMouseEvent* event) override
    {
        if (event->button() == Qt::LeftButton) {
            m_dragFrom = qRound(event->globalPosition().y());
            m_startHeight = m_listHeight();
        }
    }
    void mouseMoveEvent(QMouseEvent* event) override
    {
        if (m_dragFrom >= 0) {
            m_setListHeight(m_startHeight + qRound(event->globalPosition().y()) - m_dragFrom);
        }
    }
    void mouseReleaseEvent(QMouseEvent*) override
    {
        m_dragFrom = -1;
        update();
    }
    void mouseDoubleClickEvent(QMouseEvent*) override { m_setListHeight(-1); }
    bool event(QEvent* event) override
    {
        if (event->type() == QEvent::HoverEnter || event->type() == QEvent::HoverLeave) {
            update();
        }
        return QWidget::event(event);
    }

private:
    std::function<int()> m_listHeight;
    std::function<void(int)> m_setListHeight;
    int m_dragFrom = -1;
    int m_startHeight = 0;
};

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
    setMinimumSize(kDesignMinimum);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
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
    m_filter = new CommandButton(QStringLiteral("Findings only"), CommandButton::Kind::Command, this);
    m_filter->setCheckable(true);
    m_filter->setAccessibleName(QStringLiteral("Only files with findings"));
    m_filter->setToolTip(QStringLiteral("Only files with findings"));
    m_compact = new CommandButton(QStringLiteral("Compact rows"), CommandButton::Kind::Command, this);
    m_compact->setCheckable(true);
    m_compact->setAccessibleName(QStringLiteral("Compact rows"));
    m_compact->setToolTip(QStringLiteral("Shorter rows, so that more files show at once"));
    connect(m_compact, &QAbstractButton::toggled, this, &MainWindow::setCompactRows);

    m_spectrogram = std::make_unique<SpectrogramView>([this] { spectrogramChanged(); });
    const std::array<const char*, 2> modeCaptions{"Spectrum", "Spectrogram"};
    const std::array<const char*, 2> modeTips{"The averaged spectrum of the selected file",
                                              "Level over time of the selected file, as the saved picture shows it"};
    for (int i = 0; i < 2; ++i) {
        auto* button = new CommandButton(QString::fromUtf8(modeCaptions[static_cast<std::size_t>(i)]),
                                         CommandButton::Kind::Command, this);
        button->setCheckable(true);
        button->setChecked(i == SpectrumCurve);
        button->setToolTip(QString::fromUtf8(modeTips[static_cast<std::size_t>(i)]));
        button->setAccessibleName(QString::fromUtf8(modeTips[static_cast<std::size_t>(i)]));
        connect(button, &QAbstractButton::clicked, this, [this, i] { setSpectrumMode(static_cast<SpectrumMode>(i)); });
        m_modeButtons[static_cast<std::size_t>(i)] = button;
    }
    m_savePicture = new CommandButton(QStringLiteral("Save picture\u2026"), CommandButton::Kind::Command, this);
    m_savePicture->setToolTip(QStringLiteral("Save the spectrogram picture of the selected file as PNG"));
    m_savePicture->setAccessibleName(m_savePicture->toolTip());
    connect(m_savePicture, &QAbstractButton::clicked, this, &MainWindow::choosePictureTarget);

    m_list = new QueueListView(this);
    m_model = new QueueModel(*m_queue, m_list);
    m_list->setModel(m_model);
    connect(m_list, &QueueListView::pathsDropped, this, &MainWindow::addDroppedUrls);
    connect(m_list->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        const QModelIndexList rows = m_list->selectionModel()->selectedRows();
        m_queue->setSelectedIndex(rows.isEmpty() ? -1 : m_model->entryAt(rows.first().row()));
    });
    connect(m_model, &QueueModel::rowsReordered, this, &MainWindow::restoreSelection);
    connect(m_list->horizontalHeader(), &QHeaderView::sectionClicked, this, [this](int column) {
        const QueueSort sort = nextSort(m_model->sort(), column);
        m_model->setSort(sort);
        static_cast<QueueHeader*>(m_list->horizontalHeader())->setSortMark(sort);
    });
    connect(m_filter, &QAbstractButton::toggled, this, [this](bool on) { m_model->setOnlyFindings(on); });
    connect(m_list, &QueueListView::rowMenuRequested, this, &MainWindow::showRowMenu);
    m_splitter = new SplitterHandle(
        this, [this] { return m_layout.list.height(); }, [this](int height) { setListHeight(height); });

    m_details = new DetailsText(this);
    m_details->setReadOnly(true);
    m_details->setAccessibleName(QStringLiteral("Evidence of the selected file"));
    m_details->setTabChangesFocus(true);
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

    // Tab and Shift+Tab walk the controls in the order they are seen.
    QWidget* previous = nullptr;
    for (QWidget* widget : std::initializer_list<QWidget*>{m_buttons[0], m_buttons[1], m_buttons[2], m_buttons[3],
                                                           m_buttons[4], m_buttons[5], m_buttons[6], m_filter, m_compact, m_list,
                                                           m_details, m_modeButtons[0], m_modeButtons[1],
                                                           m_savePicture}) {
        if (previous) {
            setTabOrder(previous, widget);
        }
        previous = widget;
    }
    createActions();

    detailsChanged();
    m_queue->updateCommands();
    resize(kDesignSize);
    fitToScreen(QMargins());
    restoreSettings();
    applyLayout();
}

void MainWindow::restoreSettings()
{
    const QSettings settings = windowSettings();
    const QByteArray geometry = settings.value(QStringLiteral("window/geometry")).toByteArray();
    if (!geometry.isEmpty() && restoreGeometry(geometry)) {
        m_fitted = isMaximized() || isFullScreen();
    }
    m_listHeight = std::max(-1, settings.value(QStringLiteral("window/listHeight"), -1).toInt());
    m_compact->setChecked(settings.value(QStringLiteral("list/compactRows"), false).toBool());
    QueueSort sort;
    sort.column = settings.value(QStringLiteral("list/sortColumn"), -1).toInt();
    sort.descending = settings.value(QStringLiteral("list/sortDescending"), false).toBool();
    if (sort.column >= 0 && sort.column < kQueueColumnCount) {
        m_model->setSort(sort);
        static_cast<QueueHeader*>(m_list->horizontalHeader())->setSortMark(sort);
    }
    m_filter->setChecked(settings.value(QStringLiteral("list/onlyFindings"), false).toBool());
    setSpectrumMode(settings.value(QStringLiteral("view/spectrogram"), false).toBool() ? SpectrogramPicture
                                                                                         : SpectrumCurve);
    m_lastFolder = settings.value(QStringLiteral("dialogs/lastFolder")).toString();
}

void MainWindow::saveSettings() const
{
    QSettings settings = windowSettings();
    settings.setValue(QStringLiteral("window/geometry"), saveGeometry());
    settings.setValue(QStringLiteral("window/listHeight"), m_listHeight);
    settings.setValue(QStringLiteral("list/compactRows"), m_compactRows);
    settings.setValue(QStringLiteral("list/sortColumn"), m_model->sort().column);
    settings.setValue(QStringLiteral("list/sortDescending"), m_model->sort().descending);
    settings.setValue(QStringLiteral("list/onlyFindings"), m_model->onlyFindings());
    settings.setValue(QStringLiteral("view/spectrogram"), m_spectrumMode == SpectrogramPicture);
    if (!m_lastFolder.isEmpty()) {
        settings.setValue(QStringLiteral("dialogs/lastFolder"), m_lastFolder);
    }
}

void MainWindow::rememberFolder(const QString& chosen, bool isFolder)
{
    // A chosen folder's own parent, so that its neighbours show next time.
    const QFileInfo info(chosen);
    m_lastFolder = isFolder ? QFileInfo(info.absoluteFilePath()).absolutePath() : info.absolutePath();
}

void MainWindow::setCompactRows(bool compact)
{
    if (m_compact->isChecked() != compact) {
        m_compact->setChecked(compact); // comes back here through toggled
        return;
    }
    m_compactRows = compact;
    m_list->setCompact(compact);
    applyLayout();
}

void MainWindow::quit()
{
    if (m_queue->busy()) {
        QMessageBox box(QMessageBox::Question, QStringLiteral("Quit Kestrone?"),
                        QStringLiteral("An analysis is running. Stop it and quit?"),
                        QMessageBox::Yes | QMessageBox::No, this);
        box.setDefaultButton(QMessageBox::No);
        if (box.exec() != QMessageBox::Yes) {
            return;
        }
    }
    close(); // during a run: stops, then closes once the worker has stopped
}

void MainWindow::createActions()
{
    // Each command's keys; the button's tip names them.
    struct Keys {
        Command command;
        QList<QKeySequence> keys;
        const char* tip;
    };
    const std::array<Keys, 6> table{{
        {AddFiles, {QKeySequence(Qt::CTRL | Qt::Key_O)}, "Add audio files"},
        {AddFolder, {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O)}, "Add folders, including subfolders"},
        {Analyze, {QKeySequence(Qt::Key_F5), QKeySequence(Qt::CTRL | Qt::Key_R)}, "Analyze the files not yet analyzed"},
        {Stop, {QKeySequence(Qt::Key_Escape)}, "Stop the analysis"},
        {ExportReport, {QKeySequence(Qt::CTRL | Qt::Key_S)}, "Save a report of the results"},
        {About, {QKeySequence(Qt::Key_F1)}, "About Kestrone"},
    }};
    for (const Keys& entry : table) {
        auto* action = new QAction(m_buttons[entry.command]->text(), this);
        action->setShortcuts(entry.keys);
        action->setShortcutContext(Qt::WindowShortcut);
        const Command command = entry.command;
        connect(action, &QAction::triggered, this, [this, command] {
            if (m_buttons[command]->isEnabled()) {
                runCommand(command);
            }
        });
        addAction(action);
        m_commandActions[command] = action;
        QStringList names;
        for (const QKeySequence& key : entry.keys) {
            names << key.toString(QKeySequence::NativeText);
        }
        m_buttons[entry.command]->setToolTip(QString::fromUtf8(entry.tip) + QStringLiteral(" (") +
                                             names.join(QStringLiteral(" or ")) + QStringLiteral(")"));
    }
    m_buttons[Clear]->setToolTip(QStringLiteral("Remove every file from the queue"));
    m_quit = new QAction(QStringLiteral("Quit"), this);
    m_quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    m_quit->setShortcutContext(Qt::WindowShortcut);
    connect(m_quit, &QAction::triggered, this, &MainWindow::quit);
    addAction(m_quit);

    const std::array<const char*, 5> texts{"Copy full path", "Open containing folder", "Remove from queue",
                                           "Re-analyze", "Show in evidence panel"};
    m_rowMenu = new QMenu(this);
    for (int i = 0; i < 5; ++i) {
        auto* action = new QAction(QString::fromUtf8(texts[static_cast<std::size_t>(i)]), this);
        const auto kind = static_cast<RowAction>(i);
        connect(action, &QAction::triggered, this, [this, kind] { runRowAction(kind); });
        m_rowActions[static_cast<std::size_t>(i)] = action;
        m_rowMenu->addAction(action);
    }
    // The row keys work while the list has the focus.
    m_rowActions[CopyPath]->setShortcut(QKeySequence(QKeySequence::Copy));
    m_rowActions[RemoveFromQueue]->setShortcut(QKeySequence(Qt::Key_Delete));
    for (QAction* action : {m_rowActions[CopyPath], m_rowActions[RemoveFromQueue]}) {
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        m_list->addAction(action);
    }
    updateRowActions();
}

QWidget* MainWindow::splitter() const { return m_splitter; }

void MainWindow::fitToScreen(const QMargins& frame)
{
    const QScreen* where = screen();
    if (!where) {
        return;
    }
    const WindowFit fit = fitWindowToScreen(kDesignSize, kDesignMinimum, where->availableGeometry(), frame);
    setMinimumSize(fit.minimum);
    setGeometry(fit.geometry);
}

void MainWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (m_fitted || isMaximized() || isFullScreen()) {
        return;
    }
    m_fitted = true;
    // Only now is the frame known; a window that would reach past the
    // available area is fitted again with it.
    const QScreen* where = screen();
    const QRect frame = frameGeometry();
    if (where && !where->availableGeometry().contains(frame)) {
        const QRect inner = geometry();
        fitToScreen(QMargins(inner.left() - frame.left(), inner.top() - frame.top(), frame.right() - inner.right(),
                             frame.bottom() - inner.bottom()));
    }
}

void MainWindow::setListHeight(int height)
{
    m_listHeight = height;
    applyLayout();
    if (height >= 0) {
        m_listHeight = m_layout.list.height();
    }
}

MainWindow::~MainWindow()
{
    saveSettings();
    m_rowMenu = nullptr;
    m_spectrogram.reset();
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

QString MainWindow::panelFolder() const
{
    const QueueEntry* entry = m_queue->selectedEntry();
    return entry ? theme::displayPath(entry->path.parent_path()) : QString();
}

void MainWindow::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const int w = width();
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
    const QString titleText = QFontMetrics(title).elidedText(panelTitle(), Qt::ElideRight, titleRect.width());
    p.drawText(titleRect, single, titleText);
    // The file's folder after its name, so the whole path stays in view whatever the details show.
    const QRect folderRect = titleRect.adjusted(QFontMetrics(title).horizontalAdvance(titleText) + 12, 0, 0, 0);
    if (folderRect.width() > 40) {
        p.setFont(small);
        p.setPen(theme::kSecondaryText);
        p.drawText(folderRect, single, QFontMetrics(small).elidedText(panelFolder(), Qt::ElideMiddle, folderRect.width()));
    }

    const QueueEntry* entry = m_queue->selectedEntry();
    if (m_spectrumMode == SpectrogramPicture) {
        m_spectrogram->paint(p, m_layout.spectrum, m_pointer);
    } else {
        paintSpectrumView(p, m_layout.spectrum, entry ? entry->result.get() : nullptr, m_pointer);
    }

    const QRect status = statusRect();
    p.setFont(small);
    const QFontMetrics metrics(small);
    const QString statusText = theme::toQString(m_queue->statusText());
    const QString notice = theme::toQString(m_queue->noticeText());
    // With a notice beside it, the status keeps at most half the line.
    const int statusWidth = notice.isEmpty() ? status.width()
                                             : std::min(metrics.horizontalAdvance(statusText), status.width() / 2);
    p.setPen(theme::kSecondaryText);
    p.drawText(QRect(status.left(), status.top(), statusWidth, status.height()), single,
               metrics.elidedText(statusText, Qt::ElideRight, statusWidth));
    if (!notice.isEmpty()) {
        const QRect noticeRect = theme::ltrb(status.left() + statusWidth + 16, status.top(), status.right() + 1,
                                             status.bottom() + 1);
        p.setPen(theme::kEvidence);
        p.drawText(noticeRect, single, metrics.elidedText(notice, Qt::ElideRight, noticeRect.width()));
    }
}

QRect MainWindow::statusRect() const { return theme::ltrb(28, height() - 39, width() - 230, height() - 9); }

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
    m_layout = computeMainLayout(width(), height(), m_listHeight, m_compactRows);
    for (std::size_t i = 0; i < m_buttons.size(); ++i) {
        m_buttons[i]->setGeometry(m_layout.buttons[i]);
    }
    m_filter->setGeometry(m_layout.filter);
    m_compact->setGeometry(m_layout.compact);
    m_splitter->setGeometry(m_layout.splitter);
    m_list->setGeometry(m_layout.list);
    m_list->setColumnWidths(m_layout.columnWidths);
    m_details->setGeometry(m_layout.details);
    m_progress->setGeometry(m_layout.progress);
    // The view switch and "Save picture…" sit at the right of the spectrum's title row.
    const QRect& area = m_layout.spectrum;
    int right = area.x() + area.width();
    for (CommandButton* button : {m_savePicture, m_modeButtons[SpectrogramPicture], m_modeButtons[SpectrumCurve]}) {
        const int w = button->sizeHint().width();
        button->setGeometry(right - w, area.top() - 4, w, 26);
        right -= w + (button == m_savePicture ? 12 : 4);
    }
    update();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (m_queue->requestClose()) {
        saveSettings();
        event->accept();
    } else {
        event->ignore();
    }
}

void MainWindow::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    std::optional<QPoint> pointer;
    if (m_layout.spectrum.contains(pos)) {
        pointer = pos;
    }
    if (pointer != m_pointer) {
        m_pointer = pointer;
        update(m_layout.spectrum);
    }
    QWidget::mouseMoveEvent(event);
}

void MainWindow::leaveEvent(QEvent* event)
{
    if (m_pointer) {
        m_pointer.reset();
        update(m_layout.spectrum);
    }
    QWidget::leaveEvent(event);
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
    // During a run the queue refuses them and says so.
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
        this, QStringLiteral("Add audio files"), m_lastFolder,
        QStringLiteral("Audio files (*.flac *.wav *.aif *.aiff *.aifc *.m4a *.alac *.aac *.mp3 *.wv *.ape *.tta *.tak *.ogg *.oga *.opus *.wma *.mka *.caf);;All files (*)"));
    if (!files.isEmpty()) {
        rememberFolder(files.first(), false);
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
    if (!m_lastFolder.isEmpty()) {
        dialog.setDirectory(m_lastFolder);
    }
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
        rememberFolder(folders.first(), true);
        m_queue->addPaths(fsPaths(folders));
    }
}

void MainWindow::exportReport()
{
    if (!m_queue->commands().exportReport) {
        return;
    }
    QStringList filters;
    for (const ExportType& type : kExportTypes) {
        filters << QString::fromUtf8(type.filter.data(), static_cast<qsizetype>(type.filter.size()));
    }
    const auto suffixOf = [&filters](const QString& filter) {
        const std::string_view suffix = kExportTypes[static_cast<std::size_t>(std::max<qsizetype>(filters.indexOf(filter), 0))].suffix;
        return QString::fromUtf8(suffix.data(), static_cast<qsizetype>(suffix.size()));
    };
    QFileDialog dialog(this);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(filters);
    dialog.setDefaultSuffix(QStringLiteral("json"));
    if (!m_lastFolder.isEmpty()) {
        dialog.setDirectory(m_lastFolder);
    }
    dialog.selectFile(QStringLiteral("Kestrone-report.json"));
    // A name typed without an extension takes the chosen type's.
    connect(&dialog, &QFileDialog::filterSelected, &dialog,
            [&dialog, &suffixOf](const QString& filter) { dialog.setDefaultSuffix(suffixOf(filter)); });
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty() || chosen.first().isEmpty()) {
        return;
    }
    rememberFolder(chosen.first(), false);
    const qsizetype filter = filters.indexOf(dialog.selectedNameFilter());
    saveReport(theme::pathFromQString(chosen.first()), filter < 0 ? 1 : static_cast<int>(filter) + 1);
}

void MainWindow::setSpectrumMode(SpectrumMode mode)
{
    m_spectrumMode = mode;
    for (int i = 0; i < 2; ++i) {
        m_modeButtons[static_cast<std::size_t>(i)]->setChecked(i == mode);
    }
    if (mode == SpectrumCurve) {
        m_saveWhenDrawn = false;
    }
    syncSpectrogram();
    update(m_layout.spectrum);
}

void MainWindow::syncSpectrogram()
{
    if (!m_spectrogram) {
        return;
    }
    // Drawn only while shown (or asked to be saved), for the selected file.
    const QueueEntry* entry = m_queue->selectedEntry();
    m_spectrogram->show(m_spectrumMode == SpectrogramPicture && entry ? entry->result.get() : nullptr);
    updatePictureButtons();
}

void MainWindow::spectrogramChanged()
{
    updatePictureButtons();
    update(m_layout.spectrum);
    if (m_saveWhenDrawn && m_spectrogram->state() != SpectrogramView::State::Drawing) {
        m_saveWhenDrawn = false;
        if (m_spectrogram->state() == SpectrogramView::State::Ready) {
            QMetaObject::invokeMethod(this, &MainWindow::choosePictureTarget, Qt::QueuedConnection);
        }
    }
}

void MainWindow::updatePictureButtons()
{
    if (!m_savePicture) {
        return;
    }
    const QueueEntry* entry = m_queue->selectedEntry();
    m_savePicture->setEnabled(entry && entry->result && entry->result->error.empty());
}

void MainWindow::choosePictureTarget()
{
    const QueueEntry* entry = m_queue->selectedEntry();
    if (!entry || !entry->result || !entry->result->error.empty()) {
        return;
    }
    if (m_spectrogram->state() != SpectrogramView::State::Ready || m_spectrogram->file() != entry->result->file) {
        // Drawn first; the dialog opens once the picture is there.
        m_saveWhenDrawn = true;
        setSpectrumMode(SpectrogramPicture);
        return;
    }
    QFileDialog dialog(this, QStringLiteral("Save picture"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters({QStringLiteral("PNG picture (*.png)")});
    dialog.setDefaultSuffix(QStringLiteral("png"));
    dialog.setDirectory(theme::displayPath(entry->path.parent_path()));
    dialog.selectFile(theme::displayPath(entry->path.filename()) + QStringLiteral(".png"));
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    const QStringList chosen = dialog.selectedFiles();
    if (!chosen.isEmpty() && !chosen.first().isEmpty()) {
        savePicture(theme::pathFromQString(chosen.first()));
    }
}

void MainWindow::savePicture(const std::filesystem::path& path)
{
    std::string failure;
    try {
        const std::vector<unsigned char> png = m_spectrogram->png();
        std::vector<std::filesystem::path> inputs;
        for (const QueueEntry& entry : m_queue->entries()) {
            inputs.push_back(entry.path);
        }
        if (png.empty()) {
            failure = "The spectrogram of the selected file is not drawn yet.";
        } else if (failure = refusedOutputReason(path, inputs, OutputKind::Picture); !failure.empty()) {
            failure[0] = 'R';
            failure += ".";
        } else {
            writePictureFile(path, png);
        }
    } catch (const std::exception& e) {
        failure = sanitizeUtf8(e.what());
    }
    if (failure.empty()) {
        m_queue->setStatusText("Picture saved: " + displayName(path));
        return;
    }
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Cannot save picture"), theme::toQString(failure),
                    QMessageBox::Ok, this);
    box.exec();
}

void MainWindow::saveReport(const std::filesystem::path& path, int filterIndex)
{
    std::string failure;
    try {
        const std::vector<FileReport> records = m_queue->exportRecords();
        std::vector<std::filesystem::path> inputs;
        for (const FileReport& record : records) {
            inputs.push_back(record.file);
        }
        // Never a report over one of the analysed files or other audio.
        failure = refusedOutputReason(path, inputs);
        if (!failure.empty()) {
            failure[0] = 'R';
            failure += ".";
        } else {
            const std::optional<ReportFormat> format = reportFormatForFilterIndex(filterIndex);
            failure = format ? writeReportFile(path, *format, records)
                             : writeJsonlReportFile(path, records, kAnalysisVersion);
        }
    } catch (const std::exception& e) {
        failure = sanitizeUtf8(e.what());
    }
    if (failure.empty()) {
        m_queue->setStatusText("Report saved: " + displayName(path));
        return;
    }
    // The failure names the file and the system's reason, as in every front end.
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Cannot save report"), theme::toQString(failure),
                    QMessageBox::Ok, this);
    box.exec();
}

void MainWindow::showRowMenu(const QPoint& globalPos)
{
    updateRowActions();
    m_rowMenu->popup(globalPos);
}

void MainWindow::updateRowActions()
{
    const bool haveRow = m_queue->selectedEntry() != nullptr;
    for (QAction* action : m_rowActions) {
        if (action) {
            action->setEnabled(haveRow);
        }
    }
    if (m_rowActions[RemoveFromQueue]) {
        m_rowActions[RemoveFromQueue]->setEnabled(haveRow && !m_queue->busy());
        m_rowActions[Reanalyze]->setEnabled(haveRow && !m_queue->busy());
    }
}

void MainWindow::runRowAction(RowAction action)
{
    const int index = m_queue->selectedIndex();
    const QueueEntry* entry = m_queue->selectedEntry();
    if (!entry) {
        return;
    }
    switch (action) {
    case CopyPath:
        QGuiApplication::clipboard()->setText(theme::displayPath(entry->path));
        m_queue->setStatusText("Copied: " + displayName(entry->path));
        break;
    case OpenFolder:
        if (!QDesktopServices::openUrl(folderUrl(entry->path.parent_path()))) {
            m_queue->setStatusText("Cannot open the folder " + displayName(entry->path.parent_path()));
        }
        break;
    case RemoveFromQueue:
        m_queue->removeEntries({index});
        break;
    case Reanalyze:
        m_queue->reanalyze({index});
        break;
    case ShowInPanel:
        selectRow(index);
        m_details->moveCursor(QTextCursor::Start);
        m_details->setFocus(Qt::OtherFocusReason);
        break;
    }
}

void MainWindow::restoreSelection()
{
    const int row = m_model->rowOf(m_queue->selectedIndex());
    if (row < 0) {
        m_queue->setSelectedIndex(-1);
        return;
    }
    const bool hadFocus = m_list->hasFocus();
    m_list->setCurrentIndex(m_model->index(row, 0));
    m_list->selectRow(row);
    if (hadFocus) {
        m_list->setFocus(Qt::OtherFocusReason);
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

void MainWindow::selectRow(int entry)
{
    if (!m_list) {
        return;
    }
    const int row = m_model->rowOf(entry);
    if (row < 0) {
        m_list->clearSelection();
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
    if (!m_buttons[0]) {
        return;
    }
    // A button about to be disabled hands its focus on where the user goes
    // next, not to whatever follows it in the tab chain (About).
    int focused = -1;
    for (std::size_t i = 0; i < m_buttons.size(); ++i) {
        if (m_buttons[i]->hasFocus()) {
            focused = static_cast<int>(i);
        }
        if (enabled[i]) {
            m_buttons[i]->setEnabled(true);
        }
    }
    if (focused >= 0 && !enabled[static_cast<std::size_t>(focused)]) {
        QWidget* next = m_list;
        if (focused == Analyze && enabled[Stop]) {
            next = m_buttons[Stop];
        } else if (focused == Stop && enabled[Analyze]) {
            next = m_buttons[Analyze];
        } else if (focused == Clear || m_queue->entries().empty()) {
            next = m_buttons[AddFiles];
        }
        next->setFocus(Qt::OtherFocusReason);
    }
    for (std::size_t i = 0; i < m_buttons.size(); ++i) {
        m_buttons[i]->setEnabled(enabled[i]);
        m_buttons[i]->update();
    }
    updateRowActions();
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
    syncSpectrogram();
    updateRowActions();
    update(m_layout.panel);
}

void MainWindow::repaintWindow() { update(); }

void MainWindow::closeWindow()
{
    // After the event that finished the run has been handled.
    QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

void MainWindow::showAddPathError(const std::string& message)
{
    QMessageBox::warning(this, QStringLiteral("Cannot add path"), theme::toQString(message));
}

} // namespace orvel
