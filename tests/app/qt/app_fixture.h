#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>
#include <memory>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/qt/main_window.h"
#include "app/qt/start_up.h"
#include "settings/reg_file_backend.h"

namespace vellor::testing {

// A started main window over a settings file in a fresh temporary folder. Message boxes and file
// dialogs are recorded instead of shown.
class AppFixture : public ::testing::Test {
  protected:
    struct Message {
        std::string text;
        std::string caption;
        std::string detail;
        bool ownedByView = false;
    };

    std::filesystem::path SettingsPath() const {
        return std::filesystem::path(dir_.path().toStdString()) / "vellor" / "settings.reg";
    }

    // Writes the settings file before the start.
    void WriteSettings(const std::string& values) {
        std::filesystem::create_directories(SettingsPath().parent_path());
        FILE* f = fopen(SettingsPath().c_str(), "wb");
        ASSERT_NE(f, nullptr);
        const std::string text =
            "Windows Registry Editor Version 5.00\r\n\r\n"
            "[HKEY_CURRENT_USER\\Software\\VellorEV]\r\n" +
            values;
        fwrite(text.data(), 1, text.size(), f);
        fclose(f);
    }

    std::string ReadSettings() const {
        std::string text;
        FILE* f = fopen(SettingsPath().c_str(), "rb");
        if (!f) return text;
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, f)) > 0)
            text.append(buf, n);
        fclose(f);
        return text;
    }

    void Start() {
        settings_ = std::make_unique<RegFileBackend>(SettingsPath());
        MainWindow::Hooks hooks;
        hooks.showMessage = [this](QWidget* owner, const std::string& text,
                                   const std::string& caption, const std::string& detail) {
            messages_.push_back(
                {text, caption, detail, owner && owner->objectName() == "VellorView"});
        };
        hooks.chooseFile = [this](QWidget*, const FileRequest& request) {
            fileRequests_.push_back(request);
            return std::optional<std::string>();
        };
        hooks.quit = [this] { ++quits_; };
        window_ = StartMainWindow(state_, *settings_, hooks);
        QApplication::processEvents();
    }

    void TearDown() override {
        window_.reset();
        settings_.reset();
    }

    QTemporaryDir dir_;
    AppState state_;
    std::unique_ptr<RegFileBackend> settings_;
    std::unique_ptr<MainWindow> window_;
    std::vector<Message> messages_;
    std::vector<FileRequest> fileRequests_;
    int quits_ = 0;
};

}  // namespace vellor::testing
