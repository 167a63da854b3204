// Cloud names come from the network: none of them may lead outside the chosen folder.
#include "CloudLocalPath.h"

#include <gtest/gtest.h>

TEST(CloudLocalPath, StaysUnderTheDestinationOrRefuses)
{
    EXPECT_EQ(CloudLocalPath::resolve("/media/ann/D", "/2021/1"), QString("/media/ann/D/2021/1"));
    EXPECT_EQ(CloudLocalPath::resolve("/media/ann/D/", "a//b/"), QString("/media/ann/D/a/b"));
    EXPECT_EQ(CloudLocalPath::resolve("/", "/x"), QString("/x"));
    EXPECT_EQ(CloudLocalPath::resolve("/d", "/...hidden"), QString("/d/...hidden"));
    for (const char* bad : { "/../etc/passwd", "a/../../b", "/./a", "..", "", "/" })
        EXPECT_EQ(CloudLocalPath::resolve("/media/ann/D", bad), std::nullopt) << bad;
    EXPECT_EQ(CloudLocalPath::resolve("/d", QString("a") + QChar(0) + "b"), std::nullopt);
    EXPECT_EQ(CloudLocalPath::resolve("", "/a"), std::nullopt);

    // The parent drops the last component only: file "1" in "/2021" stays in "/2021".
    EXPECT_EQ(CloudLocalPath::parentOf("/d/2021/1"), QString("/d/2021"));
    EXPECT_EQ(CloudLocalPath::parentOf("/1"), QString("/"));
}
