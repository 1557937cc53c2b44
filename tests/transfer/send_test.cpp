// The transfer commands (Send from File, Paste, Capture to File): their messages, how runs end,
// and the bytes on the wire.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <system_error>
#include <thread>

#include "app/command_ids.h"
#include "serial/line_defaults.h"
#include "serial/port_connection.h"
#include "support/fake_serial_device.h"
#include "support/pty_pair.h"
#include "support/screen_fixture.h"
#include "support/scripted_file.h"
#include "support/temp_folder.h"
#include "transfer/capture_command.h"
#include "transfer/paste.h"
#include "transfer/send_command.h"
#include "transfer/transfer_shutdown.h"

namespace vellor::testing {
namespace {

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
    // Send from File on a file of `content`, or on a scripted file.
    void Send(const std::string& content) {
        WriteFile(folder.Path("file"), content);
        Toggle(ToggleSend, folder.Path("file"));
    }
    void Send(ScriptedFile& file, ThreadLauncher launch = DefaultSendHooks().launch) {
        host.answers.push_back("scripted");
        ToggleSendWith(*state, host, {[&file](const std::string&) { return file.Open(); }, launch});
    }
    SendProgress Progress() { return CurrentSendProgress(*state).value_or(SendProgress{}); }
    bool Idle() {
        return host.RunUntil([this] { return state->sending.load() == 0; });
    }
    // A menu item's check marks so far: "+" checked, "-" unchecked.
    std::string Marks(int id = kCmdSend) {
        std::string marks;
        for (const bool checked : host.ChecksOf(id))
            marks += checked ? '+' : '-';
        return marks;
    }
    // The messages shown since the last call, a line each.
    std::string Told() {
        std::string told;
        for (const auto& m : host.messages)
            told += (m.owner == MessageOwner::View ? "view:" : "") + m.text + "|" + m.caption +
                    "|" + m.detail + "\n";
        host.messages.clear();
        return told;
    }
    void OpenDevice() {
        ASSERT_TRUE(
            OpenPortWith(*state, host, [this](const std::string&, int&) { return device; }));
    }
    // What the device took, once the port is closed.
    std::string Written() {
        ClosePort(*state, host);
        return {device->written.begin(), device->written.end()};
    }

    TempFolder folder;
    std::shared_ptr<FakeSerialDevice> device = std::make_shared<FakeSerialDevice>();
    std::unique_ptr<AppState> state = MakeScreen(5, 40);
    FakeHost host;
};

// Files that cannot be opened (a pipe without a reader, for the capture) and threads that cannot
// be made say why; a failed read, write or close ends a send and says why once what was read went
// out (shown by the echo alone with no port open); a pipe never holds Send, and has no size.
TEST_F(TransferTest, FailuresSayWhyAndEndTheRun) {
    Toggle(ToggleSend);  // cancelled
    EXPECT_EQ(host.requests.at(0).startDir, "/");
    ASSERT_EQ(mkfifo(folder.Path("pipe").c_str(), 0600), 0);
    for (const std::string& path :
         {folder.Path("none/x"), folder.path().string(), folder.Path("pipe")}) {
        Toggle(ToggleCapture, path);
        Toggle(ToggleSend, path);
    }
    ASSERT_TRUE(Idle()) << "the pipe's run never ended";
    ScriptedFile unstarted({.content = "abc"});
    Send(unstarted, [](std::function<void()>) -> std::thread {
        throw std::system_error(EAGAIN, std::generic_category());
    });
    EXPECT_TRUE(unstarted.Now().closed);
    state->echo = 1;
    for (const ScriptedFile::Script& script :
         {ScriptedFile::Script{.content = "abcdef", .failAt = 3},
          {.content = "abc", .missing = 3},
          {.content = "abc", .closeError = ENOSPC}}) {
        ScriptedFile file(script);
        Send(file);
        ASSERT_TRUE(Idle()) << "the run never ended";
        EXPECT_TRUE(file.Now().closed);
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
              "CreateLogFile Failed|Error|No such file or directory\n"
              "OpenSendFile Failed|Error|No such file or directory\n"
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
}

// Every byte reaches the port as it is, each CR with LF after it on the wire and in the echo as TX
// CR->CR LF says. A stopped run sends nothing more and never ends the run after it, which follows
// it, typed bytes between them; a run stopped before its end reaches the UI is unchecked once.
TEST_F(TransferTest, BytesOnTheWireAndStopsBetweenRuns) {
    OpenDevice();
    std::string all;
    for (int v = 0; v < 256 * 40; ++v)
        all += char(v);
    Send(all);
    ASSERT_TRUE(Idle()) << "the run never ended";
    state->txCrLf = state->echo = 1;
    Send("AB\r\nC\r\n");
    ASSERT_TRUE(Idle()) << "the run never ended";
    EXPECT_EQ(ScreenText(*state), "AB||C||");  // nothing of the first file: the echo was off
    ScriptedFile stopped({.content = "0123\r56789", .holdAt = 4});
    Send(stopped);
    ASSERT_TRUE(WaitUntil([&] { return stopped.Now().held; })) << "the run never read";
    Toggle(ToggleSend);
    Send("abc");
    WritePortByte(*state, 'K');
    stopped.Release();
    ASSERT_TRUE(Idle()) << "the run never ended";
    Send("xyz");
    ASSERT_TRUE(WaitUntil([&] { return host.Pending() > 0; })) << "the run never ended";
    Toggle(ToggleSend);
    host.RunPending();
    EXPECT_EQ(Marks(), "+-+-+-+-+-");
    EXPECT_EQ(Written(), all + "AB\r\n\nC\r\n\nKabcxyz");
}

// Shutdown gives up a message the sender waits on (queued, with a run behind, or up) without
// waiting for the UI thread; nothing more is shown and the menu is left alone.
TEST_F(TransferTest, ShutdownNeverWaitsForTheUiThread) {
    state->echo = 1;
    ScriptedFile queued({.content = "abc", .failAt = 0}), behind({.content = "def"});
    Send(queued);
    ASSERT_TRUE(WaitUntil([&] { return host.Pending() > 0; })) << "the read never failed";
    EXPECT_FALSE(queued.Now().closed);  // the sender waits until its message is dismissed
    Toggle(ToggleSend);
    Send(behind);
    EXPECT_TRUE(FinishesWithin(
        kPatience, [&] { ShutdownTransfers(*state, host); }, [&] { host.RunPending(); }))
        << "shutdown waited for a message to be dismissed";
    EXPECT_TRUE(queued.Now().closed && behind.Now().closed);
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

// A line held off by a far end that reads nothing: the send waits and says so, losing no byte
// once the far end reads, until the port closes. Paced with each line's echo awaited, the far end
// gets each line whole, in order, and nothing of the next until it echoes.
TEST_F(TransferTest, TheFarEndSetsThePaceAndNothingIsLost) {
    PtyPair pty;
    state->portName = pty.slavePath;
    ASSERT_TRUE(pty.ok() && OpenPort(*state, host));
    std::string text;  // far more than the line holds while nobody reads
    for (int i = 0; i < 20000; ++i)
        text += "line " + std::to_string(i) + "\r\n";
    for (const bool close : {false, true}) {
        Send(text);
        ASSERT_TRUE(WaitUntil([&] { return Progress().heldOff; })) << "not held";
        EXPECT_EQ(Progress().total, text.size());
        if (close) {
            ClosePort(*state, host);  // drops the rest
        } else {
            EXPECT_TRUE(pty.Receive(text.size()) == text);
        }
        ASSERT_TRUE(Idle()) << "the run never ended";
    }
    ASSERT_TRUE(OpenPort(*state, host));
    WritePortByte(*state, '#');  // behind what the line held when it closed: a part of the text
    std::string held;
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
    EXPECT_EQ(Marks(), "+-+-+-");
    EXPECT_EQ(Told(), "");
}

// A paste goes out as typed through the send thread to the wire, the echo and the capture (which a
// file send never reaches); one that cannot be typed, or comes while a send runs, is refused.
TEST_F(TransferTest, APasteGoesOutAsTypedOrNotAtAll) {
    OpenDevice();
    state->echo = state->txCrLf = state->txCapture = 1;
    Toggle(ToggleCapture, folder.Path("capture"));
    PasteText(*state, host, "ok\r\n\u00ff\u20ac");
    PasteText(*state, host, "one\r\ntwo\rthr\u00e9\nfour");
    PasteText(*state, host, "x");
    ASSERT_TRUE(Idle()) << "the paste never ended";
    Send("!");
    ASSERT_TRUE(Idle()) << "the run never ended";
    Toggle(ToggleCapture);
    const std::string typed = "one\r\ntwo\r\nthr\xe9\r\nfour";
    EXPECT_EQ(Written(), typed + "!");
    EXPECT_EQ(ReadFile(folder.Path("capture")), typed);
    EXPECT_EQ(ScreenText(*state), "one|two|thr\xe9|four!|");
    EXPECT_EQ(Marks(), "+-+-");
    EXPECT_EQ(Told(),
              "Paste Failed|Error|The character \"\u20ac\" (U+20AC) at position 6 (line 2, column "
              "2) cannot be typed as one byte. Nothing was sent.\n"
              "Paste Failed|Error|A send is under way. Paste again when it has ended, or stop it "
              "with Send from File.\n");
}

// The capture's mark follows it; bytes it cannot store are told of once: at the stop, when a
// write fails (unless the user stopped first: a newer capture stays) and at shutdown.
TEST_F(TransferTest, CaptureStartsStopsAndTellsOfFailuresOnce) {
    Toggle(ToggleCapture);
    EXPECT_EQ(host.requests.at(0).kind, FileRequest::Kind::Save);
    EXPECT_EQ(host.requests[0].filters,
              (std::vector<std::string>{"Log (*.log)", "Text (*.txt)", "All (*.*)"}));
    EXPECT_EQ(host.requests[0].startDir, "");
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
    ShutdownTransfers(*state, host);  // nothing open: nothing to tell
    EXPECT_FALSE(state->captureFile.IsOpen());
    EXPECT_EQ(Marks(kCmdCapture), "+-+-+-+-+");
    const std::string full =
        "|Error|No space left on device. The capture has stopped after 0 bytes.\n";
    EXPECT_EQ(Told(), "LogFileClose Fail" + full + "WriteLogFile Failed" + full +
                          "LogFileClose Fail" + full + "CloseLogFile Failed" + full);
}

}  // namespace
}  // namespace vellor::testing
