#include <gtest/gtest.h>

#include "app/app_state.h"
#include "app/command_line.h"

namespace vellor::testing {
namespace {

std::string Outcome(const std::vector<std::string>& args) {
    const CommandLine line = ParseCommandLine(args);
    if (!line.error.empty()) return line.error;
    return (line.port ? "port " + *line.port + ";" : "") +
           (line.baud ? "baud " + std::to_string(*line.baud) + ";" : "") +
           (line.open ? "open;" : "") + (line.version ? "version;" : "") +
           (line.help ? "help;" : "");
}

// What a command line asks for, or why it is refused; the toolkit's own options pass; the run
// takes the port name as the dialog would keep it.
TEST(CommandLine, ReadsItsOptionsAndAppliesThemToTheRun) {
    const std::string badRate = "--baud needs a whole number of bits per second";
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{}, ""},
        {{"--port", "/dev/ttyUSB0", "--baud", "115200", "--open"},
         "port /dev/ttyUSB0;baud 115200;open;"},
        {{"--port=LOOP", "--baud=9600"}, "port LOOP;baud 9600;"},
        {{"-platform", "offscreen", "--open", "-reverse", "-style=fusion"}, "open;"},
        {{"--version", "-h"}, "version;help;"},
        {{"--port"}, "--port needs a value"},
        {{"--port="}, "--port needs a name"},
        {{"--baud", "0"}, badRate},
        {{"--baud", "96OO"}, badRate},
        {{"--baud", "99999999999"}, badRate},
        {{"--open=yes"}, "--open takes no value"},
        {{"--verbose", "--open"}, "unknown argument '--verbose'"}};
    for (const auto& [args, outcome] : cases)
        EXPECT_EQ(Outcome(args), outcome) << (args.empty() ? "(none)" : args.front());

    AppState state;
    ApplyCommandLine(ParseCommandLine({"--port", "/dev/ttyACM0 trailing", "--baud", "921600"}),
                     state);
    EXPECT_EQ(state.portName + " " + std::to_string(state.portConfig.BaudRate()),
              "/dev/ttyACM0 921600");
}

}  // namespace
}  // namespace vellor::testing
