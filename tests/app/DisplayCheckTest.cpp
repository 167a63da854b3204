#include "DisplayCheck.h"

#include <gtest/gtest.h>

namespace {
QProcessEnvironment environment(std::initializer_list<std::pair<QString, QString>> vars)
{
    QProcessEnvironment env;
    for (const auto& [name, value] : vars)
        env.insert(name, value);
    return env;
}
} // namespace

TEST(DisplayCheckTest, FindsADisplayOnlyWhereQtCanOpenAWindow)
{
    EXPECT_TRUE(hasDisplay(environment({ { "DISPLAY", ":0" } })));
    EXPECT_TRUE(hasDisplay(environment({ { "WAYLAND_DISPLAY", "wayland-0" } })));
    EXPECT_TRUE(hasDisplay(environment({ { "QT_QPA_PLATFORM", "offscreen" } })));
    EXPECT_TRUE(hasDisplay(environment({ { "QT_QPA_PLATFORM", "vnc:size=800x600" } })));
    EXPECT_TRUE(hasDisplay(environment({ { "QT_QPA_PLATFORM", "wayland;minimal" } })));

    EXPECT_FALSE(hasDisplay(environment({})));
    EXPECT_FALSE(hasDisplay(environment({ { "DISPLAY", "" }, { "WAYLAND_DISPLAY", "" } })));
    EXPECT_FALSE(hasDisplay(environment({ { "QT_QPA_PLATFORM", "xcb" } })));
    EXPECT_FALSE(hasDisplay(environment({ { "QT_QPA_PLATFORM", "wayland;xcb" } })));
}

TEST(DisplayCheckTest, PlatformArgumentOverridesTheEnvironment)
{
    EXPECT_TRUE(hasDisplay(environment({}), { "zorvi", "-platform", "offscreen" }));
    EXPECT_TRUE(hasDisplay(environment({}), { "zorvi", "--platform", "minimal" }));
    EXPECT_FALSE(hasDisplay(environment({ { "QT_QPA_PLATFORM", "offscreen" } }), { "zorvi", "-platform", "xcb" }));
    EXPECT_FALSE(hasDisplay(environment({}), { "zorvi", "-platform" }));
}
