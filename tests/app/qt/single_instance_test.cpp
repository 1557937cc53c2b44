// One instance per executable name and user, which no other user can reach, stop or take over.
#include <sys/socket.h>
#include <sys/un.h>

#include <gtest/gtest.h>

#include <QLocalSocket>
#include <QSignalSpy>
#include <cstring>

#include "app/qt/single_instance.h"
#include "support/process_env.h"
#include "support/unprivileged.h"

namespace vellor::testing {
namespace {

void Chmod(const QString& path, mode_t mode) {
    ::chmod(QFile::encodeName(path).constData(), mode);
}

// No runtime folder; temporary and cache folders others may pass through but not list or change.
struct TestPlaces {
    TestPlaces() {
        QDir().mkpath(places.sharedTemp), Chmod(dir.path(), 0711), Chmod(places.sharedTemp, 0711);
    }
    QTemporaryDir dir;
    SingleInstance::Places places{{}, dir.path() + "/tmp", dir.path() + "/cache"};
};

// A planted or reachable name in the shared temporary folder is never used: the cache folder is.
TEST(SingleInstance, PlantedPlacesAreNeverUsed) {
    const std::tuple<const char*, mode_t, uid_t, bool> plants[] = {
        {"a link to a private folder", 0700, ::getuid(), true},
        {"a folder open to others", 0777, ::getuid(), false},
        {"another user's folder", 0700, 65534, false}};
    for (const auto& [what, mode, owner, link] : plants) {
        TestPlaces test;
        const QString name = test.places.sharedTemp + QString("/vellor-%1").arg(::getuid());
        const QString folder = link ? name + "-target" : name;
        QDir().mkpath(folder);
        Chmod(folder, mode);
        ASSERT_EQ(::chown(QFile::encodeName(folder).constData(), owner, owner), 0) << what;
        if (link) QFile::link(folder, name);
        SingleInstance first("vellor:VellorAppClass", test.places);
        ASSERT_TRUE(first.Claim()) << what;
        EXPECT_TRUE(first.SocketPath().startsWith(test.places.cacheDir + "/org.vellor.Vellor/"))
            << what << ": " << first.SocketPath().toStdString();
        EXPECT_FALSE(SingleInstance("vellor:VellorAppClass", test.places).Claim()) << what;
    }
}

sockaddr_un Address(const QString& path) {
    sockaddr_un address{AF_UNIX, {}};
    std::strncpy(address.sun_path, QFile::encodeName(path).constData(),
                 sizeof address.sun_path - 1);
    return address;
}

// Another user's connection is dropped unheard; a socket another user serves in ours is no bar.
TEST(SingleInstance, AnotherUserCanNeitherReachNorStopIt) {
    ASSERT_EQ(::geteuid(), 0u) << "a second user is needed: the tests run as root";
    TestPlaces test;
    SingleInstance instance("vellor:VellorAppClass", test.places);
    SingleInstance starting("other:VellorAppClass", test.places);
    ASSERT_TRUE(instance.Claim());
    QSignalSpy activations(&instance, &SingleInstance::ActivationRequested);
    // Open to the other user now that both have checked it, as no real folder or socket is.
    Chmod(QFileInfo(instance.SocketPath()).path(), 0777), Chmod(instance.SocketPath(), 0777);
    const sockaddr_un ours = Address(instance.SocketPath());
    const sockaddr_un made = Address(starting.SocketPath() + "~");
    const QByteArray theirs = QFile::encodeName(starting.SocketPath());
    std::optional<bool> claimed;
    const int seen = RunUnprivileged(
        [&] {  // connects to ours and waits to be dropped, then serves, ready once renamed
            const int client = ::socket(AF_UNIX, SOCK_STREAM, 0);
            const int server = ::socket(AF_UNIX, SOCK_STREAM, 0);
            char byte;  // reading blocks until dropped: the deadline ends a child never dropped
            if (::connect(client, reinterpret_cast<const sockaddr*>(&ours), sizeof ours) != 0 ||
                ::read(client, &byte, 1) != 0)
                return 1;
            if (::bind(server, reinterpret_cast<const sockaddr*>(&made), sizeof made) != 0 ||
                ::listen(server, 1) != 0 || ::rename(made.sun_path, theirs.constData()) != 0)
                return 2;
            return ::accept(server, nullptr, nullptr) >= 0 ? 0 : 3;
        },
        [&] {
            QCoreApplication::processEvents();
            if (!claimed && QFileInfo::exists(theirs)) claimed = starting.Claim();
        });
    EXPECT_EQ(seen, 0);
    EXPECT_EQ(activations.count(), 0);
    EXPECT_EQ(claimed, true);
}

// Whole programs, output to a pipe nobody reads (no SIGPIPE); a killed one's socket is no bar.
TEST(SingleInstance, SecondStartsOfThePrograms) {
    ProcessEnv env;
    const QString exe = VELLOR_EXE_PATH;
    const auto socketOf = [&](const QString& program) {
        return env.RuntimeDir() + "/org.vellor.Vellor/" + SingleInstance::ClassName(program);
    };
    const auto startAndListen = [&](QProcess& process, const QString& program) {
        QLocalSocket socket;
        return env.Start(process, program) && WaitUntil([&] {
                   socket.connectToServer(socketOf(program));
                   return socket.waitForConnected(100) || process.state() == QProcess::NotRunning;
               }) &&
               process.state() == QProcess::Running;
    };
    // A start's exit code (-1 if it did not end by itself) and what it said.
    const auto second = [&](const QString& program, const QStringList& args = {}) {
        QProcess p;
        p.setChildProcessModifier([] {
            int ends[2];
            if (::pipe(ends) == 0) ::dup2(ends[1], STDOUT_FILENO), ::close(ends[0]);
        });
        const bool ended = env.Start(p, program, args) && p.waitForFinished(30000) &&
                           p.exitStatus() == QProcess::NormalExit;
        p.kill(), p.waitForFinished();
        return std::to_string(ended ? p.exitCode() : -1) + p.readAllStandardError().toStdString();
    };
    EXPECT_EQ(second(exe, {"--version"}) + second(exe, {"--help"}), "00");
    EXPECT_TRUE(second(exe, {"--baud", "fast"}).starts_with("2vellor: --baud needs"));
    QProcess first, next;
    ASSERT_TRUE(startAndListen(first, exe));
    EXPECT_EQ(second(exe), "0");
    EXPECT_TRUE(second(exe, {"--port", "LOOP", "--open"}).ends_with("were not applied\n"));
    EXPECT_EQ(first.state(), QProcess::Running);
    first.kill(), first.waitForFinished();  // leaves its socket behind
    ASSERT_TRUE(QFileInfo::exists(socketOf(exe)));
    ASSERT_TRUE(startAndListen(next, exe));
    EXPECT_EQ(second(exe), "0");
    next.kill(), next.waitForFinished();
}

}  // namespace
}  // namespace vellor::testing
