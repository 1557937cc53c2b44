#include <QApplication>
#include <csignal>

#include "app/app_id.h"
#include "app/app_state.h"
#include "app/qt/single_instance.h"
#include "app/qt/start_up.h"
#include "settings/reg_file_backend.h"

// Exits with 0 when another instance of this executable is running (it is brought to the front
// instead), and with 1 once the main window has gone.
int main(int argc, char** argv) {
    // A write into a pipe whose reader went away (a capture, standard output) is an error to
    // handle, not a reason to end the program.
    std::signal(SIGPIPE, SIG_IGN);
    QApplication app(argc, argv);
    QGuiApplication::setDesktopFileName(QString::fromLatin1(vellor::kAppId));
    // The icon lives in the static GUI library, which nothing else makes the linker keep.
    Q_INIT_RESOURCE(vellor);
    vellor::SingleInstance instance(
        vellor::SingleInstance::ClassName(QCoreApplication::applicationFilePath()));
    if (!instance.Claim()) return 0;

    vellor::AppState state;
    vellor::RegFileBackend settings(vellor::RegFileBackend::DefaultPath());
    vellor::MainWindow::Hooks hooks;
    hooks.quit = [] { QCoreApplication::quit(); };
    auto window = vellor::StartMainWindow(state, settings, hooks);
    QObject::connect(&instance, &vellor::SingleInstance::ActivationRequested, window.get(),
                     &vellor::MainWindow::BringToFront);
    if (!window->Destroyed()) app.exec();
    window.reset();
    return 1;
}
