#include "serial/qt/control_bar.h"

#include <QCheckBox>
#include <QWidget>

#include "app/command_ids.h"

namespace vellor {

namespace {

// Small enough for "DTR" and its box to fit the 45-pixel slot, 15 pixels high.
constexpr int kBoxFontPixels = 11;

}  // namespace

ControlBar::ControlBar(QWidget* parent) : QObject(parent) {
    QFont font = parent->font();
    font.setPixelSize(kBoxFontPixels);
    for (int i = 0; i < kBoxCount; ++i) {
        auto* box = new QCheckBox(QString::fromLatin1(kBoxLabels[i]), parent);
        box->setObjectName(QString::fromLatin1(kBoxLabels[i]));
        box->setFont(font);
        box->setChecked(false);
        const bool isSwitch = i == kDtrBox || i == kRtsBox;
        box->setEnabled(isSwitch);
        // Provisional place in the lower part of the parent until the first layout.
        box->setGeometry(0, std::max(0, parent->height() - kBoxTopFromBottom), kBoxWidths[i],
                         kBoxHeight);
        const int id = kCmdDtr + i;
        // `clicked` comes only from the user, after the box has flipped its own mark.
        connect(box, &QCheckBox::clicked, this, [this, id] { emit Command(id); });
        boxes_[i] = box;
    }
}

QCheckBox* ControlBar::BoxById(int commandId) const {
    const int index = commandId - kCmdDtr;
    if (index < 0 || index >= kBoxCount) return nullptr;
    return boxes_[index];
}

void ControlBar::Place(const MainLayout& layout) {
    if (!layout.boxesPlaced) return;
    for (BoxIndex index : layout.placingOrder) {
        const ChildRect& r = layout.boxes[index];
        boxes_[index]->setGeometry(r.x, r.y, r.width, r.height);
        boxes_[index]->raise();
    }
}

}  // namespace vellor
