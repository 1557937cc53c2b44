// Open Port and Close, the receive thread, and the whole link through a pseudo-terminal and the
// built-in loopback device.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "app/command_ids.h"
#include "serial/device_names.h"
#include "serial/line_defaults.h"
#include "serial/port_connection.h"
#include "serial/posix_serial_device.h"
#include "serial/receive_thread.h"
#include "support/fake_serial_device.h"
#include "support/pty_pair.h"
#include "support/screen_fixture.h"
#include "support/temp_folder.h"
#include "transfer/capture_command.h"

namespace vellor::testing {
namespace {

namespace fs = std::filesystem;

class PortTest : public ::testing::Test {
  protected:
    void SetUp() override {
        state = MakeScreen(300, 100, DisplayMode::Hex);
        DefaultPortSettings(*state);
    }
    void TearDown() override { ClosePort(*state, host); }

    bool OpenFake() {
        return OpenPortWith(*state, host, [this](const std::string&, int& error) {
            error = 0;
            return device;
        });
    }
    bool OpenName(const std::string& name) {
        state->portName = name;
        return OpenPort(*state, host);
    }
    // Whether the screen shows exactly what these bytes, shown one by one, would.
    bool Shows(const std::string& bytes) {
        auto reference = MakeScreen(300, 100, state->displayMode);
        Feed(*reference, bytes);
        return ScreenText(*state) == ScreenText(*reference);
    }

    std::unique_ptr<AppState> state;
    FakeHost host;
    std::shared_ptr<FakeSerialDevice> device = std::make_shared<FakeSerialDevice>();
};

// Title, the Open Port mark and the boxes follow the port; the indicators show the lines as read
// at opening and keep them at the close; DTR and RTS follow their boxes.
TEST_F(PortTest, OpenAndCloseKeepTitleMarkAndBoxesInStep) {
    device->status = kMsCtsOn | kMsRlsdOn;
    state->portName = "fake";
    ASSERT_TRUE(OpenFake());
    EXPECT_EQ(state->portOpen, 1);
    EXPECT_EQ(host.title, "VL: fake");
    EXPECT_EQ(host.ChecksOf(kCmdOpenPort), std::vector<bool>{true});
    EXPECT_TRUE(device->dtr && device->rts);
    for (ModemBox box : {ModemBox::Dtr, ModemBox::Rts, ModemBox::Cts, ModemBox::Cd})
        EXPECT_TRUE(host.BoxChecked(box)) << int(box);
    EXPECT_FALSE(host.BoxChecked(ModemBox::Dsr));

    host.SetBoxCheck(ModemBox::Dtr, false);  // the user's tap flipped it
    ToggleDtr(*state, host);
    host.SetBoxCheck(ModemBox::Rts, false);
    ToggleRts(*state, host);
    EXPECT_FALSE(device->dtr || device->rts);
    host.SetBoxCheck(ModemBox::Dtr, true);
    ToggleDtr(*state, host);
    EXPECT_TRUE(device->dtr);
    device->configureError = EINVAL;
    ApplyPortConfig(*state);  // silent
    EXPECT_EQ(device->configured.size(), 2u);

    state->portName = "renamed";  // the title keeps the name the port was opened with
    TogglePort(*state, host);
    EXPECT_EQ(state->portOpen, 0);
    EXPECT_EQ(host.title, "Vellor");
    EXPECT_EQ(host.ChecksOf(kCmdOpenPort), (std::vector<bool>{true, false}));
    EXPECT_FALSE(host.BoxChecked(ModemBox::Dtr) || host.BoxChecked(ModemBox::Rts));
    EXPECT_TRUE(host.BoxChecked(ModemBox::Cts));
    EXPECT_EQ(device->closes, 1);
    EXPECT_EQ(state->receiveThread, nullptr);
    EXPECT_TRUE(host.messages.empty());

    ToggleDtr(*state, host);  // closed: the box alone flips
    ApplyPortConfig(*state);
    EXPECT_EQ(device->configured.size(), 2u);
}

// Each refusal shows its message once, with the system's reason first and then what it means,
// and leaves no device held: the settings are corrected and the next open works.
TEST_F(PortTest, RefusalsShowOneMessageAndHoldNothing) {
    TempFolder folder;
    WriteFile(folder.Path("plain"), "not a device");
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    int error = 0;
    auto holder = PosixSerialDevice::Open(pty.slavePath, error);
    ASSERT_NE(holder, nullptr);
    const struct {
        std::string name;
        std::string detail;
    } refusals[] = {
        {"COM0", "No such file or directory. \"COM0\" names no device."},
        {"/dev/vellor-no-such-device",
         "No such file or directory. /dev/vellor-no-such-device is not present."},
        {folder.Path("plain"),
         "Inappropriate ioctl for device. " + folder.Path("plain") + " is not a serial device."},
        {"tcp://127.0.0.1:1",
         "Connection refused. Nothing listens at 127.0.0.1:1: is the port server running?"},
        {pty.slavePath, "Device or resource busy. " + pty.slavePath +
                            " is in use by test_serial (process " + std::to_string(::getpid()) +
                            ")."},
    };
    for (const auto& refusal : refusals) {
        host.messages.clear();
        EXPECT_FALSE(OpenName(refusal.name));
        ASSERT_EQ(host.messages.size(), 1u) << refusal.name;
        EXPECT_EQ(host.messages[0].text, "OpenPort Failed");
        EXPECT_EQ(host.messages[0].caption, "Error");
        EXPECT_EQ(host.messages[0].detail.substr(0, refusal.detail.size()), refusal.detail);
    }
    holder->Close();

    device->configureError = EINVAL;
    host.onMessage = [&] { EXPECT_EQ(device->closes, 0) << "released before the message"; };
    EXPECT_FALSE(OpenFake());
    EXPECT_EQ(host.messages.back().text, "ConfigPort Failed");
    EXPECT_EQ(device->closes, 1);
    EXPECT_FALSE(PortIsOpen(*state));
    EXPECT_EQ(host.title, "Vellor");
    EXPECT_TRUE(host.boxes.empty());
    EXPECT_TRUE(host.ChecksOf(kCmdOpenPort).empty());

    host.onMessage = nullptr;
    state->portConfig.SetByteSize(4);
    EXPECT_FALSE(OpenName(pty.slavePath));
    EXPECT_EQ(host.messages.back().text, "ConfigPort Failed");
    EXPECT_EQ(host.messages.back().detail,
              "Invalid argument. No device takes 4 data bits (5 to 8).");
    state->portConfig.SetByteSize(8);
    EXPECT_TRUE(OpenName(pty.slavePath));
}

// A flood never keeps the receiver from stopping, and it reads at most 4 KiB at a time; the
// modem lines are reported only when they change; a lost device is reported once, and ends it.
TEST_F(PortTest, ReceiveThreadStopsReportsChangesAndLosses) {
    device->flood = true;
    state->rxCapture = 0;
    ASSERT_TRUE(OpenFake());
    ASSERT_TRUE(WaitUntil([&] { return device->reads > 50; })) << "no reads";
    ClosePort(*state, host);
    EXPECT_EQ(device->largestRead, 4096u);

    auto quiet = std::make_shared<FakeSerialDevice>();
    std::mutex mutex;
    std::vector<uint32_t> reported;
    std::atomic<int> lost{0};
    ReceiveThread::Events events;
    events.modemStatusChanged = [&](uint32_t status) {
        std::lock_guard lock(mutex);
        reported.push_back(status);
    };
    {
        ReceiveThread receiver(*state, quiet, events);
        ASSERT_TRUE(WaitUntil([&] { return quiet->waits >= 3; }));
        quiet->status = kMsDsrOn;
        ASSERT_TRUE(WaitUntil([&] {
            std::lock_guard lock(mutex);
            return reported.size() >= 2;
        })) << "the change was never reported";
        const int waits = quiet->waits;
        ASSERT_TRUE(WaitUntil([&] { return quiet->waits >= waits + 3; }));
    }
    EXPECT_EQ(reported, (std::vector<uint32_t>{0, kMsDsrOn}));

    auto dying = std::make_shared<FakeSerialDevice>();
    dying->loseWithError = EIO;
    events.deviceLost = [&](int error) { lost += error == EIO ? 1 : 100; };
    ReceiveThread receiver(*state, dying, events);
    ASSERT_TRUE(WaitUntil([&] { return lost > 0; })) << "the loss was never reported";
    receiver.Stop();
    EXPECT_EQ(lost, 1);
    EXPECT_EQ(dying->reads, 1);
}

// What the far end sends is on the screen and in the capture file (flushed by the receiver, not
// by the close); what is written reaches the far end, two writers' bytes interleave whole, and
// nothing is written once the port is closed; settings read back exactly.
TEST_F(PortTest, PseudoTerminalEndToEnd) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    TempFolder folder;
    state->rxCrLf = 1;
    ASSERT_TRUE(state->captureFile.Open(folder.Path("capture.log")));
    state->portConfig.SetBaudRate(128000);
    ASSERT_TRUE(OpenName(pty.slavePath));
    std::string sent;
    for (int line = 0; line < 40; ++line)
        sent += "line " + std::to_string(line) + "\r\n";
    for (int b = 0; b < 256; ++b)
        sent += char(b);
    std::string expected;
    for (char c : sent)
        expected += c == '\r' ? std::string("\r\n") : std::string(1, c);
    ASSERT_TRUE(pty.Send(sent));
    EXPECT_TRUE(host.RunUntil([&] { return ReadFile(folder.Path("capture.log")) == expected; }))
        << "captured " << ReadFile(folder.Path("capture.log")).size() << " bytes";
    EXPECT_TRUE(Shows(expected));

    state->portConfig.SetBaudRate(0);
    ReadPortConfig(*state);
    EXPECT_EQ(state->portConfig.BaudRate(), 128000u);

    std::thread other([&] {
        for (int i = 0; i < 2000; ++i)
            WritePortByte(*state, 'S');
    });
    for (int i = 0; i < 2000; ++i)
        WritePortByte(*state, 'k');
    const std::string wire = pty.Receive(4000);
    other.join();
    EXPECT_EQ(std::count(wire.begin(), wire.end(), 'S'), 2000);
    EXPECT_EQ(std::count(wire.begin(), wire.end(), 'k'), 2000);
    ClosePort(*state, host);
    WritePortByte(*state, 'z');
    EXPECT_EQ(pty.Drain(), "");
    EXPECT_TRUE(host.messages.empty());
}

// With reconnecting off, a lost device closes the port and says so once; a loss the user beat
// with Close Port says nothing.
TEST_F(PortTest, UnpluggedDeviceClosesThePortOnceWhenNotReconnecting) {
    state->preferences.reconnect = false;
    for (const bool userClosesFirst : {false, true}) {
        PtyPair pty;
        ASSERT_TRUE(pty.ok());
        host.messages.clear();
        ASSERT_TRUE(OpenName(pty.slavePath));
        pty.CloseMaster();
        if (userClosesFirst) {
            ASSERT_TRUE(WaitUntil([&] { return host.Pending() > 0; })) << "the loss never came";
            ClosePort(*state, host);
            host.RunPending();
            EXPECT_TRUE(host.messages.empty());
            continue;
        }
        ASSERT_TRUE(host.RunUntil([&] { return !PortIsOpen(*state); })) << "still open";
        EXPECT_EQ(state->portOpen, 0);
        EXPECT_EQ(host.title, "Vellor");
        EXPECT_FALSE(host.BoxChecked(ModemBox::Dtr));
        ASSERT_EQ(host.messages.size(), 1u);
        EXPECT_EQ(host.messages[0].text, "ReadPort Failed");
        EXPECT_NE(host.messages[0].detail.find(". The device went away"), std::string::npos);
    }
}

// An adapter behind a stable link is unplugged (far end gone, link removed) and plugged in again
// as another node behind the same link: the port stays open for the user, waits without a word,
// then carries on with the new device, and the capture holds what came before and after.
TEST_F(PortTest, ReplugBehindTheSameLinkReopensAndTheCaptureStaysWhole) {
    TempFolder folder;
    const std::string link = folder.Path("usb-Vellor_Adapter-if00-port0");
    auto pty = std::make_unique<PtyPair>();
    ASSERT_TRUE(pty->ok());
    fs::create_symlink(pty->slavePath, link);
    host.answers.push_back(folder.Path("capture.log"));
    ToggleCapture(*state, host);
    ASSERT_TRUE(OpenName(link));
    ASSERT_TRUE(pty->Send("before|"));
    ASSERT_TRUE(WaitUntil([&] { return Shows("before|"); })) << "nothing arrived";

    pty.reset();
    fs::remove(link);
    ASSERT_TRUE(host.RunUntil([&] { return state->portWaiter != nullptr; })) << "not waiting";
    EXPECT_EQ(host.title, "VL: " + link + " (waiting for device)");
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(state->portOpen, 1);
    EXPECT_EQ(host.ChecksOf(kCmdOpenPort), std::vector<bool>{true});
    EXPECT_EQ(state->receiveThread, nullptr);
    EXPECT_FALSE(PortIsOpen(*state));
    host.SetBoxCheck(ModemBox::Rts, false);  // flipped while waiting: the new device follows

    pty = std::make_unique<PtyPair>();
    ASSERT_TRUE(pty->ok());
    fs::create_symlink(pty->slavePath, link);
    ASSERT_TRUE(host.RunUntil([&] { return PortIsOpen(*state); })) << "never reopened";
    EXPECT_EQ(host.title, "VL: " + link);
    EXPECT_EQ(state->portWaiter, nullptr);
    ASSERT_TRUE(pty->Send("after"));
    WritePortByte(*state, 'k');
    EXPECT_EQ(pty->Receive(1), "k");
    ASSERT_TRUE(WaitUntil([&] { return Shows("before|after"); })) << "nothing arrived";
    ToggleCapture(*state, host);
    EXPECT_EQ(ReadFile(folder.Path("capture.log")), "before|after");
    EXPECT_TRUE(host.messages.empty());

    // Lost again, then closed while waiting: the wait ends with the port.
    pty.reset();
    ASSERT_TRUE(host.RunUntil([&] { return state->portWaiter != nullptr; })) << "not waiting";
    ClosePort(*state, host);
    EXPECT_EQ(state->portWaiter, nullptr);
    EXPECT_EQ(state->portOpen, 0);
    EXPECT_EQ(host.title, "Vellor");
}

std::size_t CountEntries(const char* dir) {
    return std::size_t(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}

// A hundred opens and closes leave no thread or descriptor behind; writers on two threads that
// keep writing while the port closes never reach the files that take the freed numbers.
TEST_F(PortTest, ClosingLeavesNothingBehindAndNeverWritesToAReusedDescriptor) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    state->portName = pty.slavePath;
    // One cycle first: the first thread a process starts may bring helpers of the runtime along.
    TogglePort(*state, host);
    TogglePort(*state, host);
    const std::size_t fds = CountEntries("/proc/self/fd");
    const std::size_t threads = CountEntries("/proc/self/task");
    for (int i = 0; i < 100; ++i) {
        TogglePort(*state, host);
        ASSERT_TRUE(PortIsOpen(*state) && state->receiveThread) << host.messages.size();
        TogglePort(*state, host);
        ASSERT_FALSE(PortIsOpen(*state));
    }
    EXPECT_EQ(CountEntries("/proc/self/fd"), fds);
    EXPECT_TRUE(WaitUntil([&] { return CountEntries("/proc/self/task") == threads; }));

    TempFolder folder;
    for (int round = 0; round < 20; ++round) {
        ASSERT_TRUE(OpenPort(*state, host));
        std::atomic<bool> stop{false};
        std::atomic<long> writes{0};
        auto writer = [&](uint8_t byte) {
            while (!stop) {
                WritePortByte(*state, byte);
                ++writes;
            }
        };
        std::thread keyboard(writer, uint8_t('k')), sender(writer, uint8_t('s'));
        std::thread drain([&] {
            while (!stop)
                pty.Receive(1 << 20, std::chrono::milliseconds(5));
        });
        ASSERT_TRUE(WaitUntil([&] { return writes > 200; }));
        ClosePort(*state, host);
        std::vector<int> files;
        for (int i = 0; i < 4; ++i)
            files.push_back(open(folder.Path(std::to_string(i)).c_str(),
                                 O_CREAT | O_TRUNC | O_WRONLY | O_CLOEXEC, 0600));
        const long afterClose = writes;
        ASSERT_TRUE(WaitUntil([&] { return writes > afterClose + 2000; }));
        stop = true;
        keyboard.join();
        sender.join();
        drain.join();
        for (int fd : files) {
            struct stat st {};
            fstat(fd, &st);
            EXPECT_EQ(st.st_size, 0) << "round " << round;
            close(fd);
        }
    }
}

// LOOP is wired as a plug: written bytes come back, DTR drives DSR and CD, RTS drives CTS, a break
// is received; it refuses what a real port refuses.
TEST_F(PortTest, LoopbackDeviceActsAsAPlug) {
    state->portConfig.SetStopBits(1);
    EXPECT_FALSE(OpenName("loop"));
    EXPECT_EQ(host.messages.back().text, "ConfigPort Failed");
    state->portConfig.SetStopBits(0);
    ASSERT_TRUE(OpenName("loop"));
    EXPECT_EQ(host.title, "VL: loop");
    auto shows = [&](bool dsr, bool cts, bool cd) {
        return host.RunUntil([&] {
            return host.BoxChecked(ModemBox::Dsr) == dsr && host.BoxChecked(ModemBox::Cts) == cts &&
                   host.BoxChecked(ModemBox::Cd) == cd && !host.BoxChecked(ModemBox::Ri);
        });
    };
    EXPECT_TRUE(shows(true, true, true));
    host.SetBoxCheck(ModemBox::Dtr, false);
    ToggleDtr(*state, host);
    EXPECT_TRUE(shows(false, true, false)) << "DTR dropped";
    host.SetBoxCheck(ModemBox::Rts, false);
    ToggleRts(*state, host);
    EXPECT_TRUE(shows(false, false, false)) << "RTS dropped";
    for (char c : std::string("hi there"))
        WritePortByte(*state, uint8_t(c));
    EXPECT_TRUE(host.RunUntil([&] { return Shows("hi there"); })) << ScreenText(*state);

    // A break goes out aside and comes back as a received one.
    SendLineBreak(*state);
    EXPECT_TRUE(WaitUntil([&] {
        return PortCounters(*state).value_or(LineCounters{}).breaks == 1;
    })) << "no break came back";
}

}  // namespace
}  // namespace vellor::testing
