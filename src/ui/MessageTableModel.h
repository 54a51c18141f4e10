// MessageTableModel: the rows of the main window's message list, read
// straight from the entries of the message list. A cell is formatted from
// its entry when a view asks for it and at no other time; a changed entry is
// shown again by having its row read again.
#pragma once

#include "messages/MessageList.h"
#include "ui/ListRowsModel.h"

#include <cstdint>
#include <map>
#include <string>
#include <utility>

namespace toppeek::ui {

class MessageTableModel final : public ListRowsModel {
public:
    // The columns, in order: To, From, Size, Date, Subject, and Account, which the window shows
    // only while the list holds the messages of more than one account.
    explicit MessageTableModel(QObject* parent = nullptr);
    static constexpr int kAccountColumn = 5;

    // What the Account column shows for each account tag.
    void setAccountNames(std::map<std::uint16_t, std::string> names) {
        accountNames_ = std::move(names);
    }
    const std::map<std::uint16_t, std::string>& accountNames() const { return accountNames_; }

    // The list the rows stand for, not owned; null shows every row empty.
    // It must outlive the model or be taken away first.
    void setMessages(const messages::MessageList* messages) { messages_ = messages; }

    QString cellText(int row, int column) const override;
    // 1 for an entry marked for deletion, 0 for any other.
    int cellImage(int row) const override;
    QString rowToolTip(int row) const override;
    // Messages that arrived since the check before.
    bool rowInBold(int row) const override;
    QString rowDescription(int row) const override;

    // The texts the list shows for a size and a date.
    static std::string sizeText(long size);
    static std::string dateText(const messages::MailDate& date);
    // What a row says about its mark: what set it, or what kept it off;
    // empty when nothing has said.
    static QString markReasonText(const messages::MessageEntry& entry);

private:
    const messages::MessageEntry* entryAt(int row) const;

    const messages::MessageList* messages_ = nullptr;
    std::map<std::uint16_t, std::string> accountNames_;
};

} // namespace toppeek::ui
