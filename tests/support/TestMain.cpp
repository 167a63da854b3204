// Test entry: a private HOME, the offscreen platform and one QApplication, so that
// engine, platform and widget tests all run in the same framework.
#include "TempHome.h"

#include <QApplication>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    TempHome home;
    QApplication app(argc, argv);
    QApplication::setOrganizationName("Morvantek");
    QApplication::setApplicationName("Zorvi");
    ::testing::InitGoogleMock(&argc, argv);
    return RUN_ALL_TESTS();
}
