// Kernel handles of files and folder searches, owned by one scope; for the
// Win32 halves of every folder from output/ up (prefs/ included, which is
// below state/handle_guards.h).
#pragma once

#include <windows.h>

// CreateFileA → CloseHandle. INVALID_HANDLE_VALUE, not null, means none.
class FileHandle {
public:
    explicit FileHandle(HANDLE opened) : handle_(opened) {}
    ~FileHandle() {
        if (handle_ != INVALID_HANDLE_VALUE)
            CloseHandle(handle_);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    HANDLE get() const { return handle_; }
    explicit operator bool() const { return handle_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE handle_;
};

// FindFirstFileA → FindClose; the first match is in `found` when it opened.
class FindHandle {
public:
    FindHandle(const char* pattern, WIN32_FIND_DATAA& found) : search_(FindFirstFileA(pattern, &found)) {}
    ~FindHandle() {
        if (search_ != INVALID_HANDLE_VALUE)
            FindClose(search_);
    }
    FindHandle(const FindHandle&) = delete;
    FindHandle& operator=(const FindHandle&) = delete;

    HANDLE get() const { return search_; }
    explicit operator bool() const { return search_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE search_;
};
