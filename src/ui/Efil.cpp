#include "ui/Efil.h"

#include "core/ListCursor.h"
#include "core/Text.h"
#include "dialogs/MsgBox.h"
#include "dialogs/ProgramInfo.h"
#include "ui/ByteText.h"
#include "ui/Lvdata.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStyle>
#include <QTabWidget>
#include <QVBoxLayout>

#include <array>
#include <vector>

namespace {

using toppeek::operations::kMbWarning;
using toppeek::operations::kProgramTitle;
using toppeek::operations::msgBox;

constexpr const char* kHelpContextProperty = "helpContext";

constexpr const char* kAddRuleCaption = "Add Rule";
constexpr const char* kEditRuleCaption = "Edit Rule";
constexpr const char* kDomainPrompt = "Domain (the part of the address after the @):";

// LBPrompt of the rule editor, by kind.
constexpr std::array<const char*, 3> kKindPrompts = {
    "Sender's email address or domain contains:",
    "Subject contains:",
    "Header block contains:",
};

template <class T> T* named(T* object, const char* name) {
    object->setObjectName(QString::fromLatin1(name));
    return object;
}

QPushButton* glyphButton(QWidget* parent, const char* name, const QString& caption,
                         QStyle::StandardPixmap glyph) {
    auto* button = named(new QPushButton(caption, parent), name);
    button->setIcon(parent->style()->standardIcon(glyph));
    return button;
}

// The dialogs are fixed boxes of their design size; a larger font may only
// make them grow, never crush the controls.
void fixSize(QDialog* dialog, int width, int height) {
    dialog->setFixedSize(QSize(width, height).expandedTo(dialog->minimumSizeHint()));
}

void centreOnScreen(QWidget* window) {
    const QScreen* screen = window->screen();
    if (screen == nullptr)
        return;
    const QRect area = screen->availableGeometry();
    window->move(area.center() - QPoint(window->width() / 2, window->height() / 2));
}

bool runModal(QDialog& dialog) {
    centreOnScreen(&dialog);
    return dialog.exec() == QDialog::Accepted;
}

// Cuts bytes to at most limit; a UTF-8 text loses no half character.
std::string cutBytes(std::string bytes, int limit) {
    const std::size_t keep = static_cast<std::size_t>(std::max(limit, 0));
    if (bytes.size() <= keep)
        return bytes;
    std::size_t end = keep;
    if (isValidUtf8(bytes))
        while (end > 0 && (static_cast<unsigned char>(bytes[end]) & 0xC0u) == 0x80u)
            --end;
    bytes.resize(end);
    return bytes;
}

// What an edit control gives back. Stored texts may be Latin-1, which the
// control shows but would re-encode as UTF-8: a text the user did not touch
// keeps its original bytes, so that opening and confirming changes nothing.
std::string bytesOfEdit(const QString& now, const QString& shown, const std::string& original,
                        int limit) {
    return cutBytes(now == shown ? original : now.toUtf8().toStdString(), limit);
}

void trimBoth(std::string& text) {
    std::vector<char> buffer(text.begin(), text.end());
    buffer.push_back('\0');
    trimInPlace(TrimMode::Both, buffer.data());
    text = buffer.data();
}

QHBoxLayout* okCancelRow(QPushButton* ok, QPushButton* cancel) {
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(ok);
    row->addWidget(cancel);
    return row;
}

} // namespace

void setHelpContext(QWidget* window, int context) {
    window->setProperty(kHelpContextProperty, context);
}

int helpContext(const QWidget* window) {
    return window->property(kHelpContextProperty).toInt();
}

// ---------------------------------------------------------------- TFEdit

TFEdit::TFEdit(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TFEdit"));
    LBPrompt = named(new QLabel(this), "LBPrompt");
    EdString = named(new QLineEdit(this), "EdString");
    BOk = glyphButton(this, "BOk", QStringLiteral("O&K"), QStyle::SP_DialogOkButton);
    BCancel =
        glyphButton(this, "BCancel", QStringLiteral("&Cancel"), QStyle::SP_DialogCancelButton);
    BOk->setDefault(true);
    connect(BOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(BCancel, &QPushButton::clicked, this, &QDialog::reject);

    // One line of fixed width: a long prompt is cut, never wrapped.
    LBPrompt->setWordWrap(false);
    LBPrompt->setFixedWidth(kClientWidth - 24);
    LBPrompt->setBuddy(EdString);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(LBPrompt);
    layout->addWidget(EdString);
    layout->addStretch(1);
    layout->addLayout(okCancelRow(BOk, BCancel));
    fixSize(this, kClientWidth, kClientHeight);
}

void TFEdit::setUp(const QString& caption, const QString& prompt, int context,
                   const std::string& text, int size) {
    setHelpContext(this, context);
    setWindowTitle(caption);
    LBPrompt->setText(prompt);
    keep_ = std::max(size - 2, 0);
    original_ = text;
    EdString->setMaxLength(std::max(keep_, 1));
    EdString->setText(keep_ > 0 ? textFromBytes(text) : QString());
    shown_ = EdString->text();
    EdString->selectAll();
    EdString->setFocus();
}

std::string TFEdit::editedText() const {
    return bytesOfEdit(EdString->text(), shown_, original_, keep_);
}

bool askText(const QString& caption, const QString& prompt, int context, std::string& text,
             int size) {
    TFEdit dialog;
    dialog.setUp(caption, prompt, context, text, size);
    if (!runModal(dialog))
        return false;
    text = dialog.editedText();
    return true;
}

bool askDomain(std::string& text, const TextList& list, const QString& caption, int context,
               int ownIndex) {
    for (;;) {
        if (!askText(caption, QString::fromLatin1(kDomainPrompt), context, text, kDomainBufferSize))
            return false;
        trimBoth(text);
        // Blanks alone would become an empty domain, which is what a sender
        // without an address has: banning it would mark all such messages.
        if (text.empty())
            return false;
        const int found = list.find(text);
        if (found < 0 || found == ownIndex)
            return true;
        msgBox(kMbWarning, kProgramTitle, "The domain \"%s\" is already in the list.",
               text.c_str());
    }
}

// ---------------------------------------------------------------- TFERule

TFERule::TFERule(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TFERule"));
    setWindowTitle(QStringLiteral("Rules"));

    PageControl1 = named(new QTabWidget(this), "PageControl1");
    TabSheet1 = named(new QWidget, "TabSheet1");
    PageControl1->addTab(TabSheet1, QStringLiteral("Condition"));

    RBKind = named(new QGroupBox(TabSheet1), "RBKind");
    RBKindItems = named(new QButtonGroup(RBKind), "RBKindItems");
    auto* kinds = new QVBoxLayout(RBKind);
    const std::array<const char*, 3> items = {"From email address or domain", "Subject includes",
                                              "Headers includes"};
    for (int i = 0; i < static_cast<int>(items.size()); ++i) {
        auto* radio =
            new QRadioButton(QString::fromLatin1(items[static_cast<std::size_t>(i)]), RBKind);
        radio->setObjectName(QStringLiteral("RBKind%1").arg(i));
        RBKindItems->addButton(radio, i);
        kinds->addWidget(radio);
    }

    LBPrompt =
        named(new QLabel(QStringLiteral("Enter email address / domain"), TabSheet1), "LBPrompt");
    EdAddDomain = named(new QLineEdit(TabSheet1), "EdAddDomain");
    CBSubject = named(new QComboBox(TabSheet1), "CBSubject");
    CBHeader = named(new QComboBox(TabSheet1), "CBHeader");
    const QStringList subjects = {
        "!!",         "$$",       "==",   "CHANGE YOUR LIFE", "INCREDIBLE DEAL", "HUGE PROFIT",
        "MAKE MONEY", "CALL 800", "BULK", "LOTERY",           "MONEY FAST",      "XXX"};
    const QStringList headers = {
        "X-Advertisement",          "X-Authentication-Warning", "X-Distribution: Mass",
        "X-Distribution: Moderate", "X-Distribution: Bulk",     "X-Mailer: Extractor",
        "X-Mailer: Floodgate",      "X-Mailer: Group Mail",     "X-Mailer: Millennium Mailer",
        "X-Sender: News Breaker"};
    EdAddDomain->setMaxLength(FilterRule::maxTextLength);
    for (auto [box, presets] : {std::pair{CBSubject, &subjects}, std::pair{CBHeader, &headers}}) {
        box->setEditable(true);
        box->addItems(*presets);
        // Free text: what is typed is taken as typed. Enter confirms the
        // dialog rather than growing the preset list, and no completion
        // quietly turns "b" into "BULK".
        box->setInsertPolicy(QComboBox::NoInsert);
        box->setCompleter(nullptr);
        box->lineEdit()->setMaxLength(FilterRule::maxTextLength);
        box->setEditText(QString());
    }

    auto* page = new QGridLayout(TabSheet1);
    page->addWidget(RBKind, 0, 0);
    page->addWidget(LBPrompt, 1, 0);
    // The three inputs share one place; only the chosen kind's is shown.
    page->addWidget(EdAddDomain, 2, 0);
    page->addWidget(CBSubject, 2, 0);
    page->addWidget(CBHeader, 2, 0);
    page->setRowStretch(3, 1);

    BOk = glyphButton(this, "BOk", QStringLiteral("&OK"), QStyle::SP_DialogOkButton);
    BCancel =
        glyphButton(this, "BCancel", QStringLiteral("&Cancel"), QStyle::SP_DialogCancelButton);
    BOk->setDefault(true);
    connect(BOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(BCancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(PageControl1, 1);
    layout->addLayout(okCancelRow(BOk, BCancel));

    connect(RBKindItems, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (checked)
            RBKindClick(id);
    });
    setKindIndex(0);
    showKindControl(0);
    fixSize(this, kClientWidth, kClientHeight);
}

int TFERule::kindIndex() const {
    return RBKindItems->checkedId();
}

void TFERule::setKindIndex(int index) {
    if (QAbstractButton* button = RBKindItems->button(index)) {
        button->setChecked(true);
        return;
    }
    // An exclusive group keeps one button checked unless told otherwise.
    RBKindItems->setExclusive(false);
    for (QAbstractButton* button : RBKindItems->buttons())
        button->setChecked(false);
    RBKindItems->setExclusive(true);
}

void TFERule::RBKindClick(int index) {
    showKindControl(index);
}

void TFERule::showKindControl(int kind) {
    const std::array<QWidget*, 3> inputs = {EdAddDomain, CBSubject, CBHeader};
    for (int i = 0; i < static_cast<int>(inputs.size()); ++i) {
        QWidget* input = inputs[static_cast<std::size_t>(i)];
        input->setVisible(i == kind);
        input->setEnabled(i == kind);
    }
    if (kind >= 0 && kind < static_cast<int>(kKindPrompts.size()))
        LBPrompt->setText(QString::fromLatin1(kKindPrompts[static_cast<std::size_t>(kind)]));
}

void TFERule::setUp(const FilterRule& rule, const QString& caption, int context) {
    // A kind byte from a damaged file names no item; the rule then opens as
    // a From rule, which it becomes only if the user confirms a text for it.
    int kind = static_cast<int>(rule.kind);
    if (RBKindItems->button(kind) == nullptr)
        kind = static_cast<int>(RuleKind::FromContains);
    setKindIndex(kind);

    EdAddDomain->setText(textFromBytes(rule.fromText));
    CBSubject->setEditText(textFromBytes(rule.subjectText));
    CBHeader->setEditText(textFromBytes(rule.headersText));
    from_ = {rule.fromText, EdAddDomain->text()};
    subject_ = {rule.subjectText, CBSubject->currentText()};
    headers_ = {rule.headersText, CBHeader->currentText()};

    setHelpContext(this, context);
    setWindowTitle(caption);
    showKindControl(kind);
}

bool TFERule::takeInto(FilterRule& rule) const {
    const int kind = kindIndex();
    rule.kind = static_cast<RuleKind>(std::max(kind, 0));
    rule.fromText =
        bytesOfEdit(EdAddDomain->text(), from_.shown, from_.bytes, FilterRule::maxTextLength);
    rule.subjectText = bytesOfEdit(CBSubject->currentText(), subject_.shown, subject_.bytes,
                                   FilterRule::maxTextLength);
    rule.headersText = bytesOfEdit(CBHeader->currentText(), headers_.shown, headers_.bytes,
                                   FilterRule::maxTextLength);
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
    TFERule dialog(owner);
    dialog.setUp(rule, caption, context);
    if (!runModal(dialog))
        return false;
    return dialog.takeInto(rule);
}

std::string ruleCaption(const FilterRule& rule) {
    std::string caption;
    switch (rule.kind) {
    case RuleKind::FromContains:
        caption = "From contains: " + rule.fromText;
        break;
    case RuleKind::SubjectContains:
        caption = "Subject contains: " + rule.subjectText;
        break;
    case RuleKind::HeadersContain:
        caption = "Headers contain: " + rule.headersText;
        break;
    default:
        caption =
            "Unknown kind " + std::to_string(static_cast<int>(rule.kind)) + ": " + rule.fromText;
        break;
    }
    // The editor cannot switch a rule off, but a stored one may be.
    if (rule.active == 0)
        caption += " (inactive)";
    return caption;
}

// ---------------------------------------------------------------- TFEFil

TFEFil::TFEFil(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TFEFil"));
    setWindowTitle(QStringLiteral("Edit Filters"));

    PageControl1 = named(new QTabWidget(this), "PageControl1");
    TabSheet1 = named(new QWidget, "TabSheet1");
    TabSheet2 = named(new QWidget, "TabSheet2");
    TabSheet3 = named(new QWidget, "TabSheet3");
    PageControl1->addTab(TabSheet1, QStringLiteral("Rules"));
    PageControl1->addTab(TabSheet2, QStringLiteral("Banned domains"));
    PageControl1->addTab(TabSheet3, QStringLiteral("Friendly domains"));

    // Rules page.
    LVRules = named(new TListViewData(TabSheet1), "LVRules");
    LVRules->setViewStyle(TViewStyle::Report);
    LVRules->addColumn(QStringLiteral("Rule"), 260);
    LVRules->lvdSetFullRow();
    LVRules->setMultiSelect(false);
    LVRules->setHideSelection(false);
    LVRules->OnLVFastDisplay = [this](TListViewData*, int nmask, char* sztext, int maxtext, int,
                                      int index, int*) {
        if ((nmask & LvifText) != 0)
            displayRule(sztext, maxtext, index);
    };
    BAdd = named(new QPushButton(QStringLiteral("&Add"), TabSheet1), "BAdd");
    BEdit = named(new QPushButton(QStringLiteral("&Edit"), TabSheet1), "BEdit");
    BDelete = named(new QPushButton(QStringLiteral("&Delete"), TabSheet1), "BDelete");
    CBRules = named(new QCheckBox(QStringLiteral("Enable Rejection Rules"), TabSheet1), "CBRules");

    // Builds a page of a list and its three buttons above a check box.
    auto pageLayout = [](QWidget* sheet, QWidget* label, QWidget* list,
                         std::array<QPushButton*, 3> buttons, QCheckBox* check) {
        auto* grid = new QGridLayout(sheet);
        int row = 0;
        if (label != nullptr)
            grid->addWidget(label, row++, 0);
        grid->addWidget(list, row, 0);
        auto* column = new QVBoxLayout;
        for (QPushButton* button : buttons)
            column->addWidget(button);
        column->addStretch(1);
        grid->addLayout(column, row, 1);
        grid->setRowStretch(row, 1);
        grid->addWidget(check, row + 1, 0, 1, 2);
    };
    pageLayout(TabSheet1, nullptr, LVRules, {BAdd, BEdit, BDelete}, CBRules);

    // Banned domains page.
    Label1 = named(new QLabel(QStringLiteral("Domains"), TabSheet2), "Label1");
    LBSites = named(new QListWidget(TabSheet2), "LBSites");
    BDBAdd = named(new QPushButton(QStringLiteral("&Add"), TabSheet2), "BDBAdd");
    BBDEdit = named(new QPushButton(QStringLiteral("&Edit"), TabSheet2), "BBDEdit");
    BBDDelete = named(new QPushButton(QStringLiteral("&Delete"), TabSheet2), "BBDDelete");
    CBBanned = named(new QCheckBox(QStringLiteral("Enable Banned Domains"), TabSheet2), "CBBanned");
    Label1->setBuddy(LBSites);
    pageLayout(TabSheet2, Label1, LBSites, {BDBAdd, BBDEdit, BBDDelete}, CBBanned);

    // Friendly domains page.
    Label2 = named(new QLabel(QStringLiteral("Domains"), TabSheet3), "Label2");
    LBSitesF = named(new QListWidget(TabSheet3), "LBSitesF");
    BFDAdd = named(new QPushButton(QStringLiteral("&Add"), TabSheet3), "BFDAdd");
    BFDEdit = named(new QPushButton(QStringLiteral("&Edit"), TabSheet3), "BFDEdit");
    BFDDelete = named(new QPushButton(QStringLiteral("&Delete"), TabSheet3), "BFDDelete");
    CBFriend =
        named(new QCheckBox(QStringLiteral("Enable Friendly Domains"), TabSheet3), "CBFriend");
    Label2->setBuddy(LBSitesF);
    pageLayout(TabSheet3, Label2, LBSitesF, {BFDAdd, BFDEdit, BFDDelete}, CBFriend);

    for (QListWidget* box : {LBSites, LBSitesF})
        box->setSelectionMode(QAbstractItemView::SingleSelection);

    BOk = glyphButton(this, "BOk", QStringLiteral("&OK"), QStyle::SP_DialogOkButton);
    BCancel =
        glyphButton(this, "BCancel", QStringLiteral("&Cancel"), QStyle::SP_DialogCancelButton);
    BOk->setDefault(true);
    connect(BOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(BCancel, &QPushButton::clicked, this, &QDialog::reject);

    connect(BAdd, &QPushButton::clicked, this, &TFEFil::BAddClick);
    connect(BEdit, &QPushButton::clicked, this, &TFEFil::BEditClick);
    connect(BDelete, &QPushButton::clicked, this, &TFEFil::BDeleteClick);
    connect(BDBAdd, &QPushButton::clicked, this, &TFEFil::BDBAddClick);
    connect(BBDEdit, &QPushButton::clicked, this, &TFEFil::BBDEditClick);
    connect(BBDDelete, &QPushButton::clicked, this, &TFEFil::BBDDeleteClick);
    connect(BFDAdd, &QPushButton::clicked, this, &TFEFil::BFDAddClick);
    connect(BFDEdit, &QPushButton::clicked, this, &TFEFil::BFDEditClick);
    connect(BFDDelete, &QPushButton::clicked, this, &TFEFil::BFDDeleteClick);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(PageControl1, 1);
    layout->addLayout(okCancelRow(BOk, BCancel));
    PageControl1->setCurrentIndex(0);
    fixSize(this, kClientWidth, kClientHeight);
}

void TFEFil::setUp(Filters& filters, const QString& caption, int context) {
    setHelpContext(this, context);
    setWindowTitle(caption);
    filters_ = &filters;
    ruleIndex_ = 0;
    CBFriend->setChecked(filters.friendlyEnabled != 0);
    CBBanned->setChecked(filters.bannedEnabled != 0);
    CBRules->setChecked(filters.rulesEnabled != 0);

    LVRules->lvdClearAll();
    LVRules->lvdSetCount(filters.rules.count());
    fillDomains(LBSites, filters.bannedDomains);
    fillDomains(LBSitesF, filters.friendlyDomains);
    PageControl1->setCurrentIndex(0);
}

void TFEFil::copySwitchesBack() {
    if (filters_ == nullptr)
        return;
    filters_->friendlyEnabled = CBFriend->isChecked() ? 1 : 0;
    filters_->bannedEnabled = CBBanned->isChecked() ? 1 : 0;
    filters_->rulesEnabled = CBRules->isChecked() ? 1 : 0;
}

void TFEFil::fillDomains(QListWidget* box, const TextList& list) {
    box->clear();
    for (const std::string* text : list.items)
        box->addItem(textFromBytes(*text));
}

void TFEFil::displayRule(char* text, int size, int row) const {
    if (filters_ == nullptr)
        return;
    if (const FilterRule* rule = filters_->rules.at(row))
        copyText(text, ruleCaption(*rule).c_str(), size);
}

int TFEFil::workingIndex() const {
    const int count = LVRules->lvdGetCount();
    for (int i = 0; i < count; ++i)
        if (LVRules->lvdItemSelected(i) != 0)
            return i;
    return 0;
}

void TFEFil::selectRule(int index) {
    LVRules->lvdSelectAll(0);
    LVRules->lvdGoto(index);
    LVRules->setFocus();
}

void TFEFil::BAddClick() {
    if (filters_ == nullptr)
        return;
    FilterRuleList& rules = filters_->rules;
    ruleIndex_ = workingIndex();
    std::unique_ptr<FilterRule> rule = createFilterRule();
    if (!editRule(*rule, QString::fromLatin1(kAddRuleCaption), kRuleHelpContext, this))
        return;
    std::unique_ptr<FilterRule> copy = cloneFilterRule(*rule);
    // A new rule goes behind the selected one, or behind the first when
    // none is selected.
    const int at = rules.count() == 0 ? 0 : ruleIndex_ + 1;
    if (rules.insertAt(at, copy.get()) < 0)
        return;
    copy.release();
    LVRules->lvdAdd(at, 0);
    ruleIndex_ = at;
    selectRule(ruleIndex_);
}

void TFEFil::BEditClick() {
    if (filters_ == nullptr)
        return;
    FilterRuleList& rules = filters_->rules;
    ruleIndex_ = workingIndex();
    if (rules.count() == 0 || ruleIndex_ >= rules.count())
        return;
    std::unique_ptr<FilterRule> rule = createFilterRule();
    copyFilterRule(*rule, *rules.at(ruleIndex_));
    if (!editRule(*rule, QString::fromLatin1(kEditRuleCaption), kRuleHelpContext, this))
        return;
    rules.replaceAt(ruleIndex_, cloneFilterRule(*rule).release());
    LVRules->lvdUpdate(ruleIndex_);
    selectRule(ruleIndex_);
}

void TFEFil::BDeleteClick() {
    if (filters_ == nullptr)
        return;
    FilterRuleList& rules = filters_->rules;
    ruleIndex_ = workingIndex();
    if (rules.count() == 0 || ruleIndex_ < 0 || ruleIndex_ >= rules.count())
        return;
    FilterRule* gone = rules.at(ruleIndex_);
    rules.removeAt(ruleIndex_);
    destroyFilterRule(gone);
    LVRules->lvdRemove(ruleIndex_);
    adjustIndex(ruleIndex_, rules.count(), 2, 0);
    if (rules.count() > 0)
        selectRule(ruleIndex_);
}

TFEFil::DomainPage TFEFil::bannedPage() const {
    return {LBSites, filters_ != nullptr ? &filters_->bannedDomains : nullptr, "Add Banned Domain",
            "Edit Banned Domain"};
}

TFEFil::DomainPage TFEFil::friendlyPage() const {
    return {LBSitesF, filters_ != nullptr ? &filters_->friendlyDomains : nullptr,
            "Add Friendly Domain", "Edit Friendly Domain"};
}

int TFEFil::selectedLine(const QListWidget* box) {
    const QList<QListWidgetItem*> selected = box->selectedItems();
    return selected.isEmpty() ? -1 : box->row(selected.first());
}

void TFEFil::insertDomain(const DomainPage& page, std::string text) {
    const QString shown = textFromBytes(text);
    const int at = page.list->add(std::move(text));
    if (at < 0)
        return;
    page.box->insertItem(at, shown);
    page.box->setCurrentRow(at);
    page.box->setFocus();
}

void TFEFil::addDomain(const DomainPage& page) {
    if (page.list == nullptr)
        return;
    std::string text;
    if (askDomain(text, *page.list, QString::fromLatin1(page.addCaption), helpContext(this), -1))
        insertDomain(page, std::move(text));
}

void TFEFil::editDomain(const DomainPage& page) {
    if (page.list == nullptr)
        return;
    const int index = selectedLine(page.box);
    if (index < 0 || index >= page.list->count())
        return;
    std::string text = cutBytes(*page.list->at(index), kMaxDomainLength);
    if (!askDomain(text, *page.list, QString::fromLatin1(page.editCaption), helpContext(this),
                   index))
        return;
    page.list->removeAt(index);
    delete page.box->takeItem(index);
    insertDomain(page, std::move(text));
}

void TFEFil::deleteDomain(const DomainPage& page) {
    if (page.list == nullptr)
        return;
    int index = selectedLine(page.box);
    if (index < 0 || index >= page.list->count())
        return;
    page.list->removeAt(index);
    delete page.box->takeItem(index);
    const int count = page.list->count();
    if (count > 0) {
        adjustIndex(index, count, 2, 0);
        page.box->setCurrentRow(index);
        page.box->setFocus();
    }
}

void TFEFil::BDBAddClick() {
    addDomain(bannedPage());
}

void TFEFil::BBDEditClick() {
    editDomain(bannedPage());
}

void TFEFil::BBDDeleteClick() {
    deleteDomain(bannedPage());
}

void TFEFil::BFDAddClick() {
    addDomain(friendlyPage());
}

void TFEFil::BFDEditClick() {
    editDomain(friendlyPage());
}

void TFEFil::BFDDeleteClick() {
    deleteDomain(friendlyPage());
}

bool editFilters(Filters& filters, const QString& caption, int context, QWidget* owner) {
    TFEFil dialog(owner);
    dialog.setUp(filters, caption, context);
    if (!runModal(dialog))
        return false;
    dialog.copySwitchesBack();
    return true;
}
