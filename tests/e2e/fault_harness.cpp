// Requests to fault_test.sh go through files in its control folder: the line
// is written under another name and renamed to "request", so the script never
// reads half of it; the answer comes back the same way as "reply".
#include "fault_harness.h"

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "session.h"

namespace faults {

namespace {

std::string controlFolder() {
    char value[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableA("ORVANE_FAULT_CONTROL", value, sizeof value);
    if (length == 0 || length >= sizeof value)
        return {};
    return value;
}

// The control folder as Windows sees it: Wine's Z: drive is the Unix root.
std::string controlFile(const std::string& name) { return "Z:" + controlFolder() + "/" + name; }

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace

std::string mountsUnavailable() {
    if (controlFolder().empty())
        return "no mount namespace: these cases need tests/e2e/fault_test.sh (unshare -rm) to make read-only "
               "folders and full drives";
    return {};
}

std::string unixPath(const std::string& windowsPath) {
    using Converter = char*(CDECL*)(LPCWSTR);
    const auto convert = reinterpret_cast<Converter>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    if (!convert)
        return {};
    std::vector<wchar_t> wide(windowsPath.size() + 1);
    if (!MultiByteToWideChar(CP_ACP, 0, windowsPath.c_str(), -1, wide.data(), static_cast<int>(wide.size())))
        return {};
    char* name = convert(wide.data());
    if (!name)
        return {};
    std::string result(name);
    HeapFree(GetProcessHeap(), 0, name);
    while (result.size() > 1 && result.back() == '/')
        result.pop_back();
    return result;
}

bool ask(const std::string& verb, const std::string& argument, std::string& error) {
    error = mountsUnavailable();
    if (!error.empty())
        return false;
    const std::string reply = controlFile("reply");
    DeleteFileA(reply.c_str());
    {
        std::ofstream out(controlFile("request.new"), std::ios::binary);
        out << verb << ' ' << argument << '\n';
    }
    if (!MoveFileExA(controlFile("request.new").c_str(), controlFile("request").c_str(), MOVEFILE_REPLACE_EXISTING)) {
        error = "the request could not be handed over";
        return false;
    }
    if (!driver::waitUntil([&] { return driver::fileExists(reply); }, 10000)) {
        error = "fault_test.sh did not answer " + verb;
        return false;
    }
    std::string answer = readAll(reply);
    DeleteFileA(reply.c_str());
    while (!answer.empty() && (answer.back() == '\n' || answer.back() == '\r'))
        answer.pop_back();
    if (answer == "ok")
        return true;
    error = verb + " " + argument + ": " + answer;
    return false;
}

FaultyFolder::FaultyFolder(const std::string& folder, FolderState state) {
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    unix_ = unixPath(folder);
    if (unix_.empty()) {
        error_ = "Wine gives no Unix name for " + folder;
        return;
    }
    std::string error;
    if (!ask(state == FolderState::readOnly ? "readonly" : "full", unix_, error)) {
        error_ = error;
        std::string ignoredError;
        ask("restore", unix_, ignoredError); // half-made mounts go too
    }
}

FaultyFolder::~FaultyFolder() { restore(); }

void FaultyFolder::restore() {
    if (restored_ || unix_.empty())
        return;
    restored_ = true;
    std::string ignored;
    ask("restore", unix_, ignored);
}

std::string mapDrive(char letter, const std::string& name, std::string& error) {
    if (!ask("drive", std::string(1, letter) + " " + controlFolder() + "/" + name, error))
        return {};
    std::string root = "?:\\";
    root[0] = static_cast<char>(letter - 'a' + 'A');
    return root;
}

} // namespace faults
