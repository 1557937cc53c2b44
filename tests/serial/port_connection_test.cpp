#include "serial/port_connection.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>
#include <vector>

#include "app/app_state.h"
#include "app/platform.h"
#include "screen/screen.h"
#include "serial/fake_port_ui.h"
#include "serial/fake_serial_device.h"
#include "serial/line_defaults.h"
#include "serial/posix_serial_device.h"
#include "serial/pty_pair.h"
#include "serial/receive_thread.h"
#include "serial/serial_device.h"

namespace vellor {
namespace {

namespace fs = std::filesystem;
using testing::FakePortUi;
using testing::FakeSerialDevice;
using testing::PtyPair;

class SilentPlatform : public Platform {
  public:
    void ShowMessage(MessageOwner, const std::string&, const std::string&,
                     const std::string&) override {}
};

// Default line settings, and a screen big enough that nothing scrolls away.
void Prepare(AppState& state, const std::string& portName, int32_t mode = 1) {
    DefaultPortSettings(state);
    state.portName = portName;
    SilentPlatform platform;
    {
        std::lock_guard lock(state.screenMutex);
        state.numRows = 300;
        state.numCols = 100;
        state.displayMode = mode;
        state.visibleRows = 300;
        state.visibleCols = 100;
        state.cellWidth = 8;
        state.cellHeight = 16;
    }
    ASSERT_EQ(AllocateScreen(state, platform), 0);
}

std::vector<uint16_t> Cells(AppState& state) {
    std::lock_guard lock(state.screenMutex);
    std::vector<uint16_t> cells;
    for (uint16_t r = 0; r < state.numRows; ++r) {
        const uint16_t* row = state.screenBuffer->Row(r);
        cells.insert(cells.end(), row, row + state.numCols);
    }
    cells.push_back(state.cursorRow);
    cells.push_back(state.cursorCol);
    return cells;
}

std::string FileText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

fs::path TempPath(const std::string& stem) {
    std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::replace(test.begin(), test.end(), '/', '_');
    return fs::temp_directory_path() / (stem + "-" + std::to_string(getpid()) + "-" + test);
}

std::size_t CountEntries(const char* dir) {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir))
        ++count;
    return count;
}

DeviceOpener Returning(std::shared_ptr<SerialDevice> device) {
    return [device](const std::string&, int& error) {
        error = 0;
        return device;
    };
}

// ---- Opening and closing: messages, title, marks, boxes.

TEST(PortConnection, StartsClosed) {
    AppState state;
    EXPECT_FALSE(PortIsOpen(state));
    WritePortByte(state, 'x');  // dropped, nothing to write to
}

TEST(PortConnection, MissingDeviceShowsOpenPortFailedOnceAndStaysClosed) {
    AppState state;
    Prepare(state, "COM0");
    FakePortUi ui;
    EXPECT_FALSE(OpenPort(state, ui));
    state.portName = "/dev/vellor-no-such-device";
    TogglePort(state, ui);
    ASSERT_EQ(ui.messages.size(), 2u);
    for (const auto& m : ui.messages) {
        EXPECT_EQ(m.text, "OpenPort Failed");
        EXPECT_EQ(m.caption, "Error");
        EXPECT_EQ(m.detail, "No such file or directory");
    }
    EXPECT_FALSE(PortIsOpen(state));
    EXPECT_EQ(state.portOpen, 0);
    EXPECT_EQ(ui.title, "Vellor");
    EXPECT_FALSE(ui.openPortChecked);
    EXPECT_TRUE(ui.boxes.empty());
}

TEST(PortConnection, RejectedSettingsShowConfigPortFailedThenReleaseTheDevice) {
    AppState state;
    Prepare(state, "fake");
    FakePortUi ui;
    auto device = std::make_shared<FakeSerialDevice>();
    device->configureError = EINVAL;
    // The message comes first, the device is released after it.
    ui.onMessage = [&] { EXPECT_EQ(device->closeCalls, 0); };
    EXPECT_FALSE(OpenPortWith(state, ui, Returning(device)));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "ConfigPort Failed");
    EXPECT_EQ(ui.messages[0].caption, "Error");
    EXPECT_EQ(ui.messages[0].detail, "Invalid argument");
    EXPECT_EQ(device->closeCalls, 1);
    EXPECT_FALSE(PortIsOpen(state));
    EXPECT_EQ(ui.title, "Vellor");
    EXPECT_TRUE(ui.boxes.empty());
}

TEST(PortConnection, OpenThenCloseKeepsTitleMarksAndBoxesInStep) {
    AppState state;
    Prepare(state, "fake");
    FakePortUi ui;
    auto device = std::make_shared<FakeSerialDevice>();
    device->status = kMsCtsOn | kMsRlsdOn;
    ASSERT_TRUE(OpenPortWith(state, ui, Returning(device)));
    EXPECT_TRUE(PortIsOpen(state));
    EXPECT_EQ(state.portOpen, 1);
    EXPECT_EQ(ui.title, "VL: fake");
    EXPECT_TRUE(ui.openPortChecked);
    EXPECT_TRUE(device->dtr);
    EXPECT_TRUE(device->rts);
    EXPECT_TRUE(ui.BoxChecked(ModemBox::Dtr));
    EXPECT_TRUE(ui.BoxChecked(ModemBox::Rts));
    EXPECT_TRUE(ui.BoxChecked(ModemBox::Cts));
    EXPECT_TRUE(ui.BoxChecked(ModemBox::Cd));
    EXPECT_FALSE(ui.BoxChecked(ModemBox::Dsr));
    EXPECT_TRUE(ui.messages.empty());

    state.portName = "renamed";  // takes effect at the next open only
    TogglePort(state, ui);
    EXPECT_FALSE(PortIsOpen(state));
    EXPECT_EQ(state.portOpen, 0);
    EXPECT_EQ(ui.title, "Vellor");
    EXPECT_FALSE(ui.openPortChecked);
    EXPECT_FALSE(ui.BoxChecked(ModemBox::Dtr));
    EXPECT_FALSE(ui.BoxChecked(ModemBox::Rts));
    EXPECT_TRUE(ui.BoxChecked(ModemBox::Cts));  // the close leaves the indicators alone
    EXPECT_EQ(device->closeCalls, 1);
    EXPECT_EQ(state.receiveThread, nullptr);
}

TEST(PortConnection, DtrAndRtsCommandsFollowTheBoxes) {
    AppState state;
    Prepare(state, "fake");
    FakePortUi ui;
    auto device = std::make_shared<FakeSerialDevice>();
    ASSERT_TRUE(OpenPortWith(state, ui, Returning(device)));
    ui.SetBoxCheck(ModemBox::Dtr, false);  // the user's tap flipped it
    ToggleDtr(state, ui);
    EXPECT_FALSE(device->dtr);
    EXPECT_TRUE(device->rts);
    ui.SetBoxCheck(ModemBox::Rts, false);
    ToggleRts(state, ui);
    EXPECT_FALSE(device->rts);
    ui.SetBoxCheck(ModemBox::Dtr, true);
    ToggleDtr(state, ui);
    EXPECT_TRUE(device->dtr);
    ClosePort(state, ui);

    // Closed: only the box flips.
    ui.SetBoxCheck(ModemBox::Dtr, true);
    ToggleDtr(state, ui);
    ToggleRts(state, ui);
    EXPECT_FALSE(device->rts);
}

TEST(PortConnection, ClosingAClosedPortDoesNothing) {
    AppState state;
    FakePortUi ui;
    ClosePort(state, ui);
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_EQ(ui.title, "Vellor");
}

TEST(PortConnection, ApplyAndReadConfigOnlyWithAnOpenPort) {
    AppState state;
    Prepare(state, "fake");
    FakePortUi ui;
    auto device = std::make_shared<FakeSerialDevice>();
    ApplyPortConfig(state);
    EXPECT_EQ(device->configureCalls, 0);
    ASSERT_TRUE(OpenPortWith(state, ui, Returning(device)));
    device->configureError = EINVAL;
    ApplyPortConfig(state);  // silent
    EXPECT_EQ(device->configureCalls, 2);
    EXPECT_TRUE(ui.messages.empty());
    ClosePort(state, ui);
}

// ---- The receive thread.

TEST(ReceiveThread, StopEndsAFloodAndReadsInChunksOfAtMost4KiB) {
    AppState state;
    Prepare(state, "fake");
    state.rxCapture = 0;
    FakePortUi ui;
    auto device = std::make_shared<FakeSerialDevice>();
    device->flood = true;
    ASSERT_TRUE(OpenPortWith(state, ui, Returning(device)));
    while (device->reads < 50)
        std::this_thread::yield();
    ClosePort(state, ui);  // must not hang although the device never runs dry
    EXPECT_EQ(device->largestRead, 4096u);
    EXPECT_FALSE(PortIsOpen(state));
}

TEST(ReceiveThread, ReportsOnlyChangedModemStatus) {
    AppState state;
    auto device = std::make_shared<FakeSerialDevice>();
    std::mutex mutex;
    std::vector<uint32_t> reported;
    ReceiveThread::Events events;
    events.modemStatusChanged = [&](uint32_t status) {
        std::lock_guard lock(mutex);
        reported.push_back(status);
    };
    {
        ReceiveThread receiver(state, device, events);
        auto count = [&] {
            std::lock_guard lock(mutex);
            return reported.size();
        };
        while (device->waits < 5)
            std::this_thread::yield();
        device->status = kMsDsrOn;
        while (count() < 2)
            std::this_thread::yield();
        const int waitsBefore = device->waits;
        while (device->waits < waitsBefore + 5)
            std::this_thread::yield();
        receiver.Stop();
    }
    EXPECT_EQ(reported, (std::vector<uint32_t>{0, kMsDsrOn}));
}

TEST(ReceiveThread, LostDeviceIsReportedOnceAndTheThreadEnds) {
    AppState state;
    auto device = std::make_shared<FakeSerialDevice>();
    device->loseWithError = EIO;
    std::atomic<int> lost{0};
    std::atomic<int> reason{0};
    ReceiveThread::Events events;
    events.deviceLost = [&](int error) {
        reason = error;
        ++lost;
    };
    ReceiveThread receiver(state, device, events);
    while (lost == 0)
        std::this_thread::yield();
    receiver.Stop();
    EXPECT_EQ(lost, 1);
    EXPECT_EQ(reason, EIO);
    EXPECT_EQ(device->waits, 1);
    EXPECT_EQ(device->reads, 1);
}

// ---- End to end through a pseudo-terminal.

struct ReceiveCase {
    bool rxBit7;
    bool rxCrLf;
    bool capture;
    int32_t mode;
};

std::string Describe(const ::testing::TestParamInfo<ReceiveCase>& info) {
    return std::string(info.param.rxBit7 ? "Bit7" : "Raw") + (info.param.rxCrLf ? "CrLf" : "Cr") +
           (info.param.capture ? "Captured" : "Uncaptured") + "Mode" +
           std::to_string(info.param.mode);
}

class EndToEndReceive : public ::testing::TestWithParam<ReceiveCase> {};

// What the far end sends reaches the screen (and the capture) exactly as the options say.
TEST_P(EndToEndReceive, BytesFromTheFarEndAreShownAndCapturedExactly) {
    const ReceiveCase& c = GetParam();
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    AppState state;
    Prepare(state, pty.slavePath, c.mode);
    state.rxBit7 = c.rxBit7;
    state.rxCrLf = c.rxCrLf;
    state.rxCapture = 1;
    const fs::path capture = TempPath("vellor-capture");
    fs::remove(capture);
    if (c.capture) {
        ASSERT_TRUE(state.captureFile.Open(capture.string()));
    }

    // Text with CR LF lines, lone CRs, 0x8D (a CR with bit 7), every byte value, and enough of
    // it to take several reads.
    std::string sent;
    for (int line = 0; line < 40; ++line)
        sent += "line " + std::to_string(line) + "\r\n";
    sent +=
        "a\rb\x8d"
        "c\r";
    for (int b = 0; b < 256; ++b)
        sent += char(b);
    for (int i = 0; i < 3000; ++i)
        sent += char('A' + i % 26);

    std::string expected;
    for (char ch : sent) {
        uint8_t b = uint8_t(ch);
        if (c.rxBit7) b &= 0x7F;
        expected += char(b);
        if (b == 13 && c.rxCrLf) expected += '\n';
    }
    AppState reference;
    Prepare(reference, "", c.mode);
    PutBytes(reference,
             std::span(reinterpret_cast<const uint8_t*>(expected.data()), expected.size()));
    const std::vector<uint16_t> wanted = Cells(reference);

    FakePortUi ui;
    ASSERT_TRUE(OpenPort(state, ui));
    ASSERT_TRUE(pty.Send(sent));
    EXPECT_TRUE(ui.RunUntil([&] { return Cells(state) == wanted; }));
    if (c.capture) {
        EXPECT_TRUE(ui.RunUntil([&] { return FileText(capture).size() >= expected.size(); }));
        EXPECT_EQ(FileText(capture), expected);  // flushed by the receiver, not by closing
    }
    ClosePort(state, ui);
    state.captureFile.Close();
    if (c.capture) {
        EXPECT_EQ(FileText(capture), expected);
    }
    fs::remove(capture);
    EXPECT_TRUE(ui.messages.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Options, EndToEndReceive,
    ::testing::Values(ReceiveCase{false, false, false, 1}, ReceiveCase{false, false, true, 1},
                      ReceiveCase{false, true, false, 1}, ReceiveCase{false, true, true, 1},
                      ReceiveCase{true, false, false, 1}, ReceiveCase{true, false, true, 1},
                      ReceiveCase{true, true, false, 1}, ReceiveCase{true, true, true, 1},
                      ReceiveCase{false, true, true, 0}, ReceiveCase{true, false, true, 0},
                      ReceiveCase{true, true, true, 2}),
    Describe);

TEST(EndToEnd, CaptureOptionOffRecordsNothing) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    AppState state;
    Prepare(state, pty.slavePath);
    state.rxCapture = 0;
    const fs::path capture = TempPath("vellor-capture");
    fs::remove(capture);
    ASSERT_TRUE(state.captureFile.Open(capture.string()));
    FakePortUi ui;
    ASSERT_TRUE(OpenPort(state, ui));
    AppState reference;
    Prepare(reference, "");
    PutBytes(reference, std::span<const uint8_t>(reinterpret_cast<const uint8_t*>("hello"), 5));
    ASSERT_TRUE(pty.Send("hello"));
    EXPECT_TRUE(ui.RunUntil([&] { return Cells(state) == Cells(reference); }));
    ClosePort(state, ui);
    state.captureFile.Close();
    EXPECT_EQ(FileText(capture), "");
    fs::remove(capture);
}

TEST(EndToEnd, WrittenBytesReachTheFarEnd) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    AppState state;
    Prepare(state, pty.slavePath);
    FakePortUi ui;
    ASSERT_TRUE(OpenPort(state, ui));
    std::string all;
    for (int b = 0; b < 256; ++b)
        all += char(b);
    for (char c : all)
        WritePortByte(state, uint8_t(c));
    EXPECT_EQ(pty.Receive(all.size()), all);
    ClosePort(state, ui);
    WritePortByte(state, 'z');
    EXPECT_EQ(pty.Drain(), "");
}

TEST(EndToEnd, TwoWritersInterleaveWholeBytes) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    AppState state;
    Prepare(state, pty.slavePath);
    FakePortUi ui;
    ASSERT_TRUE(OpenPort(state, ui));
    constexpr int kEach = 2000;
    std::thread sender([&] {
        for (int i = 0; i < kEach; ++i)
            WritePortByte(state, 'S');
    });
    for (int i = 0; i < kEach; ++i)
        WritePortByte(state, 'k');
    const std::string got = pty.Receive(2 * kEach);
    sender.join();
    EXPECT_EQ(std::count(got.begin(), got.end(), 'S'), kEach);
    EXPECT_EQ(std::count(got.begin(), got.end(), 'k'), kEach);
    ClosePort(state, ui);
}

TEST(EndToEnd, ConfigPortFailedForFourDataBits) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    AppState state;
    Prepare(state, pty.slavePath);
    state.portConfig.SetByteSize(4);
    FakePortUi ui;
    EXPECT_FALSE(OpenPort(state, ui));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "ConfigPort Failed");
    // Released: once the settings are corrected the next open succeeds.
    state.portConfig.SetByteSize(8);
    EXPECT_TRUE(OpenPort(state, ui));
    ClosePort(state, ui);
}

TEST(EndToEnd, PortInUseShowsOpenPortFailed) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    int error = 0;
    auto holder = PosixSerialDevice::Open(pty.slavePath, error);
    ASSERT_NE(holder, nullptr);
    AppState state;
    Prepare(state, pty.slavePath);
    FakePortUi ui;
    EXPECT_FALSE(OpenPort(state, ui));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "OpenPort Failed");
    EXPECT_EQ(ui.messages[0].detail, "Device or resource busy");
}

TEST(EndToEnd, ReadPortConfigGivesTheExactRate) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    AppState state;
    Prepare(state, pty.slavePath);
    state.portConfig.SetBaudRate(128000);
    FakePortUi ui;
    ASSERT_TRUE(OpenPort(state, ui));
    state.portConfig.SetBaudRate(0);
    ReadPortConfig(state);
    EXPECT_EQ(state.portConfig.BaudRate(), 128000u);
    state.portConfig.SetBaudRate(14400);
    ApplyPortConfig(state);
    state.portConfig.SetBaudRate(0);
    ReadPortConfig(state);
    EXPECT_EQ(state.portConfig.BaudRate(), 14400u);
    ClosePort(state, ui);
}

// A device wrapper that counts the receive thread's waits and notes its CPU time there.
class WatchedDevice : public SerialDevice {
  public:
    explicit WatchedDevice(std::shared_ptr<SerialDevice> inner) : inner_(std::move(inner)) {}
    int Configure(const PortConfig& c) override { return inner_->Configure(c); }
    int ReadConfig(PortConfig& c) override { return inner_->ReadConfig(c); }
    void WriteByte(uint8_t b) override { inner_->WriteByte(b); }
    WaitResult Wait(int timeoutMs) override {
        ++waits;
        rusage usage{};
        getrusage(RUSAGE_THREAD, &usage);
        cpuMicros = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000000L +
                    usage.ru_utime.tv_usec + usage.ru_stime.tv_usec;
        return inner_->Wait(timeoutMs);
    }
    ReadResult Read(std::span<uint8_t> b) override {
        ++reads;
        return inner_->Read(b);
    }
    void SetDtr(bool r) override { inner_->SetDtr(r); }
    void SetRts(bool r) override { inner_->SetRts(r); }
    uint32_t ModemStatus() override { return inner_->ModemStatus(); }
    void Interrupt() override { inner_->Interrupt(); }
    void Close() override { inner_->Close(); }

    std::atomic<int> waits{0};
    std::atomic<int> reads{0};
    std::atomic<long> cpuMicros{0};

  private:
    std::shared_ptr<SerialDevice> inner_;
};

// The far end going away (an unplugged adapter) closes the port once, with one message, and the
// receiver neither spins nor lingers.
TEST(EndToEnd, UnpluggedDeviceClosesThePortWithoutSpinning) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    AppState state;
    Prepare(state, pty.slavePath);
    FakePortUi ui;
    std::shared_ptr<WatchedDevice> watched;
    DeviceOpener opener = [&](const std::string& name,
                              int& error) -> std::shared_ptr<SerialDevice> {
        auto real = OpenSerialDevice(name, error);
        if (!real) return nullptr;
        watched = std::make_shared<WatchedDevice>(real);
        return watched;
    };
    ASSERT_TRUE(OpenPortWith(state, ui, opener));
    ASSERT_TRUE(pty.Send("before"));
    ASSERT_TRUE(ui.RunUntil([&] { return watched->reads >= 2; }));
    const int waitsBefore = watched->waits;

    pty.CloseMaster();
    ASSERT_TRUE(ui.RunUntil([&] { return !PortIsOpen(state); }));
    EXPECT_EQ(state.portOpen, 0);
    EXPECT_EQ(ui.title, "Vellor");
    EXPECT_FALSE(ui.openPortChecked);
    EXPECT_FALSE(ui.BoxChecked(ModemBox::Dtr));
    EXPECT_FALSE(ui.BoxChecked(ModemBox::Rts));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "ReadPort Failed");
    EXPECT_EQ(ui.messages[0].caption, "Error");
    EXPECT_FALSE(ui.messages[0].detail.empty());
    // One wake-up for the hang-up (a few 50 ms samples may come first), then the thread ended.
    EXPECT_LE(watched->waits - waitsBefore, 10);
    EXPECT_LT(watched->cpuMicros, 2000000L);
    ui.RunPending();
    EXPECT_EQ(ui.messages.size(), 1u);
}

// Closing by hand before the loss is handled tells the user nothing more.
TEST(EndToEnd, LossAfterTheUserClosedIsNotReported) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    AppState state;
    Prepare(state, pty.slavePath);
    FakePortUi ui;
    ASSERT_TRUE(OpenPort(state, ui));
    pty.CloseMaster();
    while (ui.PendingCount() == 0)
        std::this_thread::yield();  // the loss is posted
    ClosePort(state, ui);
    ui.RunPending();
    EXPECT_TRUE(ui.messages.empty());
}

TEST(EndToEnd, OpenCloseAHundredTimesLeavesNoThreadOrDescriptor) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    AppState state;
    Prepare(state, pty.slavePath);
    FakePortUi ui;
    const std::size_t fdsBefore = CountEntries("/proc/self/fd");
    const std::size_t threadsBefore = CountEntries("/proc/self/task");
    for (int i = 0; i < 100; ++i) {
        TogglePort(state, ui);
        ASSERT_TRUE(PortIsOpen(state)) << ui.messages.size();
        ASSERT_NE(state.receiveThread, nullptr);
        TogglePort(state, ui);
        ASSERT_FALSE(PortIsOpen(state));
    }
    ui.RunPending();
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(CountEntries("/proc/self/fd"), fdsBefore);
    // A joined thread leaves /proc a moment after the join returns.
    EXPECT_TRUE(ui.RunUntil([&] { return CountEntries("/proc/self/task") == threadsBefore; }));
}

// Writers on two threads keep writing while the port closes; the freed descriptor numbers are
// taken by files at once. Nothing may ever land in those files.
TEST(EndToEnd, CloseDuringWritesNeverWritesToAReusedDescriptor) {
    for (int round = 0; round < 20; ++round) {
        PtyPair pty;
        ASSERT_TRUE(pty.ok());
        AppState state;
        Prepare(state, pty.slavePath);
        FakePortUi ui;
        ASSERT_TRUE(OpenPort(state, ui));

        std::atomic<bool> stop{false};
        std::atomic<long> writes{0};
        auto writer = [&](uint8_t byte) {
            while (!stop) {
                WritePortByte(state, byte);
                ++writes;
            }
        };
        std::thread keyboard(writer, uint8_t('k'));
        std::thread sender(writer, uint8_t('s'));
        std::thread drain([&] {
            while (!stop)
                pty.Receive(1 << 20, std::chrono::milliseconds(5));
        });
        while (writes < 200)
            std::this_thread::yield();

        ClosePort(state, ui);
        std::vector<int> files;
        std::vector<fs::path> paths;
        for (int i = 0; i < 4; ++i) {
            paths.push_back(TempPath("vellor-reuse" + std::to_string(i)));
            files.push_back(
                open(paths.back().c_str(), O_CREAT | O_TRUNC | O_WRONLY | O_CLOEXEC, 0600));
            ASSERT_GE(files.back(), 0);
        }
        const long afterClose = writes;
        while (writes < afterClose + 2000)
            std::this_thread::yield();
        stop = true;
        keyboard.join();
        sender.join();
        drain.join();
        for (std::size_t i = 0; i < files.size(); ++i) {
            struct stat st {};
            fstat(files[i], &st);
            EXPECT_EQ(st.st_size, 0) << "round " << round;
            close(files[i]);
            fs::remove(paths[i]);
        }
    }
}

// ---- The loopback device.

TEST(Loopback, ModemLinesDriveTheIndicatorsThroughTheReceiver) {
    AppState state;
    Prepare(state, "loop");
    FakePortUi ui;
    ASSERT_TRUE(OpenPort(state, ui));
    EXPECT_EQ(ui.title, "VL: loop");
    auto shown = [&](bool dsr, bool cts, bool cd) {
        return ui.BoxChecked(ModemBox::Dsr) == dsr && ui.BoxChecked(ModemBox::Cts) == cts &&
               ui.BoxChecked(ModemBox::Cd) == cd && !ui.BoxChecked(ModemBox::Ri);
    };
    EXPECT_TRUE(ui.RunUntil([&] { return shown(true, true, true); }));

    // From here on only the receive thread's posts can change the indicators.
    ui.SetBoxCheck(ModemBox::Dtr, false);
    ToggleDtr(state, ui);
    EXPECT_TRUE(ui.RunUntil([&] { return shown(false, true, false); }));
    ui.SetBoxCheck(ModemBox::Rts, false);
    ToggleRts(state, ui);
    EXPECT_TRUE(ui.RunUntil([&] { return shown(false, false, false); }));
    ui.SetBoxCheck(ModemBox::Dtr, true);
    ToggleDtr(state, ui);
    EXPECT_TRUE(ui.RunUntil([&] { return shown(true, false, true); }));
    ClosePort(state, ui);
}

TEST(Loopback, WrittenBytesComeBackAsReceived) {
    AppState state;
    Prepare(state, "LOOP", 0);
    FakePortUi ui;
    ASSERT_TRUE(OpenPort(state, ui));
    for (char c : std::string("hi there"))
        WritePortByte(state, uint8_t(c));
    AppState reference;
    Prepare(reference, "", 0);
    PutBytes(reference, std::span<const uint8_t>(reinterpret_cast<const uint8_t*>("hi there"), 8));
    EXPECT_TRUE(ui.RunUntil([&] { return Cells(state) == Cells(reference); }));
    ClosePort(state, ui);
}

TEST(Loopback, RefusesWhatARealPortRefuses) {
    AppState state;
    Prepare(state, "LOOP");
    state.portConfig.SetStopBits(1);
    FakePortUi ui;
    EXPECT_FALSE(OpenPort(state, ui));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "ConfigPort Failed");
}

}  // namespace
}  // namespace vellor
