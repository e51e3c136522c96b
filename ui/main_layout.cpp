// SPDX-License-Identifier: MIT
#include "ui/main_layout.h"

#include <algorithm>

#include "ui/theme.h"

namespace orvel {

MainLayout computeMainLayout(int width, int height, int listHeight, bool compact)
{
    constexpr int m = MainLayout::kMargin;
    constexpr std::array<int, 7> kButtonWidths{126, 126, 146, 78, 78, 142, 78};
    MainLayout layout;
    // The button row's top and the list's; both move up by the same amount when compact.
    const int buttonTop = compact ? 72 : 105;
    const int listTop = buttonTop + 57;

    constexpr int kCompactWidth = 140;
    layout.compact = QRect(width - m - kCompactWidth, 24, kCompactWidth, 32);

    int x = m;
    for (std::size_t i = 0; i < kButtonWidths.size(); ++i) {
        layout.buttons[i] = QRect(x, buttonTop, kButtonWidths[i], 38);
        x += kButtonWidths[i] + 10;
    }

    constexpr int kFilterWidth = 160;
    const int afterButtons = layout.buttons.back().right() + 1 + 10;
    layout.filter = QRect(std::max(afterButtons, width - m - kFilterWidth), buttonTop, kFilterWidth, 38);

    const int listWidth = width - 2 * m;
    if (listHeight < 0) {
        listHeight = compact ? std::max(150, (height - listTop - 98) * 64 / 100) : std::max(150, (height - 260) * 46 / 100);
    } else {
        // listTop above the list, 38 between it and the panel, 52 below the panel.
        const int most = std::max(kMinListHeight, height - listTop - 38 - 52 - kMinPanelHeight);
        listHeight = std::clamp(listHeight, kMinListHeight, most);
    }
    layout.list = QRect(m, listTop, listWidth, listHeight);
    // FILE takes a quarter and CONCLUSION a fifth; the verdict columns and
    // STATE share the rest, with 4 to spare so that rounding never brings a
    // horizontal scroll bar.
    const int firstColumn = listWidth * 25 / 100;
    const int conclusionColumn = listWidth * 20 / 100;
    const int otherColumn = (listWidth - firstColumn - conclusionColumn - 4) / (kQueueColumnCount - 2);
    layout.columnWidths.fill(otherColumn);
    layout.columnWidths[kFileColumn] = firstColumn;
    layout.columnWidths[kConclusionColumn] = conclusionColumn;

    const int listBottom = layout.list.y() + layout.list.height();
    layout.splitter = QRect(m, listBottom, listWidth, 38);
    layout.panel = theme::ltrb(m, listBottom + 38, width - m, height - 52);
    const int panelTop = layout.panel.top();
    const int panelBottom = panelTop + layout.panel.height();
    const int panelRight = layout.panel.left() + layout.panel.width();

    layout.details = QRect(m + 18, panelTop + 44, listWidth * 53 / 100 - 28,
                           std::max(80, panelBottom - 60 - panelTop));
    layout.spectrum = theme::ltrb(m + listWidth * 53 / 100 + 24, panelTop + 16, panelRight - 20, panelBottom - 16);
    layout.progress = QRect(width - m - 180, height - 31, 180, 13);
    return layout;
}

WindowFit fitWindowToScreen(QSize design, QSize designMinimum, const QRect& available, const QMargins& frame)
{
    const int roomWidth = std::max(1, available.width() - frame.left() - frame.right());
    const int roomHeight = std::max(1, available.height() - frame.top() - frame.bottom());
    WindowFit fit;
    fit.minimum = QSize(std::min(designMinimum.width(), roomWidth), std::min(designMinimum.height(), roomHeight));
    const QSize size(std::min(design.width(), roomWidth), std::min(design.height(), roomHeight));
    const int x = available.x() + frame.left() + (roomWidth - size.width()) / 2;
    const int y = available.y() + frame.top() + (roomHeight - size.height()) / 2;
    fit.geometry = QRect(QPoint(x, y), size);
    return fit;
}

} // namespace orvel
