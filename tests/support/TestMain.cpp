// Entry point of every test program: a Qt application object for event loops, sockets and
// timers, created after GoogleTest has taken its own options (listing the tests creates none).
// It is the collector's guarded application type, so tests can observe the application-wide
// failure handler. Test programs of the window get a widget application.
#include <gtest/gtest.h>

#ifdef TARVO_TEST_WIDGETS
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

#include "GuardedApplication.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (::testing::GTEST_FLAG(list_tests))
        return RUN_ALL_TESTS();
    GuardedApplication<TestApplication> app(argc, argv);
    return RUN_ALL_TESTS();
}
