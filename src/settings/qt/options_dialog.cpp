#include "settings/qt/options_dialog.h"

namespace vellor {

OptionsDialog::OptionsDialog(QWidget* parent, AppState& state, SettingsBackend& settings,
                             Platform& platform)
    : QDialog(parent), state_(state), settings_(settings), platform_(platform) {}
void OptionsDialog::accept() {
    QDialog::accept();
}
void RunOptionsDialog(QWidget*, AppState&, SettingsBackend&, Platform&) {}

}  // namespace vellor
