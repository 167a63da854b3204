// Test entry: a private HOME, the offscreen platform and one QApplication, so that
// engine, platform and widget tests all run in the same framework.
#include "DispatchQueue.h"
#include "TempHome.h"

#include <QApplication>
#include <QThreadPool>
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
    const int status = RUN_ALL_TESTS();
    // Ends as the program does: a queue thread still delivering a timer's tick while the
    // application object is destroyed crashes the process after the tests have passed.
    QThreadPool::globalInstance()->waitForDone();
    DispatchQueue::shutdown();
    return status;
}
