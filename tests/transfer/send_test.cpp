#include <sys/stat.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <semaphore>
#include <system_error>
#include <thread>

#include "app/command_ids.h"
#include "serial/line_defaults.h"
#include "serial/port_connection.h"
#include "support/fake_serial_device.h"
#include "support/pty_pair.h"
#include "support/screen_fixture.h"
#include "support/temp_folder.h"
#include "transfer/capture_command.h"
#include "transfer/paste.h"
#include "transfer/send_command.h"
#include "transfer/transfer_shutdown.h"

namespace vellor::testing {
namespace {

// A file read a byte at a time as its script (which outlives the test) says: held, failing, short.
class ScriptedFile {
  public:
    struct Script {
        std::string content;
        std::size_t holdAt = std::size_t(-1), failAt = std::size_t(-1), missing = 0;
        int closeError = 0;
    };

    explicit ScriptedFile(Script script) : s_(std::make_shared<State>(std::move(script))) {}
    ~ScriptedFile() { Release(); }
    std::FILE* Open() { return fopencookie(new auto(s_), "rb", {&Read, nullptr, &Seek, &Close}); }
    bool Held() const { return s_->held; }
    bool Closed() const { return s_->closed; }
    void Release() { s_->released.release(); }

  private:
    struct State : Script {
        explicit State(Script script) : Script(std::move(script)) {}
        std::size_t position = 0;  // the stream's, used by one thread at a time
        std::atomic<bool> held = false, closed = false;
        std::counting_semaphore<> released{0};
    };
    using Cookie = std::shared_ptr<State>;

    static ssize_t Read(void* cookie, char* buffer, std::size_t size) {
        State& f = **static_cast<Cookie*>(cookie);
        if (size == 0 || f.position >= f.content.size()) return 0;
        f.held = f.position == f.holdAt;
        if (f.held) f.released.acquire();
        if (f.position == f.failAt) return errno = EIO, -1;
        buffer[0] = f.content[f.position++];
        return 1;
    }
    static int Seek(void* cookie, off64_t* offset, int whence) {
        State& f = **static_cast<Cookie*>(cookie);
        const std::size_t end = f.content.size() + f.missing;
        *offset += off64_t(whence == SEEK_SET ? 0 : whence == SEEK_CUR ? f.position : end);
        f.position = std::size_t(*offset);
        return 0;
    }
    static int Close(void* cookie) {
        const std::unique_ptr<Cookie> owner(static_cast<Cookie*>(cookie));
        (*owner)->closed = true;
        return (errno = (*owner)->closeError) == 0 ? 0 : -1;
    }

    Cookie s_;
};

class TransferTest : public ::testing::Test {
  protected:
    TransferTest() { DefaultPortSettings(*state); }
    void TearDown() override {
        ShutdownTransfers(*state, host);
        ClosePort(*state, host);
    }
    // Runs a command; a start picks `path` in the chooser (none cancels it).
    void Toggle(void (*command)(AppState&, Host&), const std::string& path = "") {
        if (!path.empty()) host.answers.push_back(path);
        command(*state, host);
    }
    void Send(const std::string& content) {
        WriteFile(folder.Path("file"), content);
        Toggle(ToggleSend, folder.Path("file"));
    }
    void Send(ScriptedFile& file, ThreadLauncher launch = DefaultSendHooks().launch) {
        host.answers.push_back("scripted");
        ToggleSendWith(*state, host, {[&file](const std::string&) { return file.Open(); }, launch});
    }
    bool Idle() {
        return host.RunUntil([&] { return !state->sending.load(); });
    }
    std::string Marks(int id = kCmdSend) {  // the item's check marks so far, "+" checked
        std::string marks;
        for (const bool checked : host.ChecksOf(id))
            marks += checked ? '+' : '-';
        return marks;
    }
    std::string Told() {  // the messages shown since the last call, a line each
        std::string told;
        for (const auto& m : std::exchange(host.messages, {}))
            told += (m.owner == MessageOwner::View ? "view:" : "") + m.text + "|" + m.caption +
                    "|" + m.detail + "\n";
        return told;
    }
    void OpenDevice() {
        ASSERT_TRUE(OpenPortWith(*state, host, [&](const std::string&, int&) { return device; }));
    }

    TempFolder folder;
    std::shared_ptr<FakeSerialDevice> device = std::make_shared<FakeSerialDevice>();
    std::unique_ptr<AppState> state = MakeScreen(5, 40);
    FakeHost host;
};

// Failed opens, thread starts, reads, writes and closes say why; what was read still goes out.
TEST_F(TransferTest, FailuresSayWhyAndEndTheRun) {
    Toggle(ToggleSend);  // cancelled
    ASSERT_EQ(mkfifo(folder.Path("pipe").c_str(), 0600), 0);
    for (const std::string& path : {folder.path().string(), folder.Path("pipe")}) {
        Toggle(ToggleCapture, path);
        Toggle(ToggleSend, path);
    }
    ASSERT_TRUE(Idle()) << "the pipe's run never ended";
    ScriptedFile unstarted({.content = "abc"});
    Send(unstarted, [](std::function<void()>) -> std::thread {
        throw std::system_error(EAGAIN, std::generic_category());
    });
    EXPECT_TRUE(unstarted.Closed());
    state->echo = 1;
    for (const ScriptedFile::Script& script :
         {ScriptedFile::Script{.content = "abcdef", .failAt = 3},
          {.content = "abc", .missing = 3},
          {.content = "abc", .closeError = ENOSPC}}) {
        ScriptedFile file(script);
        Send(file);
        ASSERT_TRUE(Idle()) << "the run never ended";
        EXPECT_TRUE(file.Closed());
    }
    EXPECT_EQ(ScreenText(*state), "abcabcabc||||");
    state->txCrLf = 1;
    OpenDevice();
    for (const std::size_t taken : {3, 4 + 3}) {  // CR LF counts once, when both are out
        device->failWritesAfter = taken;
        Send("ab\rcd");
        ASSERT_TRUE(Idle()) << "the run never ended";
    }
    EXPECT_EQ(Told(),
              "CreateLogFile Failed|Error|Is a directory\n"
              "OpenSendFile Failed|Error|Is a directory\n"
              "CreateLogFile Failed|Error|No such device or address\n"
              "CreateSendThread Failed|Error|Resource temporarily unavailable\n"
              "view:ReadFile Failed|Vellor Error|Input/output error\n"
              "view:ReadFile Failed|Vellor Error|Unexpected end of file\n"
              "SendFileClose Failed|Error|No space left on device\n"
              "WritePort Failed|Error|Input/output error. 2 of 5 bytes were sent.\n"
              "WritePort Failed|Error|Input/output error. 3 of 5 bytes were sent.\n");
    EXPECT_EQ(Marks(), "+-+-+-+-+-+-");
    for (const FileRequest& asked : host.requests)  // a send starts at the root, a capture anywhere
        EXPECT_EQ(asked.startDir, asked.kind == FileRequest::Kind::Open ? "/" : "");
}

// Runs follow each other, a stopped one sends no more; a paste goes as typed, or not at all.
TEST_F(TransferTest, RunsFollowEachOtherOnTheWireAndPastesGoAsTyped) {
    OpenDevice();
    state->txCrLf = state->echo = 1;
    Send("AB\r\nC\r\n");
    ASSERT_TRUE(Idle()) << "the run never ended";
    EXPECT_EQ(ScreenText(*state), "AB||C||");
    ScriptedFile stopped({.content = "0123\r56789", .holdAt = 4});
    Send(stopped);
    ASSERT_TRUE(WaitUntil([&] { return stopped.Held(); })) << "the run never read";
    Toggle(ToggleSend);
    Send(std::string("a\0\xff", 3));
    WritePortByte(*state, 'K');
    stopped.Release();
    ASSERT_TRUE(Idle()) << "the run never ended";
    Send("xyz");
    ASSERT_TRUE(WaitUntil([&] { return host.Pending() > 0; })) << "the run never ended";
    Toggle(ToggleSend);
    host.RunPending();
    state->txCapture = 1;
    Toggle(ToggleCapture, folder.Path("capture"));
    PasteText(*state, host, "ok\r\n\u00ff\u20ac");
    PasteText(*state, host, "one\r\ntwo\rthr\u00e9\nfour");
    PasteText(*state, host, "x");
    ASSERT_TRUE(Idle()) << "the paste never ended";
    Send("!");
    ASSERT_TRUE(Idle()) << "the run never ended";
    Toggle(ToggleCapture);
    const std::string typed = "one\r\ntwo\r\nthr\xe9\r\nfour";
    ClosePort(*state, host);
    EXPECT_EQ(std::string(device->written.begin(), device->written.end()),
              "AB\r\n\nC\r\n\nK" + std::string("a\0\xff", 3) + "xyz" + typed + "!");
    EXPECT_EQ(ReadFile(folder.Path("capture")), typed);
    EXPECT_EQ(ScreenText(*state), "|a \xffxyzone|two|thr\xe9|four!");
    EXPECT_EQ(Marks(), "+-+-+-+-+-+-");
    EXPECT_EQ(Told(),
              "Paste Failed|Error|The character \"\u20ac\" (U+20AC) at position 6 (line 2, column "
              "2) cannot be typed as one byte. Nothing was sent.\n"
              "Paste Failed|Error|A send is under way. Paste again when it has ended, or stop it "
              "with Send from File.\n");
}

// Shutdown gives up a message the sender waits on (queued, or up) without waiting for the UI.
TEST_F(TransferTest, ShutdownNeverWaitsForTheUiThread) {
    state->echo = 1;
    ScriptedFile queued({.content = "abc", .failAt = 0}), behind({.content = "def"});
    Send(queued);
    ASSERT_TRUE(WaitUntil([&] { return host.Pending() > 0; })) << "the read never failed";
    EXPECT_FALSE(queued.Closed());  // the sender waits until its message is dismissed
    Toggle(ToggleSend);
    Send(behind);
    EXPECT_TRUE(FinishesWithin(
        kPatience, [&] { ShutdownTransfers(*state, host); }, [&] { host.RunPending(); }))
        << "shutdown waited for a message to be dismissed";
    EXPECT_TRUE(queued.Closed() && behind.Closed());
    ScriptedFile shown({.content = "abc", .failAt = 1, .closeError = EIO});  // would tell next
    host.onMessage = [&] { ShutdownTransfers(*state, host); };
    Send(shown);
    ASSERT_TRUE(host.RunUntil([&] { return !host.messages.empty(); })) << "nothing shown";
    host.onMessage = nullptr;
    host.RunPending();
    EXPECT_EQ(Told(), "view:ReadFile Failed|Vellor Error|Input/output error\n");
    EXPECT_EQ(ScreenText(*state), "a||||");  // nothing of the run behind
    EXPECT_EQ(Marks(), "+-++");
}

// A held-off send waits, losing nothing, until the port closes; paced, it waits for each echo.
TEST_F(TransferTest, TheFarEndSetsThePaceAndNothingIsLost) {
    PtyPair pty;
    state->portName = pty.slavePath;
    ASSERT_TRUE(pty.ok() && OpenPort(*state, host));
    std::string text;  // far more than the line holds while nobody reads
    for (int i = 0; i < 20000; ++i)
        text += "line " + std::to_string(i) + "\r\n";
    Send(text);
    const auto progress = [&] { return CurrentSendProgress(*state).value_or(SendProgress{}); };
    ASSERT_TRUE(WaitUntil([&] { return progress().heldOff; })) << "never held off";
    EXPECT_EQ(progress().total, text.size());
    std::string held = pty.Receive(text.size() / 2);  // the line takes more again
    ASSERT_TRUE(WaitUntil([&] { return progress().heldOff; })) << "never held off again";
    ClosePort(*state, host);  // drops the rest
    ASSERT_TRUE(Idle()) << "the run never ended";
    ASSERT_TRUE(OpenPort(*state, host));
    WritePortByte(*state, '#');  // behind what the line held when it closed
    ASSERT_TRUE(WaitUntil([&] { return (held += pty.Drain()).ends_with('#'); })) << held;
    EXPECT_TRUE(text.starts_with(held.substr(0, held.size() - 1)));
    state->preferences.pacing = {1, 2, true, kMaxPacingMs};  // only the echo ends each wait
    const std::vector<std::string> lines = {"ab\n", "cd\r\n", "ef\r", "gh\r\n", "end"};
    Send(lines[0] + lines[1] + lines[2] + lines[3] + lines[4]);
    for (const std::string& line : lines) {
        ASSERT_EQ(pty.Receive(line.size()), line);
        if (&line == &lines.back()) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_EQ(pty.Drain(), "") << "sent on before the echo of " << line;
        ASSERT_TRUE(pty.Send(line.substr(line.size() - 1)));
    }
    ASSERT_TRUE(Idle()) << "the run never ended";
    EXPECT_EQ(Marks() + Told() + ScreenText(*state), "+-+-||||");  // the echo was off
}

// The capture's mark follows it; a failed write is told once: at the stop, on its own or at exit.
TEST_F(TransferTest, CaptureStartsStopsAndTellsOfFailuresOnce) {
    Toggle(ToggleCapture);  // cancelled
    const auto fill = [&] {
        Toggle(ToggleCapture, "/dev/full");
        state->captureFile.Append(uint8_t{'x'});
    };
    fill();
    Toggle(ToggleCapture);
    fill();
    state->captureFile.Flush();  // as the receive thread does after a burst
    EXPECT_FALSE(state->captureFile.IsOpen());
    host.RunPending();
    fill();
    state->captureFile.Flush();
    Toggle(ToggleCapture);  // before the failure reaches the UI thread
    Toggle(ToggleCapture, folder.Path("kept"));
    host.RunPending();
    EXPECT_TRUE(state->captureFile.IsOpen());
    Toggle(ToggleCapture);
    fill();
    ShutdownTransfers(*state, host);
    EXPECT_FALSE(state->captureFile.IsOpen());
    EXPECT_EQ(Marks(kCmdCapture), "+-+-+-+-+");
    const std::string full =
        "|Error|No space left on device. The capture has stopped after 0 bytes.\n";
    EXPECT_EQ(Told(), "LogFileClose Fail" + full + "WriteLogFile Failed" + full +
                          "LogFileClose Fail" + full + "CloseLogFile Failed" + full);
}

}  // namespace
}  // namespace vellor::testing
