#include "ui/DialogSupport.h"

#include "messages/MailText.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QLayout>
#include <QPushButton>
#include <QScreen>

#include <algorithm>

namespace toppeek::ui {

using messages::isValidUtf8;

QPushButton* dialogButton(QWidget* parent, const char* name, const QString& caption,
                          QStyle::StandardPixmap picture) {
    auto* button = named(new QPushButton(caption, parent), name);
    button->setIcon(parent->style()->standardIcon(picture, nullptr, button));
    return button;
}

OkCancelRow okCancelRow(QDialog* dialog, const QString& okCaption, QSize minimumButtonSize) {
    OkCancelRow buttons;
    // The default caption is translated here; a caller's own comes translated.
    const QString ok = okCaption == QLatin1String("&OK")
                           ? QCoreApplication::translate("toppeek::ui::OkCancelRow", "&OK")
                           : okCaption;
    buttons.ok = dialogButton(dialog, "BOk", ok, QStyle::SP_DialogOkButton);
    buttons.cancel = dialogButton(
        dialog, "BCancel", QCoreApplication::translate("toppeek::ui::OkCancelRow", "&Cancel"),
        QStyle::SP_DialogCancelButton);
    if (minimumButtonSize.isValid()) {
        for (QPushButton* button : {buttons.ok, buttons.cancel})
            button->setMinimumSize(minimumButtonSize);
    }
    buttons.ok->setDefault(true);
    buttons.row = new QDialogButtonBox(dialog);
    buttons.row->addButton(buttons.ok, QDialogButtonBox::AcceptRole);
    buttons.row->addButton(buttons.cancel, QDialogButtonBox::RejectRole);
    QObject::connect(buttons.row, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons.row, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return buttons;
}
void fixToDesignSize(QDialog* dialog, int width, int height) {
    dialog->setFixedSize(QSize(width, height).expandedTo(dialog->minimumSizeHint()));
}

void fixToLayoutSize(QDialog* dialog, int width, int height) {
    dialog->setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
    dialog->setSizeGripEnabled(false);
    dialog->setMinimumSize(width, height);
    dialog->layout()->setSizeConstraint(QLayout::SetFixedSize);
}

void centreOnScreen(QWidget* window, const QWidget* near) {
    const QScreen* screen = near != nullptr ? near->screen() : window->screen();
    if (screen == nullptr)
        return;
    QRect frame = window->frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window->move(frame.topLeft());
}

bool runCentred(QDialog& dialog) {
    centreOnScreen(&dialog);
    return dialog.exec() == QDialog::Accepted;
}

std::string cutBytes(std::string bytes, int limit) {
    const std::size_t keep = static_cast<std::size_t>(std::max(limit, 0));
    if (bytes.size() <= keep)
        return bytes;
    std::size_t end = keep;
    if (isValidUtf8(bytes))
        while (end > 0 && (static_cast<unsigned char>(bytes[end]) & 0xC0u) == 0x80u)
            --end;
    bytes.resize(end);
    return bytes;
}

std::string bytesOfEdit(const QString& now, const QString& shown, const std::string& original,
                        int limit) {
    return cutBytes(now == shown ? original : now.toUtf8().toStdString(), limit);
}

} // namespace toppeek::ui
