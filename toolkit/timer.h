#pragma once
// A timer with the enable/interval rules of classic desktop toolkits, which
// the windows are written against:
//  - enabling a timer that is already enabled keeps its running period;
//  - setting a different interval on an enabled timer restarts its
//    countdown, setting the same interval changes nothing;
//  - an interval of 0 never fires, although the timer stays enabled;
//  - disabling stops it.
// Ticks run OnTimer on the user-interface thread.

#include <QObject>
#include <QTimer>
#include <functional>

namespace tk {

class Timer : public QObject {
    Q_OBJECT
public:
    explicit Timer(QObject* parent = nullptr, int interval = 1000, bool enabled = true);

    bool Enabled() const { return enabled_; }
    void setEnabled(bool enabled);
    int Interval() const { return interval_; }
    void setInterval(int milliseconds);

    // True while a tick is actually scheduled (enabled with an interval > 0).
    bool isTicking() const { return timer_.isActive(); }
    // Milliseconds until the next tick, -1 when none is scheduled.
    int remainingTime() const { return timer_.remainingTime(); }

    std::function<void()> OnTimer;

private:
    void restart();

    QTimer timer_;
    int interval_;
    bool enabled_;
};

} // namespace tk
