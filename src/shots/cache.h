// The cache: the hidden folder beside the settings that holds one image file
// per open screenshot, the file a Ctrl + drag hands out. Its folder and file
// names, the writing and deletion of those files, the start-up clean-up and a
// drag's wait for its file all live here: the rules are portable, the Win32
// half (cache_win.cpp, GUI thread) performs them.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "output/output.h"

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

// folder + "ScreenCapture" + seconds + clock remainder (0..999, no leading
// zeros) + the format's extension; a counter above 1 goes before the
// extension as "_2", "_3", ...
std::string cacheFileName(std::string_view folder, std::int64_t seconds, std::uint32_t clockRemainder,
                          ImageFormat format, std::uint32_t counter = 1);
// The first of those names, counter 1 upwards, that `taken` does not claim.
std::string uniqueCacheFileName(std::string_view folder, std::int64_t seconds, std::uint32_t clockRemainder,
                                ImageFormat format, const std::function<bool(const std::string&)>& taken);

#ifdef _WIN32
// The Win32 half, on app.cacheFolder and app.screenshots.

// The start-up clean-up of `folder` (ending in its separator; nothing when
// empty): the images and .part files the rules above name, directly in it and
// never through a link; a file that cannot be deleted stays.
void cleanCacheFolder(const std::string& folder);

// A free cache file name for a new screenshot (open screenshots and files on
// disk both count), or empty when there is no cache folder.
std::string newCachePath();

// Queues the cache file `path` of width x height top-down BGRA pixels in the
// default format; the cache folder (and the settings folder above it) is made
// and hidden first, since either may have been removed since start-up.
void queueCacheFile(const std::string& path, const std::uint8_t* pixels, std::int32_t width, std::int32_t height);

// Deletes the cache file of a closing screenshot without waiting for the
// worker: a queued job goes, and a file being written at this moment is
// deleted by the worker once it is complete.
void deleteCacheFile(const std::string& path);

// A drag's press that came before its cache file: the file's job goes to the
// front of the queue and the wait serves messages, so that windows paint and
// the keyboard hook is answered. True once the file's job is done; false when
// the bound passes, the press is released (app.dropPressPending cleared) or
// the program is ending.
bool waitForCacheFile(const std::string& path);
#endif
