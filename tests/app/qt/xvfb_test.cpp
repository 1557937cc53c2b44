// Drives the real program with real X events: a private Xvfb server, xdotool for keys, the mouse
// and window lookup, xwd for screenshots, xclip as another program using the clipboard.
#include <gtest/gtest.h>

#include <QImage>
#include <QStandardPaths>
#include <QtEndian>

#include "support/deadline.h"
#include "support/process_env.h"

namespace vellor::testing {
namespace {

class XvfbTest : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* tool : {"Xvfb", "xdotool", "xwd", "xclip"})  // a failure, never a skip
            ASSERT_FALSE(QStandardPaths::findExecutable(tool).isEmpty()) << tool << " is missing";
        // Xvfb picks a free display itself and tells its number on the descriptor given; every
        // program started from here on uses it.
        server_.start("Xvfb", {"-displayfd", "1", "-screen", "0", "1024x768x24"});
        QString display;
        ASSERT_TRUE(WaitUntil([&] {
            server_.waitForReadyRead(100);
            display += QString::fromLatin1(server_.readAllStandardOutput());
            return display.contains('\n') || server_.state() == QProcess::NotRunning;
        })) << "Xvfb never told its display";
        qputenv("DISPLAY", (":" + display.trimmed()).toLatin1());
    }
    void TearDown() override {
        for (QProcess* p : {&app_, &server_})
            p->kill(), p->waitForFinished();
    }

    // Runs an X tool to its end and returns its standard output.
    static QByteArray Run(const QString& tool, const QStringList& args) {
        QProcess p;
        p.start(tool, args);
        if (!p.waitForFinished(30000)) p.kill(), p.waitForFinished();
        return p.readAllStandardOutput();
    }
    static QString FindWindow(const QString& title) {
        const QByteArray found = Run("xdotool", {"search", "--onlyvisible", "--name", title});
        return QString::fromLatin1(found).split('\n', Qt::SkipEmptyParts).value(0);
    }
    static QString Clipboard(const char* selection) {
        return QString::fromUtf8(Run("xclip", {"-o", "-selection", selection}));
    }
    // Pixels darker than mid-grey in the program's window, from xwd's dump (Xvfb at depth 24
    // keeps 32-bit pixels, least significant byte first, as QImage's RGB32); -1 without one.
    int DarkPixels(const QRect& area) const {
        const QByteArray dump = Run("xwd", {"-silent", "-id", window_});
        const auto field = [&](int i) { return qFromBigEndian<quint32>(dump.constData() + 4 * i); };
        if (dump.size() < 100 || field(7) != 0 || field(11) != 32) return -1;
        const qsizetype offset = field(0) + field(19) * 12, line = field(12), height = field(5);
        if (offset + line * height > dump.size()) return -1;
        const QImage shot(reinterpret_cast<const uchar*>(dump.constData()) + offset, int(field(4)),
                          int(height), int(line), QImage::Format_RGB32);
        int count = 0;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x)
                count += shot.valid(x, y) && qGray(shot.pixel(x, y)) < 100;
        return count;
    }

    QString window_;
    ProcessEnv env_;
    QProcess server_, app_;
};

// With the loopback plug open, typed keys come back into the first row; a drag along it selects
// them as the PRIMARY selection, Ctrl+Shift+C copies them, Ctrl+Shift+V pastes what another
// program put on the clipboard, all seen by xclip. Alt+H, A opens About, Return closes it;
// Alt+F, X ends the program with 1.
TEST_F(XvfbTest, TypingSelectingPastingAndMenusByMnemonic) {
    ASSERT_TRUE(
        env_.Start(app_, VELLOR_EXE_PATH, {"-platform", "xcb", "--port", "LOOP", "--open"}));
    ASSERT_TRUE(WaitUntil([&] {  // until the menu bar is painted over the black of a new window
        if (window_.isEmpty()) window_ = FindWindow("^VL: LOOP$");
        return !window_.isEmpty() && DarkPixels({0, 0, 3, 3}) == 0;
    })) << "the window was never painted";
    Run("xdotool", {"mousemove", "--window", window_, "400", "300"});
    Run("xdotool", {"windowfocus", window_});
    const QRect row(16, 22, 64, 16);  // the first text row, right of the caret's starting cell
    ASSERT_EQ(DarkPixels(row), 0);
    Run("xdotool", {"type", "--delay", "30", "MMMM world"});
    ASSERT_TRUE(WaitUntil([&] { return DarkPixels(row) > 50; })) << "the typed keys never showed";
    ASSERT_TRUE(WaitUntil([&] {  // until the whole text has come back
        Run("xdotool", {"mousemove", "--window", window_, "3", "30", "mousedown", "1"});
        Run("xdotool", {"mousemove", "--window", window_, "700", "30", "mouseup", "1"});
        Run("xdotool", {"key", "ctrl+shift+c"});
        return Clipboard("clipboard") == "MMMM world";
    })) << "the clipboard holds \""
        << Clipboard("clipboard").toStdString() << "\"";
    EXPECT_EQ(Clipboard("primary"), "MMMM world");

    QProcess owner;  // holds the clipboard until Vellor takes it with its copy
    owner.start("xclip", {"-quiet", "-selection", "clipboard"});
    owner.write(" pasted");
    owner.waitForBytesWritten(30000);  // no event loop runs here to write it later
    owner.closeWriteChannel();
    ASSERT_TRUE(WaitUntil([&] { return Clipboard("clipboard") == " pasted"; }));
    Run("xdotool", {"key", "ctrl+shift+v"});
    ASSERT_TRUE(WaitUntil([&] {
        Run("xdotool", {"key", "ctrl+shift+a", "ctrl+shift+c"});
        return Clipboard("clipboard") == "MMMM world pasted";
    })) << "the clipboard holds \""
        << Clipboard("clipboard").toStdString() << "\"";
    owner.kill(), owner.waitForFinished();

    Run("xdotool", {"key", "alt+h"});
    QString about;
    ASSERT_TRUE(WaitUntil([&] {
        about = FindWindow("^About Vellor$");
        if (about.isEmpty()) Run("xdotool", {"key", "a"});
        return !about.isEmpty();
    })) << "Alt+H, A never opened the About box";
    Run("xdotool", {"key", "--window", about, "Return"});
    ASSERT_TRUE(WaitUntil([&] { return FindWindow("^About Vellor$").isEmpty(); }))
        << "Return never closed the About box";
    Run("xdotool", {"windowfocus", window_});
    Run("xdotool", {"key", "alt+f"});
    ASSERT_TRUE(WaitUntil([&] {
        if (!app_.waitForFinished(200)) Run("xdotool", {"key", "x"});
        return app_.state() == QProcess::NotRunning;
    })) << "Alt+F, X never ended the program";
    EXPECT_EQ(app_.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(app_.exitCode(), 1);
}

}  // namespace
}  // namespace vellor::testing
