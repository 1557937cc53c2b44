#include "settings/qt/options_dialog_size_field.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>

#include "settings/options_model.h"

namespace vellor {

SizeField::SizeField(int max, QWidget* parent)
    : QWidget(parent),
      max_(max),
      edit_(new QLineEdit(this)),
      down_(new QToolButton(this)),
      up_(new QToolButton(this)) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    edit_->setAlignment(Qt::AlignRight);
    edit_->installEventFilter(this);
    // The arrows sit at the field's right edge; Tab passes them by, as the field's own keys
    // step the number.
    down_->setArrowType(Qt::LeftArrow);
    up_->setArrowType(Qt::RightArrow);
    for (QToolButton* b : {down_, up_}) {
        b->setFocusPolicy(Qt::NoFocus);
        b->setAutoRepeat(true);
    }
    layout->addWidget(edit_, 1);
    layout->addWidget(down_);
    layout->addWidget(up_);
    setFocusProxy(edit_);
    connect(down_, &QToolButton::clicked, this, [this] { Step(-1); });
    connect(up_, &QToolButton::clicked, this, [this] { Step(1); });
}

QString SizeField::text() const {
    return edit_->text();
}

void SizeField::setText(const QString& text) {
    edit_->setText(text);
}

void SizeField::Step(int delta) {
    edit_->setText(QString::fromStdString(StepSizeText(edit_->text().toStdString(), delta, max_)));
}

bool SizeField::eventFilter(QObject* watched, QEvent* event) {
    if (watched == edit_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            Step(key == Qt::Key_Up ? 1 : -1);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace vellor
