// The Win32 test bed itself: the program really runs on Windows (or Wine).
#include <windows.h>

#include <gtest/gtest.h>

TEST(WinTestBed, RunsOnWindowsWithADisplay) {
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof(version);
    EXPECT_NE(GetVersionExA(&version), 0);
    EXPECT_GT(GetSystemMetrics(SM_CXSCREEN), 0);
    EXPECT_GT(GetSystemMetrics(SM_CYSCREEN), 0);
}
