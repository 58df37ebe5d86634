// What the options tests share in one test program: the options classes can
// be registered only once per process, so every suite takes them from here.
#pragma once

#include <windows.h>

struct OptionsClassesForTests {
    HICON icon = nullptr;
    bool registered = false;
};

// Sets app.instance, app.exeFolder and app.arrowCursor, and registers the
// options classes with the program's icon.ico on the first call.
const OptionsClassesForTests& optionsClassesForTests();
