// Port names, the line-settings record and the terminal device (through a pseudo-terminal), the
// Communications dialog's logic, what a refusal tells the user, and which devices are shown.
#include <fcntl.h>
#include <grp.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>

#include "app/app_state.h"
#include "serial/comm_dialog_model.h"
#include "serial/device_names.h"
#include "serial/line_defaults.h"
#include "serial/line_mapping.h"
#include "serial/posix_serial_device.h"
#include "serial/refusals.h"
#include "serial/serial_device.h"
#include "support/fake_serial_device.h"
#include "support/fake_settings.h"
#include "support/fake_sysfs.h"
#include "support/pty_pair.h"
#include "support/temp_folder.h"
#include "support/unprivileged.h"

namespace vellor::testing {
namespace {

TEST(DeviceNames, MapToPathsAndTheLoopback) {
    for (const auto& [name, path] : {std::pair{"com10", "/dev/ttyS9"},
                                     {"COM0", ""},
                                     {"COM1x", "/dev/COM1x"},
                                     {"COM9999999999", "/dev/COM9999999999"}})
        EXPECT_EQ(DevicePathForPortName(name).value_or(""), path) << name;
    EXPECT_TRUE(IsLoopbackName("LoOp") && !IsLoopbackName("LOOP1") && !IsLoopbackName("/dev/LOOP"));
}

// Defaults touch only their own fields; flow control and framing as the driver is asked for them.
TEST(LineSettings, DefaultsFlowControlFramingAndAcceptance) {
    AppState state, clean;
    state.portConfig.bytes.fill(0xA5);
    DefaultPortSettings(state);
    DefaultPortSettings(clean);
    const PortConfig d = state.portConfig;
    EXPECT_EQ(d.DCBlength() + d.BaudRate() + d.ByteSize() + d.Parity() + d.StopBits(), 115236u);
    EXPECT_EQ(d.Flags(), 0xA5A58000u | 0x2097u);  // bits 15 and up kept
    const uint32_t flags[] = {0x1093, 0x2097, 0x1393}, rtsCtsXon[] = {0, 10, 1};
    for (const FlowControl choice :
         {FlowControl::None, FlowControl::RtsCts, FlowControl::XonXoff}) {
        PortConfig config = clean.portConfig;
        config.SetFlags(ApplyFlowControl(config.Flags() | 0x300, choice));
        EXPECT_EQ(config.Flags(), flags[int(choice)]);
        EXPECT_EQ(FlowControlOf(config.Flags()), choice);
        const TtyLine line = TtyLineFromConfig(config);
        EXPECT_EQ(line.rtsCts * 10u + (line.xonOutput && line.xonInput), rtsCtsXon[int(choice)]);
        EXPECT_EQ(line.xonChar * 256 + line.xoffChar, 0x1113);  // DC1, DC3 when the record has none
    }
    // Data bits, parity, stop bits: two a device takes, then five it does not.
    for (const int framing : {720, 542, 400, 900, 850, 801, 803}) {
        PortConfig config = clean.portConfig;
        config.SetByteSize(uint8_t(framing / 100));
        config.SetParity(uint8_t(framing / 10 % 10));
        config.SetStopBits(uint8_t(framing % 10));
        const bool ok = framing == 720 || framing == 542;
        EXPECT_EQ(CheckLineSettings(config), ok ? 0 : EINVAL) << framing;
        const TtyLine line = TtyLineFromConfig(config);
        EXPECT_EQ(ok * (line.dataBits * 100 + line.parity * 10 + line.twoStopBits * 2),
                  ok * framing);
    }
    // A rate within the clock's rounding is accepted; only a pseudo-terminal may force 8N1.
    const TtyLine asked{.baud = 56000, .dataBits = 7, .parity = 2}, near{57000, 7, 2},
        far{57600, 7, 2}, plain{56000};
    EXPECT_TRUE(LineAccepted(asked, near, false) && !LineAccepted(asked, far, true));
    EXPECT_TRUE(LineAccepted(asked, plain, true) && !LineAccepted(asked, plain, false));
}

// OK keeps values no list shows and saves them; an open port is read back and changed at once.
TEST(CommDialogModel, OkKeepsWhatTheListsCannotShowSavesAndApplies) {
    AppState state;
    FakeSettings settings;
    state.portConfig.SetBaudRate(12345);
    state.portConfig.SetParity(7);
    CommDialogValues v = OpenCommDialog(state);
    EXPECT_EQ(v.baudRateIndex + v.parityIndex, -2);
    v.portText = "COM3 spare";
    AcceptCommDialog(state, settings, v);
    EXPECT_EQ(state.portName, "COM3");
    EXPECT_EQ(state.portConfig.BaudRate() * 10 + state.portConfig.Parity(), 123457u);
    EXPECT_EQ(settings.writes, (std::vector<std::string>{"COM?", "DCB"}));
    auto device = std::make_shared<FakeSerialDevice>();
    std::tie(state.portHandle, state.portOpen, device->reportedRate) = std::tuple(device, 1, 9600);
    v = OpenCommDialog(state);
    EXPECT_EQ(BaudRateEntries()[std::size_t(v.baudRateIndex)], "9600");
    EXPECT_EQ(settings.writes.size(), 2u);
    v.baudRateIndex = 4;  // 2400
    AcceptCommDialog(state, settings, v);
    ASSERT_EQ(device->configured.size(), 1u);
    EXPECT_EQ(device->configured[0].BaudRate(), 2400u);
}

// Refusals give the reason, its meaning and the remedy; listed: hardware ports, by stable name.
TEST(Refusals, EachExplainsItselfAndWhatToDo) {
    FakeSysfs system;
    for (const auto& [name, type] :
         {std::pair{"ttyS10", 4}, {"ttyS0", 0}, {"ttyS2", 4}, {"tty0", -1}})
        system.AddUart(name, type);
    const std::string stable = system.AddUsbAdapter("ttyUSB0", "A5");
    const std::string gone = system.Dev("ttyUSB1"), plain = system.Dev("plain"),
                      denied = "Permission denied. ";
    WriteFile(plain, "not a device");
    PtyPair pty;
    int error = 0;
    auto holder = OpenSerialDevice(pty.slavePath, error);
    ASSERT_NE(holder, nullptr);
    const auto open = [&](const std::string& name) {
        EXPECT_EQ(OpenSerialDevice(name, error), nullptr) << name;
        return ExplainOpenFailure(name, error, system.Roots()) + "|";  // | marks the end
    };
    PortConfig fourBits;
    fourBits.SetByteSize(4);
    const std::pair<std::string, std::string> cases[] = {
        {open("COM0"),
         "No such file or directory. \"COM0\" names no device. Serial devices here:\n  " +
             system.Dev("ttyS2") + "  (serial8250)\n  " + system.Dev("ttyS10") +
             "  (serial8250)\n  " + stable +
             "  (FT232R USB UART, FTDI, serial A5, USB 0403:6001, ftdi_sio)|"},
        {open(gone), "No such file or directory. " + gone + " is not present. Serial devices"},
        {open(plain), "Inappropriate ioctl for device. " + plain + " is not a serial device.|"},
        {open(pty.slavePath), "Device or resource busy. " + pty.slavePath +
                                  " is in use by test_serial (process " +
                                  std::to_string(::getpid()) + ").|"},
        {ExplainConfigFailure("COM1", fourBits, EINVAL), "Invalid argument. No device takes 4 "},
        {PermissionAdvice({"/dev/ttyUSB0", "dialout", "ana", true, false, false}),
         denied + "/dev/ttyUSB0 may be used by the group \"dialout\". Join it with\n"
                  "  sudo usermod -aG dialout ana\nthen log out and in again."},
        {PermissionAdvice({"/dev/ttyUSB0", "dialout", "ana", true, true, false}),
         denied + "You are in the group \"dialout\" that may use /dev/ttyUSB0, but this session"},
        {PermissionAdvice({"/dev/ttyS0", "tty", "ana", false, true, true}),
         denied + "/dev/ttyS0 does not let its group \"tty\" use it."},
        {PermissionAdvice({"/dev/ttyS0", "dialout", "ana", true, true, true}),
         denied + "/dev/ttyS0 refused even the group \"dialout\"."},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_TRUE(text.starts_with(expected)) << text << "\nshould start with\n" << expected;
    holder->Close();
    // A real refusal, as "nobody" (root may open anything): the facts are gathered, not given.
    if (::geteuid() != 0) return;  // only root can give a node to a group it is not in
    const group* dialout = ::getgrnam("dialout");
    TempFolder folder;
    const std::string node = (WriteFile(folder.Path("ttyUSB0"), ""), folder.Path("ttyUSB0"));
    ASSERT_TRUE(dialout && !::chmod(folder.path().c_str(), 0755) &&
                !::chown(node.c_str(), 0, dialout->gr_gid) && !::chmod(node.c_str(), 0660));
    const std::string advice = denied + node +
                               " may be used by the group \"dialout\". Join it with\n"
                               "  sudo usermod -aG dialout nobody\nthen log out and in again.";
    const auto refused = [&] {
        return !OpenSerialDevice(node, error) && ExplainOpenFailure(node, error) == advice;
    };
    EXPECT_EQ(RunUnprivileged(refused), 1) << advice;
}

class PosixDevice : public ::testing::Test {
  protected:
    void SetUp() override {
        DefaultPortSettings(state);
        ASSERT_NE(device = PosixSerialDevice::Open(pty.slavePath, error), nullptr) << error;
    }
    PtyPair pty;
    AppState state;
    int error = 0;
    std::shared_ptr<PosixSerialDevice> device;
    std::array<uint8_t, 4096> buffer;
};

// One opener at a time (even root, whom TIOCEXCL lets through); once closed, inert but reopenable.
TEST_F(PosixDevice, UsedByOneOpenerAtATimeAndInertOnceClosed) {
    EXPECT_EQ(PosixSerialDevice::Open(pty.slavePath, error), nullptr);
    EXPECT_EQ(error, EBUSY);
    int exclusive = 0;
    EXPECT_TRUE(ioctl(pty.slave, TIOCGEXCL, &exclusive) == 0 && exclusive) << "undone by refusal";
    device->Close();
    device->Close();
    device->WriteByte('x');
    EXPECT_EQ(device->Read(buffer).status, ReadStatus::Lost);
    EXPECT_EQ(device->Configure(state.portConfig), EBADF);
    EXPECT_EQ(pty.Drain(), "");
    EXPECT_NE(PosixSerialDevice::Open(pty.slavePath, error), nullptr);
}

// Odd rates read back; every byte passes both ways; Interrupt ends waits; a hang-up is a loss.
TEST_F(PosixDevice, RawBothWaysThenInterruptAndHangUp) {
    state.portConfig.SetBaudRate(12345);  // a rate the C library does not know
    PortConfig back;
    ASSERT_EQ(device->Configure(state.portConfig), 0);
    ASSERT_EQ(device->ReadConfig(back), 0);
    EXPECT_EQ(back.BaudRate(), 12345u);
    EXPECT_EQ(device->Read(buffer).status, ReadStatus::Empty);
    std::string all, got;
    for (int b = 0; b < 256; ++b)
        all += char(b);
    ASSERT_TRUE(pty.Send(all));
    while (got.size() < all.size()) {
        ASSERT_EQ(device->Wait(10000), WaitResult::Ready) << "received " << got.size();
        for (ReadResult r; (r = device->Read(buffer)).status == ReadStatus::Data;)
            got.append(reinterpret_cast<const char*>(buffer.data()), r.count);
    }
    EXPECT_EQ(got, all);
    const auto* bytes = reinterpret_cast<const uint8_t*>(all.data());
    EXPECT_EQ(device->Write(std::span(bytes, 256), 1000).written, 256u);
    EXPECT_EQ(pty.Receive(256), all);
    device->Interrupt();
    EXPECT_EQ(device->Wait(60000), WaitResult::Interrupted);
    EXPECT_EQ(device->Wait(60000), WaitResult::Interrupted);
    pty.CloseMaster();
    const ReadResult r = device->Read(buffer);
    EXPECT_TRUE(r.status == ReadStatus::Lost && r.error != 0);
}

// Close drops output a held-off line has not taken, and gives the terminal back as it was.
TEST_F(PosixDevice, CloseDropsPendingOutputAndRestoresTheSettings) {
    device->Close();
    termios before{}, after{};
    ASSERT_EQ(tcgetattr(pty.slave, &before), 0);
    before.c_lflag |= ICANON | ECHO | ISIG;
    before.c_oflag |= OPOST | ONLCR;
    cfsetspeed(&before, B9600);
    ASSERT_EQ(tcsetattr(pty.slave, TCSANOW, &before), 0);
    ASSERT_EQ(tcgetattr(pty.slave, &before), 0);
    ASSERT_NE(device = PosixSerialDevice::Open(pty.slavePath, error), nullptr);
    ASSERT_EQ(device->Configure(state.portConfig), 0);
    ASSERT_EQ(tcgetattr(pty.slave, &after), 0);
    EXPECT_EQ(after.c_lflag & ICANON, 0u) << "not raw";
    ASSERT_EQ(fcntl(pty.slave, F_SETFL, fcntl(pty.slave, F_GETFL) | O_NONBLOCK), 0);
    std::size_t queued = 0;
    for (ssize_t n; (n = write(pty.slave, buffer.data(), buffer.size())) > 0;)
        queued += std::size_t(n);
    ASSERT_GT(queued, 4096u);
    device->Close();
    EXPECT_LT(pty.Drain().size(), queued);
    ASSERT_EQ(tcgetattr(pty.slave, &after), 0);
    EXPECT_EQ(std::tie(after.c_iflag, after.c_oflag, after.c_cflag, after.c_lflag),
              std::tie(before.c_iflag, before.c_oflag, before.c_cflag, before.c_lflag));
    EXPECT_EQ(cfgetospeed(&after), cfgetospeed(&before));
}

}  // namespace
}  // namespace vellor::testing
