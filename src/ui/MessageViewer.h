// The message viewer: one text shown read-only.
#pragma once

#include <QDialog>
#include <QSize>
#include <QString>

#include <string>
#include <string_view>

class QCheckBox;
class QKeyEvent;
class QPlainTextEdit;
class QPushButton;
class QWidget;

namespace toppeek::ui {

// Shows one text read-only: a message or a header block decoded for reading,
// with "Show raw lines" switching to the lines as fetched, or any plain text.
// The size the user leaves a viewer at is what the next viewer of the same
// run opens with; it is not kept across runs.
class MessageViewer : public QDialog {
    Q_OBJECT

public:
    static constexpr int kDesignWidth = 570;
    static constexpr int kDesignHeight = 393;

    explicit MessageViewer(QWidget* owner = nullptr);

    // Sets the caption and the text, and the remembered size if there is
    // one. Does not show the window.
    void ShowText(std::string_view text, const QString& title);
    // ShowText, then runs the window modally.
    int Execute(std::string_view text, const QString& title);
    // Shows readable (UTF-8, already decoded for reading) with a check box that switches to raw
    // (the lines as fetched, bytes by the 8-bit rule) and back. Does not show the window.
    void ShowReadable(std::string_view readable, std::string_view raw, const QString& title);

    // The remembered size; -1 by -1 while no viewer has closed in this run.
    static QSize rememberedSize();
    static void forgetSize();

    QPlainTextEdit* textView;
    QWidget* buttonPanel;
    QPushButton* closeButton;
    QCheckBox* rawLinesBox; // "Show raw lines", on show only for a text that has a raw form

    void closeClicked();

    // Every way of closing ends here: Close, Enter, Esc and the window's
    // close box alike.
    void done(int result) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool textKeyPressed(QKeyEvent* event);
    void FormClose();
    void showChosenForm();

    QString readable_;
    QString raw_;
};

// Creates a viewer owned by owner, shows text under title and releases the
// viewer when it is closed.
void viewText(QWidget* owner, std::string_view text, const QString& title);

// The same with a readable form and a raw one (MessageViewer::ShowReadable).
void viewReadable(QWidget* owner, std::string_view readable, std::string_view raw,
                  const QString& title);

} // namespace toppeek::ui
