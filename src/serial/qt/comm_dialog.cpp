#include "serial/qt/comm_dialog.h"

namespace vellor {

CommDialog::CommDialog(QWidget* parent, AppState& state, SettingsBackend& settings)
    : QDialog(parent), state_(state), settings_(settings) {}
void CommDialog::accept() {
    QDialog::accept();
}
void RunCommDialog(QWidget*, AppState&, SettingsBackend&) {}

}  // namespace vellor
