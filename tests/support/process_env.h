#pragma once

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

namespace vellor::testing {

// Private settings and runtime folders for the programs a test starts, offscreen unless told, and
// the leak checker's known exceptions (the build's own test settings may not reach them).
struct ProcessEnv {
    QString RuntimeDir() const { return dir.path() + "/runtime"; }
    bool Start(QProcess& process, const QString& program, const QStringList& args = {}) const {
        QDir(dir.path()).mkdir("runtime", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", dir.path() + "/config");
        env.insert("XDG_RUNTIME_DIR", RuntimeDir());
        env.insert("QT_QPA_PLATFORM", "offscreen");
        const QString leaks = ":suppressions=" VELLOR_TEST_DATA "/support/lsan.supp";
        env.insert("LSAN_OPTIONS", env.value("LSAN_OPTIONS") + leaks);
        process.setProcessEnvironment(env);
        process.start(program, args);
        return process.waitForStarted(30000);
    }
    QTemporaryDir dir;
};

}  // namespace vellor::testing
