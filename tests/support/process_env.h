#pragma once

#include <sys/stat.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QThread>
#include <functional>

namespace vellor::testing {

// A private settings folder and runtime folder for programs the test starts.
class ProcessEnv {
  public:
    ProcessEnv() {
        QDir(dir_.path()).mkpath("config");
        QDir(dir_.path()).mkpath("runtime");
        chmod(QFile::encodeName(RuntimeDir()).constData(), 0700);
    }

    QString ConfigDir() const { return dir_.path() + "/config"; }
    QString RuntimeDir() const { return dir_.path() + "/runtime"; }
    QString Path(const QString& name) const { return dir_.path() + "/" + name; }

    QProcessEnvironment Environment(const QString& platform, const QString& display = {}) const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", ConfigDir());
        env.insert("XDG_RUNTIME_DIR", RuntimeDir());
        env.insert("QT_QPA_PLATFORM", platform);
        if (!display.isEmpty()) env.insert("DISPLAY", display);
        return env;
    }

    // Starts `program` and waits until it runs.
    static bool Start(QProcess& process, const QString& program, const QProcessEnvironment& env) {
        process.setProcessEnvironment(env);
        process.setProgram(program);
        process.start();
        return process.waitForStarted(30000);
    }

  private:
    QTemporaryDir dir_;
};

// Polls until `done` holds or a generous deadline passes (a hung program, not a slow one).
inline bool WaitFor(const std::function<bool()>& done, int ms = 30000) {
    QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QThread::msleep(20);
    }
    return true;
}

}  // namespace vellor::testing
