#include "transfer/capture_command.h"

#include "app/app_state.h"
#include "app/command_ids.h"
#include "transfer/capture_file.h"
#include "transfer/transfer_ui.h"

namespace vellor {
namespace {

constexpr char kErrorCaption[] = "Error";

// A write failed on whichever thread wrote: the capture has already stopped writing. Unless the
// user stopped it meanwhile (and heard of the failure from the close), the UI follows.
void CaptureFailed(AppState& state, TransferUi& ui, const CaptureFailure& failure) {
    if (!state.capturing || state.captureFile.Run() != failure.run) return;
    state.captureFile.Close();  // reports the same failure again
    state.capturing = 0;
    ui.SetMenuCheck(kCmdCapture, false);
    ui.ShowMessage(MessageOwner::MainWindow, "WriteLogFile Failed", kErrorCaption,
                   DescribeCaptureFailure(failure));
}

void StartCapture(AppState& state, TransferUi& ui) {
    const std::optional<std::string> path = ui.ChooseFile(CaptureFileRequest());
    if (!path) return;  // cancelled: nothing changes, nothing to tell
    const FileStatus opened =
        state.captureFile.Open(*path, [&state, &ui](const CaptureFailure& failure) {
            ui.Post([&state, &ui, failure] { CaptureFailed(state, ui, failure); });
        });
    if (!opened) {
        ui.ShowMessage(MessageOwner::MainWindow, "CreateLogFile Failed", kErrorCaption,
                       opened.error);
        return;
    }
    state.capturing = 1;
    ui.SetMenuCheck(kCmdCapture, true);
}

void StopCapture(AppState& state, TransferUi& ui) {
    // The capture ends whatever the close says: the stream is never used again after it.
    const FileStatus closed = state.captureFile.Close();
    if (!closed) {
        ui.ShowMessage(MessageOwner::MainWindow, "LogFileClose Fail", kErrorCaption, closed.error);
    }
    state.capturing = 0;
    ui.SetMenuCheck(kCmdCapture, false);
}

}  // namespace

FileRequest CaptureFileRequest() {
    FileRequest request;
    request.kind = FileRequest::Kind::Save;
    request.title = "Save Data to File";
    request.filters = TransferFilters();
    return request;  // no start folder and no default extension: the name is used as typed
}

void ToggleCapture(AppState& state, TransferUi& ui) {
    if (state.capturing) {
        StopCapture(state, ui);
    } else {
        StartCapture(state, ui);
    }
}

void CloseCaptureAtShutdown(AppState& state, TransferUi& ui) {
    if (!state.captureFile.IsOpen()) return;
    const FileStatus closed = state.captureFile.Close();
    state.capturing = 0;
    if (!closed) {
        ui.ShowMessage(MessageOwner::MainWindow, "CloseLogFile Failed", kErrorCaption,
                       closed.error);
    }
}

}  // namespace vellor
