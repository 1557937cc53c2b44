#include "transfer/capture_command.h"

#include "app/app_state.h"
#include "app/command_ids.h"
#include "app/host.h"
#include "base/system_reason.h"
#include "transfer/capture_file.h"

namespace vellor {
namespace {

// A write failed on whichever thread wrote: the capture has already stopped writing. Unless the
// user stopped it meanwhile (and heard of the failure from the close), the UI follows.
void CaptureFailed(AppState& state, Host& host, const CaptureFailure& failure) {
    if (!state.capturing || state.captureFile.Run() != failure.run) return;
    state.captureFile.Close();  // reports the same failure again
    state.capturing = 0;
    host.SetMenuCheck(kCmdCapture, false);
    host.ShowMessage(MessageOwner::MainWindow, "WriteLogFile Failed", kErrorCaption,
                     DescribeCaptureFailure(failure));
}

void StartCapture(AppState& state, Host& host) {
    const std::optional<std::string> path = host.ChooseFile(CaptureFileRequest());
    if (!path) return;  // cancelled: nothing changes, nothing to tell
    const FileStatus opened =
        state.captureFile.Open(*path, [&state, &host](const CaptureFailure& failure) {
            host.Post([&state, &host, failure] { CaptureFailed(state, host, failure); });
        });
    if (!opened) {
        host.ShowMessage(MessageOwner::MainWindow, "CreateLogFile Failed", kErrorCaption,
                         opened.error);
        return;
    }
    state.capturing = 1;
    host.SetMenuCheck(kCmdCapture, true);
}

void StopCapture(AppState& state, Host& host) {
    // The capture ends whatever the close says: the stream is never used again after it.
    const FileStatus closed = state.captureFile.Close();
    if (!closed) {
        host.ShowMessage(MessageOwner::MainWindow, "LogFileClose Fail", kErrorCaption,
                         closed.error);
    }
    state.capturing = 0;
    host.SetMenuCheck(kCmdCapture, false);
}

}  // namespace

const std::vector<std::string>& TransferFilters() {
    static const std::vector<std::string> filters = {"Log (*.log)", "Text (*.txt)", "All (*.*)"};
    return filters;
}

FileRequest CaptureFileRequest() {
    FileRequest request;
    request.kind = FileRequest::Kind::Save;
    request.title = "Save Data to File";
    request.filters = TransferFilters();
    return request;  // no start folder and no default extension: the name is used as typed
}

void ToggleCapture(AppState& state, Host& host) {
    if (state.capturing) {
        StopCapture(state, host);
    } else {
        StartCapture(state, host);
    }
}

void CloseCaptureAtShutdown(AppState& state, Host& host) {
    if (!state.captureFile.IsOpen()) return;
    const FileStatus closed = state.captureFile.Close();
    state.capturing = 0;
    if (!closed) {
        host.ShowMessage(MessageOwner::MainWindow, "CloseLogFile Failed", kErrorCaption,
                         closed.error);
    }
}

}  // namespace vellor
