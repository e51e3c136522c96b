// SPDX-License-Identifier: MIT
#include "ui/command_button.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QPainter>

#include "ui/theme.h"

namespace orvel {

CommandButton::CommandButton(const QString& text, Kind kind, QWidget* parent)
    : QAbstractButton(parent), m_kind(kind)
{
    setText(text);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent, kind != Kind::Dialog);
    setFont(kind == Kind::Dialog ? theme::font(13, 600) : theme::font(theme::FontRole::Ui));
}

QSize CommandButton::sizeHint() const { return {110, 38}; }

void CommandButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRect r = rect();
    // A toggle that is on keeps the pressed face.
    const bool pressed = isDown() || (isCheckable() && isChecked());
    QColor face;
    QColor caption;
    if (m_kind == Kind::Dialog) {
        face = pressed ? theme::kAccentPressed : theme::kAccent;
        caption = theme::kWindowBackground;
        painter.fillRect(r, theme::kWindowBackground);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(face);
        // A 9-unit corner ellipse, as the round rectangle is specified.
        painter.drawRoundedRect(QRectF(r), 4.5, 4.5);
        painter.setRenderHint(QPainter::Antialiasing, false);
    } else {
        if (pressed) {
            face = theme::kPressed;
        } else if (m_kind == Kind::Primary && isEnabled()) {
            face = theme::kAccent;
        } else {
            face = theme::kPanelBackground;
        }
        painter.fillRect(r, face);
        if (!isEnabled()) {
            caption = theme::kDisabledText;
        } else if (m_kind == Kind::Primary) {
            caption = theme::kWindowBackground;
        } else {
            caption = theme::kPrimaryText;
        }
    }
    painter.setPen(caption);
    painter.setFont(font());
    painter.drawText(r, Qt::AlignCenter | Qt::TextSingleLine, text().left(80));
    if (hasFocus() && m_keyboardFocus) {
        const int inset = m_kind == Kind::Dialog ? 4 : 3;
        QPen pen(caption, 1, Qt::DotLine);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(r.adjusted(inset, inset, -inset - 1, -inset - 1));
    }
}

void CommandButton::keyPressEvent(QKeyEvent* event)
{
    // Enter presses a focused button, as Space does.
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && event->modifiers() == Qt::NoModifier) {
        animateClick();
        return;
    }
    QAbstractButton::keyPressEvent(event);
}

void CommandButton::focusInEvent(QFocusEvent* event)
{
    const Qt::FocusReason reason = event->reason();
    m_keyboardFocus = reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason ||
                      reason == Qt::ShortcutFocusReason;
    QAbstractButton::focusInEvent(event);
}

void CommandButton::focusOutEvent(QFocusEvent* event)
{
    m_keyboardFocus = false;
    QAbstractButton::focusOutEvent(event);
}

} // namespace orvel
