// The main window over a list read from "All accounts" (the checker reads every account's mailbox
// into the one list, one account after another): the Account column, and sorting by it.

// The account list names a variable `slots`, which Qt's keyword macro would
// rewrite: the storage header comes before every Qt header.
#include "storage/AccountTags.h"

#include "dialogs/DisplayText.h"
#include "ui/MainWindow.h"
#include "ui/MessageTableModel.h"

#include <QFontMetrics>
#include <QStyle>

#include <algorithm>
#include <string_view>
#include <unordered_map>

using namespace toppeek::messages;

namespace toppeek::ui {

void MainWindow::sortByAccountNow() {
    const auto& names = messageRows_->accountNames();
    auto nameOf = [&names](const MessageEntry& entry) {
        const auto name = names.find(entry.accountTag);
        return name != names.end() ? std::string_view(name->second) : std::string_view();
    };
    // Within an account the messages keep the order they had, either way round: the list's sort
    // is not stable, so the place each had decides between equal names.
    std::unordered_map<const MessageEntry*, int> placeOf;
    for (int i = 0; i < messageList().count(); ++i)
        placeOf.emplace(messageList().at(i), i);
    const bool ascending = sortAscending_;
    messageList().sort(
        [&](const MessageEntry& one, const MessageEntry& other) {
            if (const int byName = nameOf(one).compare(nameOf(other)); byName != 0)
                return byName;
            const int byPlace = placeOf.at(&one) - placeOf.at(&other);
            return ascending ? byPlace : -byPlace;
        },
        ascending);
}

void MainWindow::SortByAccount() {
    if (!busy() && connected() && listsAllAccounts() && messageList().count() > 0) {
        const MessageEntry* focusedEntry = messageList().at(messageView->focusedRow());
        if (sortKey_ == kSortByAccount)
            sortAscending_ = !sortAscending_;
        sortKey_ = kSortByAccount;
        sortByAccountNow();
        refreshList();
        if (focusedEntry != nullptr)
            if (const int index = indexOfEntry(messageList(), focusedEntry); index >= 0)
                messageView->goToRow(index);
    }
    syncSortChecks();
}

void MainWindow::updateAccountColumn() {
    bool mixed = false;
    if (const MessageEntry* first = messageList().at(0))
        mixed = std::any_of(
            messageList().begin(), messageList().end(),
            [first](const MessageEntry* entry) { return entry->accountTag != first->accountTag; });
    const bool shown = messageView->columnCount() > MessageTableModel::kAccountColumn;
    if (mixed == shown)
        return;
    if (!mixed) {
        messageView->removeLastColumn();
        return;
    }
    applyingWidths_ = true;
    // Subject stays last, taking the width the others leave. The new column must never be the
    // stretched last one on its way there: moving it away would give it back the width it had
    // before the stretch, which was none, and it would stay out of sight until dragged.
    messageView->setStretchLastColumn(false);
    const int column = messageView->addColumn(tr("Account"), 0);
    messageView->placeColumnBefore(column, 4);
    // Addresses alone, without the names the other address columns carry: as wide as the
    // longest of them, so that Subject keeps what it can.
    const QFontMetrics metrics(messageView->font());
    int widest = 0;
    for (const auto& [tag, address] : messageRows_->accountNames())
        widest = std::max(widest, metrics.horizontalAdvance(dialogs::displayText(address)));
    const int padding =
        2 * (messageView->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, messageView) +
             1) +
        6;
    const int fitting = std::max(metrics.horizontalAdvance(messageView->columnCaption(column)) + 16,
                                 std::min(widest, fittingColumnWidth(column))) +
                        padding;
    messageView->setColumnWidth(column,
                                userAccountColumnWidth_ > 0 ? userAccountColumnWidth_ : fitting);
    messageView->setStretchLastColumn(true);
    applyingWidths_ = false;
}

} // namespace toppeek::ui
