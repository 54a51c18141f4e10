// What the program's dialogs share: named controls, their OK and Cancel buttons, their fixed
// sizes, where they open, and how an edit box gives back the bytes of a stored text.
#pragma once

#include <QDialog>
#include <QSize>
#include <QString>
#include <QStyle>

#include <string>

class QDialogButtonBox;
class QPushButton;
class QWidget;

namespace toppeek::ui {

// Gives object its design name, by which tests and the help find it.
template <class T> T* named(T* object, const char* name) {
    object->setObjectName(QString::fromLatin1(name));
    return object;
}

// A push button with the style's picture for what it does.
QPushButton* dialogButton(QWidget* parent, const char* name, const QString& caption,
                          QStyle::StandardPixmap picture);

// A dialog's OK (named BOk, the default button) and Cancel (BCancel) buttons in a row, in the
// order the desktop puts them; OK accepts the dialog and Cancel rejects it.
struct OkCancelRow {
    QPushButton* ok = nullptr;
    QPushButton* cancel = nullptr;
    QDialogButtonBox* row = nullptr;
};
OkCancelRow okCancelRow(QDialog* dialog, const QString& okCaption = QStringLiteral("&OK"),
                        QSize minimumButtonSize = {});

// A dialog of its design size that a larger font may only make grow, never crush the controls.
void fixToDesignSize(QDialog* dialog, int width, int height);
// A dialog as large as its layout asks, at least width by height, with no resize grip.
void fixToLayoutSize(QDialog* dialog, int width, int height);

// Puts window's frame in the middle of the free area of the screen near is on, or of window's
// own screen without near.
void centreOnScreen(QWidget* window, const QWidget* near = nullptr);

// Runs dialog modally in the middle of the screen; true when it was closed with OK.
bool runCentred(QDialog& dialog);

// bytes cut to at most limit; a UTF-8 text loses no half character.
std::string cutBytes(std::string bytes, int limit);

// What an edit control gives back, at most limit bytes. Stored texts may be Latin-1, which the
// control shows but would re-encode as UTF-8: a text the user did not touch (now as it was
// shown) keeps its original bytes, so that opening and confirming changes nothing.
std::string bytesOfEdit(const QString& now, const QString& shown, const std::string& original,
                        int limit);

} // namespace toppeek::ui
