// SPDX-License-Identifier: MIT
#pragma once

#include <QAbstractButton>
#include <QDialog>
#include <QUrl>

namespace orvel {

class CommandButton;

// A text link that opens its web address in the default browser.
class LinkButton : public QAbstractButton {
    Q_OBJECT
public:
    LinkButton(const QString& text, const QUrl& url, QWidget* parent = nullptr);
    [[nodiscard]] QUrl url() const { return m_url; }
    [[nodiscard]] QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QUrl m_url;
};

// The About dialog: wordmark, version, the three checks, credits with links to
// the libraries' project pages, and a note on reading results.
class AboutDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr int kWidth = 680;
    static constexpr int kHeight = 660;

    explicit AboutDialog(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // Returns the link's width.
    int placeLink(const QString& text, const QUrl& url, int x, int y);

    CommandButton* m_close = nullptr;
};

} // namespace orvel
