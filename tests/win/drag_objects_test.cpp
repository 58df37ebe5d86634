// The drag-and-drop objects called as the platform and drop targets call
// them: every result code, reference counts, and the data they hand out.
#define CINTERFACE
#define COBJMACROS
#include "shots/drag_objects.h"

#include <shellapi.h>
#include <shlobj.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "shots/shot_rules.h"
#include "shots/shots.h"

namespace {

FORMATETC hdropFormat() { return {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL}; }

// The drop-file block of an ASCII path, as the drag makes it.
std::vector<std::uint8_t> asciiDropBlock(const std::string& path, std::int32_t x, std::int32_t y) {
    return dropFileBlock(std::u16string(path.begin(), path.end()), x, y);
}

HGLOBAL globalBlock(const std::vector<std::uint8_t>& bytes) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes.size());
    std::memcpy(GlobalLock(block), bytes.data(), bytes.size());
    GlobalUnlock(block);
    return block;
}

std::vector<std::uint8_t> globalBytes(HGLOBAL block) {
    const auto* at = static_cast<const std::uint8_t*>(GlobalLock(block));
    std::vector<std::uint8_t> bytes(at, at + GlobalSize(block));
    GlobalUnlock(block);
    return bytes;
}

class DragObjects : public ::testing::Test {
protected:
    static void SetUpTestSuite() { OleInitialize(nullptr); }
    static void TearDownTestSuite() { OleUninitialize(); }

    // A data object holding the drop-file block of `path`, as a drag makes it.
    IDataObject* dataObjectFor(const std::string& path) {
        IDataObject* object = createDragDataObject();
        FORMATETC format = hdropFormat();
        STGMEDIUM medium{};
        medium.tymed = TYMED_HGLOBAL;
        medium.hGlobal = globalBlock(asciiDropBlock(path, -120, 45));
        EXPECT_EQ(IDataObject_SetData(object, &format, &medium, TRUE), S_OK);
        return object;
    }
};

TEST_F(DragObjects, QueryInterfaceAnswersOnlyIUnknownAndTheirOwnInterface) {
    IDataObject* data = createDragDataObject();
    IDropSource* source = createDragDropSource();
    IEnumFORMATETC* enumerator = createFormatEnumerator(nullptr, 0, 0);
    struct Case {
        IUnknown* object;
        const IID* own;
    } cases[] = {{reinterpret_cast<IUnknown*>(data), &IID_IDataObject},
                 {reinterpret_cast<IUnknown*>(source), &IID_IDropSource},
                 {reinterpret_cast<IUnknown*>(enumerator), &IID_IEnumFORMATETC}};
    for (const Case& c : cases) {
        void* out = reinterpret_cast<void*>(1);
        EXPECT_EQ(IUnknown_QueryInterface(c.object, IID_IUnknown, &out), S_OK);
        EXPECT_EQ(out, c.object);
        EXPECT_EQ(IUnknown_QueryInterface(c.object, *c.own, &out), S_OK);
        EXPECT_EQ(out, c.object);
        EXPECT_EQ(IUnknown_QueryInterface(c.object, IID_IStream, &out), E_NOINTERFACE);
        EXPECT_EQ(out, nullptr);
        // Two successful queries added two references to the creator's one.
        EXPECT_EQ(IUnknown_AddRef(c.object), 4u);
        EXPECT_EQ(IUnknown_Release(c.object), 3u);
        EXPECT_EQ(IUnknown_Release(c.object), 2u);
        EXPECT_EQ(IUnknown_Release(c.object), 1u);
        EXPECT_EQ(IUnknown_Release(c.object), 0u);
    }
}

TEST_F(DragObjects, GetDataHandsOutIndependentCopiesOfTheDropFileBlock) {
    const std::string path = "C:\\Users\\root\\AppData\\Local\\Lumagrab\\VELTO_CACHE\\1700000000_1.png";
    IDataObject* object = dataObjectFor(path);
    FORMATETC format = hdropFormat();
    STGMEDIUM first{}, second{};
    ASSERT_EQ(IDataObject_GetData(object, &format, &first), S_OK);
    ASSERT_EQ(IDataObject_GetData(object, &format, &second), S_OK);
    EXPECT_EQ(first.tymed, static_cast<DWORD>(TYMED_HGLOBAL));
    EXPECT_NE(first.hGlobal, second.hGlobal);
    EXPECT_EQ(globalBytes(first.hGlobal), asciiDropBlock(path, -120, 45));

    // The shell reads it as a one-file list.
    char name[MAX_PATH] = {};
    EXPECT_EQ(DragQueryFileA(static_cast<HDROP>(first.hGlobal), 0xFFFFFFFF, nullptr, 0), 1u);
    EXPECT_EQ(DragQueryFileA(static_cast<HDROP>(first.hGlobal), 0, name, sizeof name), path.size());
    EXPECT_EQ(std::string(name), path);

    // Scribbling on one copy leaves the other and the stored block alone.
    std::memset(GlobalLock(first.hGlobal), 0x7A, 20);
    GlobalUnlock(first.hGlobal);
    EXPECT_EQ(globalBytes(second.hGlobal), asciiDropBlock(path, -120, 45));
    ReleaseStgMedium(&first);
    ReleaseStgMedium(&second);
    STGMEDIUM third{};
    ASSERT_EQ(IDataObject_GetData(object, &format, &third), S_OK);
    EXPECT_EQ(globalBytes(third.hGlobal), asciiDropBlock(path, -120, 45));
    ReleaseStgMedium(&third);
    EXPECT_EQ(IDataObject_Release(object), 0u);
}

// Catches a narrow drop list: the UTF-8 bytes of "José" would reach a drop
// target that reads them in its legacy code page, and the drop would fail.
TEST_F(DragObjects, TheDropListCarriesAPathBeyondAsciiAsUtf16) {
    const std::string path = "C:\\Users\\Jos\xC3\xA9\\AppData\\Local\\Lumagrab\\VELTO_CACHE\\1_2.png";
    const HGLOBAL block = makeDropFileBlock(path, POINT{-120, 45});
    ASSERT_NE(block, nullptr);
    const auto* header = static_cast<const DROPFILES*>(GlobalLock(block));
    EXPECT_EQ(header->pFiles, 20u);
    EXPECT_EQ(header->fWide, TRUE);
    EXPECT_EQ(header->pt.x, -120);
    GlobalUnlock(block);
    WCHAR name[MAX_PATH] = {};
    EXPECT_EQ(DragQueryFileW(static_cast<HDROP>(block), 0xFFFFFFFF, nullptr, 0), 1u);
    ASSERT_GT(DragQueryFileW(static_cast<HDROP>(block), 0, name, MAX_PATH), 0u);
    EXPECT_EQ(std::wstring(name), L"C:\\Users\\Jos\u00E9\\AppData\\Local\\Lumagrab\\VELTO_CACHE\\1_2.png");
    GlobalFree(block);
    EXPECT_EQ(makeDropFileBlock("C:\\bad\xC3", POINT{}), nullptr) << "not UTF-8: nothing to hand out";
}

TEST_F(DragObjects, GetDataRefusesWhatItDoesNotHold) {
    IDataObject* empty = createDragDataObject();
    FORMATETC format = hdropFormat();
    STGMEDIUM medium{};
    medium.hGlobal = reinterpret_cast<HGLOBAL>(1);
    EXPECT_EQ(IDataObject_GetData(empty, &format, &medium), DV_E_FORMATETC);
    EXPECT_EQ(medium.hGlobal, nullptr);
    EXPECT_EQ(IDataObject_GetData(empty, nullptr, &medium), E_INVALIDARG);
    EXPECT_EQ(IDataObject_GetData(empty, &format, nullptr), E_INVALIDARG);
    IDataObject_Release(empty);

    IDataObject* object = dataObjectFor("C:\\x.png");
    FORMATETC text{CF_TEXT, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    FORMATETC stream{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_ISTREAM};
    FORMATETC icon{CF_HDROP, nullptr, DVASPECT_ICON, -1, TYMED_HGLOBAL};
    for (FORMATETC* wanted : {&text, &stream, &icon})
        EXPECT_EQ(IDataObject_GetData(object, wanted, &medium), DV_E_FORMATETC);
    STGMEDIUM here{};
    EXPECT_EQ(IDataObject_GetDataHere(object, &format, &here), E_NOTIMPL);
    IDataObject_Release(object);
}

TEST_F(DragObjects, QueryGetDataNamesWhatDoesNotMatch) {
    IDataObject* empty = createDragDataObject();
    FORMATETC format = hdropFormat();
    EXPECT_EQ(IDataObject_QueryGetData(empty, &format), DV_E_TYMED);
    EXPECT_EQ(IDataObject_QueryGetData(empty, nullptr), E_INVALIDARG);
    IDataObject_Release(empty);

    IDataObject* object = dataObjectFor("C:\\x.png");
    struct Case {
        FORMATETC wanted;
        HRESULT expected;
    } cases[] = {
        {hdropFormat(), S_OK},
        {{CF_TEXT, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL}, DV_E_CLIPFORMAT},
        {{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_ISTREAM}, DV_E_TYMED},
        {{CF_HDROP, nullptr, DVASPECT_THUMBNAIL, -1, TYMED_HGLOBAL}, DV_E_DVASPECT},
        {{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL | TYMED_ISTREAM}, S_OK},
    };
    for (Case& c : cases)
        EXPECT_EQ(IDataObject_QueryGetData(object, &c.wanted), c.expected)
            << c.wanted.cfFormat << " " << c.wanted.tymed;

    FORMATETC out{};
    EXPECT_EQ(IDataObject_GetCanonicalFormatEtc(object, &format, &out), DATA_S_SAMEFORMATETC);
    EXPECT_EQ(IDataObject_GetCanonicalFormatEtc(object, &format, nullptr), E_INVALIDARG);
    DWORD connection = 0;
    IEnumSTATDATA* advises = nullptr;
    EXPECT_EQ(IDataObject_DAdvise(object, &format, 0, nullptr, &connection), OLE_E_ADVISENOTSUPPORTED);
    EXPECT_EQ(IDataObject_DUnadvise(object, 0), OLE_E_ADVISENOTSUPPORTED);
    EXPECT_EQ(IDataObject_EnumDAdvise(object, &advises), OLE_E_ADVISENOTSUPPORTED);
    IDataObject_Release(object);
}

TEST_F(DragObjects, SetDataAppendsAndCopiesUnlessItTakesOwnership) {
    IDataObject* object = createDragDataObject();
    FORMATETC format = hdropFormat();
    EXPECT_EQ(IDataObject_SetData(object, nullptr, nullptr, TRUE), E_INVALIDARG);

    // Without release the object stores its own copy; the caller's block stays the caller's.
    const std::vector<std::uint8_t> bytes = asciiDropBlock("C:\\a.bmp", 1, 2);
    STGMEDIUM mine{};
    mine.tymed = TYMED_HGLOBAL;
    mine.hGlobal = globalBlock(bytes);
    ASSERT_EQ(IDataObject_SetData(object, &format, &mine, FALSE), S_OK);
    std::memset(GlobalLock(mine.hGlobal), 0, bytes.size());
    GlobalUnlock(mine.hGlobal);
    ReleaseStgMedium(&mine);

    // A second entry of another format is appended, never replacing the first.
    FORMATETC text{CF_TEXT, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM textMedium{};
    textMedium.tymed = TYMED_HGLOBAL;
    textMedium.hGlobal = globalBlock({'h', 'i', 0});
    ASSERT_EQ(IDataObject_SetData(object, &text, &textMedium, TRUE), S_OK);

    STGMEDIUM got{};
    ASSERT_EQ(IDataObject_GetData(object, &format, &got), S_OK);
    EXPECT_EQ(globalBytes(got.hGlobal), bytes);
    ReleaseStgMedium(&got);
    ASSERT_EQ(IDataObject_GetData(object, &text, &got), S_OK);
    EXPECT_STREQ(static_cast<const char*>(GlobalLock(got.hGlobal)), "hi");
    GlobalUnlock(got.hGlobal);
    ReleaseStgMedium(&got);
    EXPECT_EQ(reinterpret_cast<DragDataObject*>(object)->count, 2u);
    IDataObject_Release(object);
}

// Catches a data object that keeps any medium: releasing a TYMED_FILE one deletes the file it names.
TEST_F(DragObjects, SetDataKeepsOnlyGlobalMemoryReplacesAFormatAndStopsAtTheCap) {
    char temp[MAX_PATH] = {};
    GetTempPathA(sizeof(temp), temp);
    const std::string path = std::string(temp) + "orvane-setdata-file.txt";
    std::ofstream(path) << "keep";
    FORMATETC fileFormat{CF_TEXT, nullptr, DVASPECT_CONTENT, -1, TYMED_FILE};
    STGMEDIUM file{};
    file.tymed = TYMED_FILE;
    file.lpszFileName = static_cast<LPOLESTR>(CoTaskMemAlloc(MAX_PATH * sizeof(wchar_t)));
    MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, file.lpszFileName, MAX_PATH);
    IDataObject* object = dataObjectFor("C:\\x.png");
    const HRESULT refused = IDataObject_SetData(object, &fileFormat, &file, TRUE);
    if (FAILED(refused))
        CoTaskMemFree(file.lpszFileName); // still the caller's
    // CF_HDROP again replaces its entry; then 15 more formats fit, the 16th does not.
    for (UINT i = 0; i <= maxDragDataEntries; ++i) {
        FORMATETC format{static_cast<CLIPFORMAT>(i ? CF_PRIVATEFIRST + i : CF_HDROP), nullptr, DVASPECT_CONTENT, -1,
                         TYMED_HGLOBAL};
        STGMEDIUM block{};
        block.tymed = TYMED_HGLOBAL;
        block.hGlobal = globalBlock({1});
        const HRESULT stored = IDataObject_SetData(object, &format, &block, TRUE);
        EXPECT_EQ(stored, i < maxDragDataEntries ? S_OK : E_OUTOFMEMORY) << i;
        if (FAILED(stored))
            ReleaseStgMedium(&block);
    }
    EXPECT_EQ(reinterpret_cast<DragDataObject*>(object)->count, maxDragDataEntries);
    IDataObject_Release(object);
    EXPECT_EQ(refused, DV_E_TYMED);
    EXPECT_TRUE(std::filesystem::remove(path));
}

TEST_F(DragObjects, TheFormatEnumeratorWalksSkipsResetsAndClones) {
    IDataObject* object = dataObjectFor("C:\\x.png");
    IEnumFORMATETC* enumerator = reinterpret_cast<IEnumFORMATETC*>(1);
    EXPECT_EQ(IDataObject_EnumFormatEtc(object, DATADIR_SET, &enumerator), E_NOTIMPL);
    EXPECT_EQ(enumerator, nullptr);
    EXPECT_EQ(IDataObject_EnumFormatEtc(object, DATADIR_GET, nullptr), E_POINTER);
    ASSERT_EQ(IDataObject_EnumFormatEtc(object, DATADIR_GET, &enumerator), S_OK);
    IDataObject_Release(object); // the enumerator holds its own copies

    FORMATETC got[2]{};
    ULONG fetched = 9;
    EXPECT_EQ(IEnumFORMATETC_Next(enumerator, 1, got, nullptr), S_OK);
    EXPECT_EQ(got[0].cfFormat, CF_HDROP);
    EXPECT_EQ(got[0].tymed, static_cast<DWORD>(TYMED_HGLOBAL));
    EXPECT_EQ(IEnumFORMATETC_Next(enumerator, 1, got, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u);

    EXPECT_EQ(IEnumFORMATETC_Reset(enumerator), S_OK);
    EXPECT_EQ(IEnumFORMATETC_Next(enumerator, 2, got, nullptr), S_FALSE); // two wanted, nowhere to count them
    EXPECT_EQ(IEnumFORMATETC_Next(enumerator, 2, got, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 1u);
    EXPECT_EQ(IEnumFORMATETC_Next(enumerator, 0, got, &fetched), S_FALSE);

    EXPECT_EQ(IEnumFORMATETC_Reset(enumerator), S_OK);
    EXPECT_EQ(IEnumFORMATETC_Skip(enumerator, 2), S_FALSE);
    EXPECT_EQ(IEnumFORMATETC_Skip(enumerator, 0xFFFFFFFFu), S_FALSE);
    EXPECT_EQ(IEnumFORMATETC_Skip(enumerator, 1), S_OK);
    EXPECT_EQ(IEnumFORMATETC_Next(enumerator, 1, got, &fetched), S_FALSE);

    EXPECT_EQ(IEnumFORMATETC_Reset(enumerator), S_OK);
    IEnumFORMATETC* clone = nullptr;
    EXPECT_EQ(IEnumFORMATETC_Clone(enumerator, nullptr), E_POINTER);
    ASSERT_EQ(IEnumFORMATETC_Clone(enumerator, &clone), S_OK);
    EXPECT_EQ(IEnumFORMATETC_Skip(enumerator, 1), S_OK); // the clone keeps its own position
    EXPECT_EQ(IEnumFORMATETC_Next(clone, 1, got, &fetched), S_OK);
    EXPECT_EQ(fetched, 1u);
    EXPECT_EQ(IEnumFORMATETC_Release(enumerator), 0u);
    EXPECT_EQ(IEnumFORMATETC_Release(clone), 0u);
}

TEST_F(DragObjects, TheDropSourceDropsOnReleaseAndCancelsOnEscape) {
    IDropSource* source = createDragDropSource();
    EXPECT_EQ(IDropSource_QueryContinueDrag(source, TRUE, MK_LBUTTON), DRAGDROP_S_CANCEL);
    EXPECT_EQ(IDropSource_QueryContinueDrag(source, FALSE, 0), DRAGDROP_S_DROP);
    EXPECT_EQ(IDropSource_QueryContinueDrag(source, FALSE, MK_CONTROL), DRAGDROP_S_DROP);
    EXPECT_EQ(IDropSource_QueryContinueDrag(source, FALSE, MK_LBUTTON), S_OK);
    EXPECT_EQ(IDropSource_QueryContinueDrag(source, FALSE, MK_RBUTTON), S_OK); // right button held: go on
    EXPECT_EQ(IDropSource_GiveFeedback(source, DROPEFFECT_COPY), DRAGDROP_S_USEDEFAULTCURSORS);
    EXPECT_EQ(IDropSource_Release(source), 0u);
}

} // namespace

namespace {

// The portable MulDiv the rescale arithmetic uses agrees with the system's.
TEST(ShotRescaleOnWindows, MulDivMatchesTheSystems) {
    const int values[] = {0,   1,   -1,  2,    -2,    3,         7,           -7,        96,
                          144, 192, 399, -400, 65535, 123456789, -2147483647, 2147483647};
    for (int a : values)
        for (int b : values)
            for (int c : values)
                ASSERT_EQ(mulDivRounded(a, b, c), MulDiv(a, b, c)) << a << " * " << b << " / " << c;
}

} // namespace
