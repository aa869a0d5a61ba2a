#include "timer.h"

namespace tk {

Timer::Timer(QObject* parent, int interval, bool enabled)
    : QObject(parent), interval_(interval), enabled_(enabled)
{
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, [this] {
        if (OnTimer)
            OnTimer();
    });
    restart();
}

void Timer::setEnabled(bool enabled)
{
    if (enabled == enabled_)
        return;
    enabled_ = enabled;
    restart();
}

void Timer::setInterval(int milliseconds)
{
    if (milliseconds == interval_)
        return;
    interval_ = milliseconds;
    restart();
}

void Timer::restart()
{
    if (enabled_ && interval_ > 0)
        timer_.start(interval_);
    else
        timer_.stop();
}

} // namespace tk
