#include "CloudRunClock.h"

#include <cmath>
#include <limits>

CloudRunClock::CloudRunClock(QObject* parent)
    : QObject(parent)
{
    timer_Elapse.setInterval(1000);
    timer_Left.setInterval(1000);
    leftTimeEstimator.setInterval(5000);
    connect(&timer_Elapse, &QTimer::timeout, this, &CloudRunClock::updateTimer_Elapse);
    connect(&timer_Left, &QTimer::timeout, this, &CloudRunClock::updateTimer_Left);
    connect(&leftTimeEstimator, &QTimer::timeout, this, &CloudRunClock::updateEstimateTime);
}

void CloudRunClock::start()
{
    seconds_Elapse = 0;
    seconds_Left = 0;
    percent_ = 0;
    timer_Elapse.start();
    timer_Left.start();
    leftTimeEstimator.start();
}

void CloudRunClock::stop()
{
    timer_Elapse.stop();
    timer_Left.stop();
    leftTimeEstimator.stop();
    seconds_Elapse = 0;
    seconds_Left = 0;
}

QString CloudRunClock::timeText(qint64 seconds)
{
    seconds = std::max<qint64>(seconds, 0);
    return QString::asprintf("%02lld:%02lld:%02lld", seconds / 3600, (seconds / 60) % 60, seconds % 60);
}

void CloudRunClock::updateTimer_Elapse()
{
    if (seconds_Elapse < std::numeric_limits<qint64>::max())
        ++seconds_Elapse;
    Q_EMIT elapsedChanged(seconds_Elapse);
}

void CloudRunClock::updateTimer_Left()
{
    // The countdown rests at 3 until the next estimate.
    if (seconds_Left < 4)
        return;
    --seconds_Left;
    Q_EMIT leftChanged(seconds_Left);
}

void CloudRunClock::updateEstimateTime()
{
    const double p = percent_;
    if (!(p > 0))
        return;
    const double whole = std::floor(double(seconds_Elapse) * 100.0 / p);
    const double left = whole - double(seconds_Elapse);
    // Tiny fractions of a huge total must not overflow the conversion.
    if (!std::isfinite(left) || left >= 9.0e18)
        seconds_Left = std::numeric_limits<qint64>::max();
    else
        seconds_Left = std::max<qint64>(qint64(left), 0);
    Q_EMIT leftChanged(seconds_Left);
}
