// Send from File: the command, its messages, how a run ends, and the bytes on the wire.
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

constexpr uint8_t kMarker = 0xA5;

class SendTest : public ::testing::Test {
  protected:
    SendTest() { DefaultPortSettings(*state); }
    void TearDown() override {
        ShutdownTransfers(*state, host);
        ClosePort(*state, host);
    }

    // Picks `path` in the next chooser and runs Send from File.
    void Send(const std::string& path, const SendHooks& hooks = DefaultSendHooks()) {
        host.answers.push_back(path);
        ToggleSendWith(*state, host, hooks);
    }
    static SendHooks Opening(ScriptedFile& file) {
        SendHooks hooks = DefaultSendHooks();
        hooks.open = [&file](const std::string&) { return file.Open(); };
        return hooks;
    }
    void Stop() { ToggleSendWith(*state, host, DefaultSendHooks()); }
    bool RunUntilIdle() {
        return host.RunUntil([this] { return state->sending.load() == 0; });
    }
    std::vector<bool> Marks() { return host.ChecksOf(kCmdSend); }
    // The screen without its trailing empty rows.
    std::string Screen() {
        std::string text = ScreenText(*state);
        return text.erase(text.find_last_not_of('|') + 1);
    }
    bool OpenPortOn(const PtyPair& pty) {
        state->portName = pty.slavePath;
        return OpenPort(*state, host);
    }
    // What the far end received up to a marker the port writes after the send.
    std::string Wire(PtyPair& pty) {
        WritePortByte(*state, kMarker);
        std::string wire;
        while (wire.empty() || wire.back() != char(kMarker)) {
            const std::string more = pty.Receive(1);
            if (more.empty()) return wire + "<nothing more>";
            wire += more;
        }
        wire.pop_back();
        return wire;
    }

    SendProgress Progress() { return CurrentSendProgress(*state).value_or(SendProgress{}); }

    TempFolder folder;
    std::unique_ptr<AppState> state = MakeScreen(10, 40);
    FakeHost host;
};

// The chooser opens in the root folder with the three filters; a cancel changes nothing; files
// that cannot be opened, and a thread that cannot be made, say why and leave the item unchecked.
TEST_F(SendTest, StartingFailuresSayWhyAndLeaveNothingBehind) {
    ToggleSend(*state, host);  // cancelled
    ASSERT_EQ(host.requests.size(), 1u);
    EXPECT_EQ(host.requests[0].kind, FileRequest::Kind::Open);
    EXPECT_EQ(host.requests[0].title, "Open File to Send");
    EXPECT_EQ(host.requests[0].filters, TransferFilters());
    EXPECT_EQ(host.requests[0].startDir, "/");
    const std::pair<std::string, int> failures[] = {
        {folder.Path("none"), ENOENT}, {folder.path().string(), EISDIR}, {"", ENOENT}};
    for (const auto& [path, error] : failures) {
        Send(path);
        ASSERT_FALSE(host.messages.empty()) << path;
        EXPECT_EQ(host.messages.back().text, "OpenSendFile Failed");
        EXPECT_EQ(host.messages.back().caption, "Error");
        EXPECT_EQ(host.messages.back().detail, std::generic_category().message(error));
    }
    ScriptedFile file("abc");
    SendHooks hooks = Opening(file);
    hooks.launch = [](std::function<void()>) -> std::thread {
        throw std::system_error(EAGAIN, std::generic_category());
    };
    Send("x", hooks);
    EXPECT_EQ(host.messages.back().text, "CreateSendThread Failed");
    EXPECT_EQ(host.messages.back().detail, std::generic_category().message(EAGAIN));
    EXPECT_TRUE(file.Closed());
    EXPECT_EQ(file.Taken(), 0u);
    EXPECT_EQ(state->sending.load(), 0);
    EXPECT_TRUE(Marks().empty());
}

// The item is checked, then unchecked by the run's end in that order, even for an empty file;
// with the port closed the echo alone shows the file, and nothing of it reaches the capture.
TEST_F(SendTest, RunsEndByThemselvesAfterTheCommandsCheck) {
    WriteFile(folder.Path("empty"), "");
    Send(folder.Path("empty"));
    ASSERT_TRUE(RunUntilIdle()) << "the empty file never ended";
    EXPECT_EQ(Marks(), (std::vector<bool>{true, false}));

    state->echo = 1;
    state->txCapture = 1;
    host.answers.push_back(folder.Path("capture"));
    ToggleCapture(*state, host);
    WriteFile(folder.Path("shown"), "Hi\r\nthere");
    Send(folder.Path("shown"));
    ASSERT_TRUE(RunUntilIdle());
    EXPECT_EQ(Screen(), "Hi|there");
    ToggleCapture(*state, host);
    EXPECT_EQ(ReadFile(folder.Path("capture")), "");

    state->echo = 0;
    ScriptedFile quiet("nothing to see");
    Send("x", Opening(quiet));
    ASSERT_TRUE(RunUntilIdle());
    EXPECT_EQ(quiet.Taken(), 14u);  // read to its end all the same
    EXPECT_EQ(Screen(), "Hi|there");
    EXPECT_TRUE(host.messages.empty());
}

// A read that fails, or a file cut short, ends the send with "ReadFile Failed" over the view; the
// sender waits until it is dismissed; a close that fails says so; a file without a size sends
// nothing and says nothing; a named pipe never holds the command.
TEST_F(SendTest, FailuresWhileSendingAreShownAndEndTheRun) {
    state->echo = 1;
    ScriptedFile failing("abcdef");
    failing.FailReadAt(3);
    Send("x", Opening(failing));
    ASSERT_TRUE(WaitUntil([&] { return host.Pending() > 0; }));
    EXPECT_FALSE(failing.Closed());  // waiting for the message to be dismissed
    ASSERT_TRUE(RunUntilIdle());
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].owner, MessageOwner::View);
    EXPECT_EQ(host.messages[0].text, "ReadFile Failed");
    EXPECT_EQ(host.messages[0].caption, "Vellor Error");
    EXPECT_EQ(host.messages[0].detail, std::generic_category().message(EIO));
    EXPECT_EQ(Screen(), "abc");
    EXPECT_TRUE(failing.Closed());

    ScriptedFile shortened("abcdef");
    shortened.HoldAt(2);
    Send("x", Opening(shortened));
    ASSERT_TRUE(shortened.WaitUntilHeld());
    shortened.Truncate(2);
    shortened.Release();
    ASSERT_TRUE(RunUntilIdle());
    EXPECT_EQ(host.messages.back().text, "ReadFile Failed");

    ScriptedFile unclosable("ab");
    unclosable.FailClose(ENOSPC);
    Send("x", Opening(unclosable));
    ASSERT_TRUE(RunUntilIdle());
    EXPECT_EQ(host.messages.back().owner, MessageOwner::MainWindow);
    EXPECT_EQ(host.messages.back().text, "SendFileClose Failed");
    EXPECT_EQ(host.messages.back().detail, std::generic_category().message(ENOSPC));

    const std::size_t told = host.messages.size();
    ScriptedFile sizeless("abc");
    sizeless.RefuseSeek();
    Send("x", Opening(sizeless));
    ASSERT_TRUE(RunUntilIdle());
    ASSERT_EQ(mkfifo(folder.Path("pipe").c_str(), 0600), 0);
    Send(folder.Path("pipe"));  // returns although nobody writes into the pipe
    ASSERT_TRUE(RunUntilIdle());
    EXPECT_EQ(sizeless.Taken(), 0u);
    EXPECT_EQ(host.messages.size(), told);
    EXPECT_EQ(Marks().size() % 2, 0u);
}

// A stop unchecks at once and ends the run after the byte in hand; the end of a stopped run never
// touches the mark or the flag of a run started after it; a new run starts cleanly.
TEST_F(SendTest, StopsNeverClearANewerRun) {
    ScriptedFile first("0123456789");
    first.HoldAt(2);
    ScriptedFile second("abc");
    second.HoldAt(1);
    Send("first", Opening(first));
    ASSERT_TRUE(first.WaitUntilHeld());
    Stop();
    EXPECT_EQ(state->sending.load(), 0);
    Send("second", Opening(second));
    first.Release();
    ASSERT_TRUE(first.WaitUntilClosed());
    ASSERT_TRUE(second.WaitUntilHeld());
    host.RunPending();
    EXPECT_EQ(state->sending.load(), 1);
    EXPECT_EQ(Marks(), (std::vector<bool>{true, false, true}));
    second.Release();
    ASSERT_TRUE(RunUntilIdle());
    EXPECT_EQ(Marks(), (std::vector<bool>{true, false, true, false}));

    ScriptedFile ending("xyz");
    Send("x", Opening(ending));
    ASSERT_TRUE(ending.WaitUntilClosed());
    ASSERT_TRUE(WaitUntil([&] { return host.Pending() > 0; }));  // its end is on its way
    Stop();                                                      // the user stops first
    host.RunPending();
    EXPECT_EQ(Marks(), (std::vector<bool>{true, false, true, false, true, false}));
}

// Shutdown stops a send and leaves the menu alone; a message the sender waits on, queued or on
// screen, is given up without anything further shown, also when a newer run waits behind it.
TEST_F(SendTest, ShutdownNeverWaitsForTheUiThread) {
    ScriptedFile held("0123456789");
    held.HoldAt(4);
    Send("x", Opening(held));
    ASSERT_TRUE(held.WaitUntilHeld());
    std::thread release([&] {
        WaitUntil([&] { return state->sending.load() == 0; });
        held.Release();
    });
    ShutdownTransfers(*state, host);
    release.join();
    EXPECT_TRUE(held.Closed());
    host.RunPending();
    EXPECT_EQ(Marks(), std::vector<bool>{true});

    ScriptedFile queued("abc"), behind("def");
    queued.FailReadAt(0);
    Send("x", Opening(queued));
    ASSERT_TRUE(WaitUntil([&] { return host.Pending() > 0; }));
    Stop();
    Send("y", Opening(behind));
    ShutdownTransfers(*state, host);
    EXPECT_TRUE(queued.Closed() && behind.Closed());
    EXPECT_EQ(behind.Taken(), 0u);
    host.RunPending();
    EXPECT_TRUE(host.messages.empty());

    ScriptedFile shown("abc");
    shown.FailReadAt(1);
    shown.FailClose(EIO);  // its close message would come next: it must not
    host.onMessage = [&] { ShutdownTransfers(*state, host); };
    Send("z", Opening(shown));
    ASSERT_TRUE(host.RunUntil([&] { return !host.messages.empty(); }));
    host.onMessage = nullptr;
    host.RunPending();
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "ReadFile Failed");
}

// Every byte value reaches the port as it is; with TX CR->CR LF each CR is followed by LF on the
// wire and in the echo; what a stopped run read but had not written stays unsent; a send started
// right after a stop follows the first one's end; typed bytes interleave.
TEST_F(SendTest, BytesOnTheWire) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    ASSERT_TRUE(OpenPortOn(pty));
    std::string all;
    for (int round = 0; round < 40; ++round)
        for (int v = 0; v < 256; ++v)
            if (v != kMarker) all += char(v);
    WriteFile(folder.Path("all"), all);
    Send(folder.Path("all"));
    ASSERT_TRUE(RunUntilIdle());
    EXPECT_EQ(Wire(pty), all);

    state->txCrLf = 1;
    state->echo = 1;
    WriteFile(folder.Path("lines"), "AB\r\nC\r\n");
    Send(folder.Path("lines"));
    ASSERT_TRUE(RunUntilIdle());
    EXPECT_EQ(Wire(pty), "AB\r\n\nC\r\n\n");
    EXPECT_EQ(Screen(), "AB||C");
    state->echo = 0;

    ScriptedFile stopped("0123\r56789");
    stopped.HoldAt(4);  // the CR
    Send("x", Opening(stopped));
    ASSERT_TRUE(stopped.WaitUntilHeld());
    Stop();
    WriteFile(folder.Path("next"), "abc");
    Send(folder.Path("next"));
    WritePortByte(*state, 'K');  // typed meanwhile
    stopped.Release();
    ASSERT_TRUE(RunUntilIdle());
    EXPECT_EQ(Wire(pty), "Kabc");
    EXPECT_TRUE(host.messages.empty());
}

// A line held off by a far end that reads nothing: the send waits without losing a byte. Closing
// the port meanwhile drops the rest; the file is read to its end and nothing more is written,
// not even into a file that takes the port's descriptor number.
TEST_F(SendTest, AHeldOffLineLosesNothingUntilThePortCloses) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    ASSERT_TRUE(OpenPortOn(pty));
    std::string text;  // far more than the line holds while nobody reads
    for (int i = 0; i < 20000; ++i)
        text += "line " + std::to_string(i) + "\r\n";
    WriteFile(folder.Path("text"), text);
    for (const bool close : {false, true}) {
        Send(folder.Path("text"));
        ASSERT_TRUE(WaitUntil([&] { return Progress().heldOff; })) << "never held off";
        if (!close) {
            EXPECT_TRUE(pty.Receive(text.size()) == text);
            ASSERT_TRUE(RunUntilIdle());
            continue;
        }
        const uint64_t taken = state->traffic.sent;
        ClosePort(*state, host);
        const int fd =
            ::open(folder.Path("bystander").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
        ASSERT_GE(fd, 0);
        ASSERT_TRUE(RunUntilIdle());
        ::close(fd);
        EXPECT_EQ(ReadFile(folder.Path("bystander")), "");
        ASSERT_TRUE(OpenPortOn(pty));
        // Closing drops what the line still held; nothing else is missing or added.
        const std::string wire = Wire(pty);
        EXPECT_LE(wire.size(), taken);
        EXPECT_TRUE(text.starts_with(wire));
    }
    EXPECT_EQ(Marks(), (std::vector<bool>{true, false, true, false}));
    EXPECT_TRUE(host.messages.empty());
}

// A paste goes out as typed, through the send thread: every line break as CR and, with TX CR->CR
// LF, LF; the same bytes reach the echo and the capture; the item is checked meanwhile.
TEST_F(SendTest, APasteGoesOutAsTyped) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    ASSERT_TRUE(OpenPortOn(pty));
    state->echo = 1;
    state->txCrLf = 1;
    state->txCapture = 1;
    host.answers.push_back(folder.Path("capture"));
    ToggleCapture(*state, host);
    PasteText(*state, host, "one\r\ntwo\rthr\u00e9e\nfour");
    ASSERT_TRUE(RunUntilIdle());
    EXPECT_EQ(Wire(pty),
              "one\r\ntwo\r\nthr\xe9"
              "e\r\nfour");
    EXPECT_EQ(Screen(),
              "one|two|thr\xe9"
              "e|four");
    ToggleCapture(*state, host);
    EXPECT_EQ(ReadFile(folder.Path("capture")),
              "one\r\ntwo\r\nthr\xe9"
              "e\r\nfour");
    EXPECT_EQ(Marks(), (std::vector<bool>{true, false}));
    EXPECT_TRUE(host.messages.empty());
}

// A paste that cannot be typed, or comes while a send runs, is refused whole and says why.
TEST_F(SendTest, RefusedPastesSendNothing) {
    state->echo = 1;
    PasteText(*state, host, "ok\r\n\u00ff\u20ac");
    ScriptedFile file("abc");
    file.HoldAt(0);
    Send("x", Opening(file));
    PasteText(*state, host, "x");
    file.Release();
    ASSERT_TRUE(RunUntilIdle());
    EXPECT_EQ(Screen(), "abc");
    ASSERT_EQ(host.messages.size(), 2u);
    EXPECT_EQ(host.messages[0].detail,
              "The character \"\u20ac\" (U+20AC) at position 6 (line 2, column 2) cannot be "
              "typed as one byte. Nothing was sent.");
    for (const auto& message : host.messages)
        EXPECT_EQ(message.text + "/" + message.caption, "Paste Failed/Error");
}

// Paced, with the echo of each line's end awaited: the far end gets each line whole and nothing
// of the next until it echoes, and everything in order. The time-out is long enough that only
// the echo lets a send go on.
TEST_F(SendTest, APacedSendWaitsForEachLinesEcho) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    ASSERT_TRUE(OpenPortOn(pty));
    state->preferences.pacing = {1, 2, true, kMaxPacingMs};
    const std::vector<std::string> lines = {"ab\n", "cd\r\n", "ef\r", "gh\r\n", "end"};
    std::string text;
    for (const std::string& line : lines)
        text += line;
    WriteFile(folder.Path("paced"), text);
    Send(folder.Path("paced"));
    for (const std::string& line : lines) {
        ASSERT_EQ(pty.Receive(line.size()), line);
        if (&line == &lines.back()) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_EQ(pty.Drain(), "") << "sent on before the echo of " << line;
        ASSERT_TRUE(pty.Send(line.substr(line.size() - 1)));
    }
    ASSERT_TRUE(RunUntilIdle());
}

// A line held off by flow control: the send waits and says so; a stop ends the wait and nothing
// more is written; a write that fails ends the send and says how many bytes went out.
TEST_F(SendTest, AHeldLineWaitsForTheUserAndAFailingOneEndsTheSend) {
    auto device = std::make_shared<FakeSerialDevice>();
    ASSERT_TRUE(OpenPortWith(*state, host, [&](const std::string&, int&) { return device; }));
    device->holdWrites = true;
    ScriptedFile stopped("0123456789");
    Send("x", Opening(stopped));
    ASSERT_TRUE(WaitUntil([&] { return Progress().heldOff; }));
    EXPECT_EQ(Progress().sent, 0u);
    EXPECT_EQ(Progress().total, 10u);
    Stop();
    ASSERT_TRUE(stopped.WaitUntilClosed());
    device->holdWrites = false;

    state->txCrLf = 1;
    const std::pair<std::size_t, const char*> failures[] = {{3, "2 of 5"}, {4 + 3, "3 of 5"}};
    for (const auto& [taken, told] : failures) {
        device->failWritesAfter = taken;
        ScriptedFile failing("ab\rcd");
        Send("x", Opening(failing));
        ASSERT_TRUE(RunUntilIdle());
        ASSERT_FALSE(host.messages.empty());
        EXPECT_EQ(host.messages.back().text + "/" + host.messages.back().caption,
                  "WritePort Failed/Error");
        EXPECT_EQ(host.messages.back().detail,
                  std::generic_category().message(EIO) + ". " + told + " bytes were sent.");
    }
    ClosePort(*state, host);
    EXPECT_EQ(std::string(device->written.begin(), device->written.end()), "ab\rab\r\n");
}

}  // namespace
}  // namespace vellor::testing
