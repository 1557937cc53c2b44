#include "app/qt/main_window.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QGuiApplication>
#include <QIcon>
#include <QLayout>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QProgressDialog>
#include <QResizeEvent>
#include <QShortcut>
#include <QSystemTrayIcon>
#include <QToolBar>
#include <QtDebug>
#include <atomic>
#include <mutex>
#include <thread>

#include "app/app_state.h"
#include "app/command_ids.h"
#include "app/commands.h"
#include "app/main_layout.h"
#include "app/menu_table.h"
#include "app/qt/client_area.h"
#include "app/qt/status_bar.h"
#include "input/keyboard.h"
#include "screen/find.h"
#include "screen/qt/find_bar.h"
#include "screen/qt/terminal_view.h"
#include "screen/selection.h"
#include "serial/port_connection.h"
#include "serial/qt/comm_dialog.h"
#include "serial/qt/control_bar.h"
#include "settings/qt/options_dialog.h"
#include "transfer/qt/send_settings_dialog.h"
#include "transfer/transfer_shutdown.h"

namespace vellor {

namespace {

QString Text(const std::string& s) {
    return QString::fromStdString(s);
}

void ShowMessageBox(QWidget* owner, const std::string& text, const std::string& caption,
                    const std::string& detail) {
    QMessageBox box(owner);
    box.setWindowTitle(Text(caption));
    box.setText(Text(text));
    if (!detail.empty()) box.setInformativeText(Text(detail));
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
}

std::optional<std::string> ShowFileDialog(QWidget* owner, const FileRequest& request) {
    QStringList filters;
    for (const std::string& f : request.filters)
        filters << Text(f);
    QFileDialog dialog(owner, Text(request.title), Text(request.startDir));
    // The program's own dialog looks and behaves the same on every desktop.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setNameFilters(filters);
    // "All (*.*)" means every file, with or without a dot in its name. The dialog sets its own
    // pattern before it announces the choice, so this one replaces it.
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString& f) {
        if (!f.endsWith(QStringLiteral("(*.*)"))) return;
        if (auto* model = dialog.findChild<QFileSystemModel*>())
            model->setNameFilters({QStringLiteral("*")});
    });
    if (request.kind == FileRequest::Kind::Save) {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        // Captures append to an existing file, so choosing one overwrites nothing.
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
    } else {
        // A typed name that does not exist is taken as it is; opening it then fails visibly.
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::AnyFile);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles().first().toStdString();
}

}  // namespace

MainWindow::MainWindow(AppState& state, SettingsBackend& settings, Hooks hooks)
    : state_(state), settings_(settings), hooks_(std::move(hooks)) {
    if (!hooks_.showMessage) hooks_.showMessage = ShowMessageBox;
    if (!hooks_.chooseFile) hooks_.chooseFile = ShowFileDialog;

    setWindowTitle(QStringLiteral("Vellor"));
    setWindowIcon(QIcon(QStringLiteral(":/vellor.png")));
    BuildMenus();
    client_ = new ClientArea(this);
    setCentralWidget(client_);
    // Before the first layout, so the client area the view is sized from leaves room for it.
    status_ = new StatusBar(state_, this);
    setStatusBar(status_);
    status_->setVisible(state_.preferences.statusBar);
    resize(kDefaultWidth, kDefaultHeight);
    layout()->activate();  // gives the client area its size before the window is shown
    CreateTrayIcon();

    // The children: the boxes first, then the view at its provisional size.
    bar_ = new ControlBar(client_);
    connect(bar_, &ControlBar::Command, this, &MainWindow::Command);
    view_ = new TerminalView(state_, client_);
    view_->setObjectName(QStringLiteral("VellorView"));
    view_->setGeometry(0, 0, client_->width(),
                       std::max(0, client_->height() - kProvisionalViewShortfall));
    // A hidden widget gets its resize only when shown; the view is measured before that, so it
    // lays out its viewport for the provisional size now.
    QResizeEvent provisional(view_->size(), QSize());
    QCoreApplication::sendEvent(view_, &provisional);
    keys_ = std::make_unique<AppKeyDestinations>(state_);
    view_->SetKeyDestinations(keys_.get());
    connect(view_, &TerminalView::PasteSelectionRequested, this,
            [this] { Command(kCmdPasteSelection); });
    connect(view_, &TerminalView::SelectionChanged, this,
            [this] { PublishSelection(state_, *this); });
    CreateFindBar();
    // The second key that pastes, as in other X11 programs.
    auto* shiftInsert = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_Insert), this);
    connect(shiftInsert, &QShortcut::activated, this, [this] { Command(kCmdPaste); });
    connect(client_, &ClientArea::Resized, this, [this] {
        if (!destroyed_) LayoutMainWindow();
    });
}

MainWindow::~MainWindow() {
    if (!destroyed_) Shutdown();
    if (view_) view_->SetKeyDestinations(nullptr);
}

QAction* MainWindow::Action(int commandId) const {
    const auto it = actions_.find(commandId);
    return it == actions_.end() ? nullptr : it->second;
}

void MainWindow::BuildMenus() {
    for (const MenuSpec& menuSpec : MainMenus()) {
        QMenu* menu = menuBar()->addMenu(Text(menuSpec.title));
        for (const MenuEntry& entry : menuSpec.entries) {
            if (entry.IsSeparator()) {
                menu->addSeparator();
                continue;
            }
            QAction* action = menu->addAction(Text(entry.label));
            const int id = entry.id;
            if (entry.checkable) {
                action->setCheckable(true);
                marks_[id] = false;
            }
            if (entry.shortcut) action->setShortcut(QKeySequence(entry.shortcut));
            connect(action, &QAction::triggered, this, [this, action, id] {
                // Qt has already flipped a checkable item; only the command may set its mark.
                if (action->isCheckable()) action->setChecked(marks_[id]);
                Command(id);
            });
            actions_[id] = action;
        }
    }
}

void MainWindow::CreateTrayIcon() {
    if (!QSystemTrayIcon::isSystemTrayAvailable()) return;  // no tray on this desktop
    tray_ = new QSystemTrayIcon(windowIcon(), this);
    connect(tray_, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger) BringToFront();
            });
    tray_->show();
}

void MainWindow::CreateFindBar() {
    findBar_ = new FindBar;
    findBar_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    findArea_ = new QToolBar(QStringLiteral("Find"), this);
    findArea_->setMovable(false);
    findArea_->setFloatable(false);
    findArea_->toggleViewAction()->setVisible(false);  // shown by Find..., not by a context menu
    findArea_->addWidget(findBar_);
    addToolBar(Qt::BottomToolBarArea, findArea_);
    findArea_->hide();
    connect(findBar_, &FindBar::FindRequested, this,
            [this](const QString& needle, bool backwards, bool matchCase) {
                const FindRequest request{needle.toStdString(),
                                          backwards ? FindDirection::Previous : FindDirection::Next,
                                          matchCase};
                findBar_->ShowResult(FindAndSelect(state_, *this, request));
            });
    connect(findBar_, &FindBar::CloseRequested, this, [this] {
        findArea_->hide();
        FocusView();
    });
}

void MainWindow::Command(int id) {
    DispatchCommand(state_, *this, settings_, id);
}

void MainWindow::BringToFront() {
    if (destroyed_) return;
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

void MainWindow::ShowMessage(MessageOwner owner, const std::string& text,
                             const std::string& caption, const std::string& detail) {
    QWidget* parent = owner == MessageOwner::View && view_ ? static_cast<QWidget*>(view_) : this;
    hooks_.showMessage(parent, text, caption, detail);
}

void MainWindow::SetMenuCheck(int commandId, bool checked) {
    QAction* action = Action(commandId);
    if (!action || !action->isCheckable()) return;
    marks_[commandId] = checked;
    action->setChecked(checked);
}

void MainWindow::SetWindowTitle(const std::string& title) {
    setWindowTitle(Text(title));
}

void MainWindow::SetBoxCheck(ModemBox box, bool checked) {
    bar_->Box(box)->setChecked(checked);
}

bool MainWindow::BoxChecked(ModemBox box) const {
    return bar_->Box(box)->isChecked();
}

void MainWindow::Post(std::function<void()> task) {
    // Queued events to one receiver run in the order they were posted; dropped if the window is
    // gone by the time the event loop gets to it.
    QMetaObject::invokeMethod(this, std::move(task), Qt::QueuedConnection);
}

bool MainWindow::RunAside(const std::string& what, std::function<void()> work) {
    struct Shared {
        std::atomic<bool> done{false};
        QPointer<QEventLoop> loop;  // UI thread only
    };
    auto shared = std::make_shared<Shared>();
    QProgressDialog progress(Text(what), QStringLiteral("Cancel"), 0, 0, this);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(300);  // a quick connect shows nothing
    QEventLoop loop;
    connect(&progress, &QProgressDialog::canceled, &loop, &QEventLoop::quit);
    shared->loop = &loop;
    std::thread worker([shared, work = std::move(work)] {
        work();
        shared->done = true;
        QMetaObject::invokeMethod(
            qApp,
            [shared] {
                if (shared->loop) shared->loop->quit();
            },
            Qt::QueuedConnection);
    });
    if (!shared->done) loop.exec();
    shared->loop = nullptr;
    if (!shared->done) {
        worker.detach();  // it owns what it touches and ends by itself
        return false;
    }
    worker.join();
    return !destroyed_;  // the window went meanwhile: nothing more to do
}

void MainWindow::FocusView() {
    view_->setFocus(Qt::OtherFocusReason);
}

void MainWindow::DebugTrace(const std::string& line) {
    qDebug().noquote() << Text(line);
}

std::optional<std::string> MainWindow::ChooseFile(const FileRequest& request) {
    return hooks_.chooseFile(this, request);
}

void MainWindow::DestroyMainWindow() {
    if (destroyed_) return;
    Shutdown();
    hide();
    if (hooks_.quit) hooks_.quit();
}

void MainWindow::Shutdown() {
    destroyed_ = true;
    if (tray_) {
        tray_->hide();
        delete tray_;
        tray_ = nullptr;
    }
    // Joins the receive thread before the device goes.
    if (state_.portOpen) ClosePort(state_, *this);
    // Stops a send (its thread is waited for, never while it waits for us) and closes a capture.
    ShutdownTransfers(state_, *this);
    {
        std::lock_guard lock(state_.screenMutex);
        state_.screenBuffer.reset();
    }
}

void MainWindow::LayoutMainWindow() {
    const MainLayout layout =
        vellor::LayoutMainWindow(client_->width(), client_->height(), state_.controlBar != 0);
    view_->setGeometry(layout.view.x, layout.view.y, std::max(0, layout.view.width),
                       std::max(0, layout.view.height));
    view_->raise();
    bar_->Place(layout);
}

void MainWindow::RecomputeViewMetrics() {
    view_->RecomputeMetrics();
}

void MainWindow::ApplyScrollBars(const ScrollBars& bars) {
    view_->ApplyScrollBars(bars);
}

void MainWindow::RebuildCaret() {
    view_->RebuildCaret();
}

void MainWindow::RunCommDialog() {
    vellor::RunCommDialog(this, state_, settings_);
}

void MainWindow::RunOptionsDialog() {
    vellor::RunOptionsDialog(this, state_, settings_, *this);
}

void MainWindow::SetClipboardText(ClipboardKind kind, const std::string& text) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (kind == ClipboardKind::Selection && !clipboard->supportsSelection()) return;  // not X11
    clipboard->setText(Text(text), kind == ClipboardKind::Selection ? QClipboard::Selection
                                                                    : QClipboard::Clipboard);
}

std::string MainWindow::ClipboardText(ClipboardKind kind) {
    return QGuiApplication::clipboard()
        ->text(kind == ClipboardKind::Selection ? QClipboard::Selection : QClipboard::Clipboard)
        .toStdString();
}

void MainWindow::SetMenuEnabled(int commandId, bool enabled) {
    if (QAction* action = Action(commandId)) action->setEnabled(enabled);
}

void MainWindow::ShowFindBar() {
    findArea_->show();
    findBar_->Activate();
}

void MainWindow::ShowStatusBar(bool shown) {
    status_->setVisible(shown);
}

void MainWindow::RunSendSettingsDialog() {
    vellor::RunSendSettingsDialog(this, state_, settings_);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // Closing the window from the desktop ends the program as Exit does.
    DestroyMainWindow();
    event->accept();
}

void MainWindow::focusInEvent(QFocusEvent* event) {
    QMainWindow::focusInEvent(event);
    FocusView();
}

}  // namespace vellor
