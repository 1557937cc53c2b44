// One instance per executable name and user, which no other user can reach, stop or take over.
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QLocalSocket>
#include <QSignalSpy>
#include <cstring>

#include "app/qt/single_instance.h"
#include "support/process_env.h"
#include "support/unprivileged.h"

namespace vellor::testing {
namespace {

// Places of the test's own: no runtime folder, a shared temporary folder and a cache folder that
// another user may pass through, as through a home folder, but not list or change.
struct TestPlaces {
    TestPlaces() {
        ::chmod(QFile::encodeName(dir.path()).constData(), 0711);
        places.sharedTemp = dir.path() + "/tmp";
        places.cacheDir = dir.path() + "/cache";
        QDir().mkpath(places.sharedTemp);
        ::chmod(QFile::encodeName(places.sharedTemp).constData(), 0711);
    }
    QString Planted() const {
        return places.sharedTemp + QStringLiteral("/vellor-%1").arg(getuid());
    }
    QTemporaryDir dir;
    SingleInstance::Places places;
};

sockaddr_un Address(const QByteArray& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.constData(), sizeof address.sun_path - 1);
    return address;
}

// A name in the shared temporary folder that someone else planted or can reach (a file, a link,
// a folder open to others or owned by another user) is never used: the instance lives in the
// cache folder instead, and a second start still finds it.
TEST(SingleInstance, PlantedPlacesAreNeverUsed) {
    EXPECT_EQ(SingleInstance::ClassName("/opt/x/my copy"), "my copy:VellorAppClass");
    const std::vector<std::pair<const char*, std::function<void(const QString&)>>> plants = {
        {"file", [](const QString& p) { QFile(p).open(QIODevice::WriteOnly); }},
        {"link to a private folder",
         [](const QString& p) {
             QDir().mkpath(p + "-target");
             ::chmod(QFile::encodeName(p + "-target").constData(), 0700);
             QFile::link(p + "-target", p);
         }},
        {"open folder",
         [](const QString& p) {
             QDir().mkpath(p);
             ::chmod(QFile::encodeName(p).constData(), 0777);
         }},
        {"foreign folder",
         [](const QString& p) {
             QDir().mkpath(p);
             ::chmod(QFile::encodeName(p).constData(), 0700);
             if (::geteuid() == 0) (void)!::chown(QFile::encodeName(p).constData(), 65534, 65534);
         }},
    };
    for (const auto& [what, plant] : plants) {
        TestPlaces test;
        plant(test.Planted());
        SingleInstance first("vellor:VellorAppClass", test.places);
        ASSERT_TRUE(first.Claim()) << what;
        EXPECT_TRUE(first.SocketPath().startsWith(test.places.cacheDir + "/org.vellor.Vellor/"))
            << what << ": " << first.SocketPath().toStdString();
        EXPECT_FALSE(SingleInstance("vellor:VellorAppClass", test.places).Claim()) << what;
    }
}

// A connection from another user is dropped without bringing anything to the front; a socket
// another user serves where ours would be is not ours to heed: the start goes on.
TEST(SingleInstance, AnotherUserCanNeitherReachNorStopIt) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs a second user: runs as root";
    TestPlaces test;
    SingleInstance instance("vellor:VellorAppClass", test.places);
    ASSERT_TRUE(instance.Claim());
    QSignalSpy activations(&instance, &SingleInstance::ActivationRequested);
    const QByteArray socket = QFile::encodeName(instance.SocketPath());
    const QString folder = QFileInfo(instance.SocketPath()).path();
    for (const QString& path : {folder, QFileInfo(folder).path()})
        ::chmod(QFile::encodeName(path).constData(), 0711);
    ::chmod(socket.constData(), 0777);  // reachable by the other user, as no real socket is
    const int seen = RunUnprivileged(
        [&] {
            const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
            const sockaddr_un address = Address(socket);
            if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
                return 2;
            pollfd p{fd, POLLIN, 0};
            char byte;
            return ::poll(&p, 1, 10000) == 1 && ::read(fd, &byte, 1) == 0 ? 0 : 1;  // dropped
        },
        [] { QCoreApplication::processEvents(); });
    EXPECT_EQ(seen, 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(activations.count(), 0);

    TestPlaces other;
    SingleInstance starting("vellor:VellorAppClass", other.places);
    const QByteArray foreign = QFile::encodeName(other.dir.path() + "/open/socket");
    QDir().mkpath(other.dir.path() + "/open");
    ::chmod(QFile::encodeName(other.dir.path() + "/open").constData(), 0777);
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t server = ::fork();
    ASSERT_GE(server, 0);
    if (server == 0) {  // another user listens, then waits to be stopped
        ::close(ready[0]);
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        const sockaddr_un address = Address(foreign);
        if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0 ||
            ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(fd, 8) != 0)
            ::_exit(1);
        (void)!::write(ready[1], "r", 1);
        for (;;)
            ::pause();
    }
    ::close(ready[1]);
    char byte = 0;
    const bool listening = ::read(ready[0], &byte, 1) == 1;
    ::close(ready[0]);
    // Root moves it where our own socket would be: the folder itself passes every check.
    const bool moved =
        listening &&
        ::rename(foreign.constData(), QFile::encodeName(starting.SocketPath()).constData()) == 0;
    const bool claimed = moved && starting.Claim();
    ::kill(server, SIGKILL);
    ::waitpid(server, nullptr, 0);
    ASSERT_TRUE(moved) << "the other user's server never listened";
    EXPECT_TRUE(claimed);
}

// Whole programs: a second start leaves at once with 0 and the first stays (a start with options
// says they were not applied; one with a bad option leaves with 2); a copy under another name
// runs on its own; a socket left by a killed instance never blocks the next start.
TEST(SingleInstance, SecondStartsOfThePrograms) {
    ProcessEnv env;
    const QString exe = VELLOR_EXE_PATH, copy = env.Path("vellor-copy");
    ASSERT_TRUE(QFile::copy(exe, copy));
    auto socketOf = [&](const QString& program) {
        return env.RuntimeDir() + "/org.vellor.Vellor/" + SingleInstance::ClassName(program);
    };
    auto answers = [&](const QString& program) {
        QLocalSocket socket;
        socket.connectToServer(socketOf(program));
        return socket.waitForConnected(1000);
    };
    // Runs a start to its end: its exit code, or -1 if it did not end.
    QString said;
    auto secondStart = [&](const QString& program, const QStringList& args = {}) {
        QProcess second;
        second.setArguments(args);
        if (!ProcessEnv::Start(second, program, env.Environment("offscreen"))) return -1;
        if (second.waitForFinished(30000)) {
            said = QString::fromUtf8(second.readAllStandardError());
            return second.exitCode();
        }
        second.kill();
        second.waitForFinished();
        return -1;
    };
    QProcess first, other, next;
    ASSERT_TRUE(ProcessEnv::Start(first, exe, env.Environment("offscreen")));
    ASSERT_TRUE(WaitFor([&] { return answers(exe); })) << "the first start never listened";
    EXPECT_EQ(secondStart(exe), 0);
    EXPECT_EQ(secondStart(exe, {"--port", "LOOP", "--open"}), 0);
    EXPECT_TRUE(said.contains("were not applied")) << said.toStdString();
    EXPECT_EQ(secondStart(exe, {"--baud", "fast"}), 2);
    EXPECT_TRUE(said.startsWith("vellor: --baud needs")) << said.toStdString();
    ASSERT_TRUE(ProcessEnv::Start(other, copy, env.Environment("offscreen")));
    ASSERT_TRUE(WaitFor([&] { return answers(copy) || other.state() == QProcess::NotRunning; }));
    EXPECT_EQ(other.state(), QProcess::Running);
    EXPECT_EQ(secondStart(copy), 0);
    EXPECT_EQ(first.state(), QProcess::Running);

    ::kill(pid_t(first.processId()), SIGKILL);
    first.waitForFinished();
    ASSERT_TRUE(QFileInfo::exists(socketOf(exe)));  // the stale socket is still there
    ASSERT_TRUE(ProcessEnv::Start(next, exe, env.Environment("offscreen")));
    ASSERT_TRUE(WaitFor([&] { return next.state() == QProcess::NotRunning || answers(exe); }));
    EXPECT_EQ(next.state(), QProcess::Running);
    EXPECT_EQ(secondStart(exe), 0);
    for (QProcess* p : {&other, &next}) {
        p->kill();
        p->waitForFinished();
    }
}

}  // namespace
}  // namespace vellor::testing
