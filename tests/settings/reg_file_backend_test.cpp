// The settings file on disk: where it lives, what loading leaves alone, malformed files, saves.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <random>

#include "app/app_state.h"
#include "serial/line_defaults.h"
#include "settings/file_text_form.h"
#include "settings/settings_store.h"
#include "settings/settings_test_support.h"
#include "support/deadline.h"
#include "support/unprivileged.h"

namespace vellor {
namespace {

namespace fs = std::filesystem;
using test::ReadText;
using test::TempFolder;
using test::WriteText;

const std::string kValidFile =
    "Windows Registry Editor Version 5.00\n"
    "\n"
    "[HKEY_CURRENT_USER\\Software\\VellorEV]\n"
    "\"NumRows\"=dword:00000018\n"
    "\"NumCols\"=dword:00000050\n"
    "\"Mode\"=dword:00000001\n"
    "\"RX_Bit7\"=dword:00000000\n"
    "\"RX_CRLF\"=dword:00000001\n"
    "\"Echo\"=dword:00000001\n"
    "\"TX_CRLF\"=dword:00000000\n"
    "\"TX_Capture\"=dword:00000000\n"
    "\"RX_Capture\"=dword:00000001\n"
    "\"Control\"=dword:00000001\n"
    "\"HexInput\"=dword:00000000\n"
    "\"COM?\"=\"/dev/ttyUSB0\"\n"
    "\"DCB\"=hex:1c,00,00,00,00,c2,01,00,97,20,00,00,00,00,00,00,00,00,08,00,00,00,00,00,00,"
    "00,00,00\n";

// Loads all three groups; returns which loaded.
std::array<int, 3> LoadAll(AppState& state, SettingsBackend& backend) {
    return {LoadDisplaySettings(state, backend), LoadBarSettings(state, backend),
            LoadPortSettings(state, backend)};
}

std::vector<std::string> FolderEntries(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename());
    }
    std::sort(names.begin(), names.end());
    return names;
}

class RegFileBackendTest : public ::testing::Test {
  protected:
    fs::path File() const { return folder.path() / "config" / "vellor" / "settings.reg"; }
    TempFolder folder;
};

TEST_F(RegFileBackendTest, LoadingNeverCreatesFileFolderOrLock) {
    RegFileBackend backend(File());
    AppState state;
    EXPECT_EQ(LoadAll(state, backend), (std::array<int, 3>{0, 0, 0}));
    EXPECT_FALSE(fs::exists(folder.path() / "config"));

    fs::create_directories(File().parent_path());
    EXPECT_EQ(LoadAll(state, backend), (std::array<int, 3>{0, 0, 0}));
    EXPECT_TRUE(FolderEntries(File().parent_path()).empty());

    WriteText(File(), kValidFile);
    EXPECT_EQ(LoadAll(state, backend), (std::array<int, 3>{1, 1, 1}));
    EXPECT_EQ(FolderEntries(File().parent_path()), std::vector<std::string>{"settings.reg"});
    EXPECT_EQ(ReadText(File()), kValidFile);
}

TEST_F(RegFileBackendTest, LoadsEveryGroupFromAValidFile) {
    WriteText(File(), kValidFile);
    RegFileBackend backend(File());
    AppState state;
    EXPECT_EQ(LoadAll(state, backend), (std::array<int, 3>{1, 1, 1}));
    EXPECT_EQ(state.numRows, 24);
    EXPECT_EQ(state.numCols, 80);
    EXPECT_EQ(state.displayMode, 1);
    EXPECT_EQ(state.rxCrLf.load(), 1);
    EXPECT_EQ(state.echo.load(), 1);
    EXPECT_EQ(state.rxCapture.load(), 1);
    EXPECT_EQ(state.controlBar, 1);
    EXPECT_EQ(state.portName, "/dev/ttyUSB0");
    EXPECT_EQ(state.portConfig.BaudRate(), 115200u);
    EXPECT_EQ(state.portConfig.Flags(), 0x2097u);
    EXPECT_EQ(state.portConfig.ByteSize(), 8);
}

TEST_F(RegFileBackendTest, FirstSaveCreatesPrivateFolderAndAFileRegeditCanRead) {
    RegFileBackend backend(File());
    AppState state;
    DefaultPortSettings(state);
    SavePortSettings(state, backend);
    struct stat info {};
    ASSERT_EQ(::stat(File().parent_path().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    ASSERT_EQ(::stat((folder.path() / "config").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    const std::string text = ReadText(File());
    EXPECT_TRUE(
        text.starts_with("Windows Registry Editor Version 5.00\n\n"
                         "[HKEY_CURRENT_USER\\Software\\VellorEV]\n"
                         "\"COM?\"=\"COM1\"\n\"DCB\"=hex:1c,00,00,00,00,c2,01,00,97,20"))
        << text;
    EXPECT_EQ(text.find('\r'), std::string::npos);
    // No temporary file is left behind; only the file and its lock.
    EXPECT_EQ(FolderEntries(File().parent_path()),
              (std::vector<std::string>{"settings.reg", "settings.reg.lock"}));
}

TEST_F(RegFileBackendTest, SaveKeepsUnknownValuesOtherKeysAndTheirPlaces) {
    const std::string before =
        "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n"
        "\r\n"
        "[HKEY_CURRENT_USER\\Software\\Elsewhere]\r\n"
        "\"Control\"=dword:00000009\r\n"
        "\r\n"
        "[HKEY_CURRENT_USER\\Software\\VellorEV]\r\n"
        "\"Future\"=hex(2):25,00,00,00\r\n"
        "\"Control\"=dword:00000001\r\n"
        "\"Later\"=\"kept\"\r\n";
    WriteText(File(), before);
    RegFileBackend backend(File());
    AppState state;
    state.controlBar = 0;
    state.hexInput = 1;
    SaveBarSettings(state, backend);
    // Written back as it was found: byte-order mark and CR LF line ends included.
    EXPECT_EQ(ReadText(File()),
              "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n"
              "\r\n"
              "[HKEY_CURRENT_USER\\Software\\Elsewhere]\r\n"
              "\"Control\"=dword:00000009\r\n"
              "\r\n"
              "[HKEY_CURRENT_USER\\Software\\VellorEV]\r\n"
              "\"Future\"=hex(2):25,00,00,00\r\n"
              "\"Control\"=dword:00000000\r\n"
              "\"Later\"=\"kept\"\r\n"
              "\"HexInput\"=dword:00000001\r\n");
}

TEST_F(RegFileBackendTest, KeepsThePermissionsOfTheFileItReplaces) {
    WriteText(File(), kValidFile);
    ASSERT_EQ(::chmod(File().c_str(), 0640), 0);
    RegFileBackend backend(File());
    AppState state;
    SaveBarSettings(state, backend);
    struct stat info {};
    ASSERT_EQ(::stat(File().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
}

struct MalformedCase {
    const char* label;
    std::string text;
    std::array<int, 3> loads;  // display, bar, port
};

std::string Replace(std::string text, const std::string& from, const std::string& to) {
    text.replace(text.find(from), from.size(), to);
    return text;
}

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
    for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

std::vector<MalformedCase> MalformedCases() {
    std::mt19937 random(42);
    std::string garbage(4096, '\0');
    for (char& c : garbage)
        c = static_cast<char>(random());
    return {
        {"empty", "", {0, 0, 0}},
        {"binary garbage", garbage, {0, 0, 0}},
        {"garbage after a valid file", kValidFile + garbage, {1, 1, 1}},
        {"only NULs", std::string(1000, '\0'), {0, 0, 0}},
        {"NUL inside a bar value",
         Replace(kValidFile, "\"Control\"=dword:00000001",
                 std::string("\"Control\"=dword:000\0"
                             "0001",
                             24)),
         {1, 0, 1}},
        {"cut inside the record", kValidFile.substr(0, kValidFile.size() - 10), {1, 1, 0}},
        {"cut inside a number", kValidFile.substr(0, kValidFile.find("\"Echo\"") + 17), {0, 0, 0}},
        {"wrong type for a size", Replace(kValidFile, "dword:00000018", "\"24\""), {0, 1, 1}},
        {"name longer than its room",
         Replace(kValidFile, "/dev/ttyUSB0", std::string(300, 'n')),
         {1, 1, 0}},
        {"bad escape in the name", Replace(kValidFile, "/dev/ttyUSB0", "\\x41"), {1, 1, 0}},
        {"name not UTF-8", Replace(kValidFile, "/dev/ttyUSB0", "\xC3\x28"), {1, 1, 0}},
        {"short number",
         Replace(kValidFile, "\"Control\"=dword:00000001", "\"Control\"=hex:01"),
         {1, 0, 1}},
        {"short record", Replace(kValidFile, "1c,00,00,00,", ""), {1, 1, 0}},
        {"duplicate name, last wins",
         kValidFile + "\"Control\"=dword:00000000\n\"Control\"=dword:00000002\n",
         {1, 1, 1}},
        {"missing header line", kValidFile.substr(kValidFile.find('\n') + 1), {1, 1, 1}},
        {"CR only line ends", ReplaceAll(kValidFile, "\n", "\r"), {0, 0, 0}},
        {"section never closed",
         Replace(kValidFile, "[HKEY_CURRENT_USER\\Software\\VellorEV]",
                 "[HKEY_CURRENT_USER\\Software\\VellorEV"),
         {0, 0, 0}},
        {"every line continued", ReplaceAll(kValidFile, "\n", "\\\n"), {0, 0, 0}},
    };
}

TEST_F(RegFileBackendTest, MalformedFilesLoadWhatCanBeReadAndNothingElse) {
    for (const MalformedCase& c : MalformedCases()) {
        WriteText(File(), c.text);
        RegFileBackend backend(File());
        AppState state;
        EXPECT_EQ(LoadAll(state, backend), c.loads) << c.label;
    }
}

// A save never drops the values the file could be read for, whatever else it holds.
TEST_F(RegFileBackendTest, SaveOverMalformedFileKeepsWhatCouldBeRead) {
    for (const MalformedCase& c : MalformedCases()) {
        WriteText(File(), c.text);
        RegFileBackend backend(File());
        AppState before;
        const std::array<int, 3> loaded = LoadAll(before, backend);
        AppState state;
        state.controlBar = 1;
        state.hexInput = 2;
        SaveBarSettings(state, backend);
        AppState after;
        const std::array<int, 3> reloaded = LoadAll(after, backend);
        EXPECT_EQ(reloaded[0], loaded[0]) << c.label;
        EXPECT_EQ(reloaded[1], 1) << c.label;
        EXPECT_EQ(reloaded[2], loaded[2]) << c.label;
        EXPECT_EQ(after.hexInput, 2) << c.label;
        EXPECT_EQ(after.numRows, before.numRows) << c.label;
        EXPECT_EQ(after.portName, before.portName) << c.label;
        EXPECT_EQ(after.portConfig, before.portConfig) << c.label;
    }
}

// Whatever prefix of a valid file is left, loading neither crashes nor takes a cut value as whole.
TEST_F(RegFileBackendTest, EveryTruncationLoadsOnlyWholeValues) {
    AppState full;
    {
        WriteText(File(), kValidFile);
        RegFileBackend backend(File());
        ASSERT_EQ(LoadAll(full, backend), (std::array<int, 3>{1, 1, 1}));
    }
    for (std::size_t length = 0; length < kValidFile.size(); ++length) {
        WriteText(File(), kValidFile.substr(0, length));
        RegFileBackend backend(File());
        AppState state;
        const std::array<int, 3> loads = LoadAll(state, backend);
        if (loads[0]) {
            EXPECT_EQ(state.rxCapture.load(), full.rxCapture.load()) << length;
        }
        if (loads[1]) {
            EXPECT_EQ(state.hexInput, full.hexInput) << length;
        }
        if (loads[2]) {
            EXPECT_EQ(state.portConfig, full.portConfig) << length;
        }
        EXPECT_EQ(loads[2], length >= kValidFile.size() - 1 ? 1 : 0) << length;
    }
}

TEST_F(RegFileBackendTest, OversizedFileCountsAsMissingAndIsSetAsideOnSave) {
    const std::string huge = kValidFile + std::string(RegFileBackend::kMaxFileBytes, ';');
    WriteText(File(), huge);
    WriteText(File().string() + ".too-large", "set aside before");
    RegFileBackend backend(File());
    AppState state;
    EXPECT_EQ(LoadAll(state, backend), (std::array<int, 3>{0, 0, 0}));
    SaveBarSettings(state, backend);
    EXPECT_EQ(LoadAll(state, backend), (std::array<int, 3>{0, 1, 0}));
    // Both files set aside are kept.
    EXPECT_EQ(ReadText(File().string() + ".too-large"), "set aside before");
    EXPECT_EQ(ReadText(File().string() + ".too-large-2"), huge);
}

// A file that exists but cannot be read (left by a run as another user) is never replaced: the
// save is skipped and the file stays as it was.
TEST_F(RegFileBackendTest, UnreadableFileIsNeverReplaced) {
    WriteText(File(), kValidFile);
    // Anyone may enter the folders and create files beside the settings; only the file is closed.
    for (fs::path p = File().parent_path(); p != folder.path().parent_path(); p = p.parent_path())
        fs::permissions(p, fs::perms::all);
    fs::permissions(File(), ::geteuid() == 0 ? fs::perms::owner_read | fs::perms::owner_write
                                             : fs::perms::none);
    const int result = testing::RunUnprivileged([&] {
        RegFileBackend backend(File());
        AppState state;
        if (LoadBarSettings(state, backend) != 0) return 1;
        state.controlBar = 1;
        state.hexInput = 2;
        SaveBarSettings(state, backend);
        return 0;
    });
    fs::permissions(File(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(ReadText(File()), kValidFile);
}

// A linked settings file stays a link: its target is replaced, atomically in its own folder.
TEST_F(RegFileBackendTest, LinkedFileIsWrittenThroughItsTarget) {
    const fs::path real = folder.path() / "elsewhere" / "real.reg";
    WriteText(real, kValidFile);
    fs::create_directories(File().parent_path());
    fs::create_symlink("../../elsewhere/real.reg", File());
    RegFileBackend backend(File());
    AppState state;
    EXPECT_EQ(LoadAll(state, backend), (std::array<int, 3>{1, 1, 1}));
    state.hexInput = 2;
    SaveBarSettings(state, backend);
    EXPECT_TRUE(fs::is_symlink(File()));
    EXPECT_NE(ReadText(real).find("\"HexInput\"=dword:00000002\n"), std::string::npos);
    EXPECT_EQ(FolderEntries(real.parent_path()), std::vector<std::string>{"real.reg"});
}

std::string Utf16LeWithMark(const std::string& utf8) {
    std::string bytes = "\xFF\xFE";
    const std::u16string units = Utf8ToUtf16(utf8).value_or(u"");
    for (char16_t unit : units) {
        bytes += char(unit & 0xFF);
        bytes += char(unit >> 8);
    }
    return bytes;
}

// The registry editor exports UTF-16: such a file is read, and written back as UTF-16.
TEST_F(RegFileBackendTest, Utf16FileIsReadAndWrittenBackInItsOwnEncoding) {
    const std::string exported =
        ReplaceAll(Replace(kValidFile, "/dev/ttyUSB0", "Ger\xC3\xA4t"), "\n", "\r\n");
    WriteText(File(), Utf16LeWithMark(exported));
    RegFileBackend backend(File());
    AppState state;
    EXPECT_EQ(LoadAll(state, backend), (std::array<int, 3>{1, 1, 1}));
    EXPECT_EQ(state.portName, "Ger\xC3\xA4t");
    state.hexInput = 2;
    SaveBarSettings(state, backend);

    FileTextForm form;
    const auto text = DecodeFileText(ReadText(File()), form);
    ASSERT_TRUE(text);
    EXPECT_EQ(form,
              (FileTextForm{FileTextForm::Encoding::Utf16LeWithBom, FileTextForm::LineEnds::CrLf}));
    EXPECT_EQ(*text,
              Replace(exported, "\"HexInput\"=dword:00000000", "\"HexInput\"=dword:00000002"));
}

// Another program holding the lock never holds the UI thread: the save returns at once and is
// written, in order with later saves, as soon as the lock is free.
TEST_F(RegFileBackendTest, SaveWhileTheLockIsHeldIsFinishedOnceItIsFree) {
    WriteText(File(), kValidFile);
    const std::string lockPath = File().string() + ".lock";
    int holder = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);
    const auto release = [&] {
        if (holder >= 0) ::close(holder);
        holder = -1;
    };

    RegFileBackend backend(File());
    AppState state;
    state.hexInput = 2;
    state.portName = "COM7";
    const bool returned = testing::FinishesWithin(
        std::chrono::seconds(5),
        [&] {
            SaveBarSettings(state, backend);
            SavePortSettings(state, backend);
        },
        release);
    ASSERT_TRUE(returned) << "a save waited for another program's lock";
    EXPECT_EQ(ReadText(File()), kValidFile);
    release();
    backend.WaitForSaves();
    AppState after;
    EXPECT_EQ(LoadAll(after, backend), (std::array<int, 3>{1, 1, 1}));
    EXPECT_EQ(after.hexInput, 2);
    EXPECT_EQ(after.portName, "COM7");
}

TEST_F(RegFileBackendTest, FileOfExactlyTheCapIsRead) {
    std::string text = kValidFile;
    text += std::string(RegFileBackend::kMaxFileBytes - text.size(), ';');
    WriteText(File(), text);
    RegFileBackend backend(File());
    AppState state;
    EXPECT_EQ(LoadAll(state, backend), (std::array<int, 3>{1, 1, 1}));
}

TEST_F(RegFileBackendTest, SomethingOtherThanAFileIsNoSettingsAndNoHang) {
    fs::create_directories(File());  // a folder where the file should be
    RegFileBackend backend(File());
    AppState state;
    EXPECT_EQ(LoadAll(state, backend), (std::array<int, 3>{0, 0, 0}));
    SaveBarSettings(state, backend);  // cannot replace a folder: nothing happens
    EXPECT_TRUE(fs::is_directory(File()));
    EXPECT_EQ(FolderEntries(File().parent_path()),
              (std::vector<std::string>{"settings.reg", "settings.reg.lock"}));

    fs::remove(File());
    ASSERT_EQ(::mkfifo(File().c_str(), 0600), 0);  // reading would wait for a writer forever
    EXPECT_EQ(LoadAll(state, backend), (std::array<int, 3>{0, 0, 0}));
}

TEST_F(RegFileBackendTest, FolderThatCannotBeMadeMeansNothingSavedAndNoCrash) {
    WriteText(folder.path() / "config", "a file where the folder should be");
    RegFileBackend backend(File());
    AppState state;
    SaveBarSettings(state, backend);
    EXPECT_EQ(LoadBarSettings(state, backend), 0);
    EXPECT_EQ(ReadText(folder.path() / "config"), "a file where the folder should be");
}

class DefaultPathTest : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* name : {"XDG_CONFIG_HOME", "HOME"}) {
            const char* value = std::getenv(name);
            saved_.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
        }
    }
    void TearDown() override {
        for (const auto& [name, value] : saved_) {
            if (value) {
                ::setenv(name.c_str(), value->c_str(), 1);
            } else {
                ::unsetenv(name.c_str());
            }
        }
    }

  private:
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

TEST_F(DefaultPathTest, FollowsXdgConfigHomeThenHome) {
    ::setenv("HOME", "/home/someone", 1);
    ::setenv("XDG_CONFIG_HOME", "/xdg/config", 1);
    EXPECT_EQ(RegFileBackend::DefaultPath(), fs::path("/xdg/config/vellor/settings.reg"));
    ::setenv("XDG_CONFIG_HOME", "", 1);
    EXPECT_EQ(RegFileBackend::DefaultPath(), fs::path("/home/someone/.config/vellor/settings.reg"));
    ::setenv("XDG_CONFIG_HOME", "relative/path", 1);  // not absolute: ignored
    EXPECT_EQ(RegFileBackend::DefaultPath(), fs::path("/home/someone/.config/vellor/settings.reg"));
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(RegFileBackend::DefaultPath(), fs::path("/home/someone/.config/vellor/settings.reg"));
}

// Two programs save different groups at the same moments, many times: each save reads the other's
// latest values under the lock, so neither group is ever lost.
TEST_F(RegFileBackendTest, TwoProcessesSavingAtOnceNeverLoseEachOthersGroup) {
    constexpr int kRounds = 150;
    const auto run = [&](bool bar) {
        RegFileBackend backend(File());
        for (int round = 1; round <= kRounds; ++round) {
            AppState state;
            if (bar) {
                state.controlBar = round;
                state.hexInput = round;
                SaveBarSettings(state, backend);
            } else {
                state.portName = "/dev/ttyUSB" + std::to_string(round);
                state.portConfig.SetBaudRate(static_cast<uint32_t>(round));
                SavePortSettings(state, backend);
            }
            backend.WaitForSaves();
            AppState check;
            const int loaded =
                bar ? LoadBarSettings(check, backend) : LoadPortSettings(check, backend);
            const bool same = bar ? check.controlBar == round
                                  : check.portConfig.BaudRate() == static_cast<uint32_t>(round);
            if (loaded != 1 || !same) return 1;
        }
        return 0;
    };
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) ::_exit(run(true));
    const int parentResult = run(false);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the bar group was lost or overwritten";
    EXPECT_EQ(parentResult, 0) << "the port group was lost or overwritten";

    RegFileBackend backend(File());
    AppState state;
    EXPECT_EQ(LoadBarSettings(state, backend), 1);
    EXPECT_EQ(LoadPortSettings(state, backend), 1);
    EXPECT_EQ(state.controlBar, kRounds);
    EXPECT_EQ(state.portName, "/dev/ttyUSB" + std::to_string(kRounds));
}

}  // namespace
}  // namespace vellor
