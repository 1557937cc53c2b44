#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

namespace vellor {

// One running instance per executable file name and user. The first start listens on a local
// socket named after its class name, in a folder only its user can enter; a later start of the
// same executable by the same user finds it, asks it to come to the front and stops. A socket
// left by a killed instance is replaced.
//
// No other user can reach the instance, stop a start or load it: the folder is never one another
// user can own or replace, and both ends check who is at the other end of the socket (the server
// drops connections from other users, a client ignores a server run by another user).
class SingleInstance : public QObject {
    Q_OBJECT

  public:
    // Where the socket may live, in order of preference.
    struct Places {
        QString runtimeDir;  // $XDG_RUNTIME_DIR
        QString sharedTemp;  // /tmp
        QString cacheDir;    // ${XDG_CACHE_HOME:-$HOME/.cache}
        static Places FromEnvironment();
    };

    // "<executable file name>:VellorAppClass"
    static QString ClassName(const QString& executablePath);

    explicit SingleInstance(const QString& className,
                            const Places& places = Places::FromEnvironment(),
                            QObject* parent = nullptr);
    ~SingleInstance() override;

    // True when this is the only instance (it now listens, or no safe place exists and it runs
    // without the rule); false when another one runs and has been asked to come to the front.
    bool Claim();

    // The socket's path, or empty when no safe folder exists.
    QString SocketPath() const { return socketPath_; }

  signals:
    void ActivationRequested();

  private:
    bool AskRunningInstance();

    QString socketPath_;
    QString lockPath_;
    QLocalServer* server_ = nullptr;
};

}  // namespace vellor
