#pragma once

#include <functional>
#include <string>

namespace vellor {

// The six check boxes of the control bar.
enum class ModemBox { Dtr, Rts, Dsr, Cts, Cd, Ri };

// What the port connection asks of the main window. The Qt main window implements it; tests use
// a recording fake.
//
// Threads: every method except Post() is called on the UI thread only. Post() is called from the
// receive thread (and may be called from any thread); it queues the task to run later on the UI
// thread and returns at once, never waiting for the UI thread. The receive thread is joined by
// ClosePort(), so nothing is posted after the port has been closed.
class PortUi {
  public:
    virtual ~PortUi() = default;

    // The main window's title: "VL: <portName>" while open, "Vellor" when closed.
    virtual void SetTitle(const std::string& title) = 0;
    // Check mark of the Comm menu's Open Port item.
    virtual void SetOpenPortCheck(bool checked) = 0;
    // Check state of a control-bar box, and reading it back (DTR and RTS are switches the user
    // flips; their commands read the new state).
    virtual void SetBoxCheck(ModemBox box, bool checked) = 0;
    virtual bool BoxChecked(ModemBox box) const = 0;
    // A message box owned by the main window with an OK button only; `detail` is the system's
    // reason shown as informative text. Returns when the user has dismissed it.
    virtual void ShowMessage(const std::string& text, const std::string& caption,
                             const std::string& detail) = 0;

    // Runs `task` later on the UI thread. Any thread; never waits.
    virtual void Post(std::function<void()> task) = 0;
};

}  // namespace vellor
