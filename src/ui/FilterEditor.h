// The filter editor.
//
// FilterEditor edits the program's one filter set in place: its rule and domain
// commands change the set's lists the moment they run, and only the three
// switches wait for OK. A Cancel therefore leaves list edits in force for
// the rest of the run (the caller does not save them, so they are gone at
// the next start), which is how the editor has always behaved.
//
// Rules are edited in a RuleEditor and domains asked for in a TextPrompt. Every
// dialog is created for one use; editFilters creates, runs and releases the
// editor. Its methods that fill and read the controls are public so that tests
// can drive it without running it modally.
#pragma once

#include "messages/Filters.h"

#include <QDialog>
#include <QString>

#include <string>

class QCheckBox;
class QPushButton;
class QTabWidget;
class QWidget;

namespace toppeek::ui {

class DomainListPage;
class MessageListView;

// The text a rule shows as its row in the filter editor.
std::string ruleCaption(const messages::FilterRule& rule);

class FilterEditor : public QDialog {
    Q_OBJECT

public:
    static constexpr int kClientWidth = 405;
    static constexpr int kClientHeight = 321;
    // Help context the rule editor runs with.
    static constexpr int kRuleHelpContext = 1;

    explicit FilterEditor(QWidget* parent = nullptr);

    // Points the editor at filters (which must outlive it) and fills every
    // control from it.
    void setUp(messages::Filters& filters, const QString& caption, int helpContext);
    // Copies the three check boxes into the set's switches (what OK does).
    void copySwitchesBack();

    // The index the rule commands work on: the selected row, else 0.
    int workingIndex() const;

    QTabWidget* pages;
    QWidget* rulesPage;
    MessageListView* ruleList;
    QPushButton* addRuleButton;
    QPushButton* editRuleButton;
    QPushButton* deleteRuleButton;
    QCheckBox* rulesEnabledBox;
    DomainListPage* bannedPage;
    DomainListPage* friendlyPage;
    QPushButton* okButton;
    QPushButton* cancelButton;

    // The rule commands.
    void addRule();
    void editSelectedRule();
    void deleteRule();

private:
    void selectRule(int index);

    messages::Filters* filters_ = nullptr;
    int ruleIndex_ = 0; // the rule row last worked on
};

// Runs the filter editor on filters. True when it was closed with OK, after
// the switches were copied back; the caller then saves the set. False on
// Cancel: the switches are as they were, list changes stay.
bool editFilters(messages::Filters& filters, const QString& caption, int helpContext,
                 QWidget* owner = nullptr);

} // namespace toppeek::ui
