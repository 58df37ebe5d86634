// Kernel handles of files and folder searches, owned by one scope; for the
// Win32 halves of every folder from output/ up (prefs/ included, which is
// below state/handle_guards.h).
#pragma once

#include <windows.h>

// A handle closed by `release` on scope exit. INVALID_HANDLE_VALUE, not null, means none.
template <BOOL(WINAPI* release)(HANDLE)> class KernelHandle {
public:
    explicit KernelHandle(HANDLE opened) : handle_(opened) {}
    ~KernelHandle() {
        if (handle_ != INVALID_HANDLE_VALUE)
            release(handle_);
    }
    KernelHandle(const KernelHandle&) = delete;
    KernelHandle& operator=(const KernelHandle&) = delete;

    HANDLE get() const { return handle_; }
    explicit operator bool() const { return handle_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE handle_;
};

using FileHandle = KernelHandle<CloseHandle>; // CreateFileA
using FindHandle = KernelHandle<FindClose>;   // FindFirstFileA
