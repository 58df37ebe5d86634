// The SDR white level lookup: against Wine's real display configuration (it
// has no HDR display, so every answer is false), and against a fake
// configuration for the paths Wine cannot show.
#include <windows.h>

#include <cwchar>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "capture/capture.h"

namespace {

constexpr float untouched = -1.0f;

// --- Wine's own display configuration, watched by a spy ---------------------

std::vector<UINT32> spiedRequests;

LONG spyDeviceInfo(DISPLAYCONFIG_DEVICE_INFO_HEADER* request) {
    spiedRequests.push_back(static_cast<UINT32>(request->type));
    return systemDisplayConfigCalls().getDeviceInfo(request);
}

DisplayConfigCalls spyCalls() {
    DisplayConfigCalls calls = systemDisplayConfigCalls();
    calls.getDeviceInfo = spyDeviceInfo;
    return calls;
}

std::vector<std::wstring> attachedDisplayNames() {
    std::vector<std::wstring> names;
    DISPLAY_DEVICEA device{};
    device.cb = sizeof(device);
    for (DWORD i = 0; EnumDisplayDevicesA(nullptr, i, &device, 0); ++i) {
        if (device.StateFlags & DISPLAY_DEVICE_ATTACHED_TO_DESKTOP) {
            wchar_t wide[CCHDEVICENAME + 1] = {};
            MultiByteToWideChar(CP_ACP, 0, device.DeviceName, -1, wide, CCHDEVICENAME);
            names.emplace_back(wide);
        }
        device = DISPLAY_DEVICEA{};
        device.cb = sizeof(device);
    }
    return names;
}

TEST(SdrWhiteNitsOnWine, EveryAttachedDisplayIsFoundButHasNoWhiteLevel) {
    const std::vector<std::wstring> names = attachedDisplayNames();
    ASSERT_FALSE(names.empty());
    const DisplayConfigCalls calls = spyCalls();
    for (const std::wstring& name : names) {
        spiedRequests.clear();
        float nits = untouched;
        EXPECT_FALSE(querySdrWhiteNits(calls, name.c_str(), nits));
        EXPECT_EQ(nits, untouched);
        // The name matched an active path: its white level was asked for.
        ASSERT_FALSE(spiedRequests.empty());
        EXPECT_EQ(spiedRequests.back(), static_cast<UINT32>(DISPLAYCONFIG_DEVICE_INFO_GET_SDR_WHITE_LEVEL));
        nits = untouched;
        EXPECT_FALSE(querySdrWhiteNits(name.c_str(), nits));
        EXPECT_EQ(nits, untouched);
    }
}

TEST(SdrWhiteNitsOnWine, UnknownNameMatchesNoPath) {
    spiedRequests.clear();
    float nits = untouched;
    EXPECT_FALSE(querySdrWhiteNits(spyCalls(), L"\\\\.\\DISPLAY99", nits));
    EXPECT_EQ(nits, untouched);
    for (const UINT32 type : spiedRequests)
        EXPECT_EQ(type, static_cast<UINT32>(DISPLAYCONFIG_DEVICE_INFO_GET_SOURCE_NAME));
    EXPECT_FALSE(querySdrWhiteNits(nullptr, nits));
    EXPECT_EQ(nits, untouched);
}

// --- A fake display configuration ------------------------------------------

constexpr LUID fakeAdapter{0x1234, 5};

struct FakePath {
    const wchar_t* name;
    ULONG whiteLevel = 1000;
    LONG nameResult = ERROR_SUCCESS;
    LONG whiteResult = ERROR_SUCCESS;
};

struct Request {
    UINT32 type;
    UINT32 id;
    bool operator==(const Request&) const = default;
};

struct FakeDisplayConfig {
    std::vector<FakePath> paths;
    LONG sizesResult = ERROR_SUCCESS;
    int changesBeforeQuery = 0; // the query first answers "insufficient buffer" this often
    LONG queryResult = ERROR_SUCCESS;
    int sizeCalls = 0;
    int queryCalls = 0;
    std::vector<Request> requests;
};

FakeDisplayConfig fake;

// Disjoint ranges: a source id asked for as a target (or the reverse) finds nothing.
UINT32 sourceId(std::size_t path) { return static_cast<UINT32>(10 + path); }
UINT32 targetId(std::size_t path) { return static_cast<UINT32>(100 + path); }

UINT32 fakeModeCount() { return static_cast<UINT32>(2 * fake.paths.size()); }

LONG fakeSizes(UINT32 flags, UINT32* pathCount, UINT32* modeCount) {
    ++fake.sizeCalls;
    if (flags != QDC_ONLY_ACTIVE_PATHS)
        return ERROR_INVALID_PARAMETER;
    if (fake.sizesResult != ERROR_SUCCESS)
        return fake.sizesResult;
    *pathCount = static_cast<UINT32>(fake.paths.size());
    *modeCount = fakeModeCount();
    return ERROR_SUCCESS;
}

LONG fakeQuery(UINT32 flags, UINT32* pathCount, DISPLAYCONFIG_PATH_INFO* paths, UINT32* modeCount,
               DISPLAYCONFIG_MODE_INFO* modes) {
    ++fake.queryCalls;
    if (flags != QDC_ONLY_ACTIVE_PATHS || !paths || !modes)
        return ERROR_INVALID_PARAMETER;
    if (fake.changesBeforeQuery > 0) {
        --fake.changesBeforeQuery;
        return ERROR_INSUFFICIENT_BUFFER;
    }
    if (fake.queryResult != ERROR_SUCCESS)
        return fake.queryResult;
    if (*pathCount < fake.paths.size() || *modeCount < fakeModeCount())
        return ERROR_INSUFFICIENT_BUFFER;
    for (std::size_t i = 0; i < fake.paths.size(); ++i) {
        paths[i] = DISPLAYCONFIG_PATH_INFO{};
        paths[i].sourceInfo.adapterId = fakeAdapter;
        paths[i].sourceInfo.id = sourceId(i);
        paths[i].targetInfo.adapterId = fakeAdapter;
        paths[i].targetInfo.id = targetId(i);
    }
    *pathCount = static_cast<UINT32>(fake.paths.size());
    *modeCount = fakeModeCount();
    return ERROR_SUCCESS;
}

LONG fakeDeviceInfo(DISPLAYCONFIG_DEVICE_INFO_HEADER* request) {
    fake.requests.push_back({static_cast<UINT32>(request->type), request->id});
    if (request->adapterId.LowPart != fakeAdapter.LowPart || request->adapterId.HighPart != fakeAdapter.HighPart)
        return ERROR_INVALID_PARAMETER;
    for (std::size_t i = 0; i < fake.paths.size(); ++i) {
        const FakePath& path = fake.paths[i];
        if (request->type == DISPLAYCONFIG_DEVICE_INFO_GET_SOURCE_NAME && request->id == sourceId(i)) {
            if (request->size != sizeof(DISPLAYCONFIG_SOURCE_DEVICE_NAME))
                return ERROR_INVALID_PARAMETER;
            if (path.nameResult != ERROR_SUCCESS)
                return path.nameResult;
            // A 32-character name fills the array with no terminator.
            auto* source = reinterpret_cast<DISPLAYCONFIG_SOURCE_DEVICE_NAME*>(request);
            std::wcsncpy(source->viewGdiDeviceName, path.name, CCHDEVICENAME);
            return ERROR_SUCCESS;
        }
        if (request->type == DISPLAYCONFIG_DEVICE_INFO_GET_SDR_WHITE_LEVEL && request->id == targetId(i)) {
            if (request->size != sizeof(DISPLAYCONFIG_SDR_WHITE_LEVEL))
                return ERROR_INVALID_PARAMETER;
            if (path.whiteResult != ERROR_SUCCESS)
                return path.whiteResult;
            reinterpret_cast<DISPLAYCONFIG_SDR_WHITE_LEVEL*>(request)->SDRWhiteLevel = path.whiteLevel;
            return ERROR_SUCCESS;
        }
    }
    return ERROR_INVALID_PARAMETER;
}

constexpr DisplayConfigCalls fakeCalls{fakeSizes, fakeQuery, fakeDeviceInfo};

constexpr UINT32 sourceName = DISPLAYCONFIG_DEVICE_INFO_GET_SOURCE_NAME;
constexpr UINT32 whiteLevel = DISPLAYCONFIG_DEVICE_INFO_GET_SDR_WHITE_LEVEL;

const wchar_t display1[] = L"\\\\.\\DISPLAY1";
const wchar_t display2[] = L"\\\\.\\DISPLAY2";
const wchar_t display10[] = L"\\\\.\\DISPLAY10";
// 32 characters: as long as the system's array.
const wchar_t fullLength[] = L"\\\\.\\DISPLAY_WITH_A_32_CHAR_NAME_";
static_assert(sizeof(fullLength) / sizeof(wchar_t) == CCHDEVICENAME + 1);

struct Scenario {
    const char* name;
    std::vector<FakePath> paths;
    const wchar_t* wanted;
    bool found;
    float nits;
    int attempts = 1;
    int changesBeforeQuery = 0;
    LONG sizesResult = ERROR_SUCCESS;
    LONG queryResult = ERROR_SUCCESS;
    std::vector<Request> requests = {};
};

class SdrWhiteNitsLookup : public ::testing::TestWithParam<Scenario> {};

TEST_P(SdrWhiteNitsLookup, FindsTheFirstPathWithTheNameAndReadsItsTarget) {
    const Scenario& s = GetParam();
    fake = FakeDisplayConfig{};
    fake.paths = s.paths;
    fake.changesBeforeQuery = s.changesBeforeQuery;
    fake.sizesResult = s.sizesResult;
    fake.queryResult = s.queryResult;
    float nits = untouched;
    EXPECT_EQ(querySdrWhiteNits(fakeCalls, s.wanted, nits), s.found);
    EXPECT_EQ(nits, s.found ? s.nits : untouched);
    EXPECT_EQ(fake.sizeCalls, s.attempts);
    if (!s.requests.empty()) {
        EXPECT_EQ(fake.requests, s.requests);
    }
}

const Scenario scenarios[] = {
    {"At80Nits", {{display1, 1000}}, display1, true, 80.0f, 1, 0, 0, 0, {{sourceName, 10}, {whiteLevel, 100}}},
    {"At200Nits", {{display1, 2500}}, display1, true, 200.0f},
    {"At480Nits", {{display1, 6000}}, display1, true, 480.0f},
    {"SecondPath",
     {{display1, 1000}, {display2, 3000}},
     display2,
     true,
     240.0f,
     1,
     0,
     0,
     0,
     {{sourceName, 10}, {sourceName, 11}, {whiteLevel, 101}}},
    {"LevelReadsZero", {{display1, 0}}, display1, false, 0},
    {"LevelUnreadable", {{display1, 1000, ERROR_SUCCESS, ERROR_NOT_SUPPORTED}}, display1, false, 0},
    // Only the first path with the name counts, even when a later one could answer.
    {"FirstMatchDecides",
     {{display1, 1000, ERROR_SUCCESS, ERROR_NOT_SUPPORTED}, {display1, 2500}},
     display1,
     false,
     0,
     1,
     0,
     0,
     0,
     {{sourceName, 10}, {whiteLevel, 100}}},
    {"UnnamedPathIsSkipped", {{display1, 1000, ERROR_NOT_SUPPORTED}, {display1, 2500}}, display1, true, 200.0f},
    {"NoMatch", {{display1}, {display2}}, L"\\\\.\\DISPLAY3", false, 0},
    {"LongerNameIsNoMatch", {{display10}}, display1, false, 0},
    {"ShorterNameIsNoMatch", {{display1}}, display10, false, 0},
    {"FullLengthName", {{display1}, {fullLength, 2500}}, fullLength, true, 200.0f},
    {"NoActivePath", {}, display1, false, 0},
    {"ConfigurationChangedOnce", {{display1, 2500}}, display1, true, 200.0f, 2, 1},
    {"ConfigurationChangedTwice", {{display1, 2500}}, display1, true, 200.0f, 3, 2},
    {"ConfigurationKeepsChanging", {{display1, 2500}}, display1, false, 0, 3, 3},
    {"SizesUnavailable", {{display1}}, display1, false, 0, 1, 0, ERROR_INVALID_PARAMETER},
    {"QueryRefused", {{display1}}, display1, false, 0, 1, 0, ERROR_SUCCESS, ERROR_ACCESS_DENIED},
};

INSTANTIATE_TEST_SUITE_P(Scenarios, SdrWhiteNitsLookup, ::testing::ValuesIn(scenarios),
                         [](const ::testing::TestParamInfo<Scenario>& param) { return std::string(param.param.name); });

TEST(SdrWhiteNitsLookup, NoNameAsksNothing) {
    fake = FakeDisplayConfig{};
    fake.paths = {{display1}};
    float nits = untouched;
    EXPECT_FALSE(querySdrWhiteNits(fakeCalls, nullptr, nits));
    EXPECT_EQ(nits, untouched);
    EXPECT_TRUE(fake.requests.empty());
}

} // namespace
