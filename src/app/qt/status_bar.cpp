#include "app/qt/status_bar.h"

#include <QLabel>

#include "app/status_report.h"

namespace vellor {

namespace {

// The errors as rich text: each count in red once it is not zero, a dash for a driver that
// keeps no counts (a pseudo-terminal).
QString ErrorsText(const StatusReport& report) {
    QStringList parts;
    for (const StatusReport::LineError& error : report.errors) {
        QString part = QString::fromLatin1(error.name) + " ";
        if (!error.count) {
            part += QStringLiteral("\u2014");
        } else if (*error.count == 0) {
            part += "0";
        } else {
            part += QStringLiteral("<span style=\"color:#c00000\">%1</span>").arg(*error.count);
        }
        parts << part;
    }
    return parts.join(QStringLiteral("  "));
}

}  // namespace

StatusBar::StatusBar(const AppState& state, QWidget* parent)
    : QStatusBar(parent),
      state_(state),
      port_(new QLabel(this)),
      traffic_(new QLabel(this)),
      errors_(new QLabel(this)),
      capture_(new QLabel(this)),
      send_(new QLabel(this)) {
    setObjectName(QStringLiteral("VellorStatusBar"));
    setSizeGripEnabled(false);
    errors_->setTextFormat(Qt::RichText);
    for (QLabel* label : {port_, traffic_, errors_, capture_, send_}) {
        label->setTextInteractionFlags(Qt::NoTextInteraction);
        addWidget(label);
    }
    refresh_.setInterval(kRefreshMs);
    connect(&refresh_, &QTimer::timeout, this, &StatusBar::Refresh);
}

void StatusBar::Refresh() {
    const StatusReport report = ReportStatus(state_);
    port_->setText(QString::fromStdString(report.port));
    traffic_->setText(QString::fromStdString(report.traffic));
    traffic_->setVisible(report.open);
    errors_->setText(ErrorsText(report));
    errors_->setVisible(report.open && !report.waiting);
    capture_->setText(QString::fromStdString(report.capture));
    capture_->setVisible(!report.capture.empty());
    send_->setText(QString::fromStdString(report.send));
    send_->setVisible(!report.send.empty());
}

void StatusBar::showEvent(QShowEvent* event) {
    QStatusBar::showEvent(event);
    Refresh();
    refresh_.start();
}

void StatusBar::hideEvent(QHideEvent* event) {
    refresh_.stop();
    QStatusBar::hideEvent(event);
}

}  // namespace vellor
