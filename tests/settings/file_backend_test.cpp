// The settings file on disk: malformed and hostile files, and saves that never lose what is there.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <regex>

#include "app/app_state.h"
#include "settings/reg_file_backend.h"
#include "settings/settings_store.h"
#include "support/deadline.h"
#include "support/temp_folder.h"
#include "support/unprivileged.h"

namespace vellor::testing {
namespace {

namespace fs = std::filesystem;
using Loads = std::array<int, 2>;  // bar, port

const std::string kValid =
    "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\VellorEV]\n"
    "\"Control\"=dword:00000001\n\"HexInput\"=dword:00000000\n\"COM?\"=\"/dev/ttyUSB0\"\n"
    "\"DCB\"=hex:1c,00,00,00,00,c2,01,00,97,20,00,00,00,00,00,00,00,00,08,00,00,00,00,00,00,00,"
    "00,00\n";

Loads LoadAll(AppState& state, SettingsBackend& backend) {
    return {LoadBarSettings(state, backend), LoadPortSettings(state, backend)};
}

std::string Replace(const std::string& text, const char* from, const std::string& to) {
    return std::regex_replace(text, std::regex(from), to);
}

struct FileBackend : ::testing::Test {
    fs::path File() const { return folder.path() / ".config" / "vellor" / "settings.reg"; }
    TempFolder folder;
    AppState state;
};

// The file lives under an absolute XDG_CONFIG_HOME or $HOME/.config; saves follow links.
TEST_F(FileBackend, SavesMakePrivateXdgFoldersAndKeepWhatIsThere) {
    ::setenv("XDG_CONFIG_HOME", "/xdg", 1);  // no other test reads either variable
    EXPECT_EQ(RegFileBackend::DefaultPath(), "/xdg/vellor/settings.reg");
    ::setenv("XDG_CONFIG_HOME", "relative", 1);
    ::setenv("HOME", folder.path().c_str(), 1);
    ASSERT_EQ(RegFileBackend::DefaultPath(), File());  // else the test would write elsewhere
    RegFileBackend backend(File());
    EXPECT_EQ(LoadAll(state, backend), (Loads{0, 0}));
    EXPECT_FALSE(fs::exists(File().parent_path().parent_path()));
    state.portName = "COM1";
    SavePortSettings(state, backend);
    EXPECT_EQ(LoadAll(state, backend), (Loads{0, 1}));
    for (const fs::path& made : {File().parent_path(), File().parent_path().parent_path()})
        EXPECT_EQ(fs::status(made).permissions(), fs::perms::owner_all) << made;
    const fs::path real = folder.path() / "elsewhere" / "real.reg";
    const std::string before = "\xEF\xBB\xBF" + Replace(kValid, "\n", "\r\n");
    WriteFile(real, before);
    const auto mode = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
    fs::permissions(real, mode);
    fs::remove(File());
    fs::create_symlink("../../elsewhere/real.reg", File());
    state.controlBar = 1, state.hexInput = HexEntry::AwaitHigh;
    SaveBarSettings(state, backend);
    EXPECT_EQ(ReadFile(real),
              Replace(before, "\"HexInput\"=dword:00000000", "\"HexInput\"=dword:00000001"));
    EXPECT_EQ(std::pair(fs::is_symlink(File()), fs::status(real).permissions()),
              std::pair(true, mode));
}

// What can be read loads and a save keeps it; a file too large is set aside, never overwritten.
TEST_F(FileBackend, MalformedOrOversizedFilesLoadWhatCanBeReadAndSavesKeepIt) {
    std::string garbage(4096, '\0');
    for (char& c : garbage)
        c = char(&c - garbage.data());  // every byte value, many times
    std::string astral;
    for (int i = 0; i < 255; ++i)
        astral += "\xF0\x9F\x98\x80";
    const std::string huge = kValid + std::string(RegFileBackend::kMaxFileBytes, ';');
    const std::pair<std::string, Loads> files[] = {
        {garbage, {0, 0}},
        {kValid + garbage, {1, 1}},
        {std::string(kValid).insert(kValid.find("1\n\"HexInput"), 1, '\0'), {0, 1}},
        {Replace(kValid, "/dev/ttyUSB0", std::string(255, 'x')), {1, 1}},
        {Replace(kValid, "/dev/ttyUSB0", std::string(256, 'x')), {1, 0}},
        {Replace(kValid, "/dev/ttyUSB0", astral), {1, 1}},  // 255 characters, 510 units
        {Replace(kValid, ",00\n", "\n"), {1, 0}},
        {huge, {0, 0}},
        {kValid + std::string(RegFileBackend::kMaxFileBytes - kValid.size() - 1, ';') + '\n',
         {1, 1}}};
    WriteFile(File().string() + ".too-large", "set aside before");
    for (const auto& [text, loads] : files) {
        WriteFile(File(), text);
        RegFileBackend backend(File());
        EXPECT_EQ(LoadAll(state, backend), loads) << text.substr(0, 200);
        SaveBarSettings(state, backend);
        EXPECT_EQ(LoadAll(state, backend), (Loads{1, loads[1]})) << text.substr(0, 200);
    }
    EXPECT_EQ(ReadFile(File().string() + ".too-large"), "set aside before");
    EXPECT_EQ(ReadFile(File().string() + ".too-large-2"), huge);
}

// A file that cannot be read (left by a run as another user) or is no file at all is left alone.
TEST_F(FileBackend, UnreadableFilesAreNeverWrittenOver) {
    WriteFile(File(), kValid);
    for (fs::path p = File().parent_path(); p != folder.path().parent_path(); p = p.parent_path())
        fs::permissions(p, fs::perms::all);  // anyone may come in and make files
    fs::permissions(File(), fs::perms::none);
    const auto saveAsAnotherUser = [&] {
        RegFileBackend unreadable(File());
        SaveBarSettings(state, unreadable);
        return LoadBarSettings(state, unreadable);
    };
    EXPECT_EQ(RunUnprivileged(saveAsAnotherUser), 0);
    fs::permissions(File(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(ReadFile(File()), kValid);
    fs::remove(File());
    ASSERT_EQ(::mkfifo(File().c_str(), 0600), 0);
    RegFileBackend backend(File());
    SaveBarSettings(state, backend);
    EXPECT_EQ(std::pair(LoadAll(state, backend), fs::is_fifo(File())), std::pair(Loads{}, true));
}

// A lock held elsewhere never holds the UI thread: saves queue and are written in order later.
TEST_F(FileBackend, SavesWhileTheLockIsHeldAreFinishedInOrderOnceItIsFree) {
    WriteFile(File(), kValid);
    int holder = ::open((File().string() + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);
    const auto release = [&] { ::close(std::exchange(holder, -1)); };
    RegFileBackend backend(File());
    const auto saves = [&] {
        state.numRows = 1;
        SaveDisplaySettings(state, backend);
        state.portName = "COM7";
        SavePortSettings(state, backend);
    };
    ASSERT_TRUE(FinishesWithin(std::chrono::seconds(5), saves, release))
        << "a save waited for another program's lock";
    EXPECT_EQ(ReadFile(File()), kValid);
    release();
    state.numRows = 4;
    SaveDisplaySettings(state, backend);
    backend.WaitForSaves();
    AppState after;
    EXPECT_EQ(LoadDisplaySettings(after, backend) + LoadPortSettings(after, backend), 2);
    EXPECT_EQ(std::tuple(after.numRows, after.portName), std::tuple(4, "COM7"));
}

// Two programs saving different groups at once never lose each other's values.
TEST_F(FileBackend, TwoProcessesSavingAtOnceNeverLoseEachOthersGroup) {
    const auto run = [&](bool bar) {
        RegFileBackend backend(File());
        for (int round = 1; round <= 150; ++round) {
            AppState saved, check;
            saved.controlBar = round;
            saved.portName = std::to_string(round);
            bar ? SaveBarSettings(saved, backend) : SavePortSettings(saved, backend);
            backend.WaitForSaves();
            LoadAll(check, backend);
            if (bar ? check.controlBar != round : check.portName != saved.portName) return 1;
        }
        return 0;
    };
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) ::_exit(run(true));
    const int parent = run(false);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_EQ(std::pair(status, parent), std::pair(0, 0)) << "the bar or the port group was lost";
}

}  // namespace
}  // namespace vellor::testing
