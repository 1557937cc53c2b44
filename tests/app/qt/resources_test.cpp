#include <gtest/gtest.h>

#include <QIcon>

// The icon sits in the static GUI library; without it the tray icon would never show.
TEST(Resources, ProgramIconIsBuiltIn) {
    EXPECT_FALSE(QIcon(QStringLiteral(":/vellor.png")).isNull());
}
