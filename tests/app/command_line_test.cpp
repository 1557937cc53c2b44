#include <gtest/gtest.h>

#include "app/app_state.h"
#include "app/command_line.h"

namespace vellor::testing {
namespace {

TEST(CommandLine, ReadsItsOptionsPassesTheToolkitsAndRefusesTheRest) {
    const struct {
        std::vector<std::string> args;
        std::optional<std::string> port;
        std::optional<uint32_t> baud;
        bool open;
        std::string error;
    } cases[] = {
        {{}, {}, {}, false, ""},
        {{"--port", "/dev/ttyUSB0", "--baud", "115200", "--open"},
         "/dev/ttyUSB0",
         115200,
         true,
         ""},
        {{"--port=LOOP", "--baud=9600"}, "LOOP", 9600, false, ""},
        {{"-platform", "offscreen", "--open", "-reverse", "-style=fusion"}, {}, {}, true, ""},
        {{"--port"}, {}, {}, false, "--port needs a value"},
        {{"--port="}, "", {}, false, "--port needs a name"},
        {{"--baud", "0"}, {}, {}, false, "--baud needs a whole number of bits per second"},
        {{"--baud", "96OO"}, {}, {}, false, "--baud needs a whole number of bits per second"},
        {{"--baud", "99999999999"},
         {},
         {},
         false,
         "--baud needs a whole number of bits per second"},
        {{"--open=yes"}, {}, {}, true, "--open takes no value"},
        {{"ttyUSB0"}, {}, {}, false, "unknown argument 'ttyUSB0'"},
        {{"--verbose", "--open"}, {}, {}, false, "unknown argument '--verbose'"},
    };
    for (const auto& c : cases) {
        const CommandLine line = ParseCommandLine(c.args);
        const std::string shown = c.args.empty() ? "(none)" : c.args.front();
        EXPECT_EQ(line.port, c.port) << shown;
        EXPECT_EQ(line.baud, c.baud) << shown;
        EXPECT_EQ(line.open, c.open) << shown;
        EXPECT_EQ(line.error, c.error) << shown;
    }
    EXPECT_TRUE(ParseCommandLine({"--version"}).version);
    EXPECT_TRUE(ParseCommandLine({"-h"}).help);
}

// The run takes the name as the dialog would keep it; what is not given stays as loaded.
TEST(CommandLine, AppliesToTheRunOnly) {
    AppState state;
    state.portName = "COM1";
    state.portConfig.SetBaudRate(9600);
    state.portConfig.SetByteSize(7);
    ApplyCommandLine(ParseCommandLine({"--port", "/dev/ttyACM0 trailing"}), state);
    EXPECT_EQ(state.portName, "/dev/ttyACM0");
    EXPECT_EQ(state.portConfig.BaudRate(), 9600u);
    ApplyCommandLine(ParseCommandLine({"--baud", "921600"}), state);
    EXPECT_EQ(state.portName, "/dev/ttyACM0");
    EXPECT_EQ(state.portConfig.BaudRate(), 921600u);
    EXPECT_EQ(state.portConfig.ByteSize(), 7);
}

}  // namespace
}  // namespace vellor::testing
