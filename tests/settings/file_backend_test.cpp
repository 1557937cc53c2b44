// The settings file on disk: where it lives, what loading leaves alone, malformed and hostile
// files, and saves that never lose what is there.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <random>

#include "app/app_state.h"
#include "serial/line_defaults.h"
#include "settings/file_text_form.h"
#include "settings/reg_file_backend.h"
#include "settings/settings_store.h"
#include "settings/text_encoding.h"
#include "support/deadline.h"
#include "support/temp_folder.h"
#include "support/unprivileged.h"

namespace vellor::testing {
namespace {

namespace fs = std::filesystem;

const std::string kValid =
    "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\VellorEV]\n"
    "\"NumRows\"=dword:00000018\n\"NumCols\"=dword:00000050\n\"Mode\"=dword:00000001\n"
    "\"RX_Bit7\"=dword:00000000\n\"RX_CRLF\"=dword:00000001\n\"Echo\"=dword:00000001\n"
    "\"TX_CRLF\"=dword:00000000\n\"TX_Capture\"=dword:00000000\n\"RX_Capture\"=dword:00000001\n"
    "\"Control\"=dword:00000001\n\"HexInput\"=dword:00000000\n\"COM?\"=\"/dev/ttyUSB0\"\n"
    "\"DCB\"=hex:1c,00,00,00,00,c2,01,00,97,20,00,00,00,00,00,00,00,00,08,00,00,00,00,00,00,00,"
    "00,00\n";

using Loads = std::array<int, 3>;  // display, bar, port

Loads LoadAll(AppState& state, SettingsBackend& backend) {
    return {LoadDisplaySettings(state, backend), LoadBarSettings(state, backend),
            LoadPortSettings(state, backend)};
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
    for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

std::vector<std::string> Entries(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

class FileBackend : public ::testing::Test {
  protected:
    fs::path File() const { return folder.path() / "config" / "vellor" / "settings.reg"; }
    TempFolder folder;
};

// Loading never creates the file, its folders or the lock; the first save makes private folders
// and a file regedit could read, leaving no temporary file behind.
TEST_F(FileBackend, LoadingLeavesNoTraceAndTheFirstSaveMakesAPrivateFile) {
    RegFileBackend backend(File());
    AppState state;
    EXPECT_EQ(LoadAll(state, backend), (Loads{0, 0, 0}));
    EXPECT_FALSE(fs::exists(folder.path() / "config"));
    WriteFile(File(), kValid);
    EXPECT_EQ(LoadAll(state, backend), (Loads{1, 1, 1}));
    EXPECT_EQ(Entries(File().parent_path()), std::vector<std::string>{"settings.reg"});
    EXPECT_EQ(state.numRows, 24);
    EXPECT_EQ(state.portName, "/dev/ttyUSB0");
    EXPECT_EQ(state.portConfig.Flags(), 0x2097u);

    fs::remove_all(folder.path() / "config");
    DefaultPortSettings(state);
    SavePortSettings(state, backend);
    for (const fs::path& made : {File().parent_path(), File().parent_path().parent_path()}) {
        struct stat info {};
        ASSERT_EQ(::stat(made.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0700u) << made;
    }
    EXPECT_TRUE(ReadFile(File()).starts_with(
        "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\VellorEV]\n"
        "\"COM?\"=\"COM1\"\n\"DCB\"=hex:1c,00,00,00,00,c2,01,00,97,20"));
    EXPECT_EQ(Entries(File().parent_path()),
              (std::vector<std::string>{"settings.reg", "settings.reg.lock"}));
}

// A save changes only its values and keeps the file as it was: other keys and unknown values in
// their places, the byte-order mark and CR LF line ends, the permissions.
TEST_F(FileBackend, SaveKeepsEverythingElseAsItWas) {
    const std::string before =
        "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n\r\n"
        "[HKEY_CURRENT_USER\\Software\\Elsewhere]\r\n\"Control\"=dword:00000009\r\n\r\n"
        "[HKEY_CURRENT_USER\\Software\\VellorEV]\r\n\"Future\"=hex(2):25,00,00,00\r\n"
        "\"Control\"=dword:00000001\r\n\"Later\"=\"kept\"\r\n";
    WriteFile(File(), before);
    ASSERT_EQ(::chmod(File().c_str(), 0640), 0);
    RegFileBackend backend(File());
    AppState state;
    state.hexInput = HexEntry::AwaitHigh;
    SaveBarSettings(state, backend);
    EXPECT_EQ(ReadFile(File()),
              Replace(before, "\"Control\"=dword:00000001\r\n\"Later\"=\"kept\"\r\n",
                      "\"Control\"=dword:00000000\r\n\"Later\"=\"kept\"\r\n"
                      "\"HexInput\"=dword:00000001\r\n"));
    struct stat info {};
    ASSERT_EQ(::stat(File().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
}

// Malformed files load what can be read and nothing else, and a save over them keeps that.
TEST_F(FileBackend, MalformedFilesLoadWhatCanBeReadAndSavesKeepIt) {
    std::mt19937 random(42);
    std::string garbage(4096, '\0');
    for (char& c : garbage)
        c = char(random());
    const std::pair<std::string, Loads> files[] = {
        {"", {0, 0, 0}},
        {garbage, {0, 0, 0}},
        {kValid + garbage, {1, 1, 1}},
        {Replace(kValid, "\"Control\"=dword:00000001",
                 std::string("\"Control\"=dword:000\0" "0001", 24)),
         {1, 0, 1}},
        {Replace(kValid, "dword:00000018", "\"24\""), {0, 1, 1}},
        {Replace(kValid, "/dev/ttyUSB0", std::string(300, 'n')), {1, 1, 0}},
        {Replace(kValid, "/dev/ttyUSB0", "\xC3\x28"), {1, 1, 0}},
        {Replace(kValid, "1c,00,00,00,", ""), {1, 1, 0}},
        {kValid.substr(kValid.find('\n') + 1), {1, 1, 1}},
        {Replace(kValid, "\n", "\r"), {0, 0, 0}},
        {Replace(kValid, "VellorEV]", "VellorEV"), {0, 0, 0}},
        {Replace(kValid, "\n", "\\\n"), {0, 0, 0}},
    };
    for (const auto& [text, loads] : files) {
        WriteFile(File(), text);
        RegFileBackend backend(File());
        AppState before;
        EXPECT_EQ(LoadAll(before, backend), loads) << text.substr(0, 200);
        AppState state;
        state.hexInput = HexEntry::AwaitLow;
        SaveBarSettings(state, backend);
        AppState after;
        EXPECT_EQ(LoadAll(after, backend), (Loads{loads[0], 1, loads[2]})) << text.substr(0, 200);
        EXPECT_EQ(after.hexInput, HexEntry::AwaitLow);
        EXPECT_EQ(after.numRows, before.numRows);
        EXPECT_EQ(after.portConfig, before.portConfig);
    }
    // Whatever prefix is left of a valid file, no cut value loads as a whole one.
    for (std::size_t length = 0; length < kValid.size(); ++length) {
        WriteFile(File(), kValid.substr(0, length));
        RegFileBackend backend(File());
        AppState state;
        const Loads loads = LoadAll(state, backend);
        if (loads[0]) {
            EXPECT_EQ(state.rxCapture.load(), 1) << length;
        }
        EXPECT_EQ(loads[2], length >= kValid.size() - 1 ? 1 : 0) << length;
    }
}

// Files that are not settings are never written over: one too large is moved aside under a name
// of its own (an earlier one kept); a folder or a FIFO in its place is left alone and never
// waited on; a folder that cannot be made saves nothing.
TEST_F(FileBackend, WhatIsNotASettingsFileIsNeverWrittenOver) {
    const std::string huge = kValid + std::string(RegFileBackend::kMaxFileBytes, ';');
    WriteFile(File(), huge);
    WriteFile(File().string() + ".too-large", "set aside before");
    RegFileBackend backend(File());
    AppState state;
    EXPECT_EQ(LoadAll(state, backend), (Loads{0, 0, 0}));
    SaveBarSettings(state, backend);
    EXPECT_EQ(LoadAll(state, backend), (Loads{0, 1, 0}));
    EXPECT_EQ(ReadFile(File().string() + ".too-large"), "set aside before");
    EXPECT_EQ(ReadFile(File().string() + ".too-large-2"), huge);
    WriteFile(File(), kValid + std::string(RegFileBackend::kMaxFileBytes - kValid.size(), ';'));
    EXPECT_EQ(LoadAll(state, backend), (Loads{1, 1, 1}));  // exactly the cap still reads

    fs::remove(File());
    fs::create_directories(File());
    SaveBarSettings(state, backend);
    EXPECT_TRUE(fs::is_directory(File()));
    fs::remove(File());
    ASSERT_EQ(::mkfifo(File().c_str(), 0600), 0);
    EXPECT_EQ(LoadAll(state, backend), (Loads{0, 0, 0}));
    SaveBarSettings(state, backend);
    EXPECT_TRUE(fs::is_fifo(File()));

    WriteFile(folder.path() / "blocked", "a file where the folder should be");
    RegFileBackend blocked(folder.path() / "blocked" / "vellor" / "settings.reg");
    SaveBarSettings(state, blocked);
    EXPECT_EQ(ReadFile(folder.path() / "blocked"), "a file where the folder should be");
}

// A file that exists but cannot be read (left by a run as another user) is never replaced.
TEST_F(FileBackend, UnreadableFileIsNeverReplaced) {
    WriteFile(File(), kValid);
    for (fs::path p = File().parent_path(); p != folder.path().parent_path(); p = p.parent_path())
        fs::permissions(p, fs::perms::all);  // anyone may come in and make files
    fs::permissions(File(), ::geteuid() == 0 ? fs::perms::owner_read | fs::perms::owner_write
                                             : fs::perms::none);
    const int result = RunUnprivileged([&] {
        RegFileBackend backend(File());
        AppState state;
        if (LoadBarSettings(state, backend) != 0) return 1;
        state.controlBar = 1;
        SaveBarSettings(state, backend);
        return 0;
    });
    fs::permissions(File(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(ReadFile(File()), kValid);
}

// A linked settings file stays a link: its target is replaced, in its own folder; the registry
// editor's own UTF-16 export is read and written back as UTF-16.
TEST_F(FileBackend, LinksAreFollowedAndUtf16IsKept) {
    const fs::path real = folder.path() / "elsewhere" / "real.reg";
    WriteFile(real, kValid);
    fs::create_directories(File().parent_path());
    fs::create_symlink("../../elsewhere/real.reg", File());
    RegFileBackend backend(File());
    AppState state;
    EXPECT_EQ(LoadAll(state, backend), (Loads{1, 1, 1}));
    state.hexInput = HexEntry::AwaitLow;
    SaveBarSettings(state, backend);
    EXPECT_TRUE(fs::is_symlink(File()));
    EXPECT_NE(ReadFile(real).find("\"HexInput\"=dword:00000002\n"), std::string::npos);
    EXPECT_EQ(Entries(real.parent_path()), std::vector<std::string>{"real.reg"});

    const std::string exported =
        Replace(Replace(kValid, "/dev/ttyUSB0", "Ger\xC3\xA4t"), "\n", "\r\n");
    const FileTextForm utf16{FileTextForm::Encoding::Utf16LeWithBom, FileTextForm::LineEnds::CrLf};
    WriteFile(real, EncodeFileText(Replace(exported, "\r\n", "\n"), utf16));
    EXPECT_EQ(LoadAll(state, backend), (Loads{1, 1, 1}));
    EXPECT_EQ(state.portName, "Ger\xC3\xA4t");
    state.hexInput = HexEntry::AwaitLow;
    SaveBarSettings(state, backend);
    FileTextForm form;
    const auto text = DecodeFileText(ReadFile(real), form);
    ASSERT_TRUE(text);
    EXPECT_EQ(form, utf16);
    EXPECT_EQ(*text,
              Replace(exported, "\"HexInput\"=dword:00000000", "\"HexInput\"=dword:00000002"));
}

// Another program holding the lock never holds the UI thread: the saves return at once and are
// written, in order, as soon as the lock is free.
TEST_F(FileBackend, SavesWhileTheLockIsHeldAreFinishedOnceItIsFree) {
    WriteFile(File(), kValid);
    int holder = ::open((File().string() + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);
    const auto release = [&] {
        if (holder >= 0) ::close(holder);
        holder = -1;
    };
    RegFileBackend backend(File());
    AppState state;
    state.hexInput = HexEntry::AwaitLow;
    state.portName = "COM7";
    const bool returned = FinishesWithin(
        std::chrono::seconds(5),
        [&] {
            SaveBarSettings(state, backend);
            SavePortSettings(state, backend);
        },
        release);
    ASSERT_TRUE(returned) << "a save waited for another program's lock";
    EXPECT_EQ(ReadFile(File()), kValid);
    release();
    backend.WaitForSaves();
    AppState after;
    EXPECT_EQ(LoadAll(after, backend), (Loads{1, 1, 1}));
    EXPECT_EQ(after.hexInput, HexEntry::AwaitLow);
    EXPECT_EQ(after.portName, "COM7");
}

// Two programs save different groups at the same moments, many times: each save reads the
// other's latest values under the lock, so neither group is ever lost.
TEST_F(FileBackend, TwoProcessesSavingAtOnceNeverLoseEachOthersGroup) {
    constexpr int kRounds = 150;
    const auto run = [&](bool bar) {
        RegFileBackend backend(File());
        for (int round = 1; round <= kRounds; ++round) {
            AppState state;
            state.controlBar = round;
            state.portName = "/dev/ttyUSB" + std::to_string(round);
            bar ? SaveBarSettings(state, backend) : SavePortSettings(state, backend);
            backend.WaitForSaves();
            AppState check;
            if (bar ? LoadBarSettings(check, backend) != 1 || check.controlBar != round
                    : LoadPortSettings(check, backend) != 1 || check.portName != state.portName)
                return 1;
        }
        return 0;
    };
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) ::_exit(run(true));
    const int parent = run(false);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the bar group was lost";
    EXPECT_EQ(parent, 0) << "the port group was lost";
}

TEST(SettingsPath, FollowsXdgConfigHomeThenHome) {
    const auto keep = [](const char* name) -> std::optional<std::string> {
        const char* value = std::getenv(name);
        if (value) return value;
        return std::nullopt;
    };
    const auto home = keep("HOME"), config = keep("XDG_CONFIG_HOME");
    ::setenv("HOME", "/home/someone", 1);
    const std::pair<const char*, const char*> cases[] = {
        {"/xdg/config", "/xdg/config/vellor/settings.reg"},
        {"", "/home/someone/.config/vellor/settings.reg"},
        {"relative/path", "/home/someone/.config/vellor/settings.reg"}};
    for (const auto& [value, path] : cases) {
        ::setenv("XDG_CONFIG_HOME", value, 1);
        EXPECT_EQ(RegFileBackend::DefaultPath(), fs::path(path)) << value;
    }
    home ? ::setenv("HOME", home->c_str(), 1) : ::unsetenv("HOME");
    config ? ::setenv("XDG_CONFIG_HOME", config->c_str(), 1) : ::unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
}  // namespace vellor::testing
