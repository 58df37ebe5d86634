// Desktop duplication for HDR outputs: after the GDI copy, every attached
// output in an HDR colour space gets its rectangle of the frozen desktop
// overwritten by a converted duplication frame. The logic is portable and
// reaches DXGI and Direct3D 11 only through the narrow seam below (the system's
// in duplication_win.cpp, a fake in the tests). GUI thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "capture/capture.h"

// HRESULT values as the seam reports them (checked against the SDK's in duplication_win.cpp).
using HResult = std::int32_t;
constexpr HResult resultOk = 0;
constexpr HResult resultFail = static_cast<HResult>(0x80004005);        // E_FAIL
constexpr HResult dxgiNotFound = static_cast<HResult>(0x887A0002);      // DXGI_ERROR_NOT_FOUND
constexpr HResult dxgiDeviceRemoved = static_cast<HResult>(0x887A0005); // DXGI_ERROR_DEVICE_REMOVED
constexpr HResult dxgiDeviceReset = static_cast<HResult>(0x887A0007);   // DXGI_ERROR_DEVICE_RESET
constexpr HResult dxgiAccessLost = static_cast<HResult>(0x887A0026);    // DXGI_ERROR_ACCESS_LOST
constexpr HResult dxgiWaitTimeout = static_cast<HResult>(0x887A0027);   // DXGI_ERROR_WAIT_TIMEOUT
constexpr bool failed(HResult result) { return result < 0; }

constexpr std::uint32_t formatHalfFloatRgba = 10; // DXGI_FORMAT_R16G16B16A16_FLOAT
constexpr std::uint32_t formatBgra8 = 87;         // DXGI_FORMAT_B8G8R8A8_UNORM
constexpr std::uint32_t colorSpaceHdr10 = 12;     // DXGI_COLOR_SPACE_RGB_FULL_G2084_NONE_P2020
constexpr std::uint32_t colorSpaceScRgb = 1;      // DXGI_COLOR_SPACE_RGB_FULL_G10_NONE_P709
// An output's rotation is one of hdrRotate90/180/270 (capture/capture.h), as DXGI_MODE_ROTATION has them.

constexpr std::uint32_t firstFrameTimeoutMs = 250;
constexpr int acquireAttempts = 4;

struct AdapterLuid {
    std::uint32_t lowPart = 0;
    std::int32_t highPart = 0;
    bool operator==(const AdapterLuid&) const = default;
};

// What the capture uses of an output's DXGI_OUTPUT_DESC1.
struct OutputDescription {
    wchar_t deviceName[32] = {}; // GDI device name, "\\.\DISPLAY1"
    std::int32_t left = 0;       // desktop coordinates; right and bottom exclusive
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;
    bool attachedToDesktop = false;
    std::uint32_t rotation = 0;
    std::uint32_t colorSpace = 0;
};

bool isHdrColorSpace(std::uint32_t colorSpace);

struct FrameTexture {
    std::uint32_t format = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
};

// The mapped staging texture: `width` x `height` texels of four half floats
// (red, green, blue, alpha), rows `rowPitch` bytes apart.
struct MappedTexture {
    const std::uint8_t* data = nullptr;
    std::size_t rowPitch = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
};

// One output's device, immediate context, duplication and staging texture.
// Destruction releases staging, duplication, context and device, in that order.
class DuplicationSession {
public:
    virtual ~DuplicationSession() = default;
    virtual HResult deviceRemovedReason() = 0;
    // AcquireNextFrame into a zeroed frame description.
    virtual HResult acquireNextFrame(std::uint32_t timeoutMs, std::int64_t& lastPresentTime) = 0;
    // Only after a successful acquire: the frame resource as a texture, and its description.
    virtual HResult frameTexture(FrameTexture& texture) = 0;
    // Copies the frame's texture into the staging texture, made from the frame's description on first use.
    virtual HResult copyFrameToStaging() = 0;
    // Releases the frame's texture, the frame (ReleaseFrame) and its resource.
    virtual void releaseFrame() = 0;
    virtual HResult mapStaging(MappedTexture& mapped) = 0;
    virtual void unmapStaging() = 0;
};

// The adapters and outputs of one capture pass. Each enumeration call makes
// the adapter or output it found the current one, releasing the previous.
class DuplicationSystem {
public:
    virtual ~DuplicationSystem() = default;
    virtual HResult beginPass() = 0; // the DXGI factory
    // Releases what the pass enumerated; after a failed pass, everything.
    virtual void endPass(bool passSucceeded) = 0;
    // EnumAdapters1 and GetDesc1; dxgiNotFound past the last adapter.
    virtual HResult enumAdapter(std::uint32_t index, AdapterLuid& luid) = 0;
    // EnumOutputs of the current adapter; dxgiNotFound past the last output.
    virtual HResult enumOutput(std::uint32_t index) = 0;
    // The current output's GetDesc1; `described` is false (and the result a
    // success) when the output has no IDXGIOutput6.
    virtual HResult describeOutput(bool& described, OutputDescription& description) = 0;
    // A device on the current adapter and a duplication of the current output
    // offering half-float RGBA first, then BGRA8.
    virtual HResult openDuplication(std::unique_ptr<DuplicationSession>& session) = 0;
    // The SDR white level in nits of the display with this GDI device name.
    virtual bool sdrWhiteNits(const wchar_t* deviceName, float& whiteNits) = 0;
};

struct DuplicationEntry {
    AdapterLuid adapterLuid;
    OutputDescription outputDesc;
    bool seen = false;
    // Declared before the table: the table is freed first, then the session.
    std::unique_ptr<DuplicationSession> session;
    std::unique_ptr<HdrToneTable> toneTable;
    bool hasFrame = false; // the staging texture holds a frame
};

using DuplicationCache = std::vector<std::unique_ptr<DuplicationEntry>>;

// Converts the mapped frame of `output` (its rotation undone) into the part
// of its rectangle that lies inside each target, through convertHdrPixel.
void writeHdrOutput(const HdrToneTable& table, const MappedTexture& frame, const OutputDescription& output,
                    HdrTargets targets);

// Up to four AcquireNextFrame calls (250 ms each for an entry without a frame,
// else 0); a new half-float image of the output's size goes into staging.
HResult acquireFrame(DuplicationEntry& entry);
// White level, tone table, device check, frame, map, convert, unmap.
HResult captureOutput(DuplicationSystem& system, DuplicationEntry& entry, HdrTargets targets);
// Every HDR output of every adapter into the targets. True when each was
// captured or there was none; entries not met in a successful pass go.
bool captureHdrOutputs(DuplicationSystem& system, DuplicationCache& cache, HdrTargets targets);
// captureHdrOutputs, and on failure the cache emptied so that the next
// capture starts afresh.
bool runHdrPass(DuplicationSystem& system, DuplicationCache& cache, HdrTargets targets);

// The process's duplication cache: made empty, lives to the end of the process.
extern DuplicationCache duplicationCache;

#ifdef _WIN32
// The system's DXGI and Direct3D 11 (duplication_win.cpp). dxgi.dll and
// d3d11.dll are loaded at the first capture that needs them; one that cannot
// be loaded fails that pass, and the next capture tries again.
DuplicationSystem& systemDuplication();
#endif
