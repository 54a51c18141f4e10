// TextPrompt asks for one line of text; askText runs it, and askDomain runs it for a domain of a
// filter's domain lists. The dialog is created for one use; its methods that fill and read the
// controls are public so that tests can drive it without running it modally.
#pragma once

#include "core/TextList.h"

#include <QDialog>
#include <QString>

#include <string>

class QLabel;
class QLineEdit;
class QPushButton;

namespace toppeek::ui {

class TextPrompt : public QDialog {
    Q_OBJECT

public:
    static constexpr int kClientWidth = 374;
    static constexpr int kClientHeight = 114;

    explicit TextPrompt(QWidget* parent = nullptr);

    // Fills the dialog: caption, prompt and the text of a buffer of size
    // bytes (shown cut to size - 2 characters, all the buffer gives back).
    void setUp(const QString& caption, const QString& prompt, int helpContext,
               const std::string& text, int size);
    // The text OK gives back: the edit's text cut to size - 2 bytes. An
    // untouched text keeps the bytes it came with, whatever their encoding.
    std::string editedText() const;

    QLabel* promptLabel;
    QLineEdit* textEdit;
    QPushButton* okButton;
    QPushButton* cancelButton;

private:
    std::string original_; // the buffer's bytes as given
    QString shown_;        // textEdit's text as the dialog opened
    int keep_ = 0;         // size - 2: the longest text given back
};

// Asks for one line of text in a dialog without owner. On OK text holds the
// edited text cut to size - 2 characters and the result is true; on Cancel
// text is unchanged and the result is false.
bool askText(const QString& caption, const QString& prompt, int helpContext, std::string& text,
             int size);

// Asks for a domain (at most kMaxDomainLength characters) until it is one
// the list does not hold yet, or the entry at ownIndex itself (the one
// being edited; -1 when adding). The text is trimmed of blanks at both
// ends; its letter case stays as typed. False when the user cancels or
// leaves nothing but blanks. A duplicate is refused with a warning and the
// dialog opens again with the trimmed text.
inline constexpr int kDomainBufferSize = 98;
inline constexpr int kMaxDomainLength = kDomainBufferSize - 2;
bool askDomain(std::string& text, const core::TextList& list, const QString& caption,
               int helpContext, int ownIndex);

} // namespace toppeek::ui
