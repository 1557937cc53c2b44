#include "app/qt/single_instance.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>

#include "app/app_id.h"

namespace vellor {

namespace {

constexpr int kWaitMs = 2000;
// Room for a socket path in sockaddr_un, with a margin.
constexpr int kMaxSocketPath = 100;

// Whether the process at the other end of a connected local socket runs as this user.
bool PeerIsThisUser(const QLocalSocket& socket) {
    ucred peer{};
    socklen_t size = sizeof peer;
    const int fd = int(socket.socketDescriptor());
    return fd >= 0 && ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 &&
           peer.uid == ::getuid();
}

// A folder nobody else can enter or swap for another: a real folder (not a link) of this user's
// with mode 0700, whose parent lets no other user rename its entries.
bool IsPrivateFolder(const QByteArray& path) {
    struct stat own {};
    if (::lstat(path.constData(), &own) != 0) return false;
    if (!S_ISDIR(own.st_mode) || own.st_uid != ::getuid() || (own.st_mode & 077) != 0) return false;
    struct stat parent {};
    const QByteArray parentPath = QFile::encodeName(QFileInfo(QFile::decodeName(path)).path());
    if (::stat(parentPath.constData(), &parent) != 0) return false;
    const bool trustedOwner = parent.st_uid == ::getuid() || parent.st_uid == 0;
    const bool othersCannotRename = (parent.st_mode & 022) == 0 || (parent.st_mode & S_ISVTX);
    return trustedOwner && othersCannotRename;
}

// `name` in `base`, made if missing; empty when it is not private (planted by someone else, a
// link, a file).
QString PrivateFolderIn(const QString& base, const QString& name) {
    if (base.isEmpty() || !QFileInfo(base).isAbsolute()) return {};
    const QString path = base + '/' + name;
    const QByteArray encoded = QFile::encodeName(path);
    ::mkdir(encoded.constData(), 0700);
    return IsPrivateFolder(encoded) ? path : QString();
}

QString InstanceFolder(const SingleInstance::Places& places) {
    if (QString folder = PrivateFolderIn(places.runtimeDir, QString::fromLatin1(kAppId));
        !folder.isEmpty()) {
        return folder;
    }
    const QString tempName = QStringLiteral("vellor-%1").arg(uint(::getuid()));
    if (QString folder = PrivateFolderIn(places.sharedTemp, tempName); !folder.isEmpty()) {
        return folder;
    }
    if (!places.cacheDir.isEmpty()) QDir().mkpath(places.cacheDir);
    return PrivateFolderIn(places.cacheDir, QString::fromLatin1(kAppId));
}

}  // namespace

SingleInstance::Places SingleInstance::Places::FromEnvironment() {
    Places places;
    places.runtimeDir = qEnvironmentVariable("XDG_RUNTIME_DIR");
    places.sharedTemp = QStringLiteral("/tmp");
    places.cacheDir = qEnvironmentVariable("XDG_CACHE_HOME");
    if (!QFileInfo(places.cacheDir).isAbsolute()) {
        const QString home = qEnvironmentVariable("HOME");
        places.cacheDir = home.isEmpty() ? QString() : home + QStringLiteral("/.cache");
    }
    return places;
}

QString SingleInstance::ClassName(const QString& executablePath) {
    return QFileInfo(executablePath).fileName() + QStringLiteral(":VellorAppClass");
}

SingleInstance::SingleInstance(const QString& className, const Places& places, QObject* parent)
    : QObject(parent), server_(new QLocalServer(this)) {
    const QString folder = InstanceFolder(places);
    if (folder.isEmpty()) return;  // nowhere safe: run without the rule
    QString name = className;
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
    if (socketPath_.isEmpty()) return true;
    // Two starts at the same moment: the second waits until the first listens, then finds it.
    QLockFile lock(lockPath_);
    lock.tryLock(kWaitMs);

    if (AskRunningInstance()) return false;
    if (!server_->listen(socketPath_)) {
        // Nothing of ours answered, so whatever holds the name is left over from a killed
        // instance (or is not ours to heed).
        QLocalServer::removeServer(socketPath_);
        server_->listen(socketPath_);  // if even this fails, run without the rule
    }
    connect(server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* peer = server_->nextPendingConnection()) {
            const bool ours = PeerIsThisUser(*peer);
            peer->abort();
            peer->deleteLater();
            if (ours) emit ActivationRequested();
        }
    });
    return true;
}

bool SingleInstance::AskRunningInstance() {
    QLocalSocket socket;
    socket.connectToServer(socketPath_);
    if (!socket.waitForConnected(kWaitMs)) return false;
    if (!PeerIsThisUser(socket)) {
        socket.abort();  // not ours: start as if nothing were there
        return false;
    }
    socket.write("activate\n");
    socket.waitForBytesWritten(kWaitMs);
    socket.disconnectFromServer();
    return true;
}

}  // namespace vellor
