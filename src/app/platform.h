#pragma once

#include <string>

namespace vellor {

// Which window owns a message box.
enum class MessageOwner { MainWindow, View };

// Services the core asks of the windowing layer. The Qt main window implements it; tests use a
// recording fake. Called on the UI thread only.
class Platform {
public:
    virtual ~Platform() = default;

    // A message box with an OK button only. `detail` is the system's reason, if any, shown below
    // the text.
    virtual void ShowMessage(MessageOwner owner, const std::string& text,
                             const std::string& caption, const std::string& detail = {}) = 0;
};

}  // namespace vellor
