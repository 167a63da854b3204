#include "TaskSizeText.h"

#include <gtest/gtest.h>

TEST(TaskSizeText, PagesOwnRuleWithoutTerabytes)
{
    EXPECT_EQ(TaskSizeText::text(0), "0 Byte");
    EXPECT_EQ(TaskSizeText::text(1024), "1024 Byte");
    EXPECT_EQ(TaskSizeText::text(1025), "1.0 KB");
    EXPECT_EQ(TaskSizeText::text(1536), "1.5 KB");
    EXPECT_EQ(TaskSizeText::text(1024LL * 1024), "1024.0 KB"); // exactly 1 MiB is not above 1 MB
    EXPECT_EQ(TaskSizeText::text(3LL * 1024 * 1024 / 2), "1.5 MB");
    EXPECT_EQ(TaskSizeText::text(5LL << 30), "5.0 GB");
    EXPECT_EQ(TaskSizeText::text(2LL << 40), "2048.0 GB");
}
