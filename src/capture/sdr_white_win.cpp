// The SDR white level of one display, from the display configuration: find the
// active path whose source has the wanted GDI device name, then ask its target.
// The system reports the level in thousandths of 80 nits.
#include <windows.h>

#include <cwchar>
#include <iterator>
#include <memory>
#include <new>

#include "capture/capture.h"

namespace {

// The configuration may change between sizing and querying; three tries in all.
constexpr int maxQueryAttempts = 3;

struct ActivePaths {
    std::unique_ptr<DISPLAYCONFIG_PATH_INFO[]> paths;
    std::unique_ptr<DISPLAYCONFIG_MODE_INFO[]> modes;
    UINT32 pathCount = 0;
};

bool queryActivePaths(const DisplayConfigCalls& calls, ActivePaths& active) {
    for (int attempt = 0; attempt < maxQueryAttempts; ++attempt) {
        UINT32 pathCount = 0;
        UINT32 modeCount = 0;
        if (calls.getBufferSizes(QDC_ONLY_ACTIVE_PATHS, &pathCount, &modeCount) != ERROR_SUCCESS)
            return false;
        active.paths.reset(new (std::nothrow) DISPLAYCONFIG_PATH_INFO[pathCount]());
        active.modes.reset(new (std::nothrow) DISPLAYCONFIG_MODE_INFO[modeCount]());
        if (!active.paths || !active.modes)
            return false;
        const LONG result =
            calls.query(QDC_ONLY_ACTIVE_PATHS, &pathCount, active.paths.get(), &modeCount, active.modes.get());
        if (result == ERROR_SUCCESS) {
            active.pathCount = pathCount;
            return true;
        }
        if (result != ERROR_INSUFFICIENT_BUFFER)
            return false;
    }
    return false;
}

bool sourceHasName(const DisplayConfigCalls& calls, const DISPLAYCONFIG_PATH_INFO& path, const wchar_t* name) {
    DISPLAYCONFIG_SOURCE_DEVICE_NAME source{};
    source.header.type = DISPLAYCONFIG_DEVICE_INFO_GET_SOURCE_NAME;
    source.header.size = sizeof(source);
    source.header.adapterId = path.sourceInfo.adapterId;
    source.header.id = path.sourceInfo.id;
    if (calls.getDeviceInfo(&source.header) != ERROR_SUCCESS)
        return false;
    // Bounded: the system's array need not be terminated when it is full.
    return std::wcsncmp(source.viewGdiDeviceName, name, std::size(source.viewGdiDeviceName)) == 0;
}

LONG systemQuery(UINT32 flags, UINT32* pathCount, DISPLAYCONFIG_PATH_INFO* paths, UINT32* modeCount,
                 DISPLAYCONFIG_MODE_INFO* modes) {
    return QueryDisplayConfig(flags, pathCount, paths, modeCount, modes, nullptr);
}

} // namespace

const DisplayConfigCalls& systemDisplayConfigCalls() {
    static const DisplayConfigCalls calls{GetDisplayConfigBufferSizes, systemQuery, DisplayConfigGetDeviceInfo};
    return calls;
}

bool querySdrWhiteNits(const wchar_t* gdiDeviceName, float& whiteNits) {
    return querySdrWhiteNits(systemDisplayConfigCalls(), gdiDeviceName, whiteNits);
}

bool querySdrWhiteNits(const DisplayConfigCalls& calls, const wchar_t* gdiDeviceName, float& whiteNits) {
    if (!gdiDeviceName)
        return false;
    ActivePaths active;
    if (!queryActivePaths(calls, active))
        return false;
    for (UINT32 i = 0; i < active.pathCount; ++i) {
        const DISPLAYCONFIG_PATH_INFO& path = active.paths[i];
        if (!sourceHasName(calls, path, gdiDeviceName))
            continue;
        // Only the first path with the name counts, whatever its answer.
        DISPLAYCONFIG_SDR_WHITE_LEVEL white{};
        white.header.type = DISPLAYCONFIG_DEVICE_INFO_GET_SDR_WHITE_LEVEL;
        white.header.size = sizeof(white);
        white.header.adapterId = path.targetInfo.adapterId;
        white.header.id = path.targetInfo.id;
        if (calls.getDeviceInfo(&white.header) != ERROR_SUCCESS || white.SDRWhiteLevel == 0)
            return false;
        whiteNits = (static_cast<float>(white.SDRWhiteLevel) * 80.0f) / 1000.0f;
        return true;
    }
    return false;
}
