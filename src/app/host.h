#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "serial/modem_box.h"

namespace vellor {

struct ScrollBars;

// The desktop's clipboard (Copy, Paste), or the X11 PRIMARY selection (what is selected, pasted
// with a middle click).
enum class ClipboardKind : uint8_t { Clipboard, Selection };

// Which window owns a message box.
enum class MessageOwner : uint8_t { MainWindow, View };

// A file the user is asked to pick.
struct FileRequest {
    enum class Kind : uint8_t { Open, Save };
    Kind kind = Kind::Open;
    std::string title;
    std::vector<std::string> filters;  // "Log (*.log)", ... in the order offered
    std::string startDir;              // empty: the dialog's own choice
};

// Everything the core asks of the main window. The Qt main window implements it; tests use one
// recording fake (tests/support/fake_host.h).
//
// Threads: Post() may be called from any thread; it queues the task to run on the UI thread after
// every task posted before it and returns at once, never waiting for the UI thread. Every other
// method is called on the UI thread only.
class Host {
  public:
    virtual ~Host() = default;

    // A message box with an OK button only; `detail` is the system's reason, shown below the
    // text. Returns when the user has dismissed it.
    virtual void ShowMessage(MessageOwner owner, const std::string& text,
                             const std::string& caption, const std::string& detail = {}) = 0;
    // The check mark of the menu item with this command id.
    virtual void SetMenuCheck(int commandId, bool checked) = 0;
    virtual void SetWindowTitle(const std::string& title) = 0;
    // The check state of a control-bar box, and reading it back (DTR and RTS are switches the
    // user flips; their commands read the new state).
    virtual void SetBoxCheck(ModemBox box, bool checked) = 0;
    virtual bool BoxChecked(ModemBox box) const = 0;
    // The chosen file's path (any length), or nothing when the user cancelled.
    virtual std::optional<std::string> ChooseFile(const FileRequest& request) = 0;
    // Runs `task` later on the UI thread. Any thread; never waits.
    virtual void Post(std::function<void()> task) = 0;
    // Runs `work` on a thread of its own while the window stays alive (it paints, data keeps
    // arriving), telling the user `what` is under way and offering to cancel. Returns when `work`
    // has finished (true) or the user cancelled (false: `work` goes on to its end unseen, so it
    // must own everything it touches). UI thread.
    virtual bool RunAside(const std::string& what, std::function<void()> work) = 0;

    // Keyboard focus to the terminal view.
    virtual void FocusView() = 0;
    // One line on the debug channel (standard error); the line end is added here.
    virtual void DebugTrace(const std::string& line) = 0;
    // Ends the program: the main window goes away and its shutdown runs.
    virtual void DestroyMainWindow() = 0;
    // Places the view and, with the control bar shown, the six boxes.
    virtual void LayoutMainWindow() = 0;
    // Measures the view font at fontHeight and recomputes the visible rows and columns.
    virtual void RecomputeViewMetrics() = 0;
    virtual void ApplyScrollBars(const ScrollBars& bars) = 0;
    // Destroys the caret and creates one of the current cell size, shown at the cursor if it is
    // in view.
    virtual void RebuildCaret() = 0;
    // The two modal dialogs; each applies and saves what the user confirms.
    virtual void RunCommDialog() = 0;
    virtual void RunOptionsDialog() = 0;

    // Text on the clipboard or the selection, as UTF-8; reading gives "" when there is none.
    virtual void SetClipboardText(ClipboardKind kind, const std::string& text) = 0;
    virtual std::string ClipboardText(ClipboardKind kind) = 0;
    // Whether a menu item can be chosen now.
    virtual void SetMenuEnabled(int commandId, bool enabled) = 0;
    // The find bar below the view, with the keyboard focus in its text box.
    virtual void ShowFindBar() = 0;
    // Shows or hides the status bar below the control bar.
    virtual void ShowStatusBar(bool shown) = 0;
    // The modal dialog for pacing a send; it applies and saves what the user confirms.
    virtual void RunSendSettingsDialog() = 0;
};

}  // namespace vellor
