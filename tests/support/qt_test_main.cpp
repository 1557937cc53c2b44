#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>

int main(int argc, char** argv) {
    // Listing the tests (CTest asks for it) needs a platform too; never a real display.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    Q_INIT_RESOURCE(vellor);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
