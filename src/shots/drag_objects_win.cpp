// The drag-and-drop objects: IDataObject, IDropSource and IEnumFORMATETC as
// plain records whose first field is the interface table, with hand-kept
// reference counts. All their memory comes from GlobalAlloc(GMEM_ZEROINIT).
// GUI thread only (the drag loop runs there).
#define CINTERFACE
#define COBJMACROS
#include "shots/drag_objects.h"

#include "shots/shots.h"

namespace {

// Defined, fully filled, after the operations they point to.
extern const IDataObjectVtbl dataObjectTable;
extern const IDropSourceVtbl dropSourceTable;
extern const IEnumFORMATETCVtbl enumeratorTable;

template <typename T> T* allocateZeroed(SIZE_T count = 1) {
    return static_cast<T*>(GlobalAlloc(GMEM_ZEROINIT, sizeof(T) * count));
}

template <typename T> void freeGlobal(T* block) {
    if (block)
        GlobalFree(static_cast<HGLOBAL>(block));
}

// Every kind keeps refCount right after its table, so one AddRef serves all;
// each interface's table slot is a thin typed entry to it.
struct CountedObject {
    void* table;
    LONG refCount;
};

ULONG addRef(void* self) { return static_cast<ULONG>(++static_cast<CountedObject*>(self)->refCount); }

HRESULT queryInterface(void* self, REFIID wanted, const IID& own, void** out) {
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (!IsEqualIID(wanted, IID_IUnknown) && !IsEqualIID(wanted, own))
        return E_NOINTERFACE;
    *out = self;
    addRef(self);
    return S_OK;
}

template <typename Interface> ULONG STDMETHODCALLTYPE addRefEntry(Interface* self) { return addRef(self); }

// A new enumerator with room for `count` records (zeroed), or null.
FormatEnumerator* newEnumerator(UINT count, UINT position) {
    auto* enumerator = allocateZeroed<FormatEnumerator>();
    FORMATETC* records = count ? allocateZeroed<FORMATETC>(count) : nullptr;
    if (!enumerator || (count && !records)) {
        freeGlobal(enumerator);
        freeGlobal(records);
        return nullptr;
    }
    enumerator->table = &enumeratorTable;
    enumerator->refCount = 1;
    enumerator->formats = records;
    enumerator->count = count;
    enumerator->position = position;
    return enumerator;
}

// --- IEnumFORMATETC ----------------------------------------------------------

FormatEnumerator* asEnumerator(IEnumFORMATETC* self) { return reinterpret_cast<FormatEnumerator*>(self); }

HRESULT STDMETHODCALLTYPE enumeratorQueryInterface(IEnumFORMATETC* self, REFIID wanted, void** out) {
    return queryInterface(self, wanted, IID_IEnumFORMATETC, out);
}

ULONG STDMETHODCALLTYPE enumeratorRelease(IEnumFORMATETC* self) {
    FormatEnumerator* enumerator = asEnumerator(self);
    const LONG left = --enumerator->refCount;
    if (left == 0) {
        freeGlobal(enumerator->formats);
        freeGlobal(enumerator);
    }
    return static_cast<ULONG>(left);
}

HRESULT STDMETHODCALLTYPE enumeratorNext(IEnumFORMATETC* self, ULONG wanted, FORMATETC* out, ULONG* fetched) {
    FormatEnumerator* enumerator = asEnumerator(self);
    if (fetched)
        *fetched = 0;
    if (wanted == 0 || !out || enumerator->position >= enumerator->count || (!fetched && wanted != 1))
        return S_FALSE;
    ULONG copied = 0;
    while (copied < wanted && enumerator->position < enumerator->count)
        out[copied++] = enumerator->formats[enumerator->position++];
    if (fetched)
        *fetched = copied;
    return copied == wanted ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE enumeratorSkip(IEnumFORMATETC* self, ULONG count) {
    FormatEnumerator* enumerator = asEnumerator(self);
    // Compared without adding, so that a huge count cannot wrap around.
    if (count > enumerator->count - enumerator->position)
        return S_FALSE;
    enumerator->position += count;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE enumeratorReset(IEnumFORMATETC* self) {
    asEnumerator(self)->position = 0;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE enumeratorClone(IEnumFORMATETC* self, IEnumFORMATETC** out) {
    if (!out)
        return E_POINTER;
    const FormatEnumerator* enumerator = asEnumerator(self);
    *out = createFormatEnumerator(enumerator->formats, enumerator->count, enumerator->position);
    return *out ? S_OK : E_OUTOFMEMORY;
}

// --- IDataObject -------------------------------------------------------------

DragDataObject* asDataObject(IDataObject* self) { return reinterpret_cast<DragDataObject*>(self); }

HRESULT STDMETHODCALLTYPE dataQueryInterface(IDataObject* self, REFIID wanted, void** out) {
    return queryInterface(self, wanted, IID_IDataObject, out);
}

ULONG STDMETHODCALLTYPE dataRelease(IDataObject* self) {
    DragDataObject* object = asDataObject(self);
    const LONG left = --object->refCount;
    if (left == 0) {
        for (UINT i = 0; i < object->count; ++i) {
            freeGlobal(object->formats[i]);
            ReleaseStgMedium(object->media[i]);
            freeGlobal(object->media[i]);
        }
        freeGlobal(object->formats);
        freeGlobal(object->media);
        freeGlobal(object);
    }
    return static_cast<ULONG>(left);
}

HRESULT STDMETHODCALLTYPE dataGetData(IDataObject* self, FORMATETC* wanted, STGMEDIUM* out) {
    if (!wanted || !out)
        return E_INVALIDARG;
    out->hGlobal = nullptr;
    const DragDataObject* object = asDataObject(self);
    for (UINT i = 0; i < object->count; ++i) {
        const FORMATETC& stored = *object->formats[i];
        if ((stored.tymed & wanted->tymed) && stored.dwAspect == wanted->dwAspect &&
            stored.cfFormat == wanted->cfFormat) {
            *out = duplicateMedium(*object->media[i], stored);
            return S_OK;
        }
    }
    return DV_E_FORMATETC;
}

HRESULT STDMETHODCALLTYPE dataGetDataHere(IDataObject*, FORMATETC*, STGMEDIUM*) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE dataQueryGetData(IDataObject* self, FORMATETC* wanted) {
    if (!wanted)
        return E_INVALIDARG;
    if (!(wanted->dwAspect & DVASPECT_CONTENT))
        return DV_E_DVASPECT;
    const DragDataObject* object = asDataObject(self);
    HRESULT answer = DV_E_TYMED;
    for (UINT i = 0; i < object->count; ++i) {
        const FORMATETC& stored = *object->formats[i];
        if (!(stored.tymed & wanted->tymed))
            answer = DV_E_TYMED;
        else if (stored.cfFormat == wanted->cfFormat)
            return S_OK;
        else
            answer = DV_E_CLIPFORMAT;
    }
    return answer;
}

HRESULT STDMETHODCALLTYPE dataGetCanonicalFormatEtc(IDataObject*, FORMATETC*, FORMATETC* out) {
    return out ? DATA_S_SAMEFORMATETC : E_INVALIDARG;
}

// The entry stored for `format`'s clipboard format and aspect, or count.
UINT entryFor(const DragDataObject& object, const FORMATETC& format) {
    for (UINT i = 0; i < object.count; ++i)
        if (object.formats[i]->cfFormat == format.cfFormat && object.formats[i]->dwAspect == format.dwAspect)
            return i;
    return object.count;
}

// Only global memory is kept: releasing a file medium would delete the file
// it names, and a stream or storage would keep a target's object alive. A
// format stored again replaces its entry, and the entries are few, so that a
// target cannot make the object grow without end.
HRESULT STDMETHODCALLTYPE dataSetData(IDataObject* self, FORMATETC* format, STGMEDIUM* medium, BOOL release) {
    if (!format || !medium)
        return E_INVALIDARG;
    if (format->tymed != TYMED_HGLOBAL || medium->tymed != TYMED_HGLOBAL)
        return DV_E_TYMED;
    DragDataObject* object = asDataObject(self);
    const UINT entry = entryFor(*object, *format);
    if (entry == object->count && object->count >= maxDragDataEntries)
        return E_OUTOFMEMORY;
    const bool grows = entry == object->count;
    FORMATETC* formatCopy = allocateZeroed<FORMATETC>();
    STGMEDIUM* mediumCopy = allocateZeroed<STGMEDIUM>();
    FORMATETC** formats = grows ? allocateZeroed<FORMATETC*>(object->count + 1) : object->formats;
    STGMEDIUM** media = grows ? allocateZeroed<STGMEDIUM*>(object->count + 1) : object->media;
    if (!formatCopy || !mediumCopy || !formats || !media) {
        // Nothing stored; the caller keeps the medium.
        freeGlobal(formatCopy);
        freeGlobal(mediumCopy);
        if (grows) {
            freeGlobal(formats);
            freeGlobal(media);
        }
        return E_OUTOFMEMORY;
    }
    *formatCopy = *format;
    formatCopy->ptd = nullptr; // the caller's device record is not ours to keep
    // With release the object now owns the caller's medium as it is.
    *mediumCopy = release ? *medium : duplicateMedium(*medium, *format);
    if (grows) {
        for (UINT i = 0; i < object->count; ++i) {
            formats[i] = object->formats[i];
            media[i] = object->media[i];
        }
        freeGlobal(object->formats);
        freeGlobal(object->media);
        object->formats = formats;
        object->media = media;
        ++object->count;
    } else {
        freeGlobal(formats[entry]);
        ReleaseStgMedium(media[entry]);
        freeGlobal(media[entry]);
    }
    formats[entry] = formatCopy;
    media[entry] = mediumCopy;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE dataEnumFormatEtc(IDataObject* self, DWORD direction, IEnumFORMATETC** out) {
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (direction != DATADIR_GET)
        return E_NOTIMPL;
    const DragDataObject* object = asDataObject(self);
    FormatEnumerator* enumerator = newEnumerator(object->count, 0);
    if (!enumerator)
        return E_OUTOFMEMORY;
    for (UINT i = 0; i < object->count; ++i)
        enumerator->formats[i] = *object->formats[i];
    *out = reinterpret_cast<IEnumFORMATETC*>(enumerator); // the caller owns its one reference
    return S_OK;
}

HRESULT STDMETHODCALLTYPE dataDAdvise(IDataObject*, FORMATETC*, DWORD, IAdviseSink*, DWORD*) {
    return OLE_E_ADVISENOTSUPPORTED;
}

HRESULT STDMETHODCALLTYPE dataDUnadvise(IDataObject*, DWORD) { return OLE_E_ADVISENOTSUPPORTED; }

HRESULT STDMETHODCALLTYPE dataEnumDAdvise(IDataObject*, IEnumSTATDATA**) { return OLE_E_ADVISENOTSUPPORTED; }

// --- IDropSource -------------------------------------------------------------

HRESULT STDMETHODCALLTYPE sourceQueryInterface(IDropSource* self, REFIID wanted, void** out) {
    return queryInterface(self, wanted, IID_IDropSource, out);
}

ULONG STDMETHODCALLTYPE sourceRelease(IDropSource* self) {
    auto* source = reinterpret_cast<DragDropSource*>(self);
    const LONG left = --source->refCount;
    if (left == 0)
        freeGlobal(source);
    return static_cast<ULONG>(left);
}

HRESULT STDMETHODCALLTYPE sourceQueryContinueDrag(IDropSource*, BOOL escapePressed, DWORD keyState) {
    if (escapePressed)
        return DRAGDROP_S_CANCEL;
    if (!(keyState & (MK_LBUTTON | MK_RBUTTON)))
        return DRAGDROP_S_DROP;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE sourceGiveFeedback(IDropSource*, DWORD) { return DRAGDROP_S_USEDEFAULTCURSORS; }

const IEnumFORMATETCVtbl enumeratorTable = {
    .QueryInterface = enumeratorQueryInterface,
    .AddRef = addRefEntry<IEnumFORMATETC>,
    .Release = enumeratorRelease,
    .Next = enumeratorNext,
    .Skip = enumeratorSkip,
    .Reset = enumeratorReset,
    .Clone = enumeratorClone,
};

const IDataObjectVtbl dataObjectTable = {
    .QueryInterface = dataQueryInterface,
    .AddRef = addRefEntry<IDataObject>,
    .Release = dataRelease,
    .GetData = dataGetData,
    .GetDataHere = dataGetDataHere,
    .QueryGetData = dataQueryGetData,
    .GetCanonicalFormatEtc = dataGetCanonicalFormatEtc,
    .SetData = dataSetData,
    .EnumFormatEtc = dataEnumFormatEtc,
    .DAdvise = dataDAdvise,
    .DUnadvise = dataDUnadvise,
    .EnumDAdvise = dataEnumDAdvise,
};

const IDropSourceVtbl dropSourceTable = {
    .QueryInterface = sourceQueryInterface,
    .AddRef = addRefEntry<IDropSource>,
    .Release = sourceRelease,
    .QueryContinueDrag = sourceQueryContinueDrag,
    .GiveFeedback = sourceGiveFeedback,
};

} // namespace

IDataObject* createDragDataObject() {
    auto* object = allocateZeroed<DragDataObject>();
    if (!object)
        return nullptr;
    object->table = &dataObjectTable;
    object->refCount = 1;
    return reinterpret_cast<IDataObject*>(object);
}

IDropSource* createDragDropSource() {
    auto* source = allocateZeroed<DragDropSource>();
    if (!source)
        return nullptr;
    source->table = &dropSourceTable;
    source->refCount = 1;
    return reinterpret_cast<IDropSource*>(source);
}

IEnumFORMATETC* createFormatEnumerator(const FORMATETC* formats, UINT count, UINT position) {
    FormatEnumerator* enumerator = newEnumerator(count, position);
    if (!enumerator)
        return nullptr;
    for (UINT i = 0; i < count; ++i)
        enumerator->formats[i] = formats[i];
    return reinterpret_cast<IEnumFORMATETC*>(enumerator);
}

STGMEDIUM duplicateMedium(const STGMEDIUM& source, const FORMATETC& format) {
    STGMEDIUM copy{};
    copy.tymed = source.tymed;
    switch (source.tymed) {
    case TYMED_HGLOBAL:
    case TYMED_FILE:
    case TYMED_GDI:
    case TYMED_MFPICT:
    case TYMED_ENHMF:
        copy.hGlobal = static_cast<HGLOBAL>(OleDuplicateData(source.hGlobal, format.cfFormat, 0));
        break;
    case TYMED_ISTREAM:
        copy.pstm = source.pstm;
        if (copy.pstm)
            IStream_AddRef(copy.pstm);
        break;
    case TYMED_ISTORAGE:
        copy.pstg = source.pstg;
        if (copy.pstg)
            IStorage_AddRef(copy.pstg);
        break;
    default:
        break;
    }
    copy.pUnkForRelease = source.pUnkForRelease;
    if (copy.pUnkForRelease)
        IUnknown_AddRef(copy.pUnkForRelease);
    return copy;
}
