#pragma once

#include <QDialog>

class QCheckBox;
class QPushButton;
class QLineEdit;
class QRadioButton;

namespace vellor {

struct AppState;
class SettingsBackend;
class Host;
class SizeField;
struct OptionsValues;

// The modal Options dialog: buffer size, display mode and the six data options. OK applies them
// (reallocating or clearing the screen where needed) and saves the display group; Cancel changes
// nothing.
class OptionsDialog : public QDialog {
    Q_OBJECT

  public:
    OptionsDialog(QWidget* parent, AppState& state, SettingsBackend& settings, Host& host);

    SizeField* RowsField() const { return rows_; }
    QRadioButton* TextButton() const { return text_; }
    QCheckBox* EchoBox() const { return echo_; }
    QCheckBox* RxCaptureBox() const { return rxCapture_; }
    QPushButton* OkButton() const { return ok_; }
    QPushButton* CancelButton() const { return cancel_; }

    // What the controls hold now.
    OptionsValues Values() const;

    void accept() override;

  private:
    AppState& state_;
    SettingsBackend& settings_;
    Host& host_;
    SizeField* rows_;
    SizeField* cols_;
    QRadioButton* text_;
    QRadioButton* hex_;
    QRadioButton* hexChar_;
    QCheckBox* rxBit7_;
    QCheckBox* rxCrLf_;
    QCheckBox* echo_;
    QCheckBox* txCrLf_;
    QCheckBox* rxCapture_;
    QCheckBox* txCapture_;
    QPushButton* ok_;
    QPushButton* cancel_;
};

void RunOptionsDialog(QWidget* parent, AppState& state, SettingsBackend& settings, Host& host);

}  // namespace vellor
