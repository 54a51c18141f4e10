// UpDownArrows: a pair of arrows that is not bound to any edit box.
//
// The arrows keep a position of their own within a range and move it by
// their increment, stopping at either end (they never wrap). The owner hears
// of a click only when the position actually changed, and only which way it
// moved: what a click means for the value beside the arrows is the owner's
// business, so a value may move by 1 while the arrows move by 5.
#pragma once

#include <QWidget>

class QToolButton;

namespace toppeek::ui {

enum class UpDownButton { Up, Down };

class UpDownArrows : public QWidget {
    Q_OBJECT

public:
    explicit UpDownArrows(QWidget* parent = nullptr);

    // The range; the position is pulled into it. A maximum below the minimum
    // is taken as equal to it.
    void setRange(int minimum, int maximum);
    int minimum() const { return minimum_; }
    int maximum() const { return maximum_; }

    // Step of one click; values below 1 count as 1.
    void setIncrement(int increment);
    int increment() const { return increment_; }

    // Sets the position, pulled into the range; reports nothing.
    void setPosition(int position);
    int position() const { return position_; }

    // One click on an arrow, as the mouse would give it: moves the position
    // and emits Click when it changed. Returns whether it changed.
    bool click(UpDownButton button);

    QToolButton* upButton() const { return up_; }
    QToolButton* downButton() const { return down_; }

signals:
    // The position grew (Up) or fell (Down) by one click.
    void Click(UpDownButton button);

private:
    QToolButton* up_;
    QToolButton* down_;
    int minimum_ = 0;
    int maximum_ = 100;
    int increment_ = 1;
    int position_ = 0;
};

} // namespace toppeek::ui
