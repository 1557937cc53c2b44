// The real program under a private Xvfb, driven by xdotool; xclip is another clipboard user.
#include <gtest/gtest.h>

#include "support/deadline.h"
#include "support/process_env.h"

namespace vellor::testing {
namespace {

class XvfbTest : public ::testing::Test {
  protected:
    // A display of its own while other X servers may start on this machine: a number far above
    // those they pick by themselves, and a screen size of its own that proves whose server answers.
    void SetUp() override {
        const QString size = QString("1024 %1").arg(700 + ::getpid() % 60);
        for (int display = 1000 + ::getpid() % 30000, tries = 0; tries < 10; ++display, ++tries) {
            server_.start("Xvfb", {":" + QString::number(display), "-nolisten", "tcp", "-screen",
                                   "0", QString(size).replace(' ', 'x') + "x24"});
            qputenv("DISPLAY", (":" + QString::number(display)).toLatin1());
            if (WaitUntil([&] {
                    return server_.waitForFinished(10) ||
                           Run("xdotool", {"getdisplaygeometry"}).trimmed() == size;
                }) &&
                server_.state() == QProcess::Running)
                return;
            server_.kill(), server_.waitForFinished();
        }
        FAIL() << "no X display of its own";
    }
    void TearDown() override {  // Xvfb ended by a signal it handles frees its display number
        for (QProcess* p : {&app_, &server_})
            p->terminate(), p->waitForFinished(30000) || (p->kill(), p->waitForFinished());
    }

    // Runs an X tool to its end and returns its standard output.
    static QByteArray Run(const QString& tool, const QStringList& args) {
        QProcess p;
        p.start(tool, args);
        if (!p.waitForFinished(30000)) p.kill(), p.waitForFinished();
        return p.readAllStandardOutput();
    }
    static QString FindWindow(const QString& title) {
        return Run("xdotool", {"search", "--onlyvisible", "--name", title}).split('\n').value(0);
    }
    static QString Clipboard(const char* selection) {
        return QString::fromUtf8(Run("xclip", {"-o", "-selection", selection}));
    }

    ProcessEnv env_;
    QProcess server_, app_;
};

// With the loopback plug open, typed keys come back into the first row; a drag along it selects
// them as the PRIMARY selection, Ctrl+Shift+C copies them, Ctrl+Shift+V pastes what another
// program put on the clipboard; Alt+F, X ends the program with 1.
TEST_F(XvfbTest, TypingSelectingPastingAndMenusByMnemonic) {
    ASSERT_TRUE(
        env_.Start(app_, VELLOR_EXE_PATH, {"-platform", "xcb", "--port", "LOOP", "--open"}));
    QString window;
    ASSERT_TRUE(WaitUntil([&] {
        return !(window = FindWindow("^VL: LOOP$")).isEmpty() || app_.waitForFinished(0);
    })) << "the window never showed";
    ASSERT_FALSE(window.isEmpty())
        << "the program ended: " << app_.readAllStandardError().toStdString();
    Run("xdotool", {"windowfocus", "--sync", window, "type", "--delay", "30", "MMMM world"});
    ASSERT_TRUE(WaitUntil([&] {  // until the whole text has come back
        Run("xdotool", {"mousemove", "--window", window, "3", "30", "mousedown", "1", "mousemove",
                        "--window", window, "700", "30", "mouseup", "1", "key", "ctrl+shift+c"});
        return Clipboard("clipboard") == "MMMM world";
    })) << "the drag and copy never held the typed text";
    EXPECT_TRUE(WaitUntil([] { return Clipboard("primary") == "MMMM world"; }))
        << "the drag never set the PRIMARY selection";

    Run("sh", {"-c", "printf ' pasted' | xclip -selection clipboard"});  // xclip stays to serve it
    ASSERT_TRUE(WaitUntil([&] { return Clipboard("clipboard") == " pasted"; }));
    Run("xdotool", {"key", "ctrl+shift+v"});
    ASSERT_TRUE(WaitUntil([&] {
        Run("xdotool", {"key", "ctrl+shift+a", "ctrl+shift+c"});
        return Clipboard("clipboard") == "MMMM world pasted";
    })) << "the paste never came back";

    Run("xdotool", {"key", "alt+f"});
    ASSERT_TRUE(WaitUntil([&] {
        if (!app_.waitForFinished(200)) Run("xdotool", {"key", "x"});
        return app_.state() == QProcess::NotRunning;
    })) << "Alt+F, X never ended the program";
    EXPECT_EQ(app_.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(app_.exitCode(), 1) << app_.readAllStandardError().toStdString();
}

}  // namespace
}  // namespace vellor::testing
