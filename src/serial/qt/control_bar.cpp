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
    for (ModemBox which : kModemBoxes) {
        const int i = IndexOf(which);
        auto* box = new QCheckBox(QString::fromLatin1(kModemBoxLabels[i]), parent);
        box->setObjectName(QString::fromLatin1(kModemBoxLabels[i]));
        box->setFont(font);
        box->setChecked(false);
        box->setEnabled(which == ModemBox::Dtr || which == ModemBox::Rts);
        // Provisional place in the lower part of the parent until the first layout.
        box->setGeometry(0, std::max(0, parent->height() - kBoxTopFromBottom), kBoxWidths[i],
                         kBoxHeight);
        const int id = CommandOf(which);
        // `clicked` comes only from the user, after the box has flipped its own mark.
        connect(box, &QCheckBox::clicked, this, [this, id] { emit Command(id); });
        boxes_[i] = box;
    }
}

void ControlBar::Place(const MainLayout& layout) {
    if (!layout.boxesPlaced) return;
    for (ModemBox which : MainLayout::kPlacingOrder) {
        const ChildRect& r = layout.boxes[IndexOf(which)];
        QCheckBox* box = Box(which);
        box->setGeometry(r.x, r.y, r.width, r.height);
        box->raise();
    }
}

}  // namespace vellor
