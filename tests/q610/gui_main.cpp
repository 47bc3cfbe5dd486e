// Window tests run inside one QApplication on whatever platform the test's
// environment names (offscreen under CTest).
#include <gtest/gtest.h>
#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
