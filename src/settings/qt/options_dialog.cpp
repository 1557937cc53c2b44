#include "settings/qt/options_dialog.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/app_state.h"
#include "screen/qt/terminal_view.h"
#include "screen/viewport.h"
#include "settings/options_model.h"
#include "settings/qt/options_dialog_size_field.h"

namespace vellor {

namespace {

QGroupBox* Group(const QString& title, QLayout* content) {
    auto* box = new QGroupBox(title);
    box->setLayout(content);
    return box;
}

}  // namespace

OptionsDialog::OptionsDialog(QWidget* parent, AppState& state, SettingsBackend& settings,
                             Host& host)
    : QDialog(parent),
      state_(state),
      settings_(settings),
      host_(host),
      rows_(new SizeField(kMaxRowsStep)),
      cols_(new SizeField(kMaxColumnsStep)),
      text_(new QRadioButton("Text")),
      hex_(new QRadioButton("Hex")),
      hexChar_(new QRadioButton("Hex + Char")),
      rxBit7_(new QCheckBox("7-bit ASCII")),
      rxCrLf_(new QCheckBox("CR with LF")),
      echo_(new QCheckBox("Echo locally")),
      txCrLf_(new QCheckBox("CR with LF")),
      rxCapture_(new QCheckBox("Received data")),
      txCapture_(new QCheckBox("Typed data")),
      ok_(new QPushButton("OK")),
      cancel_(new QPushButton("Cancel")) {
    setWindowTitle("Options");
    setModal(true);

    auto* window = new QHBoxLayout;
    window->addWidget(rows_);
    window->addWidget(new QLabel("rows"));
    window->addSpacing(8);
    window->addWidget(cols_);
    window->addWidget(new QLabel("columns"));

    auto* receive = new QVBoxLayout;
    receive->addWidget(rxBit7_);
    receive->addWidget(rxCrLf_);
    auto* send = new QVBoxLayout;
    send->addWidget(echo_);
    send->addWidget(txCrLf_);
    auto* data = new QHBoxLayout;
    data->addWidget(Group("Receive", receive));
    data->addWidget(Group("Send", send));

    auto* mode = new QHBoxLayout;
    mode->addWidget(text_);
    mode->addWidget(hex_);
    mode->addWidget(hexChar_);

    auto* capture = new QHBoxLayout;
    capture->addWidget(rxCapture_);
    capture->addWidget(txCapture_);
    // Tab passes the capture boxes by.
    rxCapture_->setFocusPolicy(Qt::ClickFocus);
    txCapture_->setFocusPolicy(Qt::ClickFocus);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);
    ok_->setDefault(true);
    ok_->setAutoDefault(true);
    cancel_->setAutoDefault(false);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Group("Window", window));
    layout->addLayout(data);
    layout->addWidget(Group("Display Mode", mode));
    layout->addWidget(Group("Capture to File", capture));
    layout->addLayout(buttons);

    QWidget::setTabOrder(ok_, cancel_);
    QWidget::setTabOrder(cancel_, text_);
    QWidget::setTabOrder(text_, hex_);
    QWidget::setTabOrder(hex_, hexChar_);
    QWidget::setTabOrder(hexChar_, echo_);
    QWidget::setTabOrder(echo_, txCrLf_);
    QWidget::setTabOrder(txCrLf_, rxBit7_);
    QWidget::setTabOrder(rxBit7_, rxCrLf_);
    QWidget::setTabOrder(rxCrLf_, rows_->Edit());
    QWidget::setTabOrder(rows_->Edit(), cols_->Edit());

    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
    // Choosing Text turns local echo on; the user may turn it off again before OK.
    connect(text_, &QRadioButton::clicked, this, [this] { echo_->setChecked(text_->isChecked()); });

    const OptionsValues v = OpenOptionsDialog(state_);
    rows_->setText(QString::fromStdString(v.rowsText));
    cols_->setText(QString::fromStdString(v.columnsText));
    if (v.mode == 0) text_->setChecked(true);
    if (v.mode == 1) hex_->setChecked(true);
    if (v.mode == 2) hexChar_->setChecked(true);
    rxBit7_->setChecked(v.rxBit7);
    rxCrLf_->setChecked(v.rxCrLf);
    echo_->setChecked(v.echo);
    txCrLf_->setChecked(v.txCrLf);
    txCapture_->setChecked(v.txCapture);
    rxCapture_->setChecked(v.rxCapture);
}

OptionsValues OptionsDialog::Values() const {
    OptionsValues v;
    v.rowsText = rows_->text().toStdString();
    v.columnsText = cols_->text().toStdString();
    v.mode = text_->isChecked() ? 0 : hex_->isChecked() ? 1 : hexChar_->isChecked() ? 2 : -1;
    v.rxBit7 = rxBit7_->isChecked();
    v.rxCrLf = rxCrLf_->isChecked();
    v.echo = echo_->isChecked();
    v.txCrLf = txCrLf_->isChecked();
    v.txCapture = txCapture_->isChecked();
    v.rxCapture = rxCapture_->isChecked();
    return v;
}

void OptionsDialog::accept() {
    if (AcceptOptionsDialog(state_, settings_, host_, Values()) == OptionsOutcome::ProgramEnded) {
        reject();
        return;
    }
    QDialog::accept();
}

void RunOptionsDialog(QWidget* parent, AppState& state, SettingsBackend& settings, Host& host) {
    // A failed reallocation may end the program, and the main window with it, while the dialog
    // is still up: neither is touched once it is gone.
    const QPointer<QWidget> owner(parent);
    const QPointer<OptionsDialog> dialog(new OptionsDialog(parent, state, settings, host));
    const int result = dialog->exec();
    delete dialog.data();
    if (result != QDialog::Accepted || owner.isNull()) return;
    // A reallocation or clear moved the view home: show the bars as they now are.
    if (auto* view = owner->findChild<TerminalView*>()) {
        view->ApplyScrollBars(UpdateScrollBars(state));
        view->FlushDamage();
    }
}

}  // namespace vellor
