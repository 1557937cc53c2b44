// Open Port and Close, receiving and waiting for a lost device: fakes, pseudo-terminals, LOOP.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "app/command_ids.h"
#include "serial/line_defaults.h"
#include "serial/port_connection.h"
#include "serial/port_waiter.h"
#include "serial/receive_path.h"
#include "support/fake_serial_device.h"
#include "support/pty_pair.h"
#include "support/screen_fixture.h"
#include "support/temp_folder.h"

namespace vellor::testing {
namespace {

namespace fs = std::filesystem;

class PortTest : public ::testing::Test {
  protected:
    void SetUp() override { DefaultPortSettings(*state); }
    void TearDown() override { ClosePort(*state, host); }
    bool OpenFake() {
        return OpenPortWith(*state, host, [this](const std::string&, int&) { return device; });
    }
    bool OpenName(const std::string& name) {
        state->portName = name;
        return OpenPort(*state, host);
    }
    bool Shows(const std::string& bytes) {
        auto reference = MakeScreen(300, 100, DisplayMode::Hex);
        Feed(*reference, bytes);
        return ScreenText(*state) == ScreenText(*reference);
    }
    std::unique_ptr<AppState> state = MakeScreen(300, 100, DisplayMode::Hex);
    FakeHost host;
    std::shared_ptr<FakeSerialDevice> device = std::make_shared<FakeSerialDevice>();
};

// A refused device is released after its one message; title, mark and boxes follow the port.
TEST_F(PortTest, OpenAndCloseKeepTitleMarkAndBoxesInStep) {
    device->configureError = EINVAL;
    host.onMessage = [&] { EXPECT_EQ(device->closes, 0) << "released before the message"; };
    EXPECT_FALSE(OpenFake());
    host.onMessage = nullptr;
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text + "|" + host.messages[0].caption, "ConfigPort Failed|Error");
    EXPECT_TRUE(device->closes == 1 && !PortIsOpen(*state) && host.title == "Vellor");
    EXPECT_TRUE(host.boxes.empty() && host.ChecksOf(kCmdOpenPort).empty());
    std::tie(device->configureError, device->status) = std::tuple(0, kMsCtsOn);
    ASSERT_TRUE(OpenFake());
    EXPECT_EQ(host.title, "VL: " + state->portName);
    EXPECT_TRUE(device->dtr && device->rts && host.BoxChecked(ModemBox::Cts));
    EXPECT_FALSE(host.BoxChecked(ModemBox::Dsr));
    host.SetBoxCheck(ModemBox::Dtr, false);  // the user's click flipped it
    ToggleDtr(*state, host);
    EXPECT_TRUE(!device->dtr && device->rts);
    TogglePort(*state, host);
    EXPECT_EQ(host.ChecksOf(kCmdOpenPort), (std::vector<bool>{true, false}));
    EXPECT_TRUE(!host.BoxChecked(ModemBox::Rts) && host.BoxChecked(ModemBox::Cts));
    EXPECT_TRUE(device->closes == 2 && !state->receiveThread && host.title == "Vellor");
    ApplyPortConfig(*state);
    EXPECT_EQ(device->configured.size(), 2u) << "a closed port takes no settings";
}

// A lost device is read once and closes the port with one message, none if the user was first.
TEST_F(PortTest, ALostDeviceIsReadOnceAndClosesThePortOnce) {
    state->preferences.reconnect = false;
    for (const bool userClosesFirst : {false, true}) {
        device = std::make_shared<FakeSerialDevice>();
        device->loseWithError = EIO;
        ASSERT_TRUE(OpenFake());
        if (userClosesFirst) {
            ASSERT_TRUE(WaitUntil([&] { return host.Pending() > 0; })) << "the loss never came";
            ClosePort(*state, host);
        }
        ASSERT_TRUE(host.RunUntil([&] { return !PortIsOpen(*state); })) << "still open";
        host.RunPending();
        EXPECT_TRUE(device->reads == 1 && !host.BoxChecked(ModemBox::Dtr));
        ASSERT_EQ(host.messages.size(), 1u) << "a message for the first loss only";
        EXPECT_EQ(host.messages[0].text + host.messages[0].detail.substr(0, 18),
                  "ReadPort FailedInput/output error");
    }
}

// Unplugged and replugged behind its link, the port waits without a word and carries on.
TEST_F(PortTest, ReplugBehindTheSameLinkReopensAndTheCaptureStaysWhole) {
    TempFolder folder;
    const std::string link = folder.Path("usb-Vellor_Adapter-if00-port0");
    ASSERT_TRUE(state->captureFile.Open(folder.Path("capture.log")));
    std::unique_ptr<PtyPair> pty;
    std::string shown;
    for (const std::string sent : {"before|", "after"}) {
        pty = std::make_unique<PtyPair>();
        fs::create_symlink(pty->slavePath, link);
        ASSERT_TRUE(shown.empty() ? OpenName(link) : host.RunUntil([&] {
            return PortIsOpen(*state);
        })) << "never reopened";
        EXPECT_EQ(host.title, "VL: " + link);
        ASSERT_TRUE(pty->Send(sent));
        shown += sent;
        ASSERT_TRUE(WaitUntil([&] {
            return Shows(shown) && ReadFile(folder.Path("capture.log")) == shown;
        })) << "not shown, or not flushed to the capture";
        WritePortByte(*state, 'k');
        EXPECT_EQ(pty->Receive(1), "k");
        pty.reset();
        fs::remove(link);
        ASSERT_TRUE(host.RunUntil([&] { return state->portWaiter != nullptr; })) << "not waiting";
        EXPECT_EQ(host.title, "VL: " + link + " (waiting for device)");
        EXPECT_TRUE(host.messages.empty() && !PortIsOpen(*state) && !state->receiveThread);
    }
    ClosePort(*state, host);
    EXPECT_TRUE(state->portWaiter == nullptr && state->portOpen == 0 && host.title == "Vellor");
}

std::size_t CountEntries(const char* dir) {
    return std::size_t(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}

// Open/close cycles leak nothing; writers racing a close never reach a reused descriptor.
TEST_F(PortTest, ClosingLeavesNothingBehindAndNeverWritesToAReusedDescriptor) {
    PtyPair pty;
    state->portName = pty.slavePath;
    TogglePort(*state, host);  // a first cycle: a runtime may start helper threads with the first
    TogglePort(*state, host);
    const std::size_t fds = CountEntries("/proc/self/fd"), tasks = CountEntries("/proc/self/task");
    for (int i = 0; i < 200; ++i) {
        TogglePort(*state, host);
        ASSERT_EQ(PortIsOpen(*state) && state->receiveThread, i % 2 == 0) << host.messages.size();
    }
    EXPECT_EQ(CountEntries("/proc/self/fd"), fds);
    EXPECT_TRUE(WaitUntil([&] { return CountEntries("/proc/self/task") == tasks; }));
    TempFolder folder;
    for (int round = 0; round < 20; ++round) {
        ASSERT_TRUE(OpenPort(*state, host));
        std::atomic<bool> stop{false};
        std::atomic<long> writes{0};
        auto writer = [&](uint8_t byte) {
            for (; !stop; ++writes)
                WritePortByte(*state, byte);
        };
        std::thread keyboard(writer, uint8_t('k')), sender(writer, uint8_t('s')), drain([&] {
            while (!stop)
                pty.Receive(1 << 20, std::chrono::milliseconds(5));
        });
        ASSERT_TRUE(WaitUntil([&] { return writes > 200; }));
        ClosePort(*state, host);
        int files[4];
        for (int& fd : files)
            fd = open(folder.Path(std::to_string(&fd - files)).c_str(), O_CREAT | O_TRUNC | O_RDWR,
                      0600);
        const long afterClose = writes;
        ASSERT_TRUE(WaitUntil([&] { return writes > afterClose + 2000; }));
        stop = true;
        for (std::thread* t : {&keyboard, &sender, &drain})
            t->join();
        for (int fd : files) {
            EXPECT_EQ(lseek(fd, 0, SEEK_END), 0) << "round " << round;
            close(fd);
        }
    }
}

// LOOP is wired as a plug, sends back bytes and breaks, and refuses what a port refuses.
TEST_F(PortTest, LoopbackDeviceActsAsAPlug) {
    state->portConfig.SetStopBits(1);
    EXPECT_FALSE(OpenName("loop"));
    state->portConfig.SetStopBits(0);
    ASSERT_TRUE(OpenName("loop"));
    // DTR drives DSR and CD, RTS drives CTS, and the boxes follow.
    const auto shows = [&](bool dsr, bool cts, bool cd) {
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
    SendLineBreak(*state);
    EXPECT_TRUE(WaitUntil([&] {
        return PortCounters(*state).value_or(LineCounters{}).breaks == 1;
    })) << "no break came back";
}

// The capture gets exactly what the screen is given, however the bytes are split.
TEST(ReceivePath, CaptureGetsWhatTheScreenIsGiven) {
    const std::string crs(3 * kReceiveSlice + 7, '\r');
    std::string doubled;
    for (char c : crs)
        doubled += {c, '\n'};
    // Received, bit 7 stripped, LF added, capture option on, capture open, captured.
    const std::tuple<std::string, bool, bool, bool, bool, std::string> cases[] = {
        {std::string("\xC1\xFF\0\x8D", 4), true, true, true, true, std::string("A\x7F\0\r\n", 5)},
        {"\x8D", false, true, true, true, "\x8D"},
        {"AB\r", false, true, false, true, ""},
        {"AB", false, false, true, false, ""},
        {crs, false, true, true, true, doubled}};
    for (const auto& [input, bit7, crLf, capture, open, captured] : cases) {
        for (const std::size_t piece : {input.size(), std::size_t(1)}) {
            TempFolder folder;
            auto s = MakeScreen(20, 40, DisplayMode::Hex);
            std::tie(s->rxBit7, s->rxCrLf, s->rxCapture) = std::tuple(bit7, crLf, capture);
            ASSERT_TRUE(!open || s->captureFile.Open(folder.Path("c.log")));
            const std::vector<uint8_t> bytes(input.begin(), input.end());
            for (std::size_t at = 0; at < bytes.size(); at += piece)
                ProcessReceivedBytes(*s, std::span(bytes).subspan(at, piece));
            ASSERT_TRUE(s->captureFile.Close());
            EXPECT_EQ(ReadFile(folder.Path("c.log")), captured) << "piece " << piece;
        }
    }
}

// The UI thread may restart the capture and clear the screen while bytes arrive: whole slices.
TEST(ReceivePath, CaptureAndScreenMayChangeWhileBytesArrive) {
    TempFolder folder;
    const std::string path = folder.Path("c.log"), line = "0123456789abcdefghijklmnopqrstuvwxyz\r";
    auto s = MakeScreen(25, 80);
    s->rxCrLf = 1;
    ASSERT_TRUE(s->captureFile.Open(path));
    std::thread receiver([&] {
        for (int i = 0; i < 3000; ++i)
            ProcessReceivedBytes(*s, std::span(reinterpret_cast<const uint8_t*>(line.data()), 37));
    });
    for (int i = 0; i < 100; ++i) {
        s->captureFile.Close();
        ClearScreen(*s);
        ASSERT_TRUE(s->captureFile.Open(path));
    }
    receiver.join();
    ASSERT_TRUE(s->captureFile.Close());
    const std::string content = ReadFile(path);
    ASSERT_EQ(content.size() % (line.size() + 1), 0u);
    for (std::size_t at = 0; at < content.size(); at += line.size() + 1)
        ASSERT_EQ(content.substr(at, line.size() + 1), line + "\n") << at;
}

// Only a change on the way to the device wakes the waiter; what it hands over is configured.
TEST(PortWaiter, WakesWhenTheDeviceComesBackThroughAnyFolderOnItsWay) {
    struct Step {
        const char *path, *link = nullptr;  // a link to `link`, or else a node
    };
    const struct {
        const char* name;
        Step before, comeBack;
    } cases[] = {{"dev/ttyUSB0", {"nodes/other"}, {"dev/ttyUSB0"}},
                 {"dev/by-id/x", {"dev/ttyUSB0"}, {"dev/by-id/x", "../ttyUSB0"}},
                 {"dev/by-id/x", {"dev/by-id/x", "../../nodes/ttyUSB1"}, {"nodes/ttyUSB1"}}};
    PortConfig config;
    config.SetBaudRate(57600);
    for (const auto& c : cases) {
        TempFolder folder;
        const auto make = [&](Step step) {
            fs::create_directories((folder.path() / step.path).parent_path());
            if (step.link)
                fs::create_symlink(step.link, folder.path() / step.path);
            else
                WriteFile(folder.path() / step.path, "");
        };
        make(c.before);
        std::atomic<int> tries{0};
        std::atomic<bool> reopened{false};
        auto device = std::make_shared<FakeSerialDevice>();
        PortWaiter waiter(folder.Path(c.name), config,
                          [&](const std::string& name, int&) -> std::shared_ptr<SerialDevice> {
                              return ++tries && fs::exists(name) ? device : nullptr;
                          },
                          {.settleMs = 1, .settleTries = 0, .idleMs = -1});
        waiter.Start([&](std::shared_ptr<SerialDevice> got) { reopened = got == device; });
        ASSERT_TRUE(WaitUntil([&] { return tries > 0; })) << c.comeBack.path << ": never tried";
        EXPECT_FALSE(reopened);
        make(c.comeBack);
        ASSERT_TRUE(WaitUntil([&] { return reopened.load(); })) << c.comeBack.path << ": asleep";
        EXPECT_EQ(device->configured.at(0).BaudRate(), 57600u);
    }
}

// Stop ends a wait in a slow open, whose device is then closed, never handed over.
TEST(PortWaiter, StopsAtOnceEvenInASlowOpen) {
    auto device = std::make_shared<FakeSerialDevice>();
    auto entered = std::make_shared<std::atomic<bool>>(false);
    auto release = std::make_shared<std::atomic<bool>>(false);
    {
        PortWaiter connecting("tcp://192.0.2.1:1", {},
                              [=](const std::string&, int&) -> std::shared_ptr<SerialDevice> {
                                  *entered = true;
                                  WaitUntil([&] { return release->load(); });
                                  return device;
                              },
                              {.networkRetryMs = 1});
        connecting.Start([](std::shared_ptr<SerialDevice>) { ADD_FAILURE() << "handed over"; });
        ASSERT_TRUE(WaitUntil([&] { return entered->load(); })) << "never tried";
        EXPECT_TRUE(FinishesWithin(kPatience / 2, [&] { connecting.Stop(); }));
    }
    *release = true;
    EXPECT_TRUE(WaitUntil([&] { return device->closes == 1; })) << "left open";
}

}  // namespace
}  // namespace vellor::testing
