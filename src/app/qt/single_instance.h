#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

namespace vellor {

// One running instance per executable file name. The first start listens on a per-user local
// socket named after its class name; a later start of the same executable finds it, asks it to
// come to the front and stops. A socket left by a killed instance is replaced.
class SingleInstance : public QObject {
    Q_OBJECT

  public:
    // "<executable file name>:VellorAppClass"
    static QString ClassName(const QString& executablePath);

    explicit SingleInstance(const QString& className, QObject* parent = nullptr);
    ~SingleInstance() override;

    // True when this is the only instance (it now listens); false when another one runs and has
    // been asked to come to the front.
    bool Claim();

    // Where the socket lives: a 0700 folder of this user's.
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
