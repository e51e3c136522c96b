// SPDX-License-Identifier: MIT
#pragma once

#include <QAbstractButton>

namespace orvel {

// A push button painted in the window's scheme. The primary one (Analyze
// queue) has an accent face while enabled. Kind::Dialog is the About dialog's
// rounded Close button.
class CommandButton : public QAbstractButton {
    Q_OBJECT
public:
    enum class Kind { Command, Primary, Dialog };

    CommandButton(const QString& text, Kind kind, QWidget* parent = nullptr);
    [[nodiscard]] QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    Kind m_kind;
    bool m_keyboardFocus = false; // focus rectangles only after keyboard navigation
};

} // namespace orvel
