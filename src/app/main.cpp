#include <QApplication>
#include <QTimer>
#include <csignal>
#include <cstdio>

#include "app/app_id.h"
#include "app/app_state.h"
#include "app/command_ids.h"
#include "app/command_line.h"
#include "app/qt/single_instance.h"
#include "app/qt/start_up.h"
#include "app/version.h"
#include "settings/reg_file_backend.h"

// Exits with 0 when another instance of this executable is running (it is brought to the front
// instead), with 2 for a command line it cannot take, and with 1 once the main window has gone.
int main(int argc, char** argv) {
    // A write into a pipe whose reader went away (a capture, standard output) is an error to
    // handle, not a reason to end the program.
    std::signal(SIGPIPE, SIG_IGN);
    const vellor::CommandLine line =
        vellor::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (!line.error.empty()) {
        std::fprintf(stderr, "vellor: %s\n%s\n", line.error.c_str(), vellor::UsageLine().c_str());
        return 2;
    }
    if (line.help) {
        std::fputs(vellor::HelpText().c_str(), stdout);
        return 0;
    }
    if (line.version) {
        std::printf("vellor %s\n", vellor::kVersion);
        return 0;
    }

    QApplication app(argc, argv);
    QGuiApplication::setDesktopFileName(QString::fromLatin1(vellor::kAppId));
    // The icon lives in the static GUI library, which nothing else makes the linker keep.
    Q_INIT_RESOURCE(vellor);
    vellor::SingleInstance instance(
        vellor::SingleInstance::ClassName(QCoreApplication::applicationFilePath()));
    if (!instance.Claim()) {
        if (line.AsksForTheRun()) {
            std::fprintf(stderr,
                         "vellor: already running; its window was brought to the front "
                         "and --port, --baud and --open were not applied\n");
        }
        return 0;
    }

    vellor::AppState state;
    vellor::RegFileBackend settings(vellor::RegFileBackend::DefaultPath());
    vellor::MainWindow::Hooks hooks;
    hooks.quit = [] { QCoreApplication::quit(); };
    auto window = vellor::StartMainWindow(state, settings, hooks);
    QObject::connect(&instance, &vellor::SingleInstance::ActivationRequested, window.get(),
                     &vellor::MainWindow::BringToFront);
    if (!window->Destroyed()) {
        vellor::ApplyCommandLine(line, state);
        if (line.open) {
            QTimer::singleShot(0, window.get(),
                               [&window] { window->Command(vellor::kCmdOpenPort); });
        }
        app.exec();
    }
    window.reset();
    return 1;
}
