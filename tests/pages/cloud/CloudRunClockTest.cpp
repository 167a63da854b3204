#include "CloudRunClock.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

// Hours are not capped; nothing is estimated while nothing is done; 25 % after 20 s leaves
// 60 s, counted down to 3, where it rests until the next estimate.
TEST(CloudRunClock, EstimatesFromTheShareDoneAndCountsDownToThree)
{
    EXPECT_EQ(CloudRunClock::timeText(3661), "01:01:01");
    EXPECT_EQ(CloudRunClock::timeText(100 * 3600), "100:00:00");
    EXPECT_EQ(CloudRunClock::timeText(-5), "00:00:00");

    CloudRunClock clock;
    QSignalSpy left(&clock, &CloudRunClock::leftChanged);
    clock.seconds_Elapse = 7;
    clock.setPercent(0);
    clock.updateEstimateTime();
    EXPECT_TRUE(left.isEmpty());

    clock.setPercent(25);
    clock.seconds_Elapse = 20;
    clock.updateEstimateTime();
    EXPECT_EQ(clock.seconds_Left, 60);
    for (int i = 0; i < 70; ++i)
        clock.updateTimer_Left();
    EXPECT_EQ(clock.seconds_Left, 3);
    EXPECT_EQ(left.last().first().toLongLong(), 3);

    // A tiny share of a huge run does not overflow.
    clock.setPercent(1e-300);
    clock.updateEstimateTime();
    EXPECT_EQ(clock.seconds_Left, std::numeric_limits<qint64>::max());
}
