#include "ui/MessageTableModel.h"

#include "dialogs/DisplayText.h"
#include "messages/MailDate.h"

#include <QCoreApplication>

#include <cstdio>

using namespace toppeek::messages;

namespace toppeek::ui {

namespace {

const char* const kUnknownDateText = "(no date)";

} // namespace

MessageTableModel::MessageTableModel(QObject* parent) : ListRowsModel(parent) {
    for (const char* caption : {"To:", "From:", "Size", "Date", "Subject"})
        addColumn(QString::fromLatin1(caption));
}

const MessageEntry* MessageTableModel::entryAt(int row) const {
    return messages_ != nullptr ? messages_->at(row) : nullptr;
}

QString MessageTableModel::cellText(int row, int column) const {
    const MessageEntry* entry = entryAt(row);
    if (entry == nullptr)
        return {};
    std::string scratch;
    switch (column) {
    case 0:
        return cellFromBytes(shownText(*entry, ShownField::To, scratch));
    case 1:
        return cellFromBytes(shownText(*entry, ShownField::From, scratch));
    case 2:
        return cellFromBytes(sizeText(entry->size));
    case 3:
        return cellFromBytes(dateText(entry->date));
    case 4:
        return cellFromBytes(shownText(*entry, ShownField::Subject, scratch));
    case kAccountColumn: {
        const auto name = accountNames_.find(entry->accountTag);
        return name != accountNames_.end() ? cellFromBytes(name->second) : QString();
    }
    default:
        return {};
    }
}

int MessageTableModel::cellImage(int row) const {
    const MessageEntry* entry = entryAt(row);
    if (entry == nullptr)
        return -1;
    return entry->mark != MarkState::Unmarked ? 1 : 0;
}

QString MessageTableModel::rowToolTip(int row) const {
    const MessageEntry* entry = entryAt(row);
    return entry != nullptr ? markReasonText(*entry) : QString();
}

bool MessageTableModel::rowInBold(int row) const {
    const MessageEntry* entry = entryAt(row);
    return entry != nullptr && entry->isNew;
}

QString MessageTableModel::rowDescription(int row) const {
    const MessageEntry* entry = entryAt(row);
    if (entry == nullptr)
        return {};
    // The mark shows only as an image, and why as a tooltip.
    const auto text = [](const char* source) {
        return QCoreApplication::translate("toppeek::ui::MessageTableModel", source);
    };
    QString description =
        entry->mark != MarkState::Unmarked
            ? text(QT_TRANSLATE_NOOP("toppeek::ui::MessageTableModel", "Marked for deletion"))
            : text(QT_TRANSLATE_NOOP("toppeek::ui::MessageTableModel", "Not marked"));
    if (!entry->markReason.empty())
        description += QStringLiteral(": ") + QString::fromStdString(entry->markReason);
    if (entry->isNew)
        description +=
            QStringLiteral(", ") + text(QT_TRANSLATE_NOOP("toppeek::ui::MessageTableModel", "new"));
    return description;
}

std::string MessageTableModel::sizeText(long size) {
    char text[64];
    if (size < 1024)
        std::snprintf(text, sizeof text, "%ld b", size);
    else
        std::snprintf(text, sizeof text, "%ld.%ld Kb", size / 1024, ((size % 1024) * 10) / 1024);
    return text;
}

std::string MessageTableModel::dateText(const MailDate& date) {
    if (date.month < 1 || date.month > 12)
        return kUnknownDateText;
    char text[80];
    std::snprintf(text, sizeof text, "%d %s %d - %d:%d:%d", date.day, MonthNames[date.month - 1],
                  date.year, date.hour, date.minute, date.second);
    return text;
}

QString MessageTableModel::markReasonText(const MessageEntry& entry) {
    // The reason quotes the sender's own words (a domain, a matched text).
    if (!entry.markReason.empty())
        return dialogs::displayLine(entry.markReason);
    if (entry.mark != MarkState::Unmarked)
        return QCoreApplication::translate("toppeek::ui::MessageTableModel", "Marked for deletion");
    return {};
}

} // namespace toppeek::ui
