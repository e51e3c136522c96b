// SPDX-License-Identifier: MIT
#pragma once

#include <QAbstractTableModel>
#include <QHeaderView>
#include <QList>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QUrl>

#include <array>
#include <vector>

#include "ui/main_layout.h"
#include "ui/queue_order.h"

namespace orvel {

class AnalysisQueue;

// The queue as a table: FILE, CONCLUSION, one column per check, STATE. Its rows follow
// the queue's announcements (so rows are added in one batch after addPaths),
// shown in the order of a QueueSort and, when asked, only the entries with a
// finding. Rows are display rows; entryAt and rowOf translate to the queue's
// entry indices.
class QueueModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // FILE's cells also give the name of the file's folder under this role,
    // and its whole path as the tool tip.
    static constexpr int kFolderRole = Qt::UserRole + 1;

    explicit QueueModel(const AnalysisQueue& queue, QObject* parent = nullptr);

    // Entry indices, as the queue announces them.
    void appendRows(int first, int count);
    void changeRow(int entry);
    void clearRows();

    void setSort(QueueSort sort);
    [[nodiscard]] QueueSort sort() const { return m_sort; }
    void setOnlyFindings(bool only);
    [[nodiscard]] bool onlyFindings() const { return m_onlyFindings; }
    // -1 outside the list.
    [[nodiscard]] int entryAt(int row) const;
    [[nodiscard]] int rowOf(int entry) const;

    [[nodiscard]] int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    [[nodiscard]] int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    [[nodiscard]] QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    [[nodiscard]] QVariant headerData(int section, Qt::Orientation orientation,
                                      int role = Qt::DisplayRole) const override;

signals:
    // The rows were laid out anew and the selection has to be set again.
    void rowsReordered();

private:
    // True when the order or the filter can move rows as results come in.
    [[nodiscard]] bool reordering() const;
    void relayout();
    void setOrder(std::vector<int> order);

    const AnalysisQueue& m_queue;
    int m_entries = 0;          // entries announced so far
    std::vector<int> m_order;   // display row -> entry
    std::vector<int> m_rowOf;   // entry -> display row, or -1
    QueueSort m_sort;
    bool m_onlyFindings = false;
};

// Column headers filled with the header colour, captions in the small font.
class QueueHeader : public QHeaderView {
    Q_OBJECT
public:
    explicit QueueHeader(QWidget* parent = nullptr);
    // The sorted column gets an arrow after its caption; -1 for none.
    void setSortMark(QueueSort sort);

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;
    void paintEvent(QPaintEvent* event) override;

private:
    QueueSort m_sortMark;
};

// Cells in the panel colour with the text colour the queue gives each cell.
class QueueCellDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    [[nodiscard]] QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

// The queue list: single row selection, 40-unit rows (22 when compact), a drop hint while empty,
// and dropped files handed on through pathsDropped. Tab leaves the list;
// Home and End go to the first and last row.
class QueueListView : public QTableView {
    Q_OBJECT
public:
    static constexpr int kRowHeight = 40;
    static constexpr int kCompactRowHeight = 22;
    static constexpr int kHeaderHeight = 26;

    explicit QueueListView(QWidget* parent = nullptr);
    // The design's widths; FILE gives up what a vertical scroll bar takes, so
    // no horizontal one appears with it.
    void setColumnWidths(const QueueColumnWidths& widths);
    void setCompact(bool compact);
    [[nodiscard]] int rowHeight() const { return m_compact ? kCompactRowHeight : kRowHeight; }

signals:
    void pathsDropped(const QList<QUrl>& urls);
    // A context menu was asked for over a row (already selected), at a global position.
    void rowMenuRequested(const QPoint& globalPos);

protected:
    QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    // Shows a cell's whole text as a tip when the cell cuts it short.
    bool viewportEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void fitColumns();

    QueueColumnWidths m_designWidths{};
    bool m_fitting = false;
    bool m_compact = false;
};

} // namespace orvel
