// One page of the filter editor that edits a list of sender domains: the banned domains and the
// friendly domains are each one of these. Its commands change the list the moment they run;
// only its switch waits for the editor's OK.
#pragma once

#include "core/TextList.h"

#include <QWidget>

#include <array>

class QCheckBox;
class QGridLayout;
class QLabel;
class QListWidget;
class QPushButton;

namespace toppeek::ui {

class DomainListPage : public QWidget {
    Q_OBJECT

public:
    // The design names of a page and its controls, and the captions of its prompts.
    struct Names {
        const char* page;
        const char* label;
        const char* list;
        const char* addButton;
        const char* editButton;
        const char* deleteButton;
        const char* enabledBox;
        const char* enabledCaption;
        const char* addCaption;
        const char* editCaption;
    };

    DomainListPage(const Names& names, QWidget* parent = nullptr);

    // Points the page at domains (which must outlive it, or until the next call) and shows them.
    void setUp(core::TextList& domains, bool enabled);
    bool switchedOn() const;

    // The list commands, each on the selected line where it needs one.
    void addDomain();
    void editDomain();
    void deleteDomain();

    QLabel* label;
    QListWidget* list;
    QPushButton* addButton;
    QPushButton* editButton;
    QPushButton* deleteButton;
    QCheckBox* enabledBox;

private:
    int selectedLine() const;
    void insertDomain(std::string text);

    core::TextList* domains_ = nullptr;
    const char* addCaption_;
    const char* editCaption_;
};

// Lays out a page of the filter editor: a list (under label, when there is one) with its three
// buttons beside it, and its switch below.
QGridLayout* layOutListPage(QWidget* page, QLabel* label, QWidget* list,
                            const std::array<QPushButton*, 3>& buttons, QCheckBox* enabledBox);

} // namespace toppeek::ui
