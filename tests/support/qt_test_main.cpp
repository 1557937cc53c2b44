#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    Q_INIT_RESOURCE(vellor);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
