#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <string>

#include "app/app_state.h"
#include "serial/fake_port_ui.h"
#include "serial/line_defaults.h"
#include "serial/port_connection.h"
#include "serial/pty_pair.h"
#include "support/screen_fixture.h"
#include "transfer/capture_command.h"
#include "transfer/fake_transfer_ui.h"
#include "transfer/scripted_file.h"
#include "transfer/send_command.h"
#include "transfer/transfer_shutdown.h"

namespace vellor::testing {

namespace fs = std::filesystem;

// A state with a 10 x 40 Text screen and default line settings, a fake UI, a private folder,
// and the means to open the port on a pseudo-terminal. Everything is shut down at the end.
class TransferTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "vellor-transfer-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        state_ = MakeScreen(10, 40);
        ASSERT_NE(state_, nullptr);
        DefaultPortSettings(*state_);
    }

    void TearDown() override {
        ShutdownTransfers(*state_, ui_);
        ClosePort(*state_, portUi_);
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }

    AppState& state() { return *state_; }

    std::string PathOf(const std::string& name) const { return (dir_ / name).string(); }

  public:
    static constexpr uint8_t kMarker = 0xA5;

    static std::string Contents(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    static void Write(const std::string& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary) << bytes;
    }

  protected:
    // Opens the port on the pseudo-terminal's slave end.
    bool OpenPortOn(const PtyPair& pty) {
        state_->portName = pty.slavePath;
        return OpenPort(*state_, portUi_);
    }

    // The screen's rows, trailing blanks dropped, joined by '|', trailing empty rows dropped.
    std::string Screen() {
        std::lock_guard lock(state_->screenMutex);
        std::string text = ScreenText(*state_);
        text.erase(text.find_last_not_of('|') + 1);
        return text;
    }

    // Picks `path` in the next chooser and runs Send from File with the given hooks.
    void SendWith(const std::string& path, const SendHooks& hooks = DefaultSendHooks()) {
        ui_.Answer(path);
        ToggleSendWith(*state_, ui_, hooks);
    }
    // Hooks that open `file` whatever the path.
    static SendHooks Opening(ScriptedFile& file) {
        SendHooks hooks = DefaultSendHooks();
        hooks.open = [&file](const std::string&) { return file.Open(); };
        return hooks;
    }

    // Runs the UI's posted work until the send has ended by itself.
    bool RunUntilIdle() {
        return ui_.RunUntil([this] { return state_->sending.load() == 0; });
    }

    // Everything the master receives up to a marker byte the port writes after the send: the
    // bytes of the send and nothing else, without guessing how long to wait.
    std::string WireUpToMarker(PtyPair& pty) {
        WritePortByte(*state_, kMarker);
        std::string wire;
        while (wire.empty() || wire.back() != char(kMarker)) {
            const std::string more = pty.Receive(1);
            if (more.empty()) return wire + "<nothing more>";
            wire += more;
        }
        wire.pop_back();
        return wire;
    }

    fs::path dir_;
    std::unique_ptr<AppState> state_;
    FakeTransferUi ui_;
    FakePortUi portUi_;
};

}  // namespace vellor::testing
