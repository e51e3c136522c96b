// SPDX-License-Identifier: MIT
#include "ui/queue_list_view.h"

#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QPainter>
#include <QHelpEvent>
#include <QScrollBar>
#include <QToolTip>

#include <algorithm>
#include <array>
#include <filesystem>

#include "ui/analysis_queue.h"
#include "ui/theme.h"

namespace orvel {

QueueModel::QueueModel(const AnalysisQueue& queue, QObject* parent) : QAbstractTableModel(parent), m_queue(queue) {}

bool QueueModel::reordering() const
{
    return m_onlyFindings || (m_sort.column >= 0 && m_sort.column != kFileColumn);
}

void QueueModel::appendRows(int first, int count)
{
    if (count <= 0 || first != m_entries) {
        return;
    }
    m_entries = first + count;
    if (m_onlyFindings || m_sort.column >= 0) {
        relayout();
        return;
    }
    beginInsertRows(QModelIndex(), static_cast<int>(m_order.size()), static_cast<int>(m_order.size()) + count - 1);
    for (int entry = first; entry < first + count; ++entry) {
        m_rowOf.push_back(static_cast<int>(m_order.size()));
        m_order.push_back(entry);
    }
    endInsertRows();
}

void QueueModel::changeRow(int entry)
{
    if (entry < 0 || entry >= m_entries) {
        return;
    }
    if (reordering()) {
        relayout();
        return;
    }
    const int row = rowOf(entry);
    if (row >= 0) {
        emit dataChanged(index(row, 0), index(row, kQueueColumnCount - 1));
    }
}

void QueueModel::clearRows()
{
    beginResetModel();
    m_entries = 0;
    m_order.clear();
    m_rowOf.clear();
    endResetModel();
}

void QueueModel::setSort(QueueSort sort)
{
    if (sort == m_sort) {
        return;
    }
    m_sort = sort;
    relayout();
}

void QueueModel::setOnlyFindings(bool only)
{
    if (only == m_onlyFindings) {
        return;
    }
    m_onlyFindings = only;
    relayout();
}

int QueueModel::entryAt(int row) const
{
    return row >= 0 && static_cast<std::size_t>(row) < m_order.size() ? m_order[static_cast<std::size_t>(row)] : -1;
}

int QueueModel::rowOf(int entry) const
{
    return entry >= 0 && static_cast<std::size_t>(entry) < m_rowOf.size() ? m_rowOf[static_cast<std::size_t>(entry)]
                                                                            : -1;
}

void QueueModel::relayout()
{
    std::vector<QueueEntry> const& all = m_queue.entries();
    std::vector<int> order = queueDisplayOrder(all, m_sort, m_onlyFindings);
    // Only the entries announced so far are rows.
    std::erase_if(order, [this](int entry) { return entry >= m_entries; });
    if (order == m_order) {
        if (!m_order.empty()) {
            emit dataChanged(index(0, 0), index(static_cast<int>(m_order.size()) - 1, kQueueColumnCount - 1));
        }
        return;
    }
    if (order.size() != m_order.size()) {
        beginResetModel();
        setOrder(std::move(order));
        endResetModel();
        emit rowsReordered();
        return;
    }
    // Same rows in another order: persistent indices (the selection) follow their entries.
    emit layoutAboutToBeChanged();
    const QModelIndexList before = persistentIndexList();
    std::vector<int> entries;
    entries.reserve(static_cast<std::size_t>(before.size()));
    for (const QModelIndex& i : before) {
        entries.push_back(entryAt(i.row()));
    }
    setOrder(std::move(order));
    QModelIndexList after;
    after.reserve(before.size());
    for (qsizetype i = 0; i < before.size(); ++i) {
        const int row = rowOf(entries[static_cast<std::size_t>(i)]);
        after.push_back(row < 0 ? QModelIndex() : index(row, before[i].column()));
    }
    changePersistentIndexList(before, after);
    emit layoutChanged();
}

void QueueModel::setOrder(std::vector<int> order)
{
    m_order = std::move(order);
    m_rowOf.assign(static_cast<std::size_t>(m_entries), -1);
    for (std::size_t row = 0; row < m_order.size(); ++row) {
        m_rowOf[static_cast<std::size_t>(m_order[row])] = static_cast<int>(row);
    }
}

int QueueModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_order.size());
}

int QueueModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kQueueColumnCount; }

QVariant QueueModel::data(const QModelIndex& index, int role) const
{
    const int entry = index.isValid() ? entryAt(index.row()) : -1;
    if (entry < 0) {
        return {};
    }
    if (role == Qt::DisplayRole) {
        return theme::toQString(m_queue.cellText(entry, index.column()));
    }
    if (role == Qt::ForegroundRole) {
        return theme::toneQColor(m_queue.cellTone(entry, index.column()));
    }
    if (index.column() == kFileColumn && (role == Qt::ToolTipRole || role == kFolderRole)) {
        const std::filesystem::path& path = m_queue.entries()[static_cast<std::size_t>(entry)].path;
        return role == Qt::ToolTipRole ? theme::displayPath(path) : theme::displayPath(path.parent_path().filename());
    }
    return {};
}

QVariant QueueModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= kQueueColumnCount) {
        return {};
    }
    return theme::toQString(std::string(queueColumnTitle(section)));
}

QueueHeader::QueueHeader(QWidget* parent) : QHeaderView(Qt::Horizontal, parent)
{
    // A click sorts by the column.
    setSectionsClickable(true);
    setSectionsMovable(false);
    setHighlightSections(false);
    setStretchLastSection(false);
    setSectionResizeMode(QHeaderView::Interactive);
    setFixedHeight(QueueListView::kHeaderHeight);
    setFont(theme::font(theme::FontRole::Small));
}

void QueueHeader::setSortMark(QueueSort sort)
{
    m_sortMark = sort;
    viewport()->update();
}

void QueueHeader::paintEvent(QPaintEvent* event)
{
    QHeaderView::paintEvent(event);
    // The strip right of the last column belongs to the header too.
    const int end = length() - offset();
    if (end < viewport()->width()) {
        QPainter painter(viewport());
        painter.fillRect(QRect(end, 0, viewport()->width() - end, viewport()->height()), theme::kHeader);
    }
}

void QueueHeader::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const
{
    painter->save();
    painter->fillRect(rect, theme::kHeader);
    painter->setPen(theme::kSecondaryText);
    painter->setFont(theme::font(theme::FontRole::Small));
    QString text = model() ? model()->headerData(logicalIndex, Qt::Horizontal).toString().left(80) : QString();
    if (m_sortMark.column == logicalIndex) {
        text += m_sortMark.descending ? QStringLiteral("  \u25BC") : QStringLiteral("  \u25B2");
    }
    painter->drawText(rect.adjusted(10, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
    painter->restore();
}

void QueueCellDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    painter->save();
    const bool selected = option.state.testFlag(QStyle::State_Selected);
    painter->fillRect(option.rect, selected ? theme::kPressed : theme::kPanelBackground);
    const QVariant tone = index.data(Qt::ForegroundRole);
    painter->setPen(tone.canConvert<QColor>() ? tone.value<QColor>() : theme::kPrimaryText);
    const QFont font = theme::font(theme::FontRole::Ui);
    painter->setFont(font);
    const QRect textRect = option.rect.adjusted(10, 0, -6, 0);
    const QFontMetrics metrics(font);
    const QString text = metrics.elidedText(index.data(Qt::DisplayRole).toString(), Qt::ElideRight, textRect.width());
    painter->drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
    // The folder follows the name, dimmer, so same-named tracks of different albums differ.
    const QString folder = index.data(QueueModel::kFolderRole).toString();
    const int used = metrics.horizontalAdvance(text) + 12;
    if (!folder.isEmpty() && used + 40 < textRect.width()) {
        painter->setPen(theme::kSecondaryText);
        const QRect folderRect = textRect.adjusted(used, 0, 0, 0);
        painter->drawText(folderRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                          metrics.elidedText(folder, Qt::ElideRight, folderRect.width()));
    }
    painter->restore();
}

QSize QueueCellDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    const auto* view = qobject_cast<const QueueListView*>(parent());
    size.setHeight(view ? view->rowHeight() : QueueListView::kRowHeight);
    return size;
}

QueueListView::QueueListView(QWidget* parent) : QTableView(parent)
{
    setHorizontalHeader(new QueueHeader(this));
    setItemDelegate(new QueueCellDelegate(this));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(false);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(kRowHeight);
    setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DropOnly);
    // Tab moves on to the next control instead of the next cell.
    setTabKeyNavigation(false);
    setFont(theme::font(theme::FontRole::Ui));
    setAccessibleName(QStringLiteral("Audio analysis queue"));
    QPalette pal = palette();
    pal.setColor(QPalette::Base, theme::kPanelBackground);
    pal.setColor(QPalette::Window, theme::kPanelBackground);
    pal.setColor(QPalette::Text, theme::kPrimaryText);
    setPalette(pal);
    viewport()->setAutoFillBackground(true);
}

void QueueListView::setColumnWidths(const QueueColumnWidths& widths)
{
    m_designWidths = widths;
    fitColumns();
}

void QueueListView::setCompact(bool compact)
{
    m_compact = compact;
    verticalHeader()->setDefaultSectionSize(rowHeight());
}

void QueueListView::fitColumns()
{
    if (m_fitting) {
        return;
    }
    m_fitting = true;
    int total = 0;
    for (const int w : m_designWidths) {
        total += w;
    }
    // What the viewport lacks (a vertical scroll bar's width) comes off FILE.
    const int room = viewport()->width();
    const int excess = isVisible() && total > room ? total - room : 0;
    for (int i = 0; i < kQueueColumnCount; ++i) {
        const int design = m_designWidths[static_cast<std::size_t>(i)];
        setColumnWidth(i, i == 0 ? std::max(60, design - excess) : design);
    }
    m_fitting = false;
}

QModelIndex QueueListView::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers)
{
    const int rows = model() ? model()->rowCount() : 0;
    if (rows > 0 && (cursorAction == MoveHome || cursorAction == MoveEnd)) {
        const int column = std::max(0, currentIndex().column());
        return model()->index(cursorAction == MoveHome ? 0 : rows - 1, column);
    }
    return QTableView::moveCursor(cursorAction, modifiers);
}

void QueueListView::contextMenuEvent(QContextMenuEvent* event)
{
    // A mouse's menu comes through the viewport, in its coordinates; the
    // keyboard's goes to the current row.
    const bool keyboard = event->reason() == QContextMenuEvent::Keyboard;
    const QModelIndex index = keyboard ? currentIndex() : indexAt(event->pos());
    if (!index.isValid()) {
        return;
    }
    selectRow(index.row());
    setCurrentIndex(index);
    const QPoint global = keyboard ? viewport()->mapToGlobal(visualRect(index).center()) : event->globalPos();
    emit rowMenuRequested(global);
}

bool QueueListView::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::Resize || event->type() == QEvent::Show) {
        const bool handled = QTableView::viewportEvent(event);
        fitColumns();
        return handled;
    }
    if (event->type() != QEvent::ToolTip) {
        return QTableView::viewportEvent(event);
    }
    const auto* help = static_cast<QHelpEvent*>(event);
    const QModelIndex index = indexAt(help->pos());
    // A file's whole path, always: the row shows only its name and folder.
    const QString path = index.isValid() ? index.data(Qt::ToolTipRole).toString() : QString();
    if (!path.isEmpty()) {
        QToolTip::showText(help->globalPos(), path, viewport(), visualRect(index));
        return true;
    }
    const QString text = index.isValid() ? index.data(Qt::DisplayRole).toString() : QString();
    const int room = visualRect(index).width() - 16;
    if (!text.isEmpty() && QFontMetrics(theme::font(theme::FontRole::Ui)).horizontalAdvance(text) > room) {
        QToolTip::showText(help->globalPos(), text, viewport(), visualRect(index));
    } else {
        QToolTip::hideText();
    }
    return true;
}

void QueueListView::paintEvent(QPaintEvent* event)
{
    QTableView::paintEvent(event);
    QPainter painter(viewport());
    if (hasFocus()) {
        // The focus shows on the list as a whole, whichever row is selected.
        painter.setPen(QPen(theme::kAccent, 2));
        painter.drawRect(viewport()->rect().adjusted(1, 1, -1, -1));
    }
    if (model() && model()->rowCount() > 0) {
        return;
    }
    painter.setPen(theme::kSecondaryText);
    painter.setFont(theme::font(theme::FontRole::Ui));
    // 30 below the top of the whole list, header included.
    QRect area = viewport()->rect();
    area.setTop(30 - viewport()->y());
    painter.drawText(area, Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap,
                     QStringLiteral("Drop audio files or folders here\n\nFLAC \u00B7 WAV \u00B7 AIFF \u00B7 M4A / ALAC"));
}

void QueueListView::focusInEvent(QFocusEvent* event)
{
    QTableView::focusInEvent(event);
    viewport()->update();
}

void QueueListView::focusOutEvent(QFocusEvent* event)
{
    QTableView::focusOutEvent(event);
    viewport()->update();
}

void QueueListView::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls()) {
        event->acceptProposedAction();
    } else {
        event->ignore();
    }
}

void QueueListView::dragMoveEvent(QDragMoveEvent* event)
{
    if (event->mimeData()->hasUrls()) {
        event->acceptProposedAction();
    } else {
        event->ignore();
    }
}

void QueueListView::dropEvent(QDropEvent* event)
{
    if (!event->mimeData()->hasUrls()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    emit pathsDropped(event->mimeData()->urls());
}

} // namespace orvel
