#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vellor {

// What the command line asks of this run. The port name and rate apply to this run only (saved
// only when the user confirms the Communications dialog); --open opens the port once the window
// is shown.
struct CommandLine {
    bool help = false;
    bool version = false;
    std::optional<std::string> port;
    std::optional<uint32_t> baud;
    bool open = false;
    std::string error;  // why the command line was refused; empty when it was taken

    // Whether anything for the run itself was asked (a second start cannot apply it).
    bool AsksForTheRun() const { return port || baud || open; }
};

// Reads the arguments after the program's name: --port NAME, --baud N (--name=value works too),
// --open, --help, --version. Qt's own options (-platform NAME, -display NAME, -style NAME, ...)
// are passed over for the toolkit.
CommandLine ParseCommandLine(const std::vector<std::string>& args);

// Puts the port name (as the Communications dialog would keep it) and rate of the command line
// into the state for this run, over what the settings held.
void ApplyCommandLine(const CommandLine& line, struct AppState& state);

// The usage line and the full help text.
std::string UsageLine();
std::string HelpText();

}  // namespace vellor
