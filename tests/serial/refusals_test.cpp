// What a refusal tells the user to do, and which devices the system shows.
#include <unistd.h>

#include <gtest/gtest.h>

#include "serial/device_names.h"
#include "serial/refusals.h"
#include "serial/serial_device.h"
#include "support/fake_sysfs.h"
#include "support/pty_pair.h"

namespace vellor::testing {
namespace {

// Real refusals: the system's reason, then what it means and what to do.
TEST(Refusals, EachExplainsItselfAndWhatToDo) {
    FakeSysfs system;
    system.AddUart("ttyS2", 4);
    const std::string uart = system.Dev("ttyS2"), gone = system.Dev("ttyUSB1"),
                      plain = system.Dev("plain"), denied = "Permission denied. ";
    WriteFile(plain, "not a device");
    PtyPair pty;
    int error = 0;
    auto holder = OpenSerialDevice(pty.slavePath, error);
    ASSERT_NE(holder, nullptr);
    const auto open = [&](const std::string& name) {
        EXPECT_EQ(OpenSerialDevice(name, error), nullptr) << name;
        return ExplainOpenFailure(name, error, system.Roots());
    };
    PortConfig fourBits;
    fourBits.SetByteSize(4);
    const std::pair<std::string, std::string> cases[] = {
        {open("COM0"),
         "No such file or directory. \"COM0\" names no device. Serial devices "
         "here:\n  " +
             uart + "  (serial8250)"},
        {open(gone), "No such file or directory. " + gone + " is not present. Serial devices"},
        {open(plain), "Inappropriate ioctl for device. " + plain + " is not a serial device."},
        {open("tcp://127.0.0.1:1"), "Connection refused. Nothing listens at 127.0.0.1:1: is"},
        {open(pty.slavePath), "Device or resource busy. " + pty.slavePath +
                                  " is in use by test_serial (process " +
                                  std::to_string(::getpid()) + ")."},
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
}

// Hardware ports in natural order, an adapter by its stable link, described as a user knows it.
TEST(PortInventory, ListsHardwarePortsByStableNameWithTheirDescription) {
    FakeSysfs system;
    for (const auto& [name, type] : {std::pair{"ttyS10", 4}, {"ttyS0", 0}, {"ttyS2", 4}})
        system.AddUart(name, type);
    const std::string stable = system.AddUsbAdapter("ttyUSB0", "A50285BI");
    system.AddVirtual("tty0");
    const std::vector<SerialPortInfo> expected = {
        {system.Dev("ttyS2"), system.Dev("ttyS2"), "serial8250"},
        {system.Dev("ttyS10"), system.Dev("ttyS10"), "serial8250"},
        {stable, system.Dev("ttyUSB0"),
         "FT232R USB UART, FTDI, serial A50285BI, USB 0403:6001, ftdi_sio"}};
    EXPECT_EQ(ListSerialPorts(system.Roots()), expected);
}

}  // namespace
}  // namespace vellor::testing
