// The three objects a drag needs, as plain records with the interface table
// first. Include only from files that define CINTERFACE and COBJMACROS before
// any Windows header (the objects are seen through the C form of the
// interfaces); everything else goes through shots.h.
#pragma once

#ifndef CINTERFACE
#error "drag_objects.h needs CINTERFACE"
#endif

#include <windows.h>
#include <ole2.h>

#include <string>

struct DragDataObject {
    const IDataObjectVtbl* table;
    LONG refCount;
    FORMATETC** formats; // private copies
    STGMEDIUM** media;   // parallel to formats; entry i holds the data of format i
    UINT count;
};
// More than a drag ever needs (it stores one), few enough to bound a target's SetData calls.
constexpr UINT maxDragDataEntries = 16;

struct FormatEnumerator {
    const IEnumFORMATETCVtbl* table;
    LONG refCount;
    FORMATETC* formats; // by value
    UINT count;
    UINT position; // the next record to hand out
};

struct DragDropSource {
    const IDropSourceVtbl* table;
    LONG refCount;
};

// New objects with one reference, owned by the caller; null when memory is short.
IDataObject* createDragDataObject();
IDropSource* createDragDropSource();
IEnumFORMATETC* createFormatEnumerator(const FORMATETC* formats, UINT count, UINT position);

// The copy of a stored medium that GetData hands out (the caller owns it).
STGMEDIUM duplicateMedium(const STGMEDIUM& source, const FORMATETC& format);

// The one-file drop list for `utf8Path` in global memory (GMEM_MOVEABLE),
// owned by the caller: the path converted to UTF-16, the cursor where the
// drag began. Null when the path is not UTF-8 or memory is short.
HGLOBAL makeDropFileBlock(const std::string& utf8Path, POINT cursor);
