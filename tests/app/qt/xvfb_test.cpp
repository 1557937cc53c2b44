// Drives the real program with real X events: a private Xvfb server, xdotool for keys and window
// lookup, xwd for screenshots.
#include <gtest/gtest.h>

#include <QFile>
#include <QStandardPaths>
#include <optional>

#include "support/process_env.h"

namespace vellor::testing {
namespace {

// A screenshot in the X window dump format (ZPixmap, 24 or 32 bits per pixel).
class Dump {
  public:
    static std::optional<Dump> Parse(const QByteArray& data) {
        if (data.size() < 100) return std::nullopt;
        auto field = [&](int i) {
            const auto* p = reinterpret_cast<const uchar*>(data.constData()) + 4 * i;
            return quint32(p[0]) << 24 | quint32(p[1]) << 16 | quint32(p[2]) << 8 | p[3];
        };
        Dump d;
        d.width_ = int(field(4));
        d.height_ = int(field(5));
        d.lsbFirst_ = field(7) == 0;
        d.bytesPerPixel_ = int(field(11)) / 8;
        d.bytesPerLine_ = int(field(12));
        d.offset_ = qsizetype(field(0)) + qsizetype(field(19)) * 12;
        if (d.bytesPerPixel_ < 3 ||
            d.offset_ + qsizetype(d.bytesPerLine_) * d.height_ > data.size())
            return std::nullopt;
        d.data_ = data;
        return d;
    }

    int Width() const { return width_; }
    int Height() const { return height_; }

    // Red, green and blue of one pixel, each 0-255.
    std::array<int, 3> Pixel(int x, int y) const {
        const auto* p = reinterpret_cast<const uchar*>(data_.constData()) + offset_ +
                        qsizetype(y) * bytesPerLine_ + qsizetype(x) * bytesPerPixel_;
        if (lsbFirst_) return {p[2], p[1], p[0]};
        const int skip = bytesPerPixel_ - 3;
        return {p[skip], p[skip + 1], p[skip + 2]};
    }

    // Pixels darker than mid-grey inside [x0,x1) x [y0,y1).
    int DarkPixels(int x0, int y0, int x1, int y1) const {
        int count = 0;
        for (int y = y0; y < std::min(y1, height_); ++y)
            for (int x = x0; x < std::min(x1, width_); ++x) {
                const auto rgb = Pixel(x, y);
                if (rgb[0] < 100 && rgb[1] < 100 && rgb[2] < 100) ++count;
            }
        return count;
    }

  private:
    QByteArray data_;
    int width_ = 0;
    int height_ = 0;
    bool lsbFirst_ = true;
    int bytesPerPixel_ = 4;
    int bytesPerLine_ = 0;
    qsizetype offset_ = 0;
};

class XvfbTest : public ::testing::Test {
  protected:
    void SetUp() override {
        xvfb_ = QStandardPaths::findExecutable("Xvfb");
        xdotool_ = QStandardPaths::findExecutable("xdotool");
        xwd_ = QStandardPaths::findExecutable("xwd");
        // ./run test installs them: a missing tool is a failure, never a silent skip.
        ASSERT_FALSE(xvfb_.isEmpty() || xdotool_.isEmpty() || xwd_.isEmpty())
            << "Xvfb, xdotool or xwd is not installed";
        // Xvfb picks a free display itself and tells its number on the descriptor given.
        server_.setProgram(xvfb_);
        server_.setArguments(
            {"-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"});
        server_.start();
        ASSERT_TRUE(server_.waitForStarted(30000));
        ASSERT_TRUE(WaitFor([&] {
            server_.waitForReadyRead(100);
            display_ += QString::fromLatin1(server_.readAllStandardOutput());
            return display_.contains('\n') || server_.state() == QProcess::NotRunning;
        })) << "Xvfb never told its display";
        display_ = ":" + display_.trimmed();
        ASSERT_EQ(server_.state(), QProcess::Running);
    }

    void TearDown() override {
        for (QProcess* p : {&app_, &server_}) {
            if (p->state() != QProcess::NotRunning) {
                p->kill();
                p->waitForFinished();
            }
        }
    }

    QProcessEnvironment Env() const { return env_.Environment("xcb", display_); }

    // Runs an X tool to its end and returns its standard output.
    QByteArray Tool(const QString& program, const QStringList& args, int* exitCode = nullptr) {
        QProcess p;
        p.setProcessEnvironment(Env());
        p.start(program, args);
        if (!p.waitForFinished(30000)) {
            p.kill();
            p.waitForFinished();
        }
        if (exitCode) *exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        return p.readAllStandardOutput();
    }

    QString FindWindow(const QString& title) {
        const QByteArray out =
            Tool(xdotool_, {"search", "--onlyvisible", "--name", "^" + title + "$"});
        return QString::fromLatin1(out).split('\n', Qt::SkipEmptyParts).value(0);
    }

    std::optional<Dump> Shot(const QString& window) {
        return Dump::Parse(Tool(xwd_, {"-silent", "-id", window}));
    }

    // Starts the program with echo on and returns its window once its menu bar has been painted
    // (the unpainted window is black); "" when it never was.
    QString StartProgram() {
        WriteSettings();
        if (!ProcessEnv::Start(app_, VELLOR_EXE_PATH, Env())) return {};
        QString window;
        const bool painted = WaitFor([&] {
            if (window.isEmpty()) window = FindWindow("Vellor");
            if (window.isEmpty()) return false;
            const auto shot = Shot(window);
            return shot && shot->Pixel(2, 2) != std::array<int, 3>{0, 0, 0};
        });
        return painted ? window : QString();
    }

    void WriteSettings() {
        QDir(env_.ConfigDir()).mkpath("vellor");
        QFile f(env_.ConfigDir() + "/vellor/settings.reg");
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(
            "Windows Registry Editor Version 5.00\r\n\r\n"
            "[HKEY_CURRENT_USER\\Software\\VellorEV]\r\n"
            "\"NumRows\"=dword:00000019\r\n\"NumCols\"=dword:00000050\r\n"
            "\"Mode\"=dword:00000000\r\n\"RX_Bit7\"=dword:00000000\r\n"
            "\"RX_CRLF\"=dword:00000000\r\n\"Echo\"=dword:00000001\r\n"
            "\"TX_CRLF\"=dword:00000000\r\n\"TX_Capture\"=dword:00000000\r\n"
            "\"RX_Capture\"=dword:00000001\r\n");
    }

    QString xvfb_, xdotool_, xwd_, display_;
    ProcessEnv env_;
    QProcess server_;
    QProcess app_;
};

TEST_F(XvfbTest, TypingAndMenusByMnemonic) {
    const QString window = StartProgram();
    ASSERT_FALSE(window.isEmpty()) << "the window was never painted";

    Tool(xdotool_, {"mousemove", "--window", window, "400", "300"});
    Tool(xdotool_, {"windowfocus", window});
    // The first text row, right of the caret's starting cell: white before typing.
    const auto before = Shot(window);
    ASSERT_TRUE(before);
    const int rowTop = 22, rowBottom = 38, left = 16, right = 80;
    ASSERT_EQ(before->DarkPixels(left, rowTop, right, rowBottom), 0);

    Tool(xdotool_, {"type", "--delay", "30", "MMMMMMMMMM"});
    ASSERT_TRUE(WaitFor([&] {
        const auto after = Shot(window);
        return after && after->DarkPixels(left, rowTop, right, rowBottom) > 50;
    })) << "the echoed keys never showed";

    // Help by its Alt mnemonic, then About by its item mnemonic.
    Tool(xdotool_, {"key", "alt+h"});
    QString about;
    ASSERT_TRUE(WaitFor([&] {
        about = FindWindow("About Vellor");
        if (about.isEmpty()) Tool(xdotool_, {"key", "a"});
        return !about.isEmpty();
    })) << "Alt+H, A never opened the About box";
    Tool(xdotool_, {"key", "--window", about, "Return"});
    ASSERT_TRUE(WaitFor([&] { return FindWindow("About Vellor").isEmpty(); }))
        << "Return never closed the About box";

    // File / Exit by mnemonics ends the program with 1.
    Tool(xdotool_, {"windowfocus", window});
    Tool(xdotool_, {"key", "alt+f"});
    ASSERT_TRUE(WaitFor([&] {
        if (app_.waitForFinished(200)) return true;
        Tool(xdotool_, {"key", "x"});
        return app_.state() == QProcess::NotRunning;
    })) << "Alt+F, X never ended the program";
    EXPECT_EQ(app_.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(app_.exitCode(), 1);
}

// A drag along the first row selects what was typed there: it is the PRIMARY selection at once,
// and Ctrl+Shift+C puts it on the clipboard; other X clients (xclip) read both. Ctrl+Shift+V
// types what another client put on the clipboard (echoed: no port is open).
TEST_F(XvfbTest, DragSelectsAndCopyReachesOtherPrograms) {
    const QString xclip = QStandardPaths::findExecutable("xclip");
    ASSERT_FALSE(xclip.isEmpty()) << "xclip is not installed";
    const QString window = StartProgram();
    ASSERT_FALSE(window.isEmpty()) << "the window was never painted";
    Tool(xdotool_, {"mousemove", "--window", window, "400", "300"});
    Tool(xdotool_, {"windowfocus", window});
    Tool(xdotool_, {"type", "--delay", "30", "hello world"});

    const auto read = [&](const char* selection) {
        return QString::fromUtf8(Tool(xclip, {"-o", "-selection", selection}));
    };
    // Repeated until the echo has drawn the whole text; the first row lies at y 22 to 38.
    ASSERT_TRUE(WaitFor([&] {
        Tool(xdotool_, {"mousemove", "--window", window, "3", "30", "mousedown", "1"});
        Tool(xdotool_, {"mousemove", "--window", window, "700", "30", "mouseup", "1"});
        Tool(xdotool_, {"key", "ctrl+shift+c"});
        return read("clipboard") == "hello world";
    })) << "the clipboard holds \""
        << read("clipboard").toStdString() << "\"";
    EXPECT_EQ(read("primary"), "hello world");

    QProcess owner;  // holds the clipboard until Vellor takes it with its copy
    owner.setProcessEnvironment(Env());
    owner.start(xclip, {"-quiet", "-selection", "clipboard", "-i"});
    ASSERT_TRUE(owner.waitForStarted(30000));
    owner.write(" pasted");
    owner.waitForBytesWritten(30000);  // no event loop runs here to write it later
    owner.closeWriteChannel();
    ASSERT_TRUE(WaitFor([&] { return read("clipboard") == " pasted"; })) << "xclip never served";
    Tool(xdotool_, {"key", "ctrl+shift+v"});
    ASSERT_TRUE(WaitFor([&] {
        Tool(xdotool_, {"key", "ctrl+shift+a", "ctrl+shift+c"});
        return read("clipboard") == "hello world pasted";
    })) << "the clipboard holds \""
        << read("clipboard").toStdString() << "\"";
    owner.kill();
    owner.waitForFinished();
}

}  // namespace
}  // namespace vellor::testing
