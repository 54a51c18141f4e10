// The minute tick behind the automatic checks. The window counts the ticks itself, so that a
// changed interval takes effect at the next tick without anything being restarted; tests hand
// the window a clock they tick by hand instead of waiting for minutes to pass.
#pragma once

#include <QTimer>

#include <functional>

namespace toppeek::ui {

class CheckClock {
public:
    virtual ~CheckClock() = default;
    // tick runs once a minute, from the event loop, until the clock is destroyed. A tick the
    // event loop could not run in time is not made up for later.
    virtual void start(std::function<void()> tick) = 0;
};

class MinuteClock final : public CheckClock {
public:
    void start(std::function<void()> tick) override {
        timer_.disconnect();
        QObject::connect(&timer_, &QTimer::timeout, std::move(tick));
        // A check a few seconds late matters to nobody; the coarse timer lets the system
        // bundle its wake-ups.
        timer_.setTimerType(Qt::VeryCoarseTimer);
        timer_.start(60 * 1000);
    }

private:
    QTimer timer_;
};

} // namespace toppeek::ui
