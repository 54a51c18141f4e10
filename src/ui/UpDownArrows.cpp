#include "ui/UpDownArrows.h"

#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace toppeek::ui {

namespace {

QToolButton* makeArrow(QWidget* parent, Qt::ArrowType arrow, const char* name) {
    auto* button = new QToolButton(parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setArrowType(arrow);
    // Held down, the arrows keep stepping, as arrows beside a number do.
    button->setAutoRepeat(true);
    button->setFocusPolicy(Qt::NoFocus);
    button->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    button->setMinimumSize(8, 8);
    return button;
}

} // namespace

UpDownArrows::UpDownArrows(QWidget* parent)
    : QWidget(parent), up_(makeArrow(this, Qt::UpArrow, "up")),
      down_(makeArrow(this, Qt::DownArrow, "down")) {
    up_->setAccessibleName(tr("Up"));
    down_->setAccessibleName(tr("Down"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(up_);
    layout->addWidget(down_);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    resize(16, 21);
    connect(up_, &QToolButton::clicked, this, [this] { click(UpDownButton::Up); });
    connect(down_, &QToolButton::clicked, this, [this] { click(UpDownButton::Down); });
}

void UpDownArrows::setRange(int minimum, int maximum) {
    minimum_ = minimum;
    maximum_ = std::max(minimum, maximum);
    setPosition(position_);
}

void UpDownArrows::setIncrement(int increment) {
    increment_ = std::max(increment, 1);
}

void UpDownArrows::setPosition(int position) {
    position_ = std::clamp(position, minimum_, maximum_);
}

bool UpDownArrows::click(UpDownButton button) {
    // Wide arithmetic: a position near the int limits must not overflow.
    const long long step = button == UpDownButton::Up ? increment_ : -increment_;
    const int moved = static_cast<int>(
        std::clamp<long long>(static_cast<long long>(position_) + step, minimum_, maximum_));
    if (moved == position_)
        return false;
    position_ = moved;
    emit Click(button);
    return true;
}

} // namespace toppeek::ui
