#include "app/qt/single_instance.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>

namespace vellor {

namespace {

constexpr int kWaitMs = 2000;
// Room for a socket path in sockaddr_un, with a margin.
constexpr int kMaxSocketPath = 100;

// A folder only this user may enter: mode 0700, owned by us, not a link.
bool IsPrivateFolder(const QByteArray& path) {
    struct stat st {};
    if (lstat(path.constData(), &st) != 0) return false;
    return S_ISDIR(st.st_mode) && st.st_uid == getuid() && (st.st_mode & 077) == 0;
}

// The user's runtime folder, or a private folder of ours in /tmp; empty when neither is safe.
QString PrivateRuntimeFolder() {
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && IsPrivateFolder(runtime)) return QString::fromLocal8Bit(runtime);
    const QByteArray own = "/tmp/vellor-" + QByteArray::number(uint(getuid()));
    if (mkdir(own.constData(), 0700) != 0 && errno != EEXIST) return {};
    return IsPrivateFolder(own) ? QString::fromLocal8Bit(own) : QString();
}

}  // namespace

QString SingleInstance::ClassName(const QString& executablePath) {
    return QFileInfo(executablePath).fileName() + QStringLiteral(":VellorAppClass");
}

SingleInstance::SingleInstance(const QString& className, QObject* parent) : QObject(parent) {
    server_ = new QLocalServer(this);
    QString name = className;
    const QString folder = PrivateRuntimeFolder();
    if (folder.isEmpty()) {
        // No private folder: an abstract socket, with the user id in its name.
        server_->setSocketOptions(QLocalServer::AbstractNamespaceOption);
        socketPath_ = QStringLiteral("vellor-%1-%2").arg(uint(getuid())).arg(className);
        return;
    }
    if ((folder + '/' + name).toUtf8().size() > kMaxSocketPath) {
        // A long file name: its hash keeps the one-instance-per-name rule within the size limit.
        name = QString::fromLatin1(
            QCryptographicHash::hash(className.toUtf8(), QCryptographicHash::Sha1).toHex());
    }
    socketPath_ = folder + '/' + name;
    lockPath_ = socketPath_ + QStringLiteral(".lock");
    server_->setSocketOptions(QLocalServer::UserAccessOption);
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::Claim() {
    // Two starts at the same moment: the second waits until the first listens, then finds it.
    QLockFile lock(lockPath_);
    if (!lockPath_.isEmpty()) lock.tryLock(kWaitMs);

    if (AskRunningInstance()) return false;
    if (!server_->listen(socketPath_)) {
        // Nothing answered, so whatever holds the name is left over from a killed instance.
        QLocalServer::removeServer(socketPath_);
        server_->listen(socketPath_);  // if even this fails, run without the rule
    }
    connect(server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* peer = server_->nextPendingConnection()) {
            connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
            peer->disconnectFromServer();
            emit ActivationRequested();
        }
    });
    return true;
}

bool SingleInstance::AskRunningInstance() {
    QLocalSocket socket;
    socket.setSocketOptions(server_->socketOptions() & QLocalServer::AbstractNamespaceOption
                                ? QLocalSocket::AbstractNamespaceOption
                                : QLocalSocket::NoOptions);
    socket.connectToServer(socketPath_);
    if (!socket.waitForConnected(kWaitMs)) return false;
    socket.write("activate\n");
    socket.waitForBytesWritten(kWaitMs);
    socket.disconnectFromServer();
    return true;
}

}  // namespace vellor
