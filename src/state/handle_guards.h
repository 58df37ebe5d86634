// Guards for handles made and released in one scope, one per release call:
// SelectedObject (SelectObject back), SolidBrush (DeleteObject), OwnedDc and
// MemoryDc (DeleteDC), DisplayDc (ReleaseDC), PaintScope (EndPaint), ComRef
// (Release), GlobalBlock (GlobalFree). GDI objects and DCs go through the GDI
// ledger. File handles, folder searches and stdio streams have theirs lower
// down, where prefs/ reaches them too: output/file_handles.h, output/stdio_stream.h.
// Long-lived handles in records keep their record's release function.
#pragma once

#include <windows.h>

#include <utility>

#include "state/gdi_ledger.h"

// SelectObject, undone on scope exit.
class SelectedObject {
public:
    SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), previous_(object ? SelectObject(dc, object) : nullptr) {}
    ~SelectedObject() {
        if (previous_ && previous_ != HGDI_ERROR)
            SelectObject(dc_, previous_);
    }
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;

private:
    HDC dc_;
    HGDIOBJ previous_;
};

// A brush made for one paint → DeleteObject.
class SolidBrush {
public:
    explicit SolidBrush(COLORREF colour) : brush_(countGdiObject(CreateSolidBrush(colour))) {}
    ~SolidBrush() {
        if (brush_)
            gdiDeleteObject(brush_);
    }
    SolidBrush(const SolidBrush&) = delete;
    SolidBrush& operator=(const SolidBrush&) = delete;
    HBRUSH get() const { return brush_; }

private:
    HBRUSH brush_;
};

// A DC this scope made (CreateDCA, CreateCompatibleDC) → DeleteDC.
class OwnedDc {
public:
    explicit OwnedDc(HDC made) : dc_(made) {}
    ~OwnedDc() {
        if (dc_)
            gdiDeleteDC(dc_);
    }
    OwnedDc(const OwnedDc&) = delete;
    OwnedDc& operator=(const OwnedDc&) = delete;
    HDC get() const { return dc_; }

private:
    HDC dc_;
};

// CreateCompatibleDC → DeleteDC.
class MemoryDc : public OwnedDc {
public:
    explicit MemoryDc(HDC like) : OwnedDc(countGdiObject(CreateCompatibleDC(like))) {}
};

// The whole virtual screen's DC, GetDC(NULL) → ReleaseDC: a DC the system
// lends, never one to DeleteDC.
class DisplayDc {
public:
    DisplayDc() : dc_(GetDC(nullptr)) {}
    ~DisplayDc() {
        if (dc_)
            ReleaseDC(nullptr, dc_);
    }
    DisplayDc(const DisplayDc&) = delete;
    DisplayDc& operator=(const DisplayDc&) = delete;
    HDC get() const { return dc_; }

private:
    HDC dc_;
};

// BeginPaint → EndPaint, around one WM_PAINT; the DC is the one the paint lends.
class PaintScope {
public:
    explicit PaintScope(HWND hwnd) : hwnd_(hwnd), dc_(BeginPaint(hwnd, &paint_)) {}
    ~PaintScope() { EndPaint(hwnd_, &paint_); }
    PaintScope(const PaintScope&) = delete;
    PaintScope& operator=(const PaintScope&) = delete;
    HDC dc() const { return dc_; }

private:
    HWND hwnd_;
    PAINTSTRUCT paint_{};
    HDC dc_;
};

// One COM reference; Release on reset and destruction. C++ interfaces only
// (the drag objects' files see the C form and release by hand).
template <typename T> class ComRef {
public:
    ComRef() = default;
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;
    ~ComRef() { reset(); }
    void reset() {
        if (pointer_)
            pointer_->Release();
        pointer_ = nullptr;
    }
    T* get() const { return pointer_; }
    T* operator->() const { return pointer_; }
    explicit operator bool() const { return pointer_ != nullptr; }
    // For an out-parameter: releases what is held first.
    T** put() {
        reset();
        return &pointer_;
    }
    void** putVoid() { return reinterpret_cast<void**>(put()); }

private:
    T* pointer_ = nullptr;
};

// GlobalAlloc → GlobalFree, unless handed over by release().
class GlobalBlock {
public:
    explicit GlobalBlock(HGLOBAL block) : block_(block) {}
    ~GlobalBlock() {
        if (block_)
            GlobalFree(block_);
    }
    GlobalBlock(const GlobalBlock&) = delete;
    GlobalBlock& operator=(const GlobalBlock&) = delete;
    HGLOBAL get() const { return block_; }
    // The block is the caller's from here on.
    HGLOBAL release() { return std::exchange(block_, nullptr); }

private:
    HGLOBAL block_;
};
