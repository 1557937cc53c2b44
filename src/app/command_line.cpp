#include "app/command_line.h"

#include <charconv>
#include <set>
#include <string_view>

#include "app/app_state.h"
#include "serial/comm_dialog_model.h"

namespace vellor {

namespace {

// The toolkit's own options that take a value, and those that do not.
const std::set<std::string_view> kToolkitOptionsWithValue = {"-platform",
                                                             "-platformpluginpath",
                                                             "-platformtheme",
                                                             "-plugin",
                                                             "-display",
                                                             "-style",
                                                             "-stylesheet",
                                                             "-geometry",
                                                             "-qwindowgeometry",
                                                             "-qwindowtitle",
                                                             "-qwindowicon",
                                                             "-session",
                                                             "-name",
                                                             "-title",
                                                             "-visual",
                                                             "-ncols",
                                                             "-cmap"};
const std::set<std::string_view> kToolkitFlags = {"-reverse", "-nograb", "-dograb", "-sync",
                                                  "-widgetcount"};

std::optional<uint32_t> ParseRate(std::string_view text) {
    uint32_t rate = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), rate);
    if (error != std::errc() || end != text.data() + text.size() || rate == 0) return std::nullopt;
    return rate;
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
    CommandLine line;
    for (std::size_t i = 0; i < args.size() && line.error.empty(); ++i) {
        std::string_view arg = args[i];
        std::string_view name = arg;
        std::optional<std::string_view> value;
        if (arg.starts_with("--") && arg.find('=') != std::string_view::npos) {
            name = arg.substr(0, arg.find('='));
            value = arg.substr(arg.find('=') + 1);
        }
        const auto takeValue = [&]() -> std::optional<std::string_view> {
            if (value) return value;
            if (i + 1 < args.size()) return std::string_view(args[++i]);
            line.error = std::string(name) + " needs a value";
            return std::nullopt;
        };
        if (name == "--help" || name == "-h") {
            line.help = true;
        } else if (name == "--version") {
            line.version = true;
        } else if (name == "--open") {
            line.open = true;
        } else if (name == "--port") {
            if (const auto port = takeValue()) {
                if (port->empty()) line.error = "--port needs a name";
                line.port = std::string(*port);
            }
        } else if (name == "--baud") {
            if (const auto rate = takeValue()) {
                line.baud = ParseRate(*rate);
                if (!line.baud) line.error = "--baud needs a whole number of bits per second";
            }
        } else if (kToolkitOptionsWithValue.contains(arg.substr(0, arg.find('=')))) {
            if (arg.find('=') == std::string_view::npos) ++i;  // its value is the toolkit's too
        } else if (!kToolkitFlags.contains(arg)) {
            line.error = "unknown argument '" + std::string(arg) + "'";
        }
        if (value && (name == "--help" || name == "-h" || name == "--version" || name == "--open"))
            line.error = std::string(name) + " takes no value";
    }
    return line;
}

void ApplyCommandLine(const CommandLine& line, AppState& state) {
    if (line.port) state.portName = PortNameFromText(*line.port);
    if (line.baud) state.portConfig.SetBaudRate(*line.baud);
}

std::string UsageLine() {
    return "usage: vellor [--port NAME] [--baud N] [--open] | --help | --version";
}

std::string HelpText() {
    return UsageLine() +
           "\n\n"
           "A serial-port terminal: watch what a port receives as text or hexadecimal, type to "
           "it,\n"
           "drive DTR and RTS, capture to a file and send a file.\n\n"
           "  --port NAME  the port for this run: COM1 is /dev/ttyS0, a name without / is looked\n"
           "               up in /dev (ttyUSB0), anything else is a path; LOOP is a built-in\n"
           "               loopback plug; rfc2217://HOST:PORT and tcp://HOST:PORT are ports\n"
           "               across the network\n"
           "  --baud N     the rate for this run, in bits per second\n"
           "  --open       open the port once the window is shown\n"
           "  --help       show this text\n"
           "  --version    show the version\n\n"
           "The port and rate given here are saved only if you confirm them in Comm > Properties.\n"
           "A second start brings the running window to the front.\n";
}

}  // namespace vellor
