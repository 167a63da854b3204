#include "SizeText.h"

#include <gtest/gtest.h>

TEST(SizeText, Rows)
{
    EXPECT_EQ(SizeText::format(0), "0.0 byte");
    EXPECT_EQ(SizeText::format(1023), "1023.0 byte");
    EXPECT_EQ(SizeText::format(1024), "1.0 KB");
    EXPECT_EQ(SizeText::format(1536), "1.5 KB");
    EXPECT_EQ(SizeText::format(1048576), "1.0 MB");
    EXPECT_EQ(SizeText::format(1024LL * 1024 * 1024), "1.0 GB");
    EXPECT_EQ(SizeText::format(1024LL * 1024 * 1024 * 1024), "1.0 TB");
    EXPECT_EQ(SizeText::format(1024LL * 1024 * 1024 * 1024 * 1024), "Large");
}
