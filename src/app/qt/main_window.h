#pragma once

#include <QMainWindow>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "app/host.h"

class QAction;
class QSystemTrayIcon;
class QToolBar;

namespace vellor {

struct AppState;
class SettingsBackend;
class ClientArea;
class ControlBar;
class TerminalView;
class KeyDestinations;
class StatusBar;
class FindBar;

// The top-level window: menu bar, terminal view, control bar and tray icon. Every menu item and
// box reaches DispatchCommand by its command id; the window carries out what the core asks of it
// through Host.
class MainWindow : public QMainWindow, public Host {
    Q_OBJECT

  public:
    // Replaceable for tests: how messages and file choices reach the user, and how the program's
    // event loop is told to end.
    struct Hooks {
        std::function<void(QWidget* owner, const std::string& text, const std::string& caption,
                           const std::string& detail)>
            showMessage;
        std::function<std::optional<std::string>(QWidget* owner, const FileRequest&)> chooseFile;
        std::function<void()> quit;
    };

    static constexpr int kDefaultWidth = 800;
    static constexpr int kDefaultHeight = 560;

    // Creates the menu bar, the tray icon, the six boxes and the view at its provisional size.
    MainWindow(AppState& state, SettingsBackend& settings, Hooks hooks = {});
    ~MainWindow() override;

    TerminalView* View() const { return view_; }
    ControlBar* Bar() const { return bar_; }
    ClientArea* Client() const { return client_; }
    StatusBar* Status() const { return status_; }
    QAction* Action(int commandId) const;
    FindBar* Finder() const { return findBar_; }
    // Whether the window has gone (Exit, or start-up could not allocate the screen).
    bool Destroyed() const { return destroyed_; }

    // Routes a command as a menu choice or a box click would.
    void Command(int id);
    // Brings the window to the front: another start of the program asked for it.
    void BringToFront();

    // Host.
    void ShowMessage(MessageOwner owner, const std::string& text, const std::string& caption,
                     const std::string& detail = {}) override;
    void SetMenuCheck(int commandId, bool checked) override;
    void SetWindowTitle(const std::string& title) override;
    void SetBoxCheck(ModemBox box, bool checked) override;
    bool BoxChecked(ModemBox box) const override;
    std::optional<std::string> ChooseFile(const FileRequest& request) override;
    void Post(std::function<void()> task) override;
    bool RunAside(const std::string& what, std::function<void()> work) override;
    void FocusView() override;
    void DebugTrace(const std::string& line) override;
    void DestroyMainWindow() override;
    void LayoutMainWindow() override;
    void RecomputeViewMetrics() override;
    void ApplyScrollBars(const ScrollBars& bars) override;
    void RebuildCaret() override;
    void RunCommDialog() override;
    void RunOptionsDialog() override;
    void SetClipboardText(ClipboardKind kind, const std::string& text) override;
    std::string ClipboardText(ClipboardKind kind) override;
    void SetMenuEnabled(int commandId, bool enabled) override;
    void ShowFindBar() override;
    void ShowStatusBar(bool shown) override;
    void RunSendSettingsDialog() override;

  protected:
    void closeEvent(QCloseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

  private:
    void BuildMenus();
    void CreateTrayIcon();
    void CreateFindBar();
    void Shutdown();

    AppState& state_;
    SettingsBackend& settings_;
    Hooks hooks_;
    ClientArea* client_ = nullptr;
    TerminalView* view_ = nullptr;
    ControlBar* bar_ = nullptr;
    QSystemTrayIcon* tray_ = nullptr;
    StatusBar* status_ = nullptr;
    QToolBar* findArea_ = nullptr;  // holds the find bar below the client area, hidden until asked
    FindBar* findBar_ = nullptr;
    std::map<int, QAction*> actions_;
    std::map<int, bool> marks_;  // the check marks as last set; a click never changes them
    std::unique_ptr<KeyDestinations> keys_;
    bool destroyed_ = false;
};

}  // namespace vellor
