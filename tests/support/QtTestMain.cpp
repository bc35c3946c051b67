#include <gtest/gtest.h>

#include <QCoreApplication>

// Tests drive sockets, timers and child processes, all of which need an event loop
// owner; each test runs the loop itself while it waits for something.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
