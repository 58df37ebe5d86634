// The process exit codes and the texts of every message box the program
// shows. All fatal ends go through endProcess (state/state.h) with one of these;
// only the shell (app/) chooses them.
#pragma once

enum class ExitCode : int {
    normal = 0,                       // also: a second instance, a standard exception
    classRegistrationFailed = 12,     // a window class could not be registered
    screenshotException = 234,        // a standard exception while a screenshot window is made
    overlayCreationFailed = 25098,    // an overlay window could not be created
    screenshotCreationFailed = 64564, // a screenshot window could not be created
};

constexpr const char* errorCaption = "Error!";
constexpr const char* captureFailedCaption = "Screen Capture";
constexpr const char* captureFailedText =
    "Unable to capture the desktop. HDR capture requires Windows 10 with a driver supporting floating-point desktop "
    "duplication. If the display mode just changed or another capture app is running, retry the capture.";
constexpr const char* overlayFailedText = "Screenshot capture failed!";
constexpr const char* selectionWindowFailedText = "Subwindow Creation Failed!";
constexpr const char* optionsWindowFailedText = "Options Window Creation Failed!";
