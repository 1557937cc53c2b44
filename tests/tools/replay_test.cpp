// Runs the built vellor-replay on inputs whose screens are known.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

struct Result {
    int exitCode = -1;
    std::string out;
    std::string err;
};

class ReplayTest : public testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "replay-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string PathOf(const std::string& name) const { return (dir_ / name).string(); }

    static std::string Read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    static void Write(const std::string& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary) << bytes;
    }

    // Runs the tool with these arguments and stdin bytes; no shell in between.
    Result Run(const std::vector<std::string>& args, const std::string& input = "") {
        const std::string in = PathOf("stdin"), out = PathOf("stdout"), err = PathOf("stderr");
        Write(in, input);
        std::vector<std::string> argv = {VELLOR_REPLAY_PATH};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<char*> cargv;
        for (std::string& a : argv)
            cargv.push_back(a.data());
        cargv.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, in.c_str(), O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        pid_t pid = 0;
        Result result;
        const int spawned = posix_spawn(&pid, cargv[0], &actions, nullptr, cargv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (spawned != 0) {
            ADD_FAILURE() << "cannot start " << cargv[0];
            return result;
        }
        int status = 0;
        waitpid(pid, &status, 0);
        // A crash shows as a negative code so it never passes for a normal exit.
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
        result.out = Read(out);
        result.err = Read(err);
        return result;
    }

    fs::path dir_;
};

// The expected output: each row padded with blanks to the width, then the cursor line.
std::string Screen(std::vector<std::string> rows, int cols, int cursorRow, int cursorCol) {
    std::string s;
    for (std::string& r : rows) {
        // Count code points, not bytes, so that UTF-8 rows pad correctly.
        int width = 0;
        for (unsigned char ch : r)
            width += (ch & 0xC0) != 0x80;
        s += r + std::string(std::size_t(cols - width), ' ') + "\n";
    }
    return s + "cursor " + std::to_string(cursorRow) + "," + std::to_string(cursorCol) + "\n";
}

struct Golden {
    const char* name;
    std::vector<std::string> args;
    std::string input;
    std::string expected;
};

TEST_F(ReplayTest, ScreensMatchTheirGoldens) {
    const std::string nul(1, '\0');
    const std::vector<Golden> goldens = {
        {"text_two_chars_cr_lf",
         {"--rows", "3", "--cols", "80"},
         "AB\r\n",
         Screen({"AB", "", ""}, 80, 1, 0)},
        {"full_last_row_scrolls",
         {"--rows", "3", "--cols", "4"},
         "\n\nABCD",
         Screen({"", "ABCD", ""}, 4, 2, 0)},
        {"lf_on_last_row_scrolls",
         {"--rows", "3", "--cols", "4"},
         "A\n\n\nB",
         Screen({"", "", " B"}, 4, 2, 2)},
        {"down_on_last_row_stays",
         {"--rows", "3", "--cols", "4"},
         "\n\n\x1b[BX",
         Screen({"", "", "X"}, 4, 2, 1)},
        {"right_on_last_column_stays",
         {"--rows", "3", "--cols", "4"},
         "ABC\x1b[CX",
         Screen({"ABCX", "", ""}, 4, 1, 0)},
        {"up_and_left_stop_at_edges",
         {"--rows", "2", "--cols", "4"},
         "\x1b[A\x1b[DQ",
         Screen({"Q", ""}, 4, 0, 1)},
        {"bs_at_column_zero", {"--rows", "2", "--cols", "8"}, "\bA", Screen({"A", ""}, 8, 0, 1)},
        {"bs_blanks_previous_cell",
         {"--rows", "2", "--cols", "8"},
         "abcde\b",
         Screen({"abcd", ""}, 8, 0, 4)},
        {"bs_never_goes_to_previous_row",
         {"--rows", "2", "--cols", "3"},
         "abc\b\b",
         Screen({"abc", ""}, 3, 1, 0)},
        {"esc_x_shows_x", {"--rows", "1", "--cols", "4"}, "\x1bx", Screen({"x"}, 4, 0, 1)},
        {"esc_bracket_digit_shows_nothing",
         {"--rows", "1", "--cols", "4"},
         "\x1b[5",
         Screen({""}, 4, 0, 0)},
        {"digit_parameter_dropped",
         {"--rows", "1", "--cols", "4"},
         "\x1b[2A",
         Screen({"A"}, 4, 0, 1)},
        {"esc_esc_bracket_a_moves_up",
         {"--rows", "2", "--cols", "4"},
         "\n\x1b\x1b[AZ",
         Screen({"Z", ""}, 4, 0, 1)},
        {"controls_are_blank_cells",
         {"--rows", "1", "--cols", "6", "--cells"},
         nul + "\a\t\x7fZ",
         "0020 0020 0020 007F 005A 0020\ncursor 0,5\n"},
        {"latin1_as_utf8",
         {"--rows", "1", "--cols", "3"},
         "\xE9\xFF",
         Screen({"\xC3\xA9\xC3\xBF"}, 3, 0, 2)},
        {"hex_byte", {"--rows", "1", "--cols", "6", "--mode", "hex"}, "A", Screen({"41"}, 6, 0, 3)},
        {"hex_digits_wrap_across_rows",
         {"--rows", "2", "--cols", "4", "--mode", "hex"},
         "AB",
         Screen({"41 4", "2"}, 4, 1, 2)},
        {"hex_escape_shown_not_obeyed",
         {"--rows", "1", "--cols", "10", "--mode", "hex"},
         "\x1b[A",
         Screen({"1B 5B 41"}, 10, 0, 9)},
        {"hexchar_cells",
         {"--rows", "3", "--cols", "8", "--mode", "hexchar", "--cells"},
         "A \r\xFF",
         "0034 0031 1041 0020 0032 0030 0020 0020\n"
         "0030 0044 0020 0020 0046 0046 10FF 0020\n"
         "0020 0020 0020 0020 0020 0020 0020 0020\ncursor 2,0\n"},
        {"hexchar_text",
         {"--rows", "2", "--cols", "8", "--mode", "hexchar"},
         "A\xFF",
         Screen({"41A FF\xC3\xBF", ""}, 8, 1, 0)},
        {"hexchar_last_cell_scrolls_one_row_screen",
         {"--rows", "1", "--cols", "8", "--mode", "hexchar"},
         "A\xFF",
         Screen({""}, 8, 0, 0)},
        {"rx_crlf",
         {"--rows", "3", "--cols", "4", "--rx-crlf"},
         "A\rB",
         Screen({"A", "B", ""}, 4, 1, 1)},
        {"rx_crlf_pair_gives_blank_line",
         {"--rows", "3", "--cols", "4", "--rx-crlf"},
         "A\r\nB",
         Screen({"A", "", "B"}, 4, 2, 1)},
        {"rx_bit7",
         {"--rows", "1", "--cols", "4", "--rx-bit7"},
         "\xC1\xE2",
         Screen({"Ab"}, 4, 0, 2)},
        {"rx_bit7_cr_counts",
         {"--rows", "2", "--cols", "4", "--rx-bit7", "--rx-crlf"},
         "x\x8Dy",
         Screen({"x", "y"}, 4, 1, 1)},
        {"high_cr_without_bit7",
         {"--rows", "1", "--cols", "2", "--rx-crlf", "--cells"},
         "\x8D",
         "008D 0020\ncursor 0,1\n"},
        {"equals_form_of_options",
         {"--rows=1", "--cols=4", "--mode=hex"},
         "\x01",
         Screen({"01"}, 4, 0, 3)},
        {"empty_input", {"--rows", "2", "--cols", "2"}, "", Screen({"", ""}, 2, 0, 0)},
    };
    for (const Golden& g : goldens) {
        SCOPED_TRACE(g.name);
        const Result r = Run(g.args, g.input);
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.out, g.expected);
    }
}

// Input far longer than one read, with every byte's place known: the last two full rows hold the
// last 20 bytes in order.
TEST_F(ReplayTest, LongInputCrossesReadChunksInOrder) {
    std::string input;
    for (int i = 0; i < 10000; ++i)
        input += char('a' + i % 26);
    const Result r = Run({"--rows", "3", "--cols", "10"}, input);
    ASSERT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, Screen({input.substr(9980, 10), input.substr(9990, 10), ""}, 10, 2, 0));
}

TEST_F(ReplayTest, InputFileArgumentEqualsStandardInput) {
    const std::string input = "line one\r\nline two\x1b[A!";
    const std::string path = PathOf("input.bin");
    Write(path, input);
    const Result fromStdin = Run({"--rows", "4", "--cols", "12"}, input);
    const Result fromFile = Run({"--rows", "4", "--cols", "12", path});
    const Result fromDash = Run({"--rows", "4", "--cols", "12", "-"}, input);
    ASSERT_EQ(fromStdin.exitCode, 0);
    EXPECT_EQ(fromFile.exitCode, 0);
    EXPECT_EQ(fromFile.out, fromStdin.out);
    EXPECT_EQ(fromDash.out, fromStdin.out);
}

TEST_F(ReplayTest, CaptureAppendsWhatTheScreenIsGiven) {
    const std::string capture = PathOf("capture.log");
    Write(capture, "old|");
    const Result r =
        Run({"--rows", "2", "--cols", "8", "--rx-bit7", "--rx-crlf", "--capture", capture},
            "\xC1\r\n\x8D" + std::string(1, '\0'));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(Read(capture), "old|A\r\n\n\r\n" + std::string(1, '\0'));

    const Result again = Run({"--rows", "2", "--cols", "8", "--capture", capture}, "\xC1\r");
    ASSERT_EQ(again.exitCode, 0) << again.err;
    EXPECT_EQ(Read(capture), "old|A\r\n\n\r\n" + std::string(1, '\0') + "\xC1\r");
}

TEST_F(ReplayTest, HelpPrintsUsage) {
    const Result r = Run({"--help"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out.rfind("usage: vellor-replay", 0), 0u);
    EXPECT_EQ(r.err, "");
}

struct BadCall {
    const char* name;
    std::vector<std::string> args;
    int exitCode;
};

TEST_F(ReplayTest, BadCallsExitWithOneLine) {
    const std::vector<BadCall> calls = {
        {"no_arguments", {}, 2},
        {"rows_missing", {"--cols", "3"}, 2},
        {"cols_missing", {"--rows", "3"}, 2},
        {"rows_without_value", {"--cols", "3", "--rows"}, 2},
        {"rows_not_numeric", {"--rows", "abc", "--cols", "3"}, 2},
        {"rows_trailing_junk", {"--rows", "3x", "--cols", "3"}, 2},
        {"rows_negative", {"--rows", "-1", "--cols", "3"}, 2},
        {"rows_empty", {"--rows", "", "--cols", "3"}, 2},
        {"rows_zero", {"--rows", "0", "--cols", "3"}, 2},
        {"cols_zero", {"--rows", "3", "--cols", "0"}, 2},
        {"rows_too_large", {"--rows", "65536", "--cols", "3"}, 2},
        {"cols_huge", {"--rows", "3", "--cols", "99999999999999999999"}, 2},
        {"screen_too_large", {"--rows", "65535", "--cols", "65535"}, 2},
        {"unknown_mode", {"--rows", "3", "--cols", "3", "--mode", "binary"}, 2},
        {"mode_without_value", {"--rows", "3", "--cols", "3", "--mode"}, 2},
        {"unknown_option", {"--rows", "3", "--cols", "3", "--bogus"}, 2},
        {"flag_with_value", {"--rows", "3", "--cols", "3", "--cells=1"}, 2},
        {"two_inputs", {"--rows", "3", "--cols", "3", "a", "b"}, 2},
        {"missing_input", {"--rows", "3", "--cols", "3", "/nonexistent/input"}, 1},
        {"input_is_directory", {"--rows", "3", "--cols", "3", "/"}, 1},
        {"capture_unwritable",
         {"--rows", "3", "--cols", "3", "--capture", "/nonexistent/c.log"},
         1},
    };
    for (const BadCall& c : calls) {
        SCOPED_TRACE(c.name);
        const Result r = Run(c.args, "data");
        EXPECT_EQ(r.exitCode, c.exitCode);
        EXPECT_EQ(r.out, "");
        ASSERT_FALSE(r.err.empty());
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
        EXPECT_EQ(r.err.rfind("vellor-replay: ", 0), 0u) << r.err;
    }
}

// Random bytes in every mode and option set never crash and always print the whole screen.
TEST_F(ReplayTest, RandomInputAlwaysPrintsAWholeScreen) {
    std::mt19937 random(7);
    for (const char* mode : {"text", "hex", "hexchar"}) {
        for (int round = 0; round < 3; ++round) {
            std::string input;
            const int length = int(random() % 20000);
            for (int i = 0; i < length; ++i)
                input += char(random() % 256);
            const std::string rows = std::to_string(1 + random() % 30);
            const std::string cols = std::to_string(1 + random() % 90);
            std::vector<std::string> args = {"--rows", rows, "--cols", cols, "--mode", mode};
            if (random() % 2) args.push_back("--rx-bit7");
            if (random() % 2) args.push_back("--rx-crlf");
            if (random() % 2) args.push_back("--cells");
            SCOPED_TRACE(testing::Message() << mode << " " << rows << "x" << cols);
            const Result r = Run(args, input);
            ASSERT_EQ(r.exitCode, 0) << r.err;
            std::size_t lines = 0;
            for (char ch : r.out)
                lines += ch == '\n';
            EXPECT_EQ(lines, std::stoul(rows) + 1);
            const std::size_t lastLine = r.out.rfind('\n', r.out.size() - 2) + 1;
            EXPECT_EQ(r.out.compare(lastLine, 7, "cursor "), 0) << r.out.substr(lastLine);
        }
    }
}

}  // namespace
