#include "ui/FilterEditor.h"

#include "core/ListCursor.h"
#include "core/Text.h"
#include "ui/DialogSupport.h"
#include "ui/DomainListPage.h"
#include "ui/HelpContext.h"
#include "ui/MessageListView.h"
#include "ui/RuleEditor.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include <memory>

using namespace toppeek::messages;

namespace toppeek::ui {

using core::adjustIndex;

namespace {

constexpr const char* kAddRuleCaption = QT_TRANSLATE_NOOP("toppeek::ui::FilterEditor", "Add Rule");
constexpr const char* kEditRuleCaption =
    QT_TRANSLATE_NOOP("toppeek::ui::FilterEditor", "Edit Rule");

constexpr DomainListPage::Names kBannedNames = {
    .page = "TabSheet2",
    .label = "Label1",
    .list = "LBSites",
    .addButton = "BDBAdd",
    .editButton = "BBDEdit",
    .deleteButton = "BBDDelete",
    .enabledBox = "CBBanned",
    .enabledCaption = QT_TRANSLATE_NOOP("toppeek::ui::FilterEditor", "Enable Banned Domains"),
    .addCaption = QT_TRANSLATE_NOOP("toppeek::ui::FilterEditor", "Add Banned Domain"),
    .editCaption = QT_TRANSLATE_NOOP("toppeek::ui::FilterEditor", "Edit Banned Domain")};
constexpr DomainListPage::Names kFriendlyNames = {
    .page = "TabSheet3",
    .label = "Label2",
    .list = "LBSitesF",
    .addButton = "BFDAdd",
    .editButton = "BFDEdit",
    .deleteButton = "BFDDelete",
    .enabledBox = "CBFriend",
    .enabledCaption = QT_TRANSLATE_NOOP("toppeek::ui::FilterEditor", "Enable Friendly Domains"),
    .addCaption = QT_TRANSLATE_NOOP("toppeek::ui::FilterEditor", "Add Friendly Domain"),
    .editCaption = QT_TRANSLATE_NOOP("toppeek::ui::FilterEditor", "Edit Friendly Domain")};

} // namespace

std::string ruleCaption(const FilterRule& rule) {
    const auto text = [](const char* source) {
        return QCoreApplication::translate("toppeek::ui::FilterEditor", source).toStdString();
    };
    std::string caption;
    switch (rule.kind) {
    case RuleKind::FromContains:
        caption =
            text(QT_TRANSLATE_NOOP("toppeek::ui::FilterEditor", "From contains: ")) + rule.fromText;
        break;
    case RuleKind::SubjectContains:
        caption = text(QT_TRANSLATE_NOOP("toppeek::ui::FilterEditor", "Subject contains: ")) +
                  rule.subjectText;
        break;
    case RuleKind::HeadersContain:
        caption = text(QT_TRANSLATE_NOOP("toppeek::ui::FilterEditor", "Headers contain: ")) +
                  rule.headersText;
        break;
    default:
        caption =
            "Unknown kind " + std::to_string(static_cast<int>(rule.kind)) + ": " + rule.fromText;
        break;
    }
    // The editor cannot switch a rule off, but a stored one may be.
    if (rule.active == 0)
        caption += text(QT_TRANSLATE_NOOP("toppeek::ui::FilterEditor", " (inactive)"));
    return caption;
}

namespace {

// The rules page's rows, each read from its rule when painted. The editor's
// filters are followed through its pointer to them, which changes with every
// filters the editor is given.
class RuleRowsModel final : public ListRowsModel {
public:
    explicit RuleRowsModel(Filters* const& filters) : filters_(filters) {}

    QString cellText(int row, int /*column*/) const override {
        const FilterRule* rule = filters_ != nullptr ? filters_->rules.at(row) : nullptr;
        return rule != nullptr ? cellFromBytes(ruleCaption(*rule)) : QString();
    }

private:
    Filters* const& filters_;
};

} // namespace

FilterEditor::FilterEditor(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TFEFil"));
    setWindowTitle(tr("Edit Filters"));

    pages = named(new QTabWidget(this), "PageControl1");
    rulesPage = named(new QWidget, "TabSheet1");
    bannedPage = new DomainListPage(kBannedNames);
    friendlyPage = new DomainListPage(kFriendlyNames);
    pages->addTab(rulesPage, tr("Rules"));
    pages->addTab(bannedPage, tr("Banned domains"));
    pages->addTab(friendlyPage, tr("Friendly domains"));

    ruleList =
        named(new MessageListView(std::make_unique<RuleRowsModel>(filters_), rulesPage), "LVRules");
    ruleList->setViewStyle(ListViewStyle::Report);
    ruleList->setListName(tr("Rules"));
    ruleList->addColumn(tr("Rule"), 260);
    ruleList->setFullRowSelect();
    ruleList->setMultiSelect(false);
    ruleList->setHideSelection(false);
    addRuleButton = named(new QPushButton(tr("&Add"), rulesPage), "BAdd");
    editRuleButton = named(new QPushButton(tr("&Edit"), rulesPage), "BEdit");
    deleteRuleButton = named(new QPushButton(tr("&Delete"), rulesPage), "BDelete");
    rulesEnabledBox = named(new QCheckBox(tr("Enable Rejection Rules"), rulesPage), "CBRules");
    layOutListPage(rulesPage, nullptr, ruleList, {addRuleButton, editRuleButton, deleteRuleButton},
                   rulesEnabledBox);

    const OkCancelRow buttons = okCancelRow(this);
    okButton = buttons.ok;
    cancelButton = buttons.cancel;
    QDialogButtonBox* buttonRow = buttons.row;

    connect(addRuleButton, &QPushButton::clicked, this, &FilterEditor::addRule);
    connect(editRuleButton, &QPushButton::clicked, this, &FilterEditor::editSelectedRule);
    connect(deleteRuleButton, &QPushButton::clicked, this, &FilterEditor::deleteRule);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(pages, 1);
    layout->addWidget(buttonRow);
    pages->setCurrentIndex(0);
    fixToDesignSize(this, kClientWidth, kClientHeight);
}

void FilterEditor::setUp(Filters& filters, const QString& caption, int context) {
    setHelpContext(this, context);
    setWindowTitle(caption);
    filters_ = &filters;
    ruleIndex_ = 0;
    rulesEnabledBox->setChecked(filters.rulesEnabled != 0);

    ruleList->clearRows();
    ruleList->setRowCount(filters.rules.count());
    bannedPage->setUp(filters.bannedDomains, filters.bannedEnabled != 0);
    friendlyPage->setUp(filters.friendlyDomains, filters.friendlyEnabled != 0);
    pages->setCurrentIndex(0);
}

void FilterEditor::copySwitchesBack() {
    if (filters_ == nullptr)
        return;
    filters_->friendlyEnabled = friendlyPage->switchedOn() ? 1 : 0;
    filters_->bannedEnabled = bannedPage->switchedOn() ? 1 : 0;
    filters_->rulesEnabled = rulesEnabledBox->isChecked() ? 1 : 0;
}

int FilterEditor::workingIndex() const {
    const int count = ruleList->rowCount();
    for (int i = 0; i < count; ++i)
        if (ruleList->isRowSelected(i))
            return i;
    return 0;
}

void FilterEditor::selectRule(int index) {
    ruleList->setAllRowsSelected(false);
    ruleList->goToRow(index);
    ruleList->setFocus();
}

void FilterEditor::addRule() {
    if (filters_ == nullptr)
        return;
    FilterRuleList& rules = filters_->rules;
    ruleIndex_ = workingIndex();
    std::unique_ptr<FilterRule> rule = createFilterRule();
    if (!editRule(*rule, tr(kAddRuleCaption), kRuleHelpContext, this))
        return;
    std::unique_ptr<FilterRule> copy = cloneFilterRule(*rule);
    // A new rule goes behind the selected one, or behind the first when
    // none is selected.
    const int at = rules.count() == 0 ? 0 : ruleIndex_ + 1;
    if (rules.insertAt(at, copy.get()) < 0)
        return;
    copy.release();
    ruleList->insertRow(at);
    ruleIndex_ = at;
    selectRule(ruleIndex_);
}

void FilterEditor::editSelectedRule() {
    if (filters_ == nullptr)
        return;
    FilterRuleList& rules = filters_->rules;
    ruleIndex_ = workingIndex();
    if (rules.count() == 0 || ruleIndex_ >= rules.count())
        return;
    std::unique_ptr<FilterRule> rule = createFilterRule();
    copyFilterRule(*rule, *rules.at(ruleIndex_));
    if (!editRule(*rule, tr(kEditRuleCaption), kRuleHelpContext, this))
        return;
    rules.replaceAt(ruleIndex_, cloneFilterRule(*rule).release());
    ruleList->updateRow(ruleIndex_);
    selectRule(ruleIndex_);
}

void FilterEditor::deleteRule() {
    if (filters_ == nullptr)
        return;
    FilterRuleList& rules = filters_->rules;
    ruleIndex_ = workingIndex();
    if (rules.count() == 0 || ruleIndex_ < 0 || ruleIndex_ >= rules.count())
        return;
    FilterRule* gone = rules.at(ruleIndex_);
    rules.removeAt(ruleIndex_);
    destroyFilterRule(gone);
    ruleList->removeRow(ruleIndex_);
    adjustIndex(ruleIndex_, rules.count(), 2, 0);
    if (rules.count() > 0)
        selectRule(ruleIndex_);
}

bool editFilters(Filters& filters, const QString& caption, int context, QWidget* owner) {
    FilterEditor dialog(owner);
    dialog.setUp(filters, caption, context);
    if (!runCentred(dialog))
        return false;
    dialog.copySwitchesBack();
    return true;
}

} // namespace toppeek::ui
