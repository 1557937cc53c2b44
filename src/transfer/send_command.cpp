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
#include "app/host.h"
#include "base/system_reason.h"
#include "transfer/capture_command.h"
#include "transfer/file_open.h"

namespace vellor {
namespace {

// Opens without waiting (a named pipe with no writer would hold the UI thread forever) and
// refuses a folder, whose reads could only fail.
std::FILE* OpenForSending(const std::string& path) {
    struct stat info {};
    const int fd = OpenWithoutWaiting(path, O_RDONLY, info);
    if (fd < 0) return nullptr;
    if (S_ISDIR(info.st_mode)) {
        ::close(fd);
        errno = EISDIR;
        return nullptr;
    }
    MakeBlocking(fd);
    std::FILE* file = fdopen(fd, "rb");
    if (!file) {
        const int error = errno;
        ::close(fd);
        errno = error;
    }
    return file;
}

void StopSend(AppState& state, Host& host) {
    state.sending = 0;
    if (state.sendFile) state.sendFile->Stop();
    host.SetMenuCheck(kCmdSend, false);
}

// Runs a send's thread and checks the item, or says why there is no thread.
void Launch(AppState& state, Host& host, std::shared_ptr<SendJob> job,
            const ThreadLauncher& launch) {
    state.sending = 1;  // before the thread exists: it tests the flag at once
    try {
        job->Start(launch);
    } catch (const std::system_error& e) {
        state.sending = 0;
        job.reset();  // closes the file it was given
        host.ShowMessage(MessageOwner::MainWindow, "CreateSendThread Failed", kErrorCaption,
                         e.code().message());
        return;
    }
    state.sendFile = std::move(job);
    host.SetMenuCheck(kCmdSend, true);
}

void StartSend(AppState& state, Host& host, const SendHooks& hooks) {
    const std::optional<std::string> path = host.ChooseFile(SendFileRequest());
    if (!path) return;
    errno = 0;
    std::FILE* file = hooks.open(*path);
    if (!file) {
        host.ShowMessage(MessageOwner::MainWindow, "OpenSendFile Failed", kErrorCaption,
                         SystemReason(errno));
        return;
    }
    Launch(state, host,
           std::make_shared<SendJob>(state, host, file, state.preferences.pacing, state.sendFile),
           hooks.launch);
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

void ToggleSend(AppState& state, Host& host) {
    ToggleSendWith(state, host, DefaultSendHooks());
}

void ToggleSendWith(AppState& state, Host& host, const SendHooks& hooks) {
    if (state.sending.load() != 0) {
        StopSend(state, host);
    } else {
        StartSend(state, host, hooks);
    }
}

void StartPasteSend(AppState& state, Host& host, std::vector<uint8_t> typed,
                    const ThreadLauncher& launch) {
    Launch(state, host,
           std::make_shared<SendJob>(state, host, std::move(typed), state.preferences.pacing,
                                     state.sendFile),
           launch);
}

std::optional<SendProgress> CurrentSendProgress(const AppState& state) {
    if (state.sending.load() == 0 || !state.sendFile) return std::nullopt;
    return state.sendFile->Progress();
}

void StopSending(AppState& state, Host& host) {
    if (state.sending.load() != 0) StopSend(state, host);
}

void StopSendingAtShutdown(AppState& state) {
    state.sending = 0;
    if (const std::shared_ptr<SendJob> job = std::exchange(state.sendFile, nullptr)) {
        job->Cancel();
        job->Join();
    }
}

}  // namespace vellor
