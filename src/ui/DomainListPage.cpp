#include "ui/DomainListPage.h"

#include "core/ListCursor.h"
#include "core/Text.h"
#include "dialogs/DisplayText.h"
#include "ui/DialogSupport.h"
#include "ui/HelpContext.h"
#include "ui/TextPrompt.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace toppeek::ui {

using core::adjustIndex;
using core::TextList;

QGridLayout* layOutListPage(QWidget* page, QLabel* label, QWidget* list,
                            const std::array<QPushButton*, 3>& buttons, QCheckBox* enabledBox) {
    auto* grid = new QGridLayout(page);
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
    grid->addWidget(enabledBox, row + 1, 0, 1, 2);
    return grid;
}

DomainListPage::DomainListPage(const Names& names, QWidget* parent)
    : QWidget(parent), addCaption_(names.addCaption), editCaption_(names.editCaption) {
    setObjectName(QString::fromLatin1(names.page));
    label = named(new QLabel(tr("Domains"), this), names.label);
    list = named(new QListWidget(this), names.list);
    addButton = named(new QPushButton(tr("&Add"), this), names.addButton);
    editButton = named(new QPushButton(tr("&Edit"), this), names.editButton);
    deleteButton = named(new QPushButton(tr("&Delete"), this), names.deleteButton);
    enabledBox = named(
        new QCheckBox(
            QCoreApplication::translate("toppeek::ui::FilterEditor", names.enabledCaption), this),
        names.enabledBox);
    label->setBuddy(list);
    // A screen reader does not take a list's name from its label.
    list->setAccessibleName(label->text());
    list->setAccessibleDescription(enabledBox->text().remove(QLatin1Char('&')));
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    layOutListPage(this, label, list, {addButton, editButton, deleteButton}, enabledBox);

    connect(addButton, &QPushButton::clicked, this, &DomainListPage::addDomain);
    connect(editButton, &QPushButton::clicked, this, &DomainListPage::editDomain);
    connect(deleteButton, &QPushButton::clicked, this, &DomainListPage::deleteDomain);
}

void DomainListPage::setUp(TextList& domains, bool enabled) {
    domains_ = &domains;
    enabledBox->setChecked(enabled);
    list->clear();
    for (const std::string* text : domains.items)
        list->addItem(dialogs::displayText(*text));
}

bool DomainListPage::switchedOn() const {
    return enabledBox->isChecked();
}

int DomainListPage::selectedLine() const {
    const QList<QListWidgetItem*> selected = list->selectedItems();
    return selected.isEmpty() ? -1 : list->row(selected.first());
}

void DomainListPage::insertDomain(std::string text) {
    const QString shown = dialogs::displayText(text);
    const int at = domains_->add(std::move(text));
    if (at < 0)
        return;
    list->insertItem(at, shown);
    list->setCurrentRow(at);
    list->setFocus();
}

void DomainListPage::addDomain() {
    if (domains_ == nullptr)
        return;
    std::string text;
    if (askDomain(text, *domains_,
                  QCoreApplication::translate("toppeek::ui::FilterEditor", addCaption_),
                  helpContext(window()), -1))
        insertDomain(std::move(text));
}

void DomainListPage::editDomain() {
    if (domains_ == nullptr)
        return;
    const int index = selectedLine();
    if (index < 0 || index >= domains_->count())
        return;
    std::string text = cutBytes(*domains_->at(index), kMaxDomainLength);
    if (!askDomain(text, *domains_,
                   QCoreApplication::translate("toppeek::ui::FilterEditor", editCaption_),
                   helpContext(window()), index))
        return;
    domains_->removeAt(index);
    delete list->takeItem(index);
    insertDomain(std::move(text));
}

void DomainListPage::deleteDomain() {
    if (domains_ == nullptr)
        return;
    int index = selectedLine();
    if (index < 0 || index >= domains_->count())
        return;
    domains_->removeAt(index);
    delete list->takeItem(index);
    const int count = domains_->count();
    if (count > 0) {
        adjustIndex(index, count, 2, 0);
        list->setCurrentRow(index);
        list->setFocus();
    }
}

} // namespace toppeek::ui
