#include "app/qt/client_area.h"

#include <QPaintEvent>
#include <QPainter>

namespace vellor {

namespace {

const QColor kBackground(255, 255, 255);
const QColor kBand(192, 192, 192);
const QColor kBandLine(0, 0, 0);

}  // namespace

ClientArea::ClientArea(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void ClientArea::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.fillRect(event->rect(), kBackground);
    painter.fillRect(QRect(0, 0, width(), kBandRows), kBand);
    painter.fillRect(QRect(0, kBandRows, width(), 1), kBandLine);
}

void ClientArea::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    emit Resized();
}

}  // namespace vellor
