#include "ui/HelpContext.h"

#include <QVariant>
#include <QWidget>

namespace toppeek::ui {

namespace {

constexpr const char* kHelpContextProperty = "helpContext";

} // namespace

void setHelpContext(QWidget* window, int context) {
    window->setProperty(kHelpContextProperty, context);
}

int helpContext(const QWidget* window) {
    return window->property(kHelpContextProperty).toInt();
}

} // namespace toppeek::ui
