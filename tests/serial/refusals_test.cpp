// What a refusal tells the user to do, and which devices the system shows.
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "serial/device_names.h"
#include "serial/port_inventory.h"
#include "serial/refusals.h"
#include "support/fake_sysfs.h"
#include "support/temp_folder.h"
#include "support/unprivileged.h"

namespace vellor::testing {
namespace {

namespace fs = std::filesystem;

TEST(Refusals, PermissionAdviceFitsWhatStandsInTheWay) {
    const std::string denied = "Permission denied. ";
    const struct {
        PermissionFacts facts;
        std::string advice;
    } cases[] = {
        {{"/dev/ttyUSB0", "dialout", "ana", true, false, false},
         "/dev/ttyUSB0 may be used by the group \"dialout\". Join it with\n"
         "  sudo usermod -aG dialout ana\nthen log out and in again."},
        {{"/dev/ttyUSB0", "dialout", "ana", true, true, false},
         "You are in the group \"dialout\" that may use /dev/ttyUSB0, but this session started "
         "before you joined it: log out and in again."},
        {{"/dev/ttyS0", "tty", "ana", false, true, true},
         "/dev/ttyS0 does not let its group \"tty\" use it."},
        {{"/dev/ttyS0", "dialout", "ana", true, true, true},
         "/dev/ttyS0 refused even the group \"dialout\"."},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PermissionAdvice(c.facts), denied + c.advice);
}

// A real refusal as a user without rights: a node of group dialout (mode 0660) when the tests run
// as root, one of mode 0 otherwise (a user cannot give a file to a group they are not in).
TEST(Refusals, ARealPermissionRefusalNamesTheGroupAndTheUser) {
    TempFolder folder;
    ::chmod(folder.path().c_str(), 0755);
    const std::string node = folder.Path("ttyUSB0");
    WriteFile(node, "");
    const group* dialout = ::getgrnam("dialout");
    const bool asRoot = ::geteuid() == 0 && dialout != nullptr;
    if (asRoot) {
        ASSERT_EQ(::chown(node.c_str(), 0, dialout->gr_gid), 0);
        ASSERT_EQ(::chmod(node.c_str(), 0660), 0);
    } else {
        ASSERT_EQ(::chmod(node.c_str(), 0), 0);
    }
    const std::string expected =
        asRoot ? "Permission denied. " + node +
                     " may be used by the group \"dialout\". Join it with\n"
                     "  sudo usermod -aG dialout nobody\nthen log out and in again."
               : "Permission denied. " + node + " does not let its group";
    const int status = RunUnprivileged([&] {
        int error = 0;
        if (OpenSerialDevice(node, error) != nullptr) return 10;
        const std::string text = ExplainOpenFailure(node, error);
        return text.starts_with(expected) ? 0 : 11;
    });
    EXPECT_EQ(status, 0) << "10: opened anyway, 11: the text was not " << expected;
}

// Slots without a chip and terminals without a device are left out; natural order; a USB
// adapter by its stable link, described as a user knows it.
TEST(PortInventory, ListsHardwarePortsByStableNameWithTheirDescription) {
    FakeSysfs system;
    system.AddUart("ttyS10", 4);
    system.AddUart("ttyS0", 0);
    system.AddUart("ttyS2", 4);
    const std::string stable = system.AddUsbAdapter("ttyUSB0", "A50285BI");
    system.AddVirtual("tty0");

    const std::vector<SerialPortInfo> expected = {
        {system.Dev("ttyS2"), system.Dev("ttyS2"), "serial8250"},
        {system.Dev("ttyS10"), system.Dev("ttyS10"), "serial8250"},
        {stable, system.Dev("ttyUSB0"),
         "FT232R USB UART, FTDI, serial A50285BI, USB 0403:6001, ftdi_sio"},
    };
    EXPECT_EQ(ListSerialPorts(system.Roots()), expected);
    EXPECT_THAT(ExplainOpenFailure(system.Dev("ttyUSB1"), ENOENT, system.Roots()),
                ::testing::HasSubstr(" is not present. Serial devices here:\n  " +
                                     system.Dev("ttyS2") + "  (serial8250)\n"));
}

}  // namespace
}  // namespace vellor::testing
