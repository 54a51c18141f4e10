#include "ui/FilterEditor.h"
#include "ui/DomainListPage.h"
#include "ui/HelpContext.h"
#include "ui/RuleEditor.h"
#include "ui/TextPrompt.h"

#include "dialogs/MsgBox.h"
#include "support/ModalDialogDriver.h"
#include "ui/MessageListView.h"

#include <QAbstractItemView>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include <array>
#include <memory>
#include <string>
#include <vector>

using namespace toppeek::ui;
using toppeek::dialogs::MessageBoxRequest;
using toppeek::dialogs::setMessageBoxResponder;
using namespace toppeek::messages;
using toppeek::core::TextList;
using toppeek::dialogs::MessageBoxRequest;
using toppeek::dialogs::setMessageBoxResponder;
using toppeek::test::ModalDialogDriver;

namespace {

// Records every message box and answers it with OK.
struct RecordedBoxes {
    RecordedBoxes() {
        previous = setMessageBoxResponder([this](const MessageBoxRequest& request) {
            shown.push_back(request);
            return toppeek::dialogs::kIdOk;
        });
    }
    ~RecordedBoxes() { setMessageBoxResponder(std::move(previous)); }
    std::vector<MessageBoxRequest> shown;
    toppeek::dialogs::MessageBoxResponder previous;
};

std::unique_ptr<FilterRule> makeRule(RuleKind kind, const std::string& from,
                                     const std::string& subject, const std::string& headers) {
    auto rule = createFilterRule();
    rule->kind = kind;
    rule->fromText = from;
    rule->subjectText = subject;
    rule->headersText = headers;
    return rule;
}

void addSubjectRules(Filters& filters, int count) {
    for (int i = 0; i < count; ++i)
        filters.rules.append(
            makeRule(RuleKind::SubjectContains, "", "rule" + std::to_string(i), "").release());
}

std::vector<std::string> subjectsOf(const Filters& filters) {
    std::vector<std::string> texts;
    for (const FilterRule* rule : filters.rules)
        texts.push_back(rule->subjectText);
    return texts;
}

std::vector<int> selectedRows(const MessageListView& list) {
    std::vector<int> rows;
    for (int i = 0; i < list.rowCount(); ++i)
        if (list.isRowSelected(i))
            rows.push_back(i);
    return rows;
}

std::vector<std::string> textsOf(const TextList& list) {
    std::vector<std::string> texts;
    for (const std::string* text : list.items)
        texts.push_back(*text);
    return texts;
}

QStringList linesOf(const QListWidget* box) {
    QStringList lines;
    for (int i = 0; i < box->count(); ++i)
        lines << box->item(i)->text();
    return lines;
}

// A rule editor step: choose kind, type text into its control, press OK.
ModalDialogDriver::Step ruleAnswer(int kind, const QString& text) {
    return [kind, text](QDialog* dialog) {
        auto* editor = static_cast<RuleEditor*>(dialog);
        editor->kindButtons->button(kind)->click();
        if (kind == 0)
            editor->fromEdit->setText(text);
        else if (kind == 1)
            editor->subjectBox->setEditText(text);
        else
            editor->headerBox->setEditText(text);
        editor->okButton->click();
    };
}

// A one-line input step: check the text it opened with, type text, press OK.
ModalDialogDriver::Step textAnswer(const QString& text, QString* openedWith = nullptr) {
    return [text, openedWith](QDialog* dialog) {
        auto* edit = static_cast<TextPrompt*>(dialog);
        if (openedWith != nullptr)
            *openedWith = edit->textEdit->text();
        edit->textEdit->setText(text);
        edit->okButton->click();
    };
}

ModalDialogDriver::Step cancel() {
    return [](QDialog* dialog) { dialog->findChild<QPushButton*>("BCancel")->click(); };
}

} // namespace

class FilterEditorTest : public QObject {
    Q_OBJECT

private slots:
    void editorHasItsPagesAndControls();
    void addRulePosition_data();
    void addRulePosition();
    void addRuleWithEmptyTextAddsNothing();
    void editRuleKeepsAllTexts();
    void editWithoutSelectionWorksOnFirstRule();
    void deleteRules();
    void ruleEditorKindSwitching();
    void ruleEditorGivesBackUntouchedBytes();
    void ruleCaptionsPerKind();
    void askTextCutsAndCancelKeeps();
    void duplicateDomainIsRefusedAndAskedAgain();
    void domainTrimCaseAndLength();
    void editAndDeleteDomains();
    void domainPagesWorkAlikeOnTheirOwnLists_data();
    void domainPagesWorkAlikeOnTheirOwnLists();
    void cancelKeepsListChangesButNotSwitches();
    void okCopiesSwitches();
};

void FilterEditorTest::editorHasItsPagesAndControls() {
    FilterEditor editor;
    for (const char* name : {"LVRules", "BAdd", "BEdit", "BDelete", "CBRules", "LBSites", "BDBAdd",
                             "BBDEdit", "BBDDelete", "CBBanned", "LBSitesF", "BFDAdd", "BFDEdit",
                             "BFDDelete", "CBFriend", "BOk", "BCancel", "TabSheet2", "Label2"})
        QVERIFY2(editor.findChild<QWidget*>(name) != nullptr, name);

    RuleEditor rule;
    for (const char* name :
         {"PageControl1", "RBKind", "RBKindItems", "LBPrompt", "EdAddDomain", "CBSubject"})
        QVERIFY2(rule.findChild<QObject*>(name) != nullptr, name);
}

void FilterEditorTest::addRulePosition_data() {
    QTest::addColumn<int>("rules");
    QTest::addColumn<int>("selected"); // -1: none
    QTest::addColumn<int>("expected");
    QTest::newRow("empty list") << 0 << -1 << 0;
    QTest::newRow("third row selected") << 5 << 2 << 3;
    QTest::newRow("none selected") << 3 << -1 << 1;
    QTest::newRow("last row selected") << 3 << 2 << 3;
}

void FilterEditorTest::addRulePosition() {
    QFETCH(int, rules);
    QFETCH(int, selected);
    QFETCH(int, expected);
    Filters filters;
    addSubjectRules(filters, rules);
    FilterEditor editor;
    editor.setUp(filters, "Filters", 11);
    editor.show();
    if (selected >= 0)
        editor.ruleList->goToRow(selected);

    ModalDialogDriver driver;
    driver.expect("TFERule", ruleAnswer(1, "new"));
    editor.addRuleButton->click();
    QVERIFY(driver.finished() && !driver.failed());

    QCOMPARE(filters.rules.count(), rules + 1);
    QCOMPARE(filters.rules.at(expected)->subjectText, std::string("new"));
    QCOMPARE(filters.rules.at(expected)->kind, RuleKind::SubjectContains);
    QCOMPARE(editor.ruleList->rowCount(), rules + 1);
    QCOMPARE(selectedRows(*editor.ruleList), std::vector<int>{expected});
    QCOMPARE(editor.ruleList->focusedRow(), expected);
    QCOMPARE(editor.workingIndex(), expected);
}

void FilterEditorTest::addRuleWithEmptyTextAddsNothing() {
    Filters filters;
    addSubjectRules(filters, 1);
    FilterEditor editor;
    editor.setUp(filters, "Filters", 11);
    ModalDialogDriver driver;
    // The subject text is filled in, but the chosen kind's text is empty.
    driver.expect("TFERule", [](QDialog* dialog) {
        auto* rule = static_cast<RuleEditor*>(dialog);
        rule->subjectBox->setEditText("something");
        rule->kindButtons->button(2)->click();
        rule->okButton->click();
    });
    driver.expect("TFERule", cancel());
    editor.addRuleButton->click();
    editor.addRuleButton->click();
    QVERIFY(driver.finished() && !driver.failed());
    QCOMPARE(subjectsOf(filters), std::vector<std::string>{"rule0"});
}

void FilterEditorTest::editRuleKeepsAllTexts() {
    Filters filters;
    addSubjectRules(filters, 2);
    FilterEditor editor;
    editor.setUp(filters, "Filters", 11);
    editor.show();
    editor.ruleList->goToRow(1);

    // Kind 1 to kind 2: the subject text stays in the rule.
    ModalDialogDriver driver;
    driver.expect("TFERule", ruleAnswer(2, "X-Spam"));
    editor.editRuleButton->click();
    const FilterRule* edited = filters.rules.at(1);
    QCOMPARE(edited->kind, RuleKind::HeadersContain);
    QCOMPARE(edited->headersText, std::string("X-Spam"));
    QCOMPARE(edited->subjectText, std::string("rule1"));
    QCOMPARE(selectedRows(*editor.ruleList), std::vector<int>{1});

    // A later edit shows the old subject text again when switched back.
    QString shown;
    driver.expect("TFERule", [&shown](QDialog* dialog) {
        auto* rule = static_cast<RuleEditor*>(dialog);
        QCOMPARE(rule->kindIndex(), 2);
        rule->kindButtons->button(1)->click();
        shown = rule->subjectBox->currentText();
        rule->okButton->click();
    });
    editor.editRuleButton->click();
    QVERIFY(driver.finished() && !driver.failed());
    QCOMPARE(shown, QString("rule1"));
    QCOMPARE(filters.rules.at(1)->kind, RuleKind::SubjectContains);

    // Emptying the chosen kind's text leaves the rule as it was.
    driver.expect("TFERule", ruleAnswer(1, ""));
    editor.editRuleButton->click();
    QVERIFY(driver.finished() && !driver.failed());
    QCOMPARE(filters.rules.at(1)->subjectText, std::string("rule1"));
}

void FilterEditorTest::editWithoutSelectionWorksOnFirstRule() {
    Filters filters;
    addSubjectRules(filters, 3);
    FilterEditor editor;
    editor.setUp(filters, "Filters", 11);
    ModalDialogDriver driver;
    driver.expect("TFERule", ruleAnswer(1, "first"));
    editor.editRuleButton->click();
    QVERIFY(driver.finished() && !driver.failed());
    QCOMPARE(subjectsOf(filters), (std::vector<std::string>{"first", "rule1", "rule2"}));

    // Nothing to edit in an empty list: no dialog opens.
    Filters empty;
    FilterEditor emptyEditor;
    emptyEditor.setUp(empty, "Filters", 11);
    emptyEditor.editRuleButton->click();
    emptyEditor.deleteRuleButton->click();
    QCOMPARE(driver.answered(), 1);
    QVERIFY(!driver.failed());
}

void FilterEditorTest::deleteRules() {
    Filters filters;
    addSubjectRules(filters, 3);
    FilterEditor editor;
    editor.setUp(filters, "Filters", 11);
    editor.show();

    // The last row: the new last row is selected.
    editor.ruleList->goToRow(2);
    editor.deleteRuleButton->click();
    QCOMPARE(subjectsOf(filters), (std::vector<std::string>{"rule0", "rule1"}));
    QCOMPARE(selectedRows(*editor.ruleList), std::vector<int>{1});

    // A middle row keeps its place for the row behind it.
    editor.ruleList->goToRow(0);
    editor.deleteRuleButton->click();
    QCOMPARE(subjectsOf(filters), std::vector<std::string>{"rule1"});
    QCOMPARE(selectedRows(*editor.ruleList), std::vector<int>{0});

    // The only row: nothing is left to select.
    editor.deleteRuleButton->click();
    QCOMPARE(filters.rules.count(), 0);
    QCOMPARE(editor.ruleList->rowCount(), 0);
    QVERIFY(selectedRows(*editor.ruleList).empty());
    editor.deleteRuleButton->click(); // an empty list: nothing happens
    QCOMPARE(filters.rules.count(), 0);
}

void FilterEditorTest::ruleEditorKindSwitching() {
    auto rule = makeRule(RuleKind::SubjectContains, "spam.example", "WIN", "X-Bulk");
    RuleEditor editor;
    editor.setUp(*rule, "Edit Rule", 1);
    editor.show();
    const std::array<QWidget*, 3> inputs = {editor.fromEdit, editor.subjectBox, editor.headerBox};
    auto onlyShown = [&](int kind) {
        for (int i = 0; i < 3; ++i) {
            QWidget* input = inputs[static_cast<std::size_t>(i)];
            if (input->isVisible() != (i == kind) || input->isEnabled() != (i == kind))
                return false;
        }
        return true;
    };
    QVERIFY(onlyShown(1));
    QCOMPARE(editor.windowTitle(), QString("Edit Rule"));
    const QString subjectPrompt = editor.promptLabel->text();
    for (int kind : {2, 0, 1, 2}) {
        editor.kindButtons->button(kind)->click();
        QVERIFY(onlyShown(kind));
    }
    QVERIFY(editor.promptLabel->text() != subjectPrompt);
    QCOMPARE(editor.fromEdit->text(), QString("spam.example"));
    QCOMPARE(editor.subjectBox->currentText(), QString("WIN"));
    QCOMPARE(editor.headerBox->currentText(), QString("X-Bulk"));

    // OK takes the kind and all three texts, as they are (not trimmed).
    editor.subjectBox->setEditText(" WIN ");
    FilterRule result;
    QVERIFY(editor.takeInto(result));
    QCOMPARE(result.kind, RuleKind::HeadersContain);
    QCOMPARE(result.fromText, std::string("spam.example"));
    QCOMPARE(result.subjectText, std::string(" WIN "));
    QCOMPARE(result.headersText, std::string("X-Bulk"));

    // Texts stop at the longest a rule keeps.
    editor.headerBox->setEditText(QString(250, 'h'));
    QVERIFY(editor.takeInto(result));
    QCOMPARE(result.headersText, std::string(FilterRule::kMaxTextLength, 'h'));

    // editRule on Cancel leaves the rule untouched.
    ModalDialogDriver driver;
    driver.expect("TFERule", [](QDialog* dialog) {
        static_cast<RuleEditor*>(dialog)->fromEdit->setText("changed");
        dialog->reject();
    });
    QVERIFY(!editRule(*rule, "Edit Rule", 1));
    QVERIFY(driver.finished() && !driver.failed());
    QCOMPARE(rule->fromText, std::string("spam.example"));
    QCOMPARE(rule->kind, RuleKind::SubjectContains);
}

void FilterEditorTest::ruleEditorGivesBackUntouchedBytes() {
    // Latin-1 bytes from an old filters file survive an edit of another text.
    auto rule = makeRule(RuleKind::FromContains, "caf\xe9.example", "", "");
    RuleEditor editor;
    editor.setUp(*rule, "Edit Rule", 1);
    QCOMPARE(editor.fromEdit->text(), QString::fromUtf8("café.example"));
    editor.subjectBox->setEditText(QString::fromUtf8("é"));
    FilterRule result;
    QVERIFY(editor.takeInto(result));
    QCOMPARE(result.fromText, std::string("caf\xe9.example"));
    QCOMPARE(result.subjectText, std::string("\xc3\xa9"));

    // A kind byte outside the three opens as a From rule.
    rule->kind = static_cast<RuleKind>(7);
    editor.setUp(*rule, "Edit Rule", 1);
    QCOMPARE(editor.kindIndex(), 0);
}

void FilterEditorTest::ruleCaptionsPerKind() {
    // Each kind shows its own text in its row.
    Filters filters;
    for (RuleKind kind :
         {RuleKind::FromContains, RuleKind::SubjectContains, RuleKind::HeadersContain})
        filters.rules.append(makeRule(kind, "a.example", "Offer", "X-Mailer").release());
    FilterEditor editor;
    editor.setUp(filters, "Filters", 11);
    const QAbstractItemModel* rows = editor.ruleList->activeView()->model();
    const QStringList expected = {"a.example", "Offer", "X-Mailer"};
    for (int row = 0; row < 3; ++row) {
        const QString caption = rows->index(row, 0).data().toString();
        for (int other = 0; other < 3; ++other)
            QCOMPARE(caption.contains(expected[other]), other == row);
    }
}

void FilterEditorTest::askTextCutsAndCancelKeeps() {
    ModalDialogDriver driver;
    QString openedWith;
    std::string text = "pattern";
    driver.expect("TFEdit", [&openedWith](QDialog* dialog) {
        auto* edit = static_cast<TextPrompt*>(dialog);
        openedWith =
            edit->promptLabel->text() + "|" + edit->textEdit->text() + "|" + edit->windowTitle();
        edit->textEdit->setText("a much longer text");
        edit->okButton->click();
    });
    QVERIFY(askText("Title", "Prompt:", 1200, text, 8));
    QCOMPARE(openedWith, QString("Prompt:|patter|Title"));
    QCOMPARE(text, std::string("a much")); // size 8 keeps 6 characters

    driver.expect("TFEdit", [](QDialog* dialog) {
        static_cast<TextPrompt*>(dialog)->textEdit->setText("other");
        dialog->reject();
    });
    QVERIFY(!askText("Title", "Prompt:", 1200, text, 200));
    QCOMPARE(text, std::string("a much"));

    // An untouched text comes back with its own bytes, cut to size - 2.
    text = "\xe9t\xe9 long";
    driver.expect("TFEdit",
                  [](QDialog* dialog) { static_cast<TextPrompt*>(dialog)->okButton->click(); });
    QVERIFY(askText("Title", "Prompt:", 1200, text, 200));
    QCOMPARE(text, std::string("\xe9t\xe9 long"));
    // A typed text is UTF-8 and never loses half a character to the cut.
    driver.expect("TFEdit", textAnswer(QString::fromUtf8("aéé")));
    QVERIFY(askText("Title", "Prompt:", 1200, text, 6));
    QCOMPARE(text, std::string("a\xc3\xa9"));
    QVERIFY(driver.finished() && !driver.failed());
}

void FilterEditorTest::duplicateDomainIsRefusedAndAskedAgain() {
    RecordedBoxes boxes;
    TextList list(10, 5, false);
    list.add("spam.example");
    ModalDialogDriver driver;
    QString reopenedWith;
    driver.expect("TFEdit", textAnswer("  spam.example "));
    driver.expect("TFEdit", textAnswer("Spam.example", &reopenedWith));
    std::string text;
    QVERIFY(askDomain(text, list, "Add Banned Domain", 11, -1));
    QVERIFY(driver.finished() && !driver.failed());
    QCOMPARE(text, std::string("Spam.example"));
    QCOMPARE(reopenedWith, QString("spam.example")); // asked again with the trimmed text
    QCOMPARE(boxes.shown.size(), std::size_t{1});
    QCOMPARE(boxes.shown[0].flags, 0x30u);
    QVERIFY(boxes.shown[0].text.find("spam.example") != std::string::npos);

    // Cancel on the second ask gives up.
    driver.expect("TFEdit", textAnswer("spam.example"));
    driver.expect("TFEdit", cancel());
    QVERIFY(!askDomain(text, list, "Add Banned Domain", 11, -1));
    QVERIFY(driver.finished() && !driver.failed());
    QCOMPARE(boxes.shown.size(), std::size_t{2});

    // The entry being edited is not a duplicate of itself.
    driver.expect("TFEdit", textAnswer("spam.example"));
    QVERIFY(askDomain(text, list, "Edit Banned Domain", 11, 0));
    QCOMPARE(boxes.shown.size(), std::size_t{2});

    // Blanks alone are no domain.
    driver.expect("TFEdit", textAnswer("   "));
    QVERIFY(!askDomain(text, list, "Add Banned Domain", 11, -1));
    QVERIFY(driver.finished() && !driver.failed());
}

void FilterEditorTest::domainTrimCaseAndLength() {
    RecordedBoxes boxes;
    Filters filters;
    filters.bannedDomains.add("spam.example");
    FilterEditor editor;
    editor.setUp(filters, "Filters", 11);
    editor.show();
    ModalDialogDriver driver;
    driver.expect("TFEdit", textAnswer("\t b.example  "));
    driver.expect("TFEdit", textAnswer("SPAM.example"));
    driver.expect("TFEdit", textAnswer(QString(120, 'z')));
    editor.bannedPage->addButton->click();
    editor.bannedPage->addButton->click();
    editor.bannedPage->addButton->click();
    QVERIFY(driver.finished() && !driver.failed());
    QVERIFY(boxes.shown.empty());
    const std::vector<std::string> expected = {"SPAM.example", "b.example", "spam.example",
                                               std::string(kMaxDomainLength, 'z')};
    QCOMPARE(textsOf(filters.bannedDomains), expected);
    QCOMPARE(
        linesOf(editor.bannedPage->list),
        QStringList({"SPAM.example", "b.example", "spam.example", QString(kMaxDomainLength, 'z')}));
    QCOMPARE(editor.bannedPage->list->currentRow(), 3); // the new line is selected
    QVERIFY(editor.friendlyPage->list->count() == 0 && filters.friendlyDomains.count() == 0);
}

void FilterEditorTest::editAndDeleteDomains() {
    Filters filters;
    for (const char* domain : {"a.example", "b.example", "c.example"})
        filters.friendlyDomains.add(domain);
    FilterEditor editor;
    editor.setUp(filters, "Filters", 11);
    editor.show();
    ModalDialogDriver driver;

    // Edit and Delete need a selected line.
    editor.friendlyPage->editButton->click();
    editor.friendlyPage->deleteButton->click();
    QCOMPARE(filters.friendlyDomains.count(), 3);

    // Unchanged: accepted, one entry.
    QString openedWith;
    editor.friendlyPage->list->setCurrentRow(1);
    driver.expect("TFEdit", textAnswer("b.example", &openedWith));
    editor.friendlyPage->editButton->click();
    QCOMPARE(openedWith, QString("b.example"));
    QCOMPARE(textsOf(filters.friendlyDomains),
             (std::vector<std::string>{"a.example", "b.example", "c.example"}));

    // Changed: the entry moves to its sorted place and stays selected.
    editor.friendlyPage->list->setCurrentRow(0);
    driver.expect("TFEdit", textAnswer("z.example"));
    editor.friendlyPage->editButton->click();
    QVERIFY(driver.finished() && !driver.failed());
    QCOMPARE(textsOf(filters.friendlyDomains),
             (std::vector<std::string>{"b.example", "c.example", "z.example"}));
    QCOMPARE(linesOf(editor.friendlyPage->list),
             QStringList({"b.example", "c.example", "z.example"}));
    QCOMPARE(editor.friendlyPage->list->currentRow(), 2);

    // Deleting the last line selects the new last one; the only line, none.
    editor.friendlyPage->deleteButton->click();
    QCOMPARE(textsOf(filters.friendlyDomains),
             (std::vector<std::string>{"b.example", "c.example"}));
    QCOMPARE(editor.friendlyPage->list->selectedItems().size(), 1);
    QCOMPARE(editor.friendlyPage->list->currentRow(), 1);
    editor.friendlyPage->deleteButton->click();
    editor.friendlyPage->deleteButton->click();
    QCOMPARE(filters.friendlyDomains.count(), 0);
    QCOMPARE(editor.friendlyPage->list->count(), 0);
}

void FilterEditorTest::domainPagesWorkAlikeOnTheirOwnLists_data() {
    QTest::addColumn<bool>("banned");
    QTest::newRow("banned") << true;
    QTest::newRow("friendly") << false;
}

// Both domain pages are one page: each asks under its own captions and the editor's help
// topic, changes only its own list, and follows the editor to the next filter set it is given.
void FilterEditorTest::domainPagesWorkAlikeOnTheirOwnLists() {
    QFETCH(bool, banned);
    const QString kind = banned ? QStringLiteral("Banned") : QStringLiteral("Friendly");
    Filters filters;
    filters.bannedDomains.add("b.example");
    filters.friendlyDomains.add("f.example");
    FilterEditor editor;
    editor.setUp(filters, "Filters", 11);
    editor.show();
    DomainListPage* page = banned ? editor.bannedPage : editor.friendlyPage;
    TextList& own = banned ? filters.bannedDomains : filters.friendlyDomains;
    const TextList& other = banned ? filters.friendlyDomains : filters.bannedDomains;
    const std::vector<std::string> otherBefore = textsOf(other);

    QStringList asked;
    auto answer = [&asked](const char* text) {
        return [&asked, text](QDialog* dialog) {
            asked << dialog->windowTitle() + ' ' + QString::number(helpContext(dialog));
            textAnswer(text)(dialog);
        };
    };
    ModalDialogDriver driver;
    driver.expect("TFEdit", answer("m.example"));
    page->addButton->click();
    page->list->setCurrentRow(0);
    driver.expect("TFEdit", answer("z.example"));
    page->editButton->click();
    QVERIFY(driver.finished() && !driver.failed());
    QCOMPARE(asked, QStringList({"Add " + kind + " Domain 11", "Edit " + kind + " Domain 11"}));
    const std::vector<std::string> expected = {"m.example", "z.example"};
    QCOMPARE(textsOf(own), expected);
    QCOMPARE(linesOf(page->list), QStringList({"m.example", "z.example"}));
    page->list->setCurrentRow(1);
    page->deleteButton->click();
    QCOMPARE(textsOf(own), std::vector<std::string>{"m.example"});
    QCOMPARE(textsOf(other), otherBefore);

    // A second set replaces what the page showed, and the page's commands then work on it.
    Filters next;
    next.bannedDomains.add("n.example");
    next.friendlyEnabled = 1;
    editor.setUp(next, "Filters", 12);
    QCOMPARE(linesOf(page->list), banned ? QStringList({"n.example"}) : QStringList());
    QCOMPARE(page->enabledBox->isChecked(), !banned);
    driver.expect("TFEdit", answer("a.example"));
    page->addButton->click();
    QVERIFY(driver.finished() && !driver.failed());
    QCOMPARE(asked.last(), "Add " + kind + " Domain 12");
    QCOMPARE(textsOf(banned ? next.bannedDomains : next.friendlyDomains),
             banned ? (std::vector<std::string>{"a.example", "n.example"})
                    : std::vector<std::string>{"a.example"});
    QCOMPARE(textsOf(own), std::vector<std::string>{"m.example"});
}

void FilterEditorTest::cancelKeepsListChangesButNotSwitches() {
    Filters filters;
    addSubjectRules(filters, 2);
    filters.bannedDomains.add("spam.example");
    filters.rulesEnabled = 1;
    filters.bannedEnabled = 0;
    filters.friendlyEnabled = 1;
    ModalDialogDriver driver;
    driver.expect("TFEFil", [](QDialog* dialog) {
        auto* editor = static_cast<FilterEditor*>(dialog);
        QCOMPARE(editor->windowTitle(), QString("My Filters"));
        QCOMPARE(helpContext(editor), 11);
        QCOMPARE(editor->pages->currentIndex(), 0);
        QVERIFY(editor->rulesEnabledBox->isChecked() &&
                !editor->bannedPage->enabledBox->isChecked() &&
                editor->friendlyPage->enabledBox->isChecked());
        QCOMPARE(editor->ruleList->rowCount(), 2);
        QCOMPARE(linesOf(editor->bannedPage->list), QStringList({"spam.example"}));
        editor->ruleList->goToRow(0);
        editor->deleteRuleButton->click();
        editor->rulesEnabledBox->setChecked(false);
        editor->bannedPage->enabledBox->setChecked(true);
        editor->cancelButton->click();
    });
    QVERIFY(!editFilters(filters, "My Filters", 11));
    QVERIFY(driver.finished() && !driver.failed());
    QCOMPARE(subjectsOf(filters), std::vector<std::string>{"rule1"});
    QCOMPARE(filters.rulesEnabled, std::uint8_t{1});
    QCOMPARE(filters.bannedEnabled, std::uint8_t{0});
    QCOMPARE(filters.friendlyEnabled, std::uint8_t{1});
}

void FilterEditorTest::okCopiesSwitches() {
    Filters filters;
    filters.rulesEnabled = 7; // any non-zero byte is on
    ModalDialogDriver driver;
    driver.expect("TFEFil", [](QDialog* dialog) {
        auto* editor = static_cast<FilterEditor*>(dialog);
        QVERIFY(editor->rulesEnabledBox->isChecked());
        editor->bannedPage->enabledBox->setChecked(true);
        editor->friendlyPage->enabledBox->setChecked(true);
        editor->okButton->click();
    });
    QVERIFY(editFilters(filters, "Filters", 11));
    QVERIFY(driver.finished() && !driver.failed());
    QCOMPARE(filters.rulesEnabled, std::uint8_t{1});
    QCOMPARE(filters.bannedEnabled, std::uint8_t{1});
    QCOMPARE(filters.friendlyEnabled, std::uint8_t{1});
}

QTEST_MAIN(FilterEditorTest)
#include "FilterEditorTest.moc"
