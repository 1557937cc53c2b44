#include "app/qt/single_instance.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <QFile>
#include <QLocalSocket>

#include "app/qt/process_env.h"

namespace vellor::testing {
namespace {

TEST(SingleInstanceTest, ClassNameIsTheExecutableFileNameAndTheAppClass) {
    EXPECT_EQ(SingleInstance::ClassName("/usr/local/bin/vellor"), "vellor:VellorAppClass");
    EXPECT_EQ(SingleInstance::ClassName("/opt/x/my copy"), "my copy:VellorAppClass");
}

class SecondInstanceTest : public ::testing::Test {
  protected:
    QString SocketFor(const QString& exe) const {
        return env_.RuntimeDir() + "/" + SingleInstance::ClassName(exe);
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
