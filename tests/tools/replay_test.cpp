// vellor-replay, run as a program: the interpreter cases, its input and capture, and its errors.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <random>
#include <sstream>

#include "support/interpreter_cases.h"
#include "support/temp_folder.h"

extern char** environ;

namespace vellor::testing {
namespace {

struct Result {
    int exitCode = -1;  // a crash shows as minus the signal, never as a normal exit
    std::string out;
    std::string err;
};

// Runs the tool with these arguments and standard input; no shell in between.
Result RunReplay(std::vector<std::string> args, const std::string& input = "") {
    TempFolder folder;
    const std::string in = folder.Path("in"), out = folder.Path("out"), err = folder.Path("err");
    WriteFile(in, input);
    args.insert(args.begin(), VELLOR_REPLAY_PATH);
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, in.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT, 0600);
    pid_t pid = 0;
    Result result;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return result;
    int status = 0;
    waitpid(pid, &status, 0);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    result.out = ReadFile(out);
    result.err = ReadFile(err);
    return result;
}

// The --cells output as the cases write screens: rows without trailing blanks joined by "|", a
// marked cell as "*" and its character; then "row,col".
std::string AsCase(const std::string& cells) {
    std::istringstream lines(cells);
    std::string screen, line;
    while (std::getline(lines, line) && !line.starts_with("cursor ")) {
        std::string row;
        std::istringstream cellsOfRow(line);
        for (unsigned cell; cellsOfRow >> std::hex >> cell;) {
            if (cell >= 0x1000) row += '*';
            row += char(cell & 0xFF);
        }
        row.erase(row.find_last_not_of(' ') + 1);
        screen += row + "|";
    }
    screen.pop_back();
    return screen + " " + line.substr(7);
}

// Every interpreter case with a mode the tool takes gives the case's screen and cursor.
TEST(Replay, ScreensMatchTheInterpreterCases) {
    for (const InterpreterCase& c : LoadInterpreterCases()) {
        if (c.mode != "text" && c.mode != "hex" && c.mode != "hexchar") continue;
        std::vector<std::string> args = {
            "--rows", std::to_string(c.rows), "--cols=" + std::to_string(c.cols), "--mode", c.mode,
            "--cells"};
        if (c.rxBit7) args.push_back("--rx-bit7");
        if (c.rxCrLf) args.push_back("--rx-crlf");
        const Result r = RunReplay(args, c.input);
        ASSERT_EQ(r.exitCode, 0) << c.name << ": " << r.err;
        EXPECT_EQ(AsCase(r.out),
                  c.screen + " " + std::to_string(c.cursorRow) + "," + std::to_string(c.cursorCol))
            << c.name;
    }
}

// Input from a file, from "-" or from standard input is the same, however long; the capture
// appends exactly what the screen is given; characters print as UTF-8.
TEST(Replay, InputOutputAndCapture) {
    TempFolder folder;
    std::string input;
    for (int i = 0; i < 10000; ++i)
        input += char('a' + i % 26);
    input += "\r\n\xE9";
    WriteFile(folder.Path("input"), input);
    const Result fromStdin = RunReplay({"--rows", "3", "--cols", "10"}, input);
    ASSERT_EQ(fromStdin.exitCode, 0) << fromStdin.err;
    EXPECT_EQ(fromStdin.out,
              input.substr(9990, 10) + "\n          \n\xC3\xA9         \ncursor 2,1\n");
    EXPECT_EQ(RunReplay({"--rows", "3", "--cols", "10", folder.Path("input")}).out, fromStdin.out);
    EXPECT_EQ(RunReplay({"--rows", "3", "--cols", "10", "-"}, input).out, fromStdin.out);

    WriteFile(folder.Path("capture"), "old|");
    const Result captured = RunReplay({"--rows", "2", "--cols", "8", "--rx-bit7", "--rx-crlf",
                                       "--capture", folder.Path("capture")},
                                      "\xC1\r\n\x8D");
    ASSERT_EQ(captured.exitCode, 0) << captured.err;
    EXPECT_EQ(ReadFile(folder.Path("capture")), "old|A\r\n\n\r\n");

    const Result help = RunReplay({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.starts_with("usage: vellor-replay"));
}

// Bad calls print one line on standard error and exit with 2 (the command line) or 1 (files).
TEST(Replay, BadCallsExitWithOneLine) {
    const std::pair<std::vector<std::string>, int> calls[] = {
        {{}, 2},
        {{"--cols", "3"}, 2},
        {{"--cols", "3", "--rows"}, 2},
        {{"--rows", "3x", "--cols", "3"}, 2},
        {{"--rows", "-1", "--cols", "3"}, 2},
        {{"--rows", "0", "--cols", "3"}, 2},
        {{"--rows", "65536", "--cols", "3"}, 2},
        {{"--rows", "65535", "--cols", "65535"}, 2},
        {{"--rows", "3", "--cols", "3", "--mode", "binary"}, 2},
        {{"--rows", "3", "--cols", "3", "--cells=1"}, 2},
        {{"--rows", "3", "--cols", "3", "--bogus"}, 2},
        {{"--rows", "3", "--cols", "3", "a", "b"}, 2},
        {{"--rows", "3", "--cols", "3", "/nonexistent/input"}, 1},
        {{"--rows", "3", "--cols", "3", "/"}, 1},
        {{"--rows", "3", "--cols", "3", "--capture", "/nonexistent/c.log"}, 1},
    };
    for (const auto& [args, code] : calls) {
        const Result r = RunReplay(args, "data");
        EXPECT_EQ(r.exitCode, code) << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_TRUE(r.err.starts_with("vellor-replay: ")) << r.err;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
    }
}

// Random bytes in every mode and option set never crash it and always print a whole screen.
TEST(Replay, RandomInputAlwaysPrintsAWholeScreen) {
    std::mt19937 random(7);
    for (const char* mode : {"text", "hex", "hexchar"}) {
        std::string input(random() % 20000, '\0');
        for (char& c : input)
            c = char(random());
        const unsigned rows = 1 + random() % 30;
        std::vector<std::string> args = {
            "--rows", std::to_string(rows), "--cols",   std::to_string(1 + random() % 90), "--mode",
            mode,     "--rx-bit7",          "--rx-crlf"};
        const Result r = RunReplay(args, input);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(std::size_t(std::count(r.out.begin(), r.out.end(), '\n')), rows + 1);
        EXPECT_NE(r.out.find("\ncursor "), std::string::npos);
    }
}

}  // namespace
}  // namespace vellor::testing
