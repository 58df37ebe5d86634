// What the installer leaves on a machine, seen from that machine: run by
// install_test.sh after a silent install (InstalledOrvane.*) and after a
// silent uninstall (UninstalledOrvane.*), in a Wine prefix of its own.
#include <gtest/gtest.h>

#include <shlobj.h>
#include <shobjidl.h>

#include <optional>
#include <string>

#include "session.h"
#include "orvane_version.h"

using namespace driver;

namespace {

constexpr const char* runKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr const char* uninstallKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Orvane";
// Exit code of the installer and the uninstaller when Orvane runs and a
// silent run cannot ask the user to end it.
constexpr DWORD orvaneStillRunning = 3;

std::string knownFolder(int csidl) {
    char path[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathA(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path)))
        return {};
    return path;
}

std::string installFolder() { return knownFolder(CSIDL_PROGRAM_FILES) + "\\Orvane\\"; }
std::string shortcutPath() { return knownFolder(CSIDL_COMMON_PROGRAMS) + "\\Orvane.lnk"; }

std::optional<std::string> registryText(const char* key, const char* name) {
    char value[1024] = {};
    DWORD size = sizeof(value);
    if (RegGetValueA(HKEY_LOCAL_MACHINE, key, name, RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS)
        return std::nullopt;
    return std::string(value);
}

bool registryKeyExists(const char* key) {
    HKEY opened = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &opened) != ERROR_SUCCESS)
        return false;
    RegCloseKey(opened);
    return true;
}

struct Shortcut {
    std::string target;
    std::string workingFolder;
};

// Reads a .lnk file as the shell does when the user clicks it.
std::optional<Shortcut> readShortcut(const std::string& path) {
    if (FAILED(CoInitialize(nullptr)))
        return std::nullopt;
    std::optional<Shortcut> result;
    IShellLinkA* link = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                   reinterpret_cast<void**>(&link)))) {
        IPersistFile* file = nullptr;
        if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
            wchar_t widePath[MAX_PATH] = {};
            MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, widePath, MAX_PATH);
            char target[MAX_PATH] = {};
            char folder[MAX_PATH] = {};
            if (SUCCEEDED(file->Load(widePath, STGM_READ)) &&
                SUCCEEDED(link->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH)) &&
                SUCCEEDED(link->GetWorkingDirectory(folder, MAX_PATH)))
                result = Shortcut{target, folder};
            file->Release();
        }
        link->Release();
    }
    CoUninitialize();
    return result;
}

// Runs `commandLine` to its end; its exit code, or nothing on time-out.
std::optional<DWORD> runToEnd(std::string commandLine, DWORD timeoutMs) {
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        return std::nullopt;
    CloseHandle(info.hThread);
    std::optional<DWORD> code;
    DWORD value = 0;
    if (WaitForSingleObject(info.hProcess, timeoutMs) == WAIT_OBJECT_0 && GetExitCodeProcess(info.hProcess, &value))
        code = value;
    else
        TerminateProcess(info.hProcess, 1);
    CloseHandle(info.hProcess);
    return code;
}

std::string productVersionOf(const std::string& path) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    if (size == 0)
        return {};
    std::string info(size, '\0');
    char* value = nullptr;
    UINT length = 0;
    if (!GetFileVersionInfoA(path.c_str(), 0, size, info.data()) ||
        !VerQueryValueA(info.data(), "\\StringFileInfo\\040904B0\\ProductVersion", reinterpret_cast<void**>(&value),
                        &length))
        return {};
    return value;
}

// The form the installer writes a program path in. (Appending, not
// "\"" + text: GCC 12 reports a false -Wrestrict for that.)
std::string quoted(const std::string& text) {
    std::string result(1, '"');
    result += text;
    result += '"';
    return result;
}

const char* const installedFiles[] = {"orvane.exe", "cursor.cur", "icon.ico",     "checkmark.bmp",
                                      "README.txt", "LICENSE",    "Uninstall.exe"};

TEST(InstalledOrvane, PutsTheProgramAndItsFilesIntoProgramFiles) {
    EXPECT_NE(installFolder().find("\\Program Files\\"), std::string::npos) << installFolder();
    for (const char* name : installedFiles)
        EXPECT_TRUE(fileExists(installFolder() + name)) << name;
    EXPECT_EQ(productVersionOf(installFolder() + "orvane.exe"), ORVANE_VERSION_TEXT);
}

TEST(InstalledOrvane, AddsAStartMenuShortcutThatStartsItInItsFolder) {
    const auto shortcut = readShortcut(shortcutPath());
    ASSERT_TRUE(shortcut) << shortcutPath();
    EXPECT_STRCASEEQ(shortcut->target.c_str(), (installFolder() + "orvane.exe").c_str());
    EXPECT_STRCASEEQ((shortcut->workingFolder + "\\").c_str(), installFolder().c_str());
}

TEST(InstalledOrvane, StartsWithWindowsWhenTheChoiceIsKept) {
    EXPECT_EQ(registryText(runKey, "Orvane"), quoted(installFolder() + "orvane.exe"));
}

TEST(InstalledOrvane, IsListedAmongInstalledProgramsWithItsUninstaller) {
    EXPECT_EQ(registryText(uninstallKey, "DisplayName"), "Orvane");
    EXPECT_EQ(registryText(uninstallKey, "DisplayVersion"), ORVANE_VERSION_TEXT);
    EXPECT_EQ(registryText(uninstallKey, "UninstallString"), quoted(installFolder() + "Uninstall.exe"));
}

// Started as the shortcut starts it; then, while it runs, a silent uninstall
// must refuse rather than leave a half-removed program.
TEST(InstalledOrvane, RunsFromTheInstalledFolderAndIsNotUninstalledWhileRunning) {
    const auto shortcut = readShortcut(shortcutPath());
    ASSERT_TRUE(shortcut);
    resetProfile();
    Session orvane;
    ASSERT_TRUE(orvane.start(shortcut->target, shortcut->workingFolder))
        << shortcut->target << ": " << orvane.failure();
    EXPECT_EQ(className(orvane.trayWindow()), trayWindowClass);

    // "_?=" runs the uninstaller in place, so its exit code is its own.
    const std::string folder = installFolder().substr(0, installFolder().size() - 1);
    EXPECT_EQ(runToEnd(quoted(installFolder() + "Uninstall.exe") + " /S _?=" + folder, 30000), orvaneStillRunning);
    for (const char* name : installedFiles)
        EXPECT_TRUE(fileExists(installFolder() + name)) << name;
    EXPECT_TRUE(orvane.running());

    EXPECT_EQ(orvane.stop(), 0u) << orvane.failure();
}

TEST(UninstalledOrvane, LeavesNoProgramFolder) {
    for (const char* name : installedFiles)
        EXPECT_FALSE(fileExists(installFolder() + name)) << name;
    EXPECT_FALSE(fileExists(installFolder()));
}

TEST(UninstalledOrvane, RemovesTheShortcutAndEveryRegistryEntry) {
    EXPECT_FALSE(fileExists(shortcutPath()));
    EXPECT_EQ(registryText(runKey, "Orvane"), std::nullopt);
    EXPECT_FALSE(registryKeyExists(uninstallKey));
}

} // namespace
