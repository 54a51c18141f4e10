#include "dialogs/MsgBox.h"

#include "dialogs/DisplayText.h"

#include <QApplication>
#include <QByteArray>
#include <QCoreApplication>
#include <QMessageBox>

#include <cstdio>
#include <utility>

namespace toppeek::dialogs {

namespace {

MessageBoxResponder gResponder;

unsigned buttonsOf(unsigned flags) {
    return flags & 0x0Fu;
}

QMessageBox::StandardButtons qtButtons(unsigned flags) {
    switch (buttonsOf(flags)) {
    case kMbOkCancel:
        return QMessageBox::Ok | QMessageBox::Cancel;
    case kMbYesNoCancel:
        return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    case kMbYesNo:
        return QMessageBox::Yes | QMessageBox::No;
    default:
        return QMessageBox::Ok;
    }
}

QMessageBox::Icon qtIcon(unsigned flags) {
    switch (flags & 0xF0u) {
    case 0x10:
        return QMessageBox::Critical;
    case kMbIconQuestion:
        return QMessageBox::Question;
    case kMbIconWarning:
        return QMessageBox::Warning;
    case kMbIconInformation:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

int identifierOf(int qtButton, unsigned flags) {
    switch (qtButton) {
    case QMessageBox::Ok:
        return kIdOk;
    case QMessageBox::Cancel:
        return kIdCancel;
    case QMessageBox::Yes:
        return kIdYes;
    case QMessageBox::No:
        return kIdNo;
    default:
        return dismissAnswer(flags);
    }
}

// The progress dialog stays on top of every window; a box shown under it would be out of reach.
bool stayOnTopWindowShown() {
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->isVisible() && widget->windowFlags().testFlag(Qt::WindowStaysOnTopHint))
            return true;
    return false;
}

// The text as the translations have it (in UTF-8), for a title or a format; a translated format
// keeps the conversions of its source, which a test checks for every one.
QByteArray translatedText(const char* text) {
    if (text == nullptr)
        return {};
    const QString translated = QCoreApplication::translate(kMsgBoxContext, text);
    // An untranslated text keeps its bytes, whatever their encoding.
    if (translated == QString::fromUtf8(text))
        return QByteArray(text);
    return translated.toUtf8();
}

int showBox(const MessageBoxRequest& request) {
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
        std::fprintf(stderr, "%s: %s\n", request.title.c_str(), request.text.c_str());
        return dismissAnswer(request.flags);
    }
    QMessageBox box(qtIcon(request.flags), displayText(request.title),
                    displayText(request.text, request.cut), qtButtons(request.flags),
                    QApplication::activeWindow());
    // Texts carry host and user names; they must never be read as markup.
    box.setTextFormat(Qt::PlainText);
    if (stayOnTopWindowShown())
        box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    return identifierOf(box.exec(), request.flags);
}

} // namespace

MessageBoxResponder setMessageBoxResponder(MessageBoxResponder responder) {
    return std::exchange(gResponder, std::move(responder));
}

int dismissAnswer(unsigned flags) {
    switch (buttonsOf(flags)) {
    case kMbOkCancel:
    case kMbYesNoCancel:
        return kIdCancel;
    case kMbYesNo:
        return kIdNo;
    default:
        return kIdOk;
    }
}

int msgBoxV(unsigned flags, const char* title, const char* format, va_list args) {
    MessageBoxRequest request;
    request.flags = flags;
    request.title = translatedText(title).toStdString();
    const QByteArray translatedFormat = translatedText(format);
    request.text = formatBounded(kMsgBoxTextSize, translatedFormat.constData(), args, &request.cut);
    // A copy, so that a responder may replace itself while it answers.
    if (MessageBoxResponder responder = gResponder)
        return responder(request);
    return showBox(request);
}

int msgBox(unsigned flags, const char* title, const char* format, ...) {
    va_list args;
    va_start(args, format);
    int answer = msgBoxV(flags, title, format, args);
    va_end(args);
    return answer;
}

} // namespace toppeek::dialogs
