// vellor-replay, run as a program: the interpreter cases, its input and capture, and its errors.
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <sstream>

#include "support/interpreter_cases.h"
#include "support/temp_folder.h"

namespace vellor::testing {
namespace {

// The exit code (minus the signal after a crash), output and errors of the tool given these
// arguments, split by the shell, and this standard input.
std::tuple<int, std::string, std::string> RunReplay(const std::string& args,
                                                    const std::string& input = "") {
    TempFolder dir;
    WriteFile(dir.Path("in"), input);
    const int status = std::system(("exec " VELLOR_REPLAY_PATH " " + args + " <" + dir.Path("in") +
                                    " >" + dir.Path("out") + " 2>" + dir.Path("err"))
                                       .c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status), ReadFile(dir.Path("out")),
            ReadFile(dir.Path("err"))};
}

// Every case in a mode the tool takes, read back from --cells in the cases' notation.
TEST(Replay, ScreensMatchTheInterpreterCases) {
    for (const InterpreterCase& c : kInterpreterCases) {
        if (std::isdigit(c.mode[0])) continue;
        const auto [code, out, err] =
            RunReplay("--cells --rows " + std::to_string(c.rows) +
                          " --cols=" + std::to_string(c.cols) + " --mode " + c.mode +
                          (c.rxBit7 ? " --rx-bit7" : "") + (c.rxCrLf ? " --rx-crlf" : ""),
                      c.input);
        std::istringstream lines(out);
        std::string screen, line;
        while (std::getline(lines, line) && !line.starts_with("cursor ")) {
            std::istringstream cells(line);
            for (unsigned cell; cells >> std::hex >> cell;)
                screen += (cell >= 0x1000 ? "*" : "") + std::string(1, char(cell));
            screen.erase(screen.find_last_not_of(' ') + 1) += '|';
        }
        EXPECT_EQ(screen + line, c.screen + "|cursor " + std::to_string(c.cursorRow) + "," +
                                     std::to_string(c.cursorCol))
            << c.name << err;
    }
}

// A file, "-" or standard input, longer than a chunk; the capture appends; UTF-8 output.
TEST(Replay, InputOutputAndCapture) {
    TempFolder dir;
    std::string input;
    for (int i = 0; i < 10000; ++i)
        input += char('a' + i % 26);
    WriteFile(dir.Path("input"), input += "\r\n\xE9");
    const std::string screen =
        input.substr(9990, 10) + "\n          \n\xC3\xA9         \ncursor 2,1\n";
    for (const std::string& from : {std::string(), std::string("-"), dir.Path("input")})
        EXPECT_EQ(RunReplay("--rows 3 --cols 10 " + from, from.size() < 2 ? input : ""),
                  std::tuple(0, screen, ""))
            << from;
    WriteFile(dir.Path("capture"), "old|");
    RunReplay("--rows 2 --cols 8 --rx-bit7 --rx-crlf --capture " + dir.Path("capture"),
              "\xC1\r\n\x8D");
    EXPECT_EQ(ReadFile(dir.Path("capture")), "old|A\r\n\n\r\n");
}

// Bad calls print one line on standard error and exit with 2 (the command line) or 1 (files);
// each call below is its exit code, then its arguments, "*" for a valid size.
TEST(Replay, BadCallsExitWithOneLine) {
    for (std::string call :
         {"2 --rows 3", "2 --cols 3", "2 --cols 3 --rows", "2 --rows 3x --cols 3",
          "2 --rows 0 --cols 3", "2 --rows 65536 --cols 3", "2 --rows 65535 --cols 65535",
          "2 * --mode binary", "2 * --cells=1", "2 * --bogus", "2 * a b", "1 * /nonexistent/input",
          "1 * /", "1 * --capture /nonexistent/c.log", "1 * --capture /dev/full"}) {
        if (call[2] == '*') call.replace(2, 1, "--rows 3 --cols 3");
        const auto [code, out, err] = RunReplay(call.substr(2), "data");
        EXPECT_EQ(std::tie(code, out), std::tuple(call[0] - '0', "")) << call;
        EXPECT_TRUE(err.starts_with("vellor-replay: ") && err.find('\n') == err.size() - 1) << err;
    }
}

}  // namespace
}  // namespace vellor::testing
