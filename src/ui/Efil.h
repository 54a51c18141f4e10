// The filter editor and its two helper dialogs.
//
// TFEFil edits the program's one filter set in place: its rule and domain
// commands change the set's lists the moment they run, and only the three
// switches wait for OK. A Cancel therefore leaves list edits in force for
// the rest of the run (the caller does not save them, so they are gone at
// the next start), which is how the editor has always behaved.
//
// TFERule edits one rule, TFEdit asks for one line of text. Every dialog is
// created for one use; the free functions below create, run and release
// them. The dialogs' methods that fill and read the controls are public so
// that tests can drive a dialog without running it modally.
//
// A dialog's help context is kept as its "helpContext" property, where the
// program's help handler finds it whatever kind of window asks.
#pragma once

#include "core/TextList.h"
#include "messages/Filters.h"

#include <QDialog>
#include <QString>

#include <string>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTabWidget;
class QWidget;
class MessageListView;

// The help context a dialog carries (the "helpContext" property).
void setHelpContext(QWidget* window, int context);
int helpContext(const QWidget* window);

// --- One-line text input ---

class TFEdit : public QDialog {
    Q_OBJECT

public:
    static constexpr int kClientWidth = 374;
    static constexpr int kClientHeight = 114;

    explicit TFEdit(QWidget* parent = nullptr);

    // Fills the dialog: caption, prompt and the text of a buffer of size
    // bytes (shown cut to size - 2 characters, all the buffer gives back).
    void setUp(const QString& caption, const QString& prompt, int helpContext,
               const std::string& text, int size);
    // The text OK gives back: the edit's text cut to size - 2 bytes. An
    // untouched text keeps the bytes it came with, whatever their encoding.
    std::string editedText() const;

    QLabel* LBPrompt;
    QLineEdit* EdString;
    QPushButton* BOk;
    QPushButton* BCancel;

private:
    std::string original_; // the buffer's bytes as given
    QString shown_;        // EdString's text as the dialog opened
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
bool askDomain(std::string& text, const TextList& list, const QString& caption, int helpContext,
               int ownIndex);

// --- Rule editor ---

class TFERule : public QDialog {
    Q_OBJECT

public:
    static constexpr int kClientWidth = 316;
    static constexpr int kClientHeight = 214;

    explicit TFERule(QWidget* parent = nullptr);

    // Puts the rule's kind and all three texts into the controls.
    void setUp(const FilterRule& rule, const QString& caption, int helpContext);
    // Writes the chosen kind and all three texts (each at most
    // FilterRule::maxTextLength characters, not trimmed) into rule. True when
    // the text of the chosen kind is not empty.
    bool takeInto(FilterRule& rule) const;

    // The chosen item of RBKind; -1 when none is checked.
    int kindIndex() const;
    void setKindIndex(int index);

    QTabWidget* PageControl1;
    QWidget* TabSheet1;
    QGroupBox* RBKind;
    QButtonGroup* RBKindItems; // item index = button id = RuleKind
    QLabel* LBPrompt;
    QLineEdit* EdAddDomain;
    QComboBox* CBSubject;
    QComboBox* CBHeader;
    QPushButton* BOk;
    QPushButton* BCancel;

    // Shows and enables the input control of kind, hides and disables the
    // other two; the texts of all three stay.
    void showKindControl(int kind);

private:
    void RBKindClick(int index);

    // Each control's text as the dialog opened, with the rule's bytes behind
    // it, so that an untouched text is given back byte for byte.
    struct Original {
        std::string bytes;
        QString shown;
    };
    Original from_;
    Original subject_;
    Original headers_;
};

// Runs the rule editor on rule. On OK the rule takes the dialog's kind and
// texts, and the result is true when the text of the chosen kind is not
// empty; on Cancel the rule is unchanged and the result is false.
bool editRule(FilterRule& rule, const QString& caption, int helpContext, QWidget* owner = nullptr);

// The text a rule shows as its row in the filter editor.
std::string ruleCaption(const FilterRule& rule);

// --- Filter editor ---

class TFEFil : public QDialog {
    Q_OBJECT

public:
    static constexpr int kClientWidth = 405;
    static constexpr int kClientHeight = 321;
    // Help context the rule editor runs with.
    static constexpr int kRuleHelpContext = 1;

    explicit TFEFil(QWidget* parent = nullptr);

    // Points the editor at filters (which must outlive it) and fills every
    // control from it.
    void setUp(Filters& filters, const QString& caption, int helpContext);
    // Copies the three check boxes into the set's switches (what OK does).
    void copySwitchesBack();

    // The index the rule commands work on: the selected row, else 0.
    int workingIndex() const;

    QTabWidget* PageControl1;
    QWidget* TabSheet1;
    QWidget* TabSheet2;
    QWidget* TabSheet3;
    MessageListView* LVRules;
    QPushButton* BAdd;
    QPushButton* BEdit;
    QPushButton* BDelete;
    QCheckBox* CBRules;
    QLabel* Label1;
    QListWidget* LBSites;
    QPushButton* BDBAdd;
    QPushButton* BBDEdit;
    QPushButton* BBDDelete;
    QCheckBox* CBBanned;
    QLabel* Label2;
    QListWidget* LBSitesF;
    QPushButton* BFDAdd;
    QPushButton* BFDEdit;
    QPushButton* BFDDelete;
    QCheckBox* CBFriend;
    QPushButton* BOk;
    QPushButton* BCancel;

    void BAddClick();
    void BEditClick();
    void BDeleteClick();
    void BDBAddClick();
    void BBDEditClick();
    void BBDDeleteClick();
    void BFDAddClick();
    void BFDEditClick();
    void BFDDeleteClick();

private:
    struct DomainPage {
        QListWidget* box;
        TextList* list;
        const char* addCaption;
        const char* editCaption;
    };
    DomainPage bannedPage() const;
    DomainPage friendlyPage() const;
    void addDomain(const DomainPage& page);
    void editDomain(const DomainPage& page);
    void deleteDomain(const DomainPage& page);
    void insertDomain(const DomainPage& page, std::string text);
    static void fillDomains(QListWidget* box, const TextList& list);
    static int selectedLine(const QListWidget* box);
    void selectRule(int index);

    Filters* filters_ = nullptr;
    int ruleIndex_ = 0; // the rule row last worked on
};

// Runs the filter editor on filters. True when it was closed with OK, after
// the switches were copied back; the caller then saves the set. False on
// Cancel: the switches are as they were, list changes stay.
bool editFilters(Filters& filters, const QString& caption, int helpContext,
                 QWidget* owner = nullptr);
