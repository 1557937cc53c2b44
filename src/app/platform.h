#pragma once

#include <optional>
#include <string>
#include <vector>

namespace vellor {

// Which window owns a message box.
enum class MessageOwner { MainWindow, View };

// A file the user is asked to pick.
struct FileRequest {
    enum class Kind { Open, Save };
    Kind kind = Kind::Open;
    std::string title;
    std::vector<std::string> filters;  // "Log (*.log)", ... in the order offered
    std::string startDir;              // empty: the dialog's own choice
};

// Services the core asks of the windowing layer. The Qt main window implements it; tests use a
// recording fake. Called on the UI thread only. Every service but the message box has a do-nothing
// default so that a fake only implements what its test looks at.
class Platform {
  public:
    virtual ~Platform() = default;

    // A message box with an OK button only. `detail` is the system's reason, if any, shown below
    // the text.
    virtual void ShowMessage(MessageOwner owner, const std::string& text,
                             const std::string& caption, const std::string& detail = {}) = 0;

    // The check mark of the menu item with this command id.
    virtual void SetMenuCheck(int /*commandId*/, bool /*checked*/) {}
    virtual void SetWindowTitle(const std::string& /*title*/) {}
    // The check state of a control-bar box, by its command id (40001-40006).
    virtual void SetBoxCheck(int /*commandId*/, bool /*checked*/) {}
    virtual bool BoxChecked(int /*commandId*/) { return false; }
    // Keyboard focus to the terminal view.
    virtual void FocusView() {}
    // One line on the debug channel (standard error); the line end is added by the platform.
    virtual void DebugTrace(const std::string& /*line*/) {}
    // Ends the program: the main window goes away and its shutdown runs.
    virtual void DestroyMainWindow() {}
    // The chosen file's path, or nothing when the user cancelled.
    virtual std::optional<std::string> ChooseFile(const FileRequest& /*request*/) {
        return std::nullopt;
    }
};

}  // namespace vellor
