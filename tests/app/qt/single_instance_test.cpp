#include "app/qt/single_instance.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>

#include <QCoreApplication>
#include <QSignalSpy>
#include <cstring>
#include <functional>
#include <utility>
#include <vector>

#include <QFile>
#include <QLocalSocket>

#include "app/qt/process_env.h"
#include "support/unprivileged.h"

namespace vellor::testing {
namespace {

TEST(SingleInstanceTest, ClassNameIsTheExecutableFileNameAndTheAppClass) {
    EXPECT_EQ(SingleInstance::ClassName("/usr/local/bin/vellor"), "vellor:VellorAppClass");
    EXPECT_EQ(SingleInstance::ClassName("/opt/x/my copy"), "my copy:VellorAppClass");
}

// Places of this test's own: no runtime folder, a shared temporary folder and a cache folder.
struct TestPlaces {
    TestPlaces() {
        // Another user may pass through, as through a home folder, but list or change nothing.
        ::chmod(QFile::encodeName(dir.path()).constData(), 0711);
        places.sharedTemp = dir.path() + "/tmp";
        places.cacheDir = dir.path() + "/cache";
        QDir().mkpath(places.sharedTemp);
        ::chmod(QFile::encodeName(places.sharedTemp).constData(), 0700);
    }
    QString Planted() const {
        return places.sharedTemp + QStringLiteral("/vellor-%1").arg(getuid());
    }
    QTemporaryDir dir;
    SingleInstance::Places places;
};

// Without a runtime folder, a name in the shared temporary folder that someone else planted or
// can reach (a file, a link, a folder open to others or owned by another user) is never used:
// the instance lives in the user's cache folder instead, and a second start still finds it.
TEST(SingleInstanceTest, PlantedTemporaryFolderIsNeverUsed) {
    const std::vector<std::pair<const char*, std::function<void(const QString&)>>> plants = {
        {"file",
         [](const QString& p) {
             QFile f(p);
             f.open(QIODevice::WriteOnly);
         }},
        {"link to a private folder",
         [](const QString& p) {
             // Private in every other way, so only its being a link gives it away.
             const QString target = p + "-target";
             QDir().mkpath(target);
             ::chmod(QFile::encodeName(target).constData(), 0700);
             QFile::link(target, p);
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
             if (::geteuid() == 0) {
                 [[maybe_unused]] int ignored =
                     ::chown(QFile::encodeName(p).constData(), 65534, 65534);
             }
         }},
    };
    for (const auto& [what, plant] : plants) {
        TestPlaces test;
        plant(test.Planted());
        SingleInstance first("vellor:VellorAppClass", test.places);
        ASSERT_TRUE(first.Claim()) << what;
        EXPECT_TRUE(first.SocketPath().startsWith(test.places.cacheDir + "/org.vellor.Vellor/"))
            << what << ": " << first.SocketPath().toStdString();
        SingleInstance second("vellor:VellorAppClass", test.places);
        EXPECT_FALSE(second.Claim()) << what;
    }
}

// A connection from another user is dropped without bringing anything to the front.
TEST(SingleInstanceTest, ConnectionFromAnotherUserIsDropped) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs a second user: runs as root";
    TestPlaces test;
    SingleInstance instance("vellor:VellorAppClass", test.places);
    ASSERT_TRUE(instance.Claim());
    QSignalSpy activations(&instance, &SingleInstance::ActivationRequested);
    // Let the other user reach the socket, as no real folder of ours would.
    const QByteArray socket = QFile::encodeName(instance.SocketPath());
    const QString folder = QFileInfo(instance.SocketPath()).path();
    for (const QString& path : {folder, QFileInfo(folder).path()})
        ::chmod(QFile::encodeName(path).constData(), 0711);
    ::chmod(socket.constData(), 0777);
    const int seen = RunUnprivileged(
        [&] {
            const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
            sockaddr_un address{};
            address.sun_family = AF_UNIX;
            std::strncpy(address.sun_path, socket.constData(), sizeof address.sun_path - 1);
            if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return 2;
            pollfd p{fd, POLLIN, 0};
            char byte;
            // Dropped: the far end closes without a word.
            return ::poll(&p, 1, 10000) == 1 && ::read(fd, &byte, 1) == 0 ? 0 : 1;
        },
        [] { QCoreApplication::processEvents(); });
    EXPECT_EQ(seen, 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(activations.count(), 0);
}

// A socket served by another user where ours would be is not ours to heed: the start goes on.
TEST(SingleInstanceTest, ServerOfAnotherUserIsIgnored) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs a second user: runs as root";
    TestPlaces test;
    SingleInstance instance("vellor:VellorAppClass", test.places);
    const QString open = test.dir.path() + "/open";
    QDir().mkpath(open);
    ::chmod(QFile::encodeName(open).constData(), 0777);
    const QByteArray foreign = QFile::encodeName(open + "/socket");
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t server = ::fork();
    ASSERT_GE(server, 0);
    if (server == 0) {
        // Another user listens, then waits to be stopped.
        ::close(ready[0]);
        if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) {
            ::_exit(1);
        }
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, foreign.constData(), sizeof address.sun_path - 1);
        if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(fd, 8) != 0) {
            ::_exit(1);
        }
        [[maybe_unused]] ssize_t ignored = ::write(ready[1], "r", 1);
        for (;;)
            ::pause();
    }
    ::close(ready[1]);
    char byte = 0;
    const bool listening = ::read(ready[0], &byte, 1) == 1;  // 0: it could not listen
    ::close(ready[0]);
    if (!listening) ::waitpid(server, nullptr, 0);
    ASSERT_TRUE(listening);
    // Root moves it where our own socket would be: the folder itself passes every check.
    ASSERT_EQ(::rename(foreign.constData(), QFile::encodeName(instance.SocketPath()).constData()),
              0);
    const bool claimed = instance.Claim();
    ::kill(server, SIGKILL);
    ::waitpid(server, nullptr, 0);
    EXPECT_TRUE(claimed);
}

class SecondInstanceTest : public ::testing::Test {
  protected:
    QString SocketFor(const QString& exe) const {
        return env_.RuntimeDir() + "/org.vellor.Vellor/" + SingleInstance::ClassName(exe);
    }
    // A live instance accepts a connection; a stale socket refuses it.
    static bool Answers(const QString& path) {
        QLocalSocket socket;
        socket.connectToServer(path);
        return socket.waitForConnected(1000);
    }
    bool Listening(const QString& exe) const { return QFileInfo(SocketFor(exe)).exists(); }

    // Runs a second start to its end; returns its exit code, or -1 if it did not end.
    int RunToEnd(const QString& exe) {
        QProcess second;
        if (!ProcessEnv::Start(second, exe, env_.Environment("offscreen"))) return -1;
        if (!second.waitForFinished(30000)) {
            second.kill();
            second.waitForFinished();
            return -1;
        }
        return second.exitStatus() == QProcess::NormalExit ? second.exitCode() : -1;
    }

    void TearDown() override {
        for (QProcess* p : {&first_, &copy_}) {
            if (p->state() != QProcess::NotRunning) {
                p->kill();
                p->waitForFinished();
            }
        }
    }

    ProcessEnv env_;
    QProcess first_;
    QProcess copy_;
    const QString exe_ = VELLOR_EXE_PATH;
};

TEST_F(SecondInstanceTest, ASecondStartExitsWithZeroAndTheFirstStays) {
    ASSERT_TRUE(ProcessEnv::Start(first_, exe_, env_.Environment("offscreen")));
    ASSERT_TRUE(WaitFor([&] { return Listening(exe_); }));
    EXPECT_EQ(RunToEnd(exe_), 0);
    EXPECT_EQ(first_.state(), QProcess::Running);
}

TEST_F(SecondInstanceTest, ACopyUnderAnotherNameRunsOnItsOwn) {
    const QString copy = env_.Path("vellor-copy");
    ASSERT_TRUE(QFile::copy(exe_, copy));
    ASSERT_TRUE(ProcessEnv::Start(first_, exe_, env_.Environment("offscreen")));
    ASSERT_TRUE(WaitFor([&] { return Listening(exe_); }));
    ASSERT_TRUE(ProcessEnv::Start(copy_, copy, env_.Environment("offscreen")));
    // The copy claims its own name rather than finding the first and leaving.
    ASSERT_TRUE(WaitFor([&] { return Listening(copy) || copy_.state() == QProcess::NotRunning; }));
    EXPECT_EQ(copy_.state(), QProcess::Running);
    EXPECT_EQ(RunToEnd(copy), 0);
    EXPECT_EQ(RunToEnd(exe_), 0);
    EXPECT_EQ(first_.state(), QProcess::Running);
    EXPECT_EQ(copy_.state(), QProcess::Running);
}

TEST_F(SecondInstanceTest, ASocketLeftByAKilledInstanceNeverBlocks) {
    ASSERT_TRUE(ProcessEnv::Start(first_, exe_, env_.Environment("offscreen")));
    ASSERT_TRUE(WaitFor([&] { return Listening(exe_); }));
    ::kill(pid_t(first_.processId()), SIGKILL);
    first_.waitForFinished();
    ASSERT_TRUE(Listening(exe_));  // the stale socket is still there

    QProcess next;
    ASSERT_TRUE(ProcessEnv::Start(next, exe_, env_.Environment("offscreen")));
    // The next start replaces the stale socket with its own and stays.
    ASSERT_TRUE(
        WaitFor([&] { return next.state() == QProcess::NotRunning || Answers(SocketFor(exe_)); }));
    ASSERT_EQ(next.state(), QProcess::Running);
    EXPECT_EQ(RunToEnd(exe_), 0);
    EXPECT_EQ(next.state(), QProcess::Running);
    next.kill();
    next.waitForFinished();
}

}  // namespace
}  // namespace vellor::testing
