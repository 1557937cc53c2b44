// vellor-replay: feeds a byte stream through the receive path into a screen of a given size and
// prints the buffer, for golden tests and for looking into what the screen makes of a stream.

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "app/app_state.h"
#include "app/no_window_host.h"
#include "screen/screen.h"
#include "serial/receive_path.h"

namespace {

using namespace vellor;

constexpr int kExitBadArguments = 2;
constexpr int kExitFailure = 1;
constexpr std::size_t kChunkSize = 4096;

constexpr const char* kUsage =
    "usage: vellor-replay --rows R --cols C [--mode text|hex|hexchar] [--rx-bit7] [--rx-crlf]\n"
    "                     [--capture FILE] [--cells] [INPUT]\n"
    "Feeds INPUT (or standard input) through the receive path into an R x C screen and prints\n"
    "its rows, then \"cursor ROW,COL\". --cells prints each cell as 4-digit hexadecimal.\n";

struct Options {
    std::optional<uint16_t> rows;
    std::optional<uint16_t> cols;
    DisplayMode mode = DisplayMode::Text;
    bool rxBit7 = false;
    bool rxCrLf = false;
    bool cells = false;
    std::optional<std::string> capture;
    std::optional<std::string> input;  // none or "-": standard input
    bool help = false;
};

// Why the command line was refused, as one line for standard error.
struct ArgumentError {
    std::string message;
};

int Fail(int code, const std::string& message) {
    std::fprintf(stderr, "vellor-replay: %s\n", message.c_str());
    return code;
}

// A size: decimal digits only, 1 to 65535.
std::optional<uint16_t> ParseSize(std::string_view text) {
    if (text.empty() || text.size() > 5) return std::nullopt;
    uint32_t value = 0;
    for (char ch : text) {
        if (ch < '0' || ch > '9') return std::nullopt;
        value = value * 10 + uint32_t(ch - '0');
    }
    if (value == 0 || value > 0xFFFF) return std::nullopt;
    return uint16_t(value);
}

std::optional<DisplayMode> ParseMode(std::string_view text) {
    if (text == "text") return DisplayMode::Text;
    if (text == "hex") return DisplayMode::Hex;
    if (text == "hexchar") return DisplayMode::HexChar;
    return std::nullopt;
}

// Fills options from the command line; returns the reason when it cannot.
std::optional<ArgumentError> ParseArguments(int argc, char** argv, Options& options) {
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (optionsEnded || arg == "-" || !arg.starts_with("-")) {
            if (options.input) return ArgumentError{"more than one input file given"};
            options.input = std::string(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        // "--name value" or "--name=value" for the options that take a value.
        std::string_view name = arg;
        std::optional<std::string_view> inlineValue;
        if (const std::size_t eq = arg.find('='); eq != std::string_view::npos) {
            name = arg.substr(0, eq);
            inlineValue = arg.substr(eq + 1);
        }
        const bool takesValue =
            name == "--rows" || name == "--cols" || name == "--mode" || name == "--capture";
        if (!takesValue && inlineValue) {
            return ArgumentError{"option " + std::string(name) + " takes no value"};
        }
        std::string_view value;
        if (takesValue) {
            if (inlineValue) {
                value = *inlineValue;
            } else if (i + 1 < argc) {
                value = argv[++i];
            } else {
                return ArgumentError{"option " + std::string(name) + " needs a value"};
            }
        }

        if (name == "--rows" || name == "--cols") {
            const std::optional<uint16_t> size = ParseSize(value);
            if (!size) {
                return ArgumentError{std::string(name) + " must be a whole number from 1 to " +
                                     "65535, not '" + std::string(value) + "'"};
            }
            (name == "--rows" ? options.rows : options.cols) = size;
        } else if (name == "--mode") {
            const std::optional<DisplayMode> mode = ParseMode(value);
            if (!mode) {
                return ArgumentError{"unknown mode '" + std::string(value) +
                                     "' (text, hex or hexchar)"};
            }
            options.mode = *mode;
        } else if (name == "--capture") {
            if (value.empty()) return ArgumentError{"--capture needs a file name"};
            options.capture = std::string(value);
        } else if (name == "--rx-bit7") {
            options.rxBit7 = true;
        } else if (name == "--rx-crlf") {
            options.rxCrLf = true;
        } else if (name == "--cells") {
            options.cells = true;
        } else if (name == "--help" || name == "-h") {
            options.help = true;
        } else {
            return ArgumentError{"unknown option '" + std::string(arg) + "'"};
        }
    }
    if (options.help) return std::nullopt;
    if (!options.rows) return ArgumentError{"--rows is missing"};
    if (!options.cols) return ArgumentError{"--cols is missing"};
    return std::nullopt;
}

void AppendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

// The character a cell shows: its own code, or for a marked cell the byte it marks.
uint32_t CellCharacter(uint16_t cell) {
    if (cell < ScreenBuffer::kMarked) return cell;
    if ((cell & 0xFF00) == ScreenBuffer::kMarked) return cell & 0xFF;
    return 0xFFFD;  // no cell value the screen writes
}

std::string RenderScreen(const AppState& state, bool cells) {
    std::lock_guard lock(state.screenMutex);
    const ScreenBuffer& buffer = *state.screenBuffer;
    std::string out;
    for (uint16_t r = 0; r < buffer.Rows(); ++r) {
        const uint16_t* row = buffer.Row(r);
        for (uint16_t c = 0; c < buffer.Cols(); ++c) {
            if (cells) {
                char hex[6];
                std::snprintf(hex, sizeof hex, "%s%04X", c == 0 ? "" : " ", unsigned(row[c]));
                out += hex;
            } else {
                AppendUtf8(out, CellCharacter(row[c]));
            }
        }
        out += '\n';
    }
    out +=
        "cursor " + std::to_string(state.cursorRow) + "," + std::to_string(state.cursorCol) + "\n";
    return out;
}

// A screen of the given size in view as a whole, like a window exactly as large as the buffer:
// the cursor is always in view, so the view never has to move and the rows printed are the
// buffer's rows in order.
bool PrepareScreen(AppState& state, const Options& options) {
    {
        std::lock_guard lock(state.screenMutex);
        state.numRows = *options.rows;
        state.numCols = *options.cols;
        state.visibleRows = *options.rows;
        state.visibleCols = *options.cols;
        state.cellWidth = 1;
        state.cellHeight = 1;
        state.displayMode = options.mode;
    }
    NoWindowHost quiet;  // the caller reports a failed allocation itself
    return AllocateScreen(state, quiet) == 0;
}

int Replay(const Options& options) {
    AppState state;
    if (!PrepareScreen(state, options)) {
        return Fail(kExitBadArguments, "a screen of " + std::to_string(*options.rows) + " x " +
                                           std::to_string(*options.cols) +
                                           " cells cannot be allocated");
    }
    state.rxBit7 = options.rxBit7 ? 1 : 0;
    state.rxCrLf = options.rxCrLf ? 1 : 0;

    const bool fromStdin = !options.input || *options.input == "-";
    std::FILE* in = fromStdin ? stdin : std::fopen(options.input->c_str(), "rb");
    if (!in) {
        return Fail(kExitFailure, "cannot open '" + *options.input + "': " + std::strerror(errno));
    }
    const std::string inputName = fromStdin ? "standard input" : "'" + *options.input + "'";

    if (options.capture) {
        const FileStatus opened = state.captureFile.Open(*options.capture);
        if (!opened) {
            if (!fromStdin) std::fclose(in);
            return Fail(kExitFailure,
                        "cannot open capture file '" + *options.capture + "': " + opened.error);
        }
    }

    std::array<uint8_t, kChunkSize> chunk;
    std::size_t n;
    while ((n = std::fread(chunk.data(), 1, chunk.size(), in)) > 0) {
        ProcessReceivedBytes(state, std::span<const uint8_t>(chunk.data(), n));
    }
    const bool readFailed = std::ferror(in) != 0;
    const int readErrno = errno;
    if (!fromStdin) std::fclose(in);
    const FileStatus closed = state.captureFile.Close();
    if (readFailed) {
        return Fail(kExitFailure, "cannot read " + inputName + ": " + std::strerror(readErrno));
    }
    if (!closed) {
        return Fail(kExitFailure,
                    "cannot write capture file '" + *options.capture + "': " + closed.error);
    }

    const std::string screen = RenderScreen(state, options.cells);
    if (std::fwrite(screen.data(), 1, screen.size(), stdout) != screen.size() ||
        std::fflush(stdout) != 0) {
        return Fail(kExitFailure, std::string("cannot write the screen: ") + std::strerror(errno));
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (const std::optional<ArgumentError> error = ParseArguments(argc, argv, options)) {
        return Fail(kExitBadArguments, error->message + " (see --help)");
    }
    if (options.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    return Replay(options);
}
