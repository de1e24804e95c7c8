#include <QCoreApplication>
#include <gtest/gtest.h>

// The wire tests need an event loop for the frame's sockets and timers.
int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
