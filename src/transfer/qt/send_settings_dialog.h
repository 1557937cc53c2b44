#pragma once

#include <QDialog>

#include "transfer/send_pacing.h"

class QCheckBox;
class QPushButton;
class QSpinBox;

namespace vellor {

struct AppState;
class SettingsBackend;

// The modal Send Settings dialog: how Send from File and Paste pace their bytes. OK stores the
// values in the preferences and saves them; Cancel changes nothing.
class SendSettingsDialog : public QDialog {
    Q_OBJECT

  public:
    SendSettingsDialog(QWidget* parent, AppState& state, SettingsBackend& settings);

    QSpinBox* CharDelayBox() const { return charDelay_; }
    QSpinBox* LineDelayBox() const { return lineDelay_; }
    QCheckBox* WaitForEchoBox() const { return waitForEcho_; }
    QSpinBox* EchoTimeoutBox() const { return echoTimeout_; }
    QPushButton* OkButton() const { return ok_; }
    QPushButton* CancelButton() const { return cancel_; }

    // What the controls hold now.
    SendPacing Values() const;

    void accept() override;

  private:
    AppState& state_;
    SettingsBackend& settings_;
    QSpinBox* charDelay_;
    QSpinBox* lineDelay_;
    QCheckBox* waitForEcho_;
    QSpinBox* echoTimeout_;
    QPushButton* ok_;
    QPushButton* cancel_;
};

void RunSendSettingsDialog(QWidget* parent, AppState& state, SettingsBackend& settings);

}  // namespace vellor
