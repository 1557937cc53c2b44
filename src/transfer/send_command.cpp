#include "transfer/send_command.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <system_error>
#include <thread>
#include <utility>

#include "app/app_state.h"
#include "app/command_ids.h"
#include "transfer/transfer_ui.h"

namespace vellor {
namespace {

constexpr char kErrorCaption[] = "Error";

std::string Reason(int error) {
    return std::generic_category().message(error != 0 ? error : EIO);
}

// Opens without waiting (a named pipe with no writer would hold the UI thread forever) and
// refuses a folder, whose reads could only fail.
std::FILE* OpenForSending(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat info {};
    if (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
        const int error = S_ISDIR(info.st_mode) ? EISDIR : errno;
        ::close(fd);
        errno = error;
        return nullptr;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    std::FILE* file = fdopen(fd, "rb");
    if (!file) {
        const int error = errno;
        ::close(fd);
        errno = error;
    }
    return file;
}

void StopSend(AppState& state, TransferUi& ui) {
    state.sending = 0;
    if (state.sendFile) state.sendFile->Stop();
    ui.SetMenuCheck(kCmdSend, false);
}

void StartSend(AppState& state, TransferUi& ui, const SendHooks& hooks) {
    const std::optional<std::string> path = ui.ChooseFile(SendFileRequest());
    if (!path) return;
    errno = 0;
    std::FILE* file = hooks.open(*path);
    if (!file) {
        ui.ShowMessage(MessageOwner::MainWindow, "OpenSendFile Failed", kErrorCaption,
                       Reason(errno));
        return;
    }
    auto job = std::make_shared<SendJob>(state, ui, file, state.sendFile);
    state.sending = 1;  // before the thread exists: it tests the flag at once
    try {
        job->Start(hooks.launch);
    } catch (const std::system_error& e) {
        state.sending = 0;
        job.reset();  // closes the file it was given
        ui.ShowMessage(MessageOwner::MainWindow, "CreateSendThread Failed", kErrorCaption,
                       e.code().message());
        return;
    }
    state.sendFile = std::move(job);
    ui.SetMenuCheck(kCmdSend, true);
}

}  // namespace

SendHooks DefaultSendHooks() {
    return {OpenForSending,
            [](std::function<void()> body) { return std::thread(std::move(body)); }};
}

FileRequest SendFileRequest() {
    FileRequest request;
    request.kind = FileRequest::Kind::Open;
    request.title = "Open File to Send";
    request.filters = TransferFilters();
    request.startDir = "/";
    return request;
}

void ToggleSend(AppState& state, TransferUi& ui) {
    ToggleSendWith(state, ui, DefaultSendHooks());
}

void ToggleSendWith(AppState& state, TransferUi& ui, const SendHooks& hooks) {
    if (state.sending.load() != 0) {
        StopSend(state, ui);
    } else {
        StartSend(state, ui, hooks);
    }
}

void StopSendingAtShutdown(AppState& state) {
    state.sending = 0;
    if (const std::shared_ptr<SendJob> job = std::exchange(state.sendFile, nullptr)) {
        job->Cancel();
        job->Join();
    }
}

}  // namespace vellor
