// The pure decisions of the application shell: the program's folder, the
// tray callback, the options scale and the keyboard hook's keys. Portable; the
// Win32 halves in this folder perform the effects around them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Folder of a module path, up to and including its last '\' or '/'; empty
// when the path holds no separator (files are then looked for in the current
// directory).
std::string folderOfPath(std::string_view path);

// The selection colour index start-up keeps: an index past the palette becomes 0.
std::uint32_t validSelectionColor(std::uint32_t index, std::size_t paletteSize);

// Only a button release over the notification icon opens the tray menu.
bool trayCallbackOpensMenu(std::intptr_t mouseMessage);

// The options window's scale in percent from the monitor's scale factor;
// below 100 (a failed query gives 0) means 100.
std::int32_t optionsScaleFrom(std::int32_t scaleFactor);

// What the keyboard hook makes of one key event. Escape pressed during a
// capture cancels it; PrintScreen released asks for a capture unless Ctrl is
// held (the caller asks the key state only then). Everything is passed on.
enum class HookKey { other, cancelCapture, printScreenReleased };
HookKey classifyHookKey(int code, std::uintptr_t message, std::uint32_t virtualKey, bool captureActive);

// The system silently removes a low-level hook whose thread did not answer
// within its timeout (a few hundred milliseconds), and says nothing. A
// message whose handling kept the GUI thread this long may have cost the
// hook, so the loop installs it again afterwards.
constexpr std::uint64_t hookStallMs = 200;
bool hookMayHaveBeenDropped(std::uint64_t dispatchMs);
