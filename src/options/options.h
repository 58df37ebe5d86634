// Options: the options window, its self-drawn controls and the palette of
// selection colours. All on the GUI thread.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "options/options_layout.h"
#include "state/app_state.h"

constexpr const char* optionsWindowClass = "Screen Capture Options Menu";

// Start-up: the check mark from app.exeFolder, the two fonts, the six classes
// (options window and five controls) with `icon`. False
// when a class cannot be registered; the caller ends the process.
bool registerOptionsClasses(HICON icon);

// A Tahoma font of the options window at `height` pixels.
HFONT createOptionsFont(int height);

// Shutdown: deletes labelFont, then formatFont.
void releaseOptionsFonts();

// Opens the options window at `scale` percent (never below 100). With a new
// scale the fonts are made again first, also while a window is open; an open
// window is never opened twice.
void openOptionsWindow(std::int32_t scale);

// The close of the options window: takes the folder from the box, sets
// quickSaveLocation and quickSaveFolder, writes prefs.txt, empties the tables.
void applyOptions();

LRESULT CALLBACK optionsWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
LRESULT CALLBACK labelControlProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
LRESULT CALLBACK swatchControlProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
LRESULT CALLBACK formatChoiceControlProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
LRESULT CALLBACK toggleControlProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
LRESULT CALLBACK browseControlProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
