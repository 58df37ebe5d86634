// Pure decisions of the application shell; see app/decisions.h.
#include "app/decisions.h"

namespace {

constexpr std::intptr_t leftButtonUp = 0x0202;
constexpr std::intptr_t rightButtonUp = 0x0205;

constexpr int hookAction = 0; // HC_ACTION
constexpr std::uintptr_t keyDown = 0x0100, keyUp = 0x0101, sysKeyDown = 0x0104, sysKeyUp = 0x0105;
constexpr std::uint32_t escapeKey = 0x1B, printScreenKey = 0x2C;

} // namespace

std::string folderOfPath(std::string_view path) {
    const std::size_t separator = path.find_last_of("\\/");
    if (separator == std::string_view::npos)
        return {};
    return std::string(path.substr(0, separator + 1));
}

std::uint32_t validSelectionColor(std::uint32_t index, std::size_t paletteSize) {
    return index < paletteSize ? index : 0;
}

bool trayCallbackOpensMenu(std::intptr_t mouseMessage) {
    return mouseMessage == leftButtonUp || mouseMessage == rightButtonUp;
}

std::int32_t optionsScaleFrom(std::int32_t scaleFactor) { return scaleFactor < 100 ? 100 : scaleFactor; }

HookKey classifyHookKey(int code, std::uintptr_t message, std::uint32_t virtualKey, bool captureActive) {
    if (code != hookAction)
        return HookKey::other;
    if ((message == keyDown || message == sysKeyDown) && virtualKey == escapeKey && captureActive)
        return HookKey::cancelCapture;
    // Alt+PrintScreen arrives as a system key.
    if ((message == keyUp || message == sysKeyUp) && virtualKey == printScreenKey)
        return HookKey::printScreenReleased;
    return HookKey::other;
}

bool hookMayHaveBeenDropped(std::uint64_t dispatchMs) { return dispatchMs >= hookStallMs; }
