// vellor-replay, run as a program: the interpreter cases, its input and capture, and its errors.
#include <sys/wait.h>

#include <gtest/gtest.h>

#include "support/temp_folder.h"

namespace vellor::testing {
namespace {

// The tool's exit code (minus the signal after a crash) and output, both streams, for this call.
std::pair<int, std::string> RunReplay(const std::string& args, const std::string& input = "") {
    TempFolder dir;
    WriteFile(dir.Path("in"), input);
    const int status = std::system(("exec " VELLOR_REPLAY_PATH " " + args + " <" + dir.Path("in") +
                                    " >" + dir.Path("out") + " 2>&1")
                                       .c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status), ReadFile(dir.Path("out"))};
}

// A file, "-" or standard input, longer than a chunk; UTF-8 output; the modes by name and --cells
// with the mark bit; the capture appends.
TEST(Replay, InputModesOutputAndCapture) {
    TempFolder dir;
    std::string input;
    for (int i = 0; i < 10000; ++i)
        input += char('a' + i % 26);
    WriteFile(dir.Path("input"), input += "\r\n\xE9");
    const std::string screen =
        input.substr(9990, 10) + "\n          \n\xC3\xA9         \ncursor 2,1\n";
    for (const std::string& from : {std::string(), std::string("-"), dir.Path("input")})
        EXPECT_EQ(RunReplay("--rows 3 --cols 10 " + from, from.size() < 2 ? input : ""),
                  std::pair(0, screen))
            << from;
    EXPECT_EQ(RunReplay("--rows 2 --cols 4 --mode hex", "AB"),
              std::pair(0, std::string("41 4\n2   \ncursor 1,2\n")));
    EXPECT_EQ(RunReplay("--rows 1 --cols 5 --cells --mode=hexchar", "\xff"),
              std::pair(0, std::string("0046 0046 10FF 0020 0020\ncursor 0,4\n")));
    WriteFile(dir.Path("capture"), "old|");
    RunReplay("--rows 2 --cols 8 --rx-bit7 --rx-crlf --capture " + dir.Path("capture"),
              "\xC1\r\n\x8D");
    EXPECT_EQ(ReadFile(dir.Path("capture")), "old|A\r\n\n\r\n");
}

// Bad calls print one line and exit with the code they start with ("*" is a valid size).
TEST(Replay, BadCallsExitWithOneLine) {
    for (std::string call : {"2 --cols 3 --rows", "2 --rows 3x --cols 3", "2 --rows 0 --cols 3",
                             "2 --rows 65536 --cols 3", "2 --rows 65535 --cols 65535",
                             "2 * --mode binary", "2 * --cells=1", "2 * a b", "1 * /",
                             "1 * --capture /nonexistent/c.log", "1 * --capture /dev/full"}) {
        if (call[2] == '*') call.replace(2, 1, "--rows 3 --cols 3");
        const auto [code, out] = RunReplay(call.substr(2), "data");
        EXPECT_EQ(code, call[0] - '0') << call;
        EXPECT_TRUE(out.starts_with("vellor-replay: ") && out.find('\n') == out.size() - 1) << out;
    }
}

}  // namespace
}  // namespace vellor::testing
