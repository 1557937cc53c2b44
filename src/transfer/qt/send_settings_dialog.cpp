#include "transfer/qt/send_settings_dialog.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "app/app_state.h"
#include "settings/preferences.h"

namespace vellor {

namespace {

QSpinBox* MillisecondsBox(uint32_t value) {
    auto* box = new QSpinBox;
    box->setRange(0, int(kMaxPacingMs));
    box->setSuffix(" ms");
    box->setValue(int(value));
    return box;
}

}  // namespace

SendSettingsDialog::SendSettingsDialog(QWidget* parent, AppState& state, SettingsBackend& settings)
    : QDialog(parent),
      state_(state),
      settings_(settings),
      charDelay_(MillisecondsBox(state.preferences.pacing.charDelayMs)),
      lineDelay_(MillisecondsBox(state.preferences.pacing.lineDelayMs)),
      waitForEcho_(new QCheckBox("Wait for the echo of each line's end")),
      echoTimeout_(MillisecondsBox(state.preferences.pacing.echoTimeoutMs)),
      ok_(new QPushButton("OK")),
      cancel_(new QPushButton("Cancel")) {
    setWindowTitle("Send Settings");
    setModal(true);

    auto* note = new QLabel(
        "Pacing for devices that lose characters sent quickly. It applies to Send from File "
        "and to Paste; 0 sends as fast as the line takes the bytes.");
    note->setWordWrap(true);

    auto* form = new QFormLayout;
    form->addRow("Delay after each &character:", charDelay_);
    form->addRow("Delay after each &line:", lineDelay_);
    form->addRow(waitForEcho_);
    form->addRow("Echo &time-out:", echoTimeout_);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);
    ok_->setDefault(true);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(note);
    layout->addLayout(form);
    layout->addLayout(buttons);

    // The time-out only means something while the echo is waited for.
    waitForEcho_->setChecked(state.preferences.pacing.waitForEcho);
    echoTimeout_->setEnabled(waitForEcho_->isChecked());
    connect(waitForEcho_, &QCheckBox::toggled, echoTimeout_, &QWidget::setEnabled);
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
}

SendPacing SendSettingsDialog::Values() const {
    SendPacing pacing;
    pacing.charDelayMs = uint32_t(charDelay_->value());
    pacing.lineDelayMs = uint32_t(lineDelay_->value());
    pacing.waitForEcho = waitForEcho_->isChecked();
    pacing.echoTimeoutMs = uint32_t(echoTimeout_->value());
    return pacing;
}

void SendSettingsDialog::accept() {
    // A send already running keeps the pacing it started with.
    state_.preferences.pacing = Values();
    SavePreferences(state_.preferences, settings_);
    QDialog::accept();
}

void RunSendSettingsDialog(QWidget* parent, AppState& state, SettingsBackend& settings) {
    // Deleted through a guard: the window that owns it may go while it is up.
    const QPointer<SendSettingsDialog> dialog(new SendSettingsDialog(parent, state, settings));
    dialog->exec();
    delete dialog.data();
}

}  // namespace vellor
