#include "screen/qt/find_bar.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

namespace vellor {

FindBar::FindBar(QWidget* parent)
    : QWidget(parent),
      needle_(new QLineEdit(this)),
      matchCase_(new QCheckBox(QStringLiteral("Match case"), this)),
      result_(new QLabel(this)) {
    auto* previous = new QPushButton(QStringLiteral("Previous"), this);
    auto* next = new QPushButton(QStringLiteral("Next"), this);
    auto* close = new QToolButton(this);
    close->setText(QStringLiteral("\u00D7"));
    close->setToolTip(QStringLiteral("Close"));
    close->setAutoRaise(true);
    for (QWidget* w : {static_cast<QWidget*>(previous), static_cast<QWidget*>(next),
                       static_cast<QWidget*>(close)})
        w->setFocusPolicy(Qt::NoFocus);  // Enter in the text box is the way to search again
    needle_->setPlaceholderText(QStringLiteral("Find"));
    needle_->setClearButtonEnabled(true);
    needle_->installEventFilter(this);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 2, 4, 2);
    layout->addWidget(needle_, 1);
    layout->addWidget(previous);
    layout->addWidget(next);
    layout->addWidget(matchCase_);
    layout->addWidget(result_);
    layout->addStretch();
    layout->addWidget(close);

    connect(previous, &QPushButton::clicked, this, [this] { Find(true); });
    connect(next, &QPushButton::clicked, this, [this] { Find(false); });
    connect(close, &QToolButton::clicked, this, &FindBar::CloseRequested);
    // A changed question has no answer yet.
    connect(needle_, &QLineEdit::textChanged, result_, &QLabel::clear);
    connect(matchCase_, &QCheckBox::toggled, result_, &QLabel::clear);
}

void FindBar::Activate() {
    needle_->setFocus(Qt::ShortcutFocusReason);
    needle_->selectAll();
}

void FindBar::ShowResult(bool found) {
    result_->setText(found ? QString() : QStringLiteral("not found"));
}

void FindBar::Find(bool backwards) {
    if (needle_->text().isEmpty()) return;
    emit FindRequested(needle_->text(), backwards, matchCase_->isChecked());
}

bool FindBar::eventFilter(QObject* watched, QEvent* event) {
    if (watched == needle_ && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            Find(key->modifiers() & Qt::ShiftModifier);
            return true;
        }
        if (key->key() == Qt::Key_Escape) {
            emit CloseRequested();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace vellor
