#include "ui/RuleEditor.h"

#include "dialogs/DisplayText.h"
#include "ui/DialogSupport.h"
#include "ui/HelpContext.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <array>

namespace toppeek::ui {

using messages::FilterRule;
using messages::RuleKind;

namespace {

// promptLabel, by kind.
constexpr std::array<const char*, 3> kKindPrompts = {
    QT_TRANSLATE_NOOP("toppeek::ui::RuleEditor", "Sender's email address or domain contains:"),
    QT_TRANSLATE_NOOP("toppeek::ui::RuleEditor", "Subject contains:"),
    QT_TRANSLATE_NOOP("toppeek::ui::RuleEditor", "Header block contains:"),
};

} // namespace

RuleEditor::RuleEditor(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TFERule"));
    setWindowTitle(tr("Rules"));

    pages = named(new QTabWidget(this), "PageControl1");
    conditionPage = named(new QWidget, "TabSheet1");
    pages->addTab(conditionPage, tr("Condition"));

    kindGroup = named(new QGroupBox(conditionPage), "RBKind");
    kindButtons = named(new QButtonGroup(kindGroup), "RBKindItems");
    auto* kinds = new QVBoxLayout(kindGroup);
    const std::array<const char*, 3> items = {QT_TR_NOOP("From email address or domain"),
                                              QT_TR_NOOP("Subject includes"),
                                              QT_TR_NOOP("Headers includes")};
    for (int i = 0; i < static_cast<int>(items.size()); ++i) {
        auto* radio = new QRadioButton(tr(items[static_cast<std::size_t>(i)]), kindGroup);
        radio->setObjectName(QStringLiteral("RBKind%1").arg(i));
        kindButtons->addButton(radio, i);
        kinds->addWidget(radio);
    }

    promptLabel = named(new QLabel(tr("Enter email address / domain"), conditionPage), "LBPrompt");
    fromEdit = named(new QLineEdit(conditionPage), "EdAddDomain");
    subjectBox = named(new QComboBox(conditionPage), "CBSubject");
    headerBox = named(new QComboBox(conditionPage), "CBHeader");
    // The three inputs share the prompt's place; each is named after what it takes.
    fromEdit->setAccessibleName(tr("Email address or domain"));
    subjectBox->setAccessibleName(tr("Text the subject includes"));
    headerBox->setAccessibleName(tr("Text the headers include"));
    const QStringList subjects = {
        "!!",         "$$",       "==",   "CHANGE YOUR LIFE", "INCREDIBLE DEAL", "HUGE PROFIT",
        "MAKE MONEY", "CALL 800", "BULK", "LOTERY",           "MONEY FAST",      "XXX"};
    const QStringList headers = {
        "X-Advertisement",          "X-Authentication-Warning", "X-Distribution: Mass",
        "X-Distribution: Moderate", "X-Distribution: Bulk",     "X-Mailer: Extractor",
        "X-Mailer: Floodgate",      "X-Mailer: Group Mail",     "X-Mailer: Millennium Mailer",
        "X-Sender: News Breaker"};
    fromEdit->setMaxLength(FilterRule::kMaxTextLength);
    for (auto [box, presets] : {std::pair{subjectBox, &subjects}, std::pair{headerBox, &headers}}) {
        box->setEditable(true);
        box->addItems(*presets);
        // Free text: what is typed is taken as typed. Enter confirms the
        // dialog rather than growing the preset list, and no completion
        // quietly turns "b" into "BULK".
        box->setInsertPolicy(QComboBox::NoInsert);
        box->setCompleter(nullptr);
        box->lineEdit()->setMaxLength(FilterRule::kMaxTextLength);
        box->setEditText(QString());
    }

    auto* page = new QGridLayout(conditionPage);
    page->addWidget(kindGroup, 0, 0);
    page->addWidget(promptLabel, 1, 0);
    // The three inputs share one place; only the chosen kind's is shown.
    page->addWidget(fromEdit, 2, 0);
    page->addWidget(subjectBox, 2, 0);
    page->addWidget(headerBox, 2, 0);
    page->setRowStretch(3, 1);

    const OkCancelRow buttons = okCancelRow(this);
    okButton = buttons.ok;
    cancelButton = buttons.cancel;
    QDialogButtonBox* buttonRow = buttons.row;

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(pages, 1);
    layout->addWidget(buttonRow);

    connect(kindButtons, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (checked)
            showKindControl(id);
    });
    setKindIndex(0);
    showKindControl(0);
    fixToDesignSize(this, kClientWidth, kClientHeight);
}

int RuleEditor::kindIndex() const {
    return kindButtons->checkedId();
}

void RuleEditor::setKindIndex(int index) {
    if (QAbstractButton* button = kindButtons->button(index)) {
        button->setChecked(true);
        return;
    }
    // An exclusive group keeps one button checked unless told otherwise.
    kindButtons->setExclusive(false);
    for (QAbstractButton* button : kindButtons->buttons())
        button->setChecked(false);
    kindButtons->setExclusive(true);
}

void RuleEditor::showKindControl(int kind) {
    const std::array<QWidget*, 3> inputs = {fromEdit, subjectBox, headerBox};
    for (int i = 0; i < static_cast<int>(inputs.size()); ++i) {
        QWidget* input = inputs[static_cast<std::size_t>(i)];
        input->setVisible(i == kind);
        input->setEnabled(i == kind);
    }
    if (kind >= 0 && kind < static_cast<int>(kKindPrompts.size()))
        promptLabel->setText(tr(kKindPrompts[static_cast<std::size_t>(kind)]));
}

void RuleEditor::setUp(const FilterRule& rule, const QString& caption, int context) {
    // A kind byte from a damaged file names no item; the rule then opens as
    // a From rule, which it becomes only if the user confirms a text for it.
    int kind = static_cast<int>(rule.kind);
    if (kindButtons->button(kind) == nullptr)
        kind = static_cast<int>(RuleKind::FromContains);
    setKindIndex(kind);

    fromEdit->setText(dialogs::displayText(rule.fromText));
    subjectBox->setEditText(dialogs::displayText(rule.subjectText));
    headerBox->setEditText(dialogs::displayText(rule.headersText));
    from_ = {rule.fromText, fromEdit->text()};
    subject_ = {rule.subjectText, subjectBox->currentText()};
    headers_ = {rule.headersText, headerBox->currentText()};

    setHelpContext(this, context);
    setWindowTitle(caption);
    showKindControl(kind);
}

bool RuleEditor::takeInto(FilterRule& rule) const {
    const int kind = kindIndex();
    rule.kind = static_cast<RuleKind>(std::max(kind, 0));
    rule.fromText =
        bytesOfEdit(fromEdit->text(), from_.shown, from_.bytes, FilterRule::kMaxTextLength);
    rule.subjectText = bytesOfEdit(subjectBox->currentText(), subject_.shown, subject_.bytes,
                                   FilterRule::kMaxTextLength);
    rule.headersText = bytesOfEdit(headerBox->currentText(), headers_.shown, headers_.bytes,
                                   FilterRule::kMaxTextLength);
    switch (rule.kind) {
    case RuleKind::FromContains:
        return !rule.fromText.empty();
    case RuleKind::SubjectContains:
        return !rule.subjectText.empty();
    case RuleKind::HeadersContain:
        return !rule.headersText.empty();
    }
    return false;
}

bool editRule(FilterRule& rule, const QString& caption, int context, QWidget* owner) {
    RuleEditor dialog(owner);
    dialog.setUp(rule, caption, context);
    if (!runCentred(dialog))
        return false;
    return dialog.takeInto(rule);
}

} // namespace toppeek::ui
