// RuleEditor edits one rejection rule of the filter editor: its kind and the texts of all three
// kinds, of which only the chosen kind's is shown. editRule runs it on a rule. The dialog is
// created for one use; its methods that fill and read the controls are public so that tests can
// drive it without running it modally.
#pragma once

#include "messages/Filters.h"

#include <QDialog>
#include <QString>

#include <string>

class QButtonGroup;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QWidget;

namespace toppeek::ui {

class RuleEditor : public QDialog {
    Q_OBJECT

public:
    static constexpr int kClientWidth = 316;
    static constexpr int kClientHeight = 214;

    explicit RuleEditor(QWidget* parent = nullptr);

    // Puts the rule's kind and all three texts into the controls.
    void setUp(const messages::FilterRule& rule, const QString& caption, int helpContext);
    // Writes the chosen kind and all three texts (each at most
    // FilterRule::kMaxTextLength characters, not trimmed) into rule. True when
    // the text of the chosen kind is not empty.
    bool takeInto(messages::FilterRule& rule) const;

    // The chosen item of kindGroup; -1 when none is checked.
    int kindIndex() const;
    void setKindIndex(int index);

    QTabWidget* pages;
    QWidget* conditionPage;
    QGroupBox* kindGroup;
    QButtonGroup* kindButtons; // item index = button id = RuleKind
    QLabel* promptLabel;
    QLineEdit* fromEdit;   // the From text, sender's address or domain
    QComboBox* subjectBox; // the Subject text, with presets
    QComboBox* headerBox;  // the header block text, with presets
    QPushButton* okButton;
    QPushButton* cancelButton;

    // Shows and enables the input control of kind, hides and disables the
    // other two; the texts of all three stay.
    void showKindControl(int kind);

private:
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
bool editRule(messages::FilterRule& rule, const QString& caption, int helpContext,
              QWidget* owner = nullptr);

} // namespace toppeek::ui
