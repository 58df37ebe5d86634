// The pure decisions of the application shell: folders, the cache clean-up
// rule, the tray callback, the options scale and the keyboard hook's keys. Portable; the Win32 halves
// in this folder perform the effects around them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Folder of a module path, up to and including its last '\' or '/'; empty
// when the path holds no separator (files are then looked for in the current
// directory).
std::string folderOfPath(std::string_view path);

// The cache folder beside the settings: `settingsFolder` (as the settings
// code chose it, either separator) in backslash form + "VELTO_CACHE\". Empty
// when there is no settings folder, so that no clean-up or cache file ever
// works on the current directory instead.
std::string cacheFolderFor(std::string_view settingsFolder);

// The start-up clean-up deletes "*.jpg", "*.png" and "*.bmp" in the cache
// folder, in that order. A directory search also matches short 8.3 names
// ("a.pngold" is "A~1.PNG"), so a found name is deleted only when its own
// extension is one of the three (any letter case).
constexpr const char* cacheCleanupPatterns[] = {"*.jpg", "*.png", "*.bmp"};
bool isCacheImageName(std::string_view fileName);
// What a save cut short leaves beside its image ("a.png.part", or "a.png.2.part"
// when that name was taken), searched after the images.
constexpr const char* cachePartPattern = "*.part";
bool isCachePartName(std::string_view fileName);
// Whether the entry `name` of a folder is itself what its final path names:
// `entryFinalPath` (the system's final path of the entry) is
// `folderFinalPath` + one separator + `name`, letters compared without case.
// A link to something elsewhere has the final path of its target, and the
// clean-up must not delete through it.
bool isEntryOfFolder(std::string_view folderFinalPath, std::string_view name, std::string_view entryFinalPath);

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
