// vellor-replay, run as a program: the interpreter cases, its input and capture, and its errors.
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <sstream>

#include "support/interpreter_cases.h"
#include "support/temp_folder.h"

namespace vellor::testing {
namespace {

// Runs the tool with these arguments, split by the shell, and this standard input: its exit code
// (minus the signal after a crash), standard output and standard error.
std::tuple<int, std::string, std::string> RunReplay(const std::string& args,
                                                    const std::string& input = "") {
    TempFolder folder;
    WriteFile(folder.Path("in"), input);
    const int status =
        std::system(("exec " VELLOR_REPLAY_PATH " " + args + " <" + folder.Path("in") + " >" +
                     folder.Path("out") + " 2>" + folder.Path("err"))
                        .c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status),
            ReadFile(folder.Path("out")), ReadFile(folder.Path("err"))};
}

// Every case in a mode the tool takes, read back from --cells in the cases' notation.
TEST(Replay, ScreensMatchTheInterpreterCases) {
    for (const InterpreterCase& c : LoadInterpreterCases()) {
        if (c.mode != "text" && c.mode != "hex" && c.mode != "hexchar") continue;
        const auto [code, out, err] =
            RunReplay("--rows " + std::to_string(c.rows) + " --cols=" + std::to_string(c.cols) +
                          " --cells --mode " + c.mode + (c.rxBit7 ? " --rx-bit7" : "") +
                          (c.rxCrLf ? " --rx-crlf" : ""),
                      c.input);
        std::istringstream lines(out);
        std::string screen, line;
        while (std::getline(lines, line) && !line.starts_with("cursor ")) {
            std::string row;
            std::istringstream cells(line);
            for (unsigned cell; cells >> std::hex >> cell;)
                row += (cell >= 0x1000 ? "*" : "") + std::string(1, char(cell));
            screen += row.substr(0, row.find_last_not_of(' ') + 1) + "|";
        }
        const std::string cursor = std::to_string(c.cursorRow) + "," + std::to_string(c.cursorCol);
        EXPECT_EQ(screen + line, c.screen + "|cursor " + cursor) << c.name << err;
    }
}

// A file, "-" or standard input, longer than a chunk; the capture appends; UTF-8 output.
TEST(Replay, InputOutputAndCapture) {
    TempFolder folder;
    std::string input;
    for (int i = 0; i < 10000; ++i)
        input += char('a' + i % 26);
    input += "\r\n\xE9";
    WriteFile(folder.Path("input"), input);
    const std::string screen =
        input.substr(9990, 10) + "\n          \n\xC3\xA9         \ncursor 2,1\n";
    for (const std::string& from : std::vector<std::string>{"", "-", folder.Path("input")})
        EXPECT_EQ(RunReplay("--rows 3 --cols 10 " + from, from.size() < 2 ? input : ""),
                  std::tuple(0, screen, ""))
            << from;
    WriteFile(folder.Path("capture"), "old|");
    const std::string capture = folder.Path("capture");
    EXPECT_EQ(std::get<0>(RunReplay("--rows 2 --cols 8 --rx-bit7 --rx-crlf --capture " + capture,
                                    "\xC1\r\n\x8D")),
              0);
    EXPECT_EQ(ReadFile(folder.Path("capture")), "old|A\r\n\n\r\n");
    const auto [code, out, err] = RunReplay("--help");
    EXPECT_TRUE(code == 0 && out.starts_with("usage: vellor-replay"));
}

// Bad calls print one line on standard error and exit with 2 (the command line) or 1 (files).
TEST(Replay, BadCallsExitWithOneLine) {
    const auto expectRefused = [](const std::string& args, int exitCode) {
        const auto [code, out, err] = RunReplay(args, "data");
        EXPECT_EQ(std::tie(code, out), std::tuple(exitCode, "")) << args;
        EXPECT_TRUE(err.starts_with("vellor-replay: ") && err.find('\n') == err.size() - 1) << err;
    };
    for (const char* args :
         {"--rows 3", "--cols 3", "--cols 3 --rows", "--rows 3x --cols 3", "--rows 0 --cols 3",
          "--rows 65536 --cols 3", "--rows 65535 --cols 65535"})
        expectRefused(args, 2);
    for (const char* args : {"--mode binary", "--cells=1", "--bogus", "a b"})
        expectRefused(std::string("--rows 3 --cols 3 ") + args, 2);
    for (const char* file :
         {"/nonexistent/input", "/", "--capture /nonexistent/c.log", "--capture /dev/full"})
        expectRefused(std::string("--rows 3 --cols 3 ") + file, 1);
}

}  // namespace
}  // namespace vellor::testing
