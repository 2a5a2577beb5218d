// Entry point of every test program: a Qt application object for event loops, sockets and
// timers, created after GoogleTest has taken its own options. It is the collector's guarded
// application type, so tests can observe the application-wide failure handler.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include "GuardedApplication.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (::testing::GTEST_FLAG(list_tests))
        return RUN_ALL_TESTS();
    GuardedApplication<QCoreApplication> app(argc, argv);
    return RUN_ALL_TESTS();
}
