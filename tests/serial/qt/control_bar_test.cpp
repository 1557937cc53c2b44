#include "serial/qt/control_bar.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QSignalSpy>
#include <QWidget>

namespace vellor {
namespace {

TEST(ControlBarTest, SixBoxesWithTheirLabelsIdsAndStates) {
    QWidget parent;
    parent.resize(480, 300);
    ControlBar bar(&parent);
    QSignalSpy commands(&bar, &ControlBar::Command);
    const char* labels[] = {"DTR", "RTS", "DSR", "CTS", "CD", "RI"};
    for (int i = 0; i < kBoxCount; ++i) {
        QCheckBox* box = bar.Box(BoxIndex(i));
        EXPECT_EQ(bar.BoxById(40001 + i), box);
        EXPECT_EQ(box->text(), labels[i]);
        EXPECT_FALSE(box->isChecked());
        EXPECT_EQ(box->isEnabled(), i <= kRtsBox) << labels[i];
    }
    EXPECT_EQ(bar.BoxById(40000), nullptr);
    EXPECT_EQ(bar.BoxById(40007), nullptr);

    // A click flips the switch first, then reports the box's command.
    bar.Box(kRtsBox)->click();
    ASSERT_EQ(commands.count(), 1);
    EXPECT_EQ(commands[0][0].toInt(), 40002);
    EXPECT_TRUE(bar.Box(kRtsBox)->isChecked());
    // Setting a mark from the program reports nothing.
    bar.Box(kDtrBox)->setChecked(true);
    EXPECT_EQ(commands.count(), 1);
}

TEST(ControlBarTest, PlaceFollowsTheLayoutAndStacksInPlacingOrder) {
    QWidget parent;
    parent.resize(480, 300);
    ControlBar bar(&parent);
    const MainLayout layout = LayoutMainWindow(480, 300, true);
    bar.Place(layout);
    for (int i = 0; i < kBoxCount; ++i) {
        const ChildRect& r = layout.boxes[i];
        EXPECT_EQ(bar.Box(BoxIndex(i))->geometry(), QRect(r.x, r.y, r.width, r.height));
    }
    // The last one placed (RI) is on top.
    EXPECT_EQ(parent.children().last(), bar.Box(kRiBox));

    // Without the bar the boxes stay where they are.
    bar.Place(LayoutMainWindow(320, 200, false));
    EXPECT_EQ(bar.Box(kDtrBox)->geometry().x(), layout.boxes[kDtrBox].x);
}

}  // namespace
}  // namespace vellor
