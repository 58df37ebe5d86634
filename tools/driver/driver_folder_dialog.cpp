// The user-level driver: the system's folder dialog; see driver.h.
#include "driver.h"

#include <commctrl.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

namespace driver {

// --- the system's folder dialog -----------------------------------------------------------------

namespace {

// Memory inside another process, for the tree-view messages that carry a pointer.
class RemoteBuffer {
public:
    RemoteBuffer(DWORD process, std::size_t size)
        : process_(OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, process)) {
        if (process_)
            address_ = VirtualAllocEx(process_, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    }
    ~RemoteBuffer() {
        if (address_)
            VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
        if (process_)
            CloseHandle(process_);
    }
    RemoteBuffer(const RemoteBuffer&) = delete;
    RemoteBuffer& operator=(const RemoteBuffer&) = delete;

    char* address() const { return static_cast<char*>(address_); }
    bool write(std::size_t offset, const void* data, std::size_t size) const {
        return WriteProcessMemory(process_, address() + offset, data, size, nullptr) != 0;
    }
    bool read(std::size_t offset, void* data, std::size_t size) const {
        return ReadProcessMemory(process_, address() + offset, data, size, nullptr) != 0;
    }

private:
    HANDLE process_;
    void* address_ = nullptr;
};

HWND findDescendant(HWND parent, const char* windowClass) {
    struct Search {
        const char* windowClass;
        HWND found;
    } search{windowClass, nullptr};
    EnumChildWindows(
        parent,
        [](HWND window, LPARAM data) -> BOOL {
            auto& s = *reinterpret_cast<Search*>(data);
            if (className(window) != s.windowClass)
                return TRUE;
            s.found = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::string treeItemText(HWND tree, HTREEITEM item) {
    constexpr std::size_t textSize = 260;
    RemoteBuffer remote(windowProcess(tree), sizeof(TVITEMA) + textSize);
    if (!remote.address())
        return {};
    TVITEMA request{};
    request.mask = TVIF_TEXT;
    request.hItem = item;
    request.pszText = remote.address() + sizeof(TVITEMA);
    request.cchTextMax = static_cast<int>(textSize);
    const char empty = '\0';
    if (!remote.write(0, &request, sizeof(request)) || !remote.write(sizeof(TVITEMA), &empty, 1))
        return {};
    SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(remote.address()));
    char text[textSize] = {};
    remote.read(sizeof(TVITEMA), text, textSize - 1);
    return text;
}

std::string trimmed(const std::string& text) {
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

bool startsWithIgnoringCase(const std::string& text, const std::string& start) {
    if (text.size() < start.size())
        return false;
    for (std::size_t i = 0; i < start.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) != std::tolower(static_cast<unsigned char>(start[i])))
            return false;
    return true;
}

HTREEITEM treeItem(HWND tree, UINT relation, HTREEITEM item) {
    return reinterpret_cast<HTREEITEM>(SendMessageA(tree, TVM_GETNEXTITEM, relation, reinterpret_cast<LPARAM>(item)));
}

} // namespace

bool selectFolderInDialog(HWND dialog, const std::vector<std::string>& labels) {
    const HWND tree = findDescendant(dialog, WC_TREEVIEWA);
    if (!tree)
        return false;
    HTREEITEM parent = nullptr;
    for (const std::string& label : labels) {
        if (parent)
            SendMessageA(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(parent));
        HTREEITEM found = nullptr;
        for (HTREEITEM item = parent ? treeItem(tree, TVGN_CHILD, parent) : treeItem(tree, TVGN_ROOT, nullptr);
             item && !found; item = treeItem(tree, TVGN_NEXT, item))
            if (startsWithIgnoringCase(trimmed(treeItemText(tree, item)), label))
                found = item;
        if (!found)
            return false;
        parent = found;
    }
    return SendMessageA(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(parent)) != 0;
}

void clickDialogButton(HWND dialog, int id) {
    const HWND button = GetDlgItem(dialog, id);
    if (button)
        click(centreOf(windowRect(button)));
}

} // namespace driver
