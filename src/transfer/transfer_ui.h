#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/platform.h"

namespace vellor {

// What the file transfers ask of the main window. The Qt main window implements it; tests use a
// recording fake.
//
// Threads: every method except Post() is called on the UI thread only. Post() may be called from
// any thread (the send thread uses it): it queues the task to run later on the UI thread, after
// every task posted before it, and returns at once without waiting for the UI thread.
class TransferUi {
  public:
    virtual ~TransferUi() = default;

    // Asks the user for a file; the chosen path (any length), or nothing when cancelled.
    virtual std::optional<std::string> ChooseFile(const FileRequest& request) = 0;
    // The check mark of a menu item (Capture to File 40052, Send from File 40053).
    virtual void SetMenuCheck(int commandId, bool checked) = 0;
    // A message box with an OK button only, owned by the main window or the view; `detail` is the
    // system's reason. Returns when the user has dismissed it.
    virtual void ShowMessage(MessageOwner owner, const std::string& text,
                             const std::string& caption, const std::string& detail) = 0;
    // Runs `task` later on the UI thread. Any thread; never waits.
    virtual void Post(std::function<void()> task) = 0;
};

// The file types both file choosers offer, in this order.
inline const std::vector<std::string>& TransferFilters() {
    static const std::vector<std::string> filters = {"Log (*.log)", "Text (*.txt)", "All (*.*)"};
    return filters;
}

}  // namespace vellor
