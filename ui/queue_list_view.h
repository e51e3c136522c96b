// SPDX-License-Identifier: MIT
#pragma once

#include <QAbstractTableModel>
#include <QHeaderView>
#include <QList>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QUrl>

#include <array>

namespace orvel {

class AnalysisQueue;

// The queue as a five-column table: FILE, UPSCALING, UPSAMPLING, AAC-SIN, STATE.
// Its row count follows the queue's announcements, so rows are added in one
// batch after addPaths rather than one by one.
class QueueModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit QueueModel(const AnalysisQueue& queue, QObject* parent = nullptr);

    void appendRows(int first, int count);
    void changeRow(int row);
    void clearRows();

    [[nodiscard]] int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    [[nodiscard]] int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    [[nodiscard]] QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    [[nodiscard]] QVariant headerData(int section, Qt::Orientation orientation,
                                      int role = Qt::DisplayRole) const override;

private:
    const AnalysisQueue& m_queue;
    int m_rows = 0;
};

// Column headers filled with the header colour, captions in the small font.
class QueueHeader : public QHeaderView {
    Q_OBJECT
public:
    explicit QueueHeader(QWidget* parent = nullptr);

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;
    void paintEvent(QPaintEvent* event) override;
};

// Cells in the panel colour with the text colour the queue gives each cell.
class QueueCellDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    [[nodiscard]] QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

// The queue list: single row selection, 40-unit rows, a drop hint while empty,
// and dropped files handed on through pathsDropped.
class QueueListView : public QTableView {
    Q_OBJECT
public:
    static constexpr int kRowHeight = 40;
    static constexpr int kHeaderHeight = 26;

    explicit QueueListView(QWidget* parent = nullptr);
    void setColumnWidths(const std::array<int, 5>& widths);

signals:
    void pathsDropped(const QList<QUrl>& urls);

protected:
    // Shows a cell's whole text as a tip when the cell cuts it short.
    bool viewportEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
};

} // namespace orvel
