// Process entry of orvane.exe.
#include "app/app.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) { return runOrvane(instance); }
