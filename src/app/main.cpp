#include <QApplication>

#include "app/app_state.h"
#include "app/qt/start_up.h"
#include "settings/reg_file_backend.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    vellor::AppState state;
    vellor::RegFileBackend settings(vellor::RegFileBackend::DefaultPath());
    vellor::MainWindow::Hooks hooks;
    hooks.quit = [] { QCoreApplication::quit(); };
    auto window = vellor::StartMainWindow(state, settings, hooks);
    if (!window->Destroyed()) app.exec();
    window.reset();
    return 1;
}
