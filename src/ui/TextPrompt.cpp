#include "ui/TextPrompt.h"

#include "core/Text.h"
#include "dialogs/DisplayText.h"
#include "dialogs/MsgBox.h"
#include "dialogs/ProgramInfo.h"
#include "ui/DialogSupport.h"
#include "ui/HelpContext.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <vector>

namespace toppeek::ui {

using core::TextList;
using core::trimInPlace;
using core::TrimMode;
using dialogs::kMbWarning;
using dialogs::kProgramTitle;
using dialogs::msgBox;

namespace {

constexpr const char* kDomainPrompt =
    QT_TRANSLATE_NOOP("toppeek::ui::TextPrompt", "Domain (the part of the address after the @):");

void trimBoth(std::string& text) {
    std::vector<char> buffer(text.begin(), text.end());
    buffer.push_back('\0');
    trimInPlace(TrimMode::Both, buffer.data());
    text = buffer.data();
}

} // namespace

TextPrompt::TextPrompt(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TFEdit"));
    promptLabel = named(new QLabel(this), "LBPrompt");
    textEdit = named(new QLineEdit(this), "EdString");
    const OkCancelRow buttons = okCancelRow(this, tr("O&K"));
    okButton = buttons.ok;
    cancelButton = buttons.cancel;
    QDialogButtonBox* buttonRow = buttons.row;

    // One line of fixed width: a long prompt is cut, never wrapped.
    promptLabel->setWordWrap(false);
    promptLabel->setFixedWidth(kClientWidth - 24);
    promptLabel->setBuddy(textEdit);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(promptLabel);
    layout->addWidget(textEdit);
    layout->addStretch(1);
    layout->addWidget(buttonRow);
    fixToDesignSize(this, kClientWidth, kClientHeight);
}

void TextPrompt::setUp(const QString& caption, const QString& prompt, int context,
                       const std::string& text, int size) {
    setHelpContext(this, context);
    setWindowTitle(caption);
    promptLabel->setText(prompt);
    keep_ = std::max(size - 2, 0);
    original_ = text;
    textEdit->setMaxLength(std::max(keep_, 1));
    textEdit->setText(keep_ > 0 ? dialogs::displayText(text) : QString());
    shown_ = textEdit->text();
    textEdit->selectAll();
    textEdit->setFocus();
}

std::string TextPrompt::editedText() const {
    return bytesOfEdit(textEdit->text(), shown_, original_, keep_);
}

bool askText(const QString& caption, const QString& prompt, int context, std::string& text,
             int size) {
    TextPrompt dialog;
    dialog.setUp(caption, prompt, context, text, size);
    if (!runCentred(dialog))
        return false;
    text = dialog.editedText();
    return true;
}

bool askDomain(std::string& text, const TextList& list, const QString& caption, int context,
               int ownIndex) {
    for (;;) {
        if (!askText(caption, QCoreApplication::translate("toppeek::ui::TextPrompt", kDomainPrompt),
                     context, text, kDomainBufferSize))
            return false;
        trimBoth(text);
        // Blanks alone would become an empty domain, which is what a sender
        // without an address has: banning it would mark all such messages.
        if (text.empty())
            return false;
        const int found = list.find(text);
        if (found < 0 || found == ownIndex)
            return true;
        msgBox(kMbWarning, kProgramTitle,
               QT_TRANSLATE_NOOP("MsgBox", "The domain \"%s\" is already in the list."),
               text.c_str());
    }
}

} // namespace toppeek::ui
