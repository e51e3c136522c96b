// SPDX-License-Identifier: MIT
#include "ui/queue_list_view.h"

#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QPainter>
#include <QHelpEvent>
#include <QScrollBar>
#include <QToolTip>

#include <array>

#include "ui/analysis_queue.h"
#include "ui/theme.h"

namespace orvel {

QueueModel::QueueModel(const AnalysisQueue& queue, QObject* parent) : QAbstractTableModel(parent), m_queue(queue) {}

void QueueModel::appendRows(int first, int count)
{
    if (count <= 0 || first != m_rows) {
        return;
    }
    beginInsertRows(QModelIndex(), first, first + count - 1);
    m_rows = first + count;
    endInsertRows();
}

void QueueModel::changeRow(int row)
{
    if (row < 0 || row >= m_rows) {
        return;
    }
    emit dataChanged(index(row, 0), index(row, 4));
}

void QueueModel::clearRows()
{
    beginResetModel();
    m_rows = 0;
    endResetModel();
}

int QueueModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : m_rows; }

int QueueModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 5; }

QVariant QueueModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows) {
        return {};
    }
    if (role == Qt::DisplayRole) {
        return theme::toQString(m_queue.cellText(index.row(), index.column()));
    }
    if (role == Qt::ForegroundRole) {
        return theme::toneQColor(m_queue.cellTone(index.row(), index.column()));
    }
    return {};
}

QVariant QueueModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    static const std::array<const char*, 5> kTitles{"FILE", "UPSCALING", "UPSAMPLING", "AAC-SIN", "STATE"};
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= 5) {
        return {};
    }
    return QString::fromLatin1(kTitles[static_cast<std::size_t>(section)]);
}

QueueHeader::QueueHeader(QWidget* parent) : QHeaderView(Qt::Horizontal, parent)
{
    setSectionsClickable(false);
    setSectionsMovable(false);
    setHighlightSections(false);
    setStretchLastSection(false);
    setSectionResizeMode(QHeaderView::Interactive);
    setFixedHeight(QueueListView::kHeaderHeight);
    setFont(theme::font(theme::FontRole::Small));
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
    const QString text = model() ? model()->headerData(logicalIndex, Qt::Horizontal).toString().left(80) : QString();
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
    const QString text =
        QFontMetrics(font).elidedText(index.data(Qt::DisplayRole).toString(), Qt::ElideRight, textRect.width());
    painter->drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
    painter->restore();
}

QSize QueueCellDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    size.setHeight(QueueListView::kRowHeight);
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
    setFont(theme::font(theme::FontRole::Ui));
    setAccessibleName(QStringLiteral("Audio analysis queue"));
    QPalette pal = palette();
    pal.setColor(QPalette::Base, theme::kPanelBackground);
    pal.setColor(QPalette::Window, theme::kPanelBackground);
    pal.setColor(QPalette::Text, theme::kPrimaryText);
    setPalette(pal);
    viewport()->setAutoFillBackground(true);
}

void QueueListView::setColumnWidths(const std::array<int, 5>& widths)
{
    for (int i = 0; i < 5; ++i) {
        setColumnWidth(i, widths[static_cast<std::size_t>(i)]);
    }
}

bool QueueListView::viewportEvent(QEvent* event)
{
    if (event->type() != QEvent::ToolTip) {
        return QTableView::viewportEvent(event);
    }
    const auto* help = static_cast<QHelpEvent*>(event);
    const QModelIndex index = indexAt(help->pos());
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
    if (model() && model()->rowCount() > 0) {
        return;
    }
    QPainter painter(viewport());
    painter.setPen(theme::kSecondaryText);
    painter.setFont(theme::font(theme::FontRole::Ui));
    // 30 below the top of the whole list, header included.
    QRect area = viewport()->rect();
    area.setTop(30 - viewport()->y());
    painter.drawText(area, Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap,
                     QStringLiteral("Drop audio files or folders here\n\nFLAC \u00B7 WAV \u00B7 AIFF \u00B7 M4A / ALAC"));
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
