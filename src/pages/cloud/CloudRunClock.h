#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

// The clock of the download run screen: seconds elapsed, counted each second, and seconds
// left, estimated every five seconds from the share done and counted down each second in
// between (resting at 3 until the next estimate).
class CloudRunClock : public QObject {
    Q_OBJECT
public:
    explicit CloudRunClock(QObject* parent = nullptr);

    qint64 seconds_Elapse = 0;
    qint64 seconds_Left = 0;

    // From zero, counting.
    void start();
    // Stopped, back at zero.
    void stop();
    // The share of the run done, 0 to 100, for the next estimate.
    void setPercent(double percent) { percent_ = percent; }

    void updateTimer_Elapse();
    void updateTimer_Left();
    // Nothing while nothing is done yet.
    void updateEstimateTime();

    // "%02i:%02i:%02i" with hours uncapped.
    static QString timeText(qint64 seconds);

Q_SIGNALS:
    void elapsedChanged(qint64 seconds);
    void leftChanged(qint64 seconds);

private:
    QTimer timer_Elapse;
    QTimer timer_Left;
    QTimer leftTimeEstimator;
    double percent_ = 0;
};
