// The real program under a private Xvfb, driven by xdotool; xclip is another clipboard user.
#include <gtest/gtest.h>

#include "support/deadline.h"
#include "support/process_env.h"

namespace vellor::testing {
namespace {

class XvfbTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // -noreset: resetting as its last tool leaves, a server turns away the starting program.
        server_.start("Xvfb", {"-displayfd", "1", "-noreset", "-screen", "0", "1024x768x24"});
        QByteArray display = ":";
        ASSERT_TRUE(WaitUntil([&] {
            return server_.waitForReadyRead(100), (display += server_.readAll()).endsWith('\n');
        })) << "Xvfb never told its display";
        qputenv("DISPLAY", display.trimmed());
    }
    void TearDown() override {  // Xvfb ended by a signal it handles frees its display number
        for (QProcess* p : {&app_, &server_})
            p->terminate(), p->waitForFinished(30000) || (p->kill(), p->waitForFinished());
    }

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

// Keys typed to the loopback plug come back; drag, copy and paste meet xclip; Alt+F, X ends it.
TEST_F(XvfbTest, TypingSelectingPastingAndMenusByMnemonic) {
    ASSERT_TRUE(
        env_.Start(app_, VELLOR_EXE_PATH, {"-platform", "xcb", "--port", "LOOP", "--open"}));
    QString window;
    ASSERT_TRUE(WaitUntil([&] {
                    return !(window = FindWindow("^VL: LOOP$")).isEmpty() ||
                           app_.waitForFinished(0);
                }) &&
                !window.isEmpty())
        << "no window: " << app_.readAllStandardError().toStdString();
    Run("sh", {"-c", "printf ' pasted' | xclip -selection clipboard"});  // xclip stays to serve it
    ASSERT_TRUE(WaitUntil([&] { return Clipboard("clipboard") == " pasted"; }));
    Run("xdotool", {"windowfocus", "--sync", window, "type", "--delay", "30", "MMMM world"});
    ASSERT_TRUE(WaitUntil([&] {  // until the whole text has come back
        Run("xdotool", {"mousemove", "--window", window, "3", "30", "mousedown", "1", "mousemove",
                        "--window", window, "700", "30", "mouseup", "1"});
        return Clipboard("primary") == "MMMM world";
    })) << "the drag never selected the typed text";
    EXPECT_EQ(Clipboard("clipboard"), " pasted");  // a selection alone leaves the clipboard be
    Run("xdotool", {"key", "ctrl+shift+v"});
    ASSERT_TRUE(WaitUntil([&] {
        Run("xdotool", {"key", "ctrl+shift+a", "ctrl+shift+c"});
        return Clipboard("clipboard") == "MMMM world pasted";
    })) << "the paste and copy never came back";
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
