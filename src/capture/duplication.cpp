// The desktop duplication pass over every HDR output; see capture/duplication.h.
// Entries of the cache are reused from capture to capture while their output
// keeps adapter, name, rectangle, rotation and colour space.
#include "capture/duplication.h"

#include <algorithm>
#include <cstring>
#include <cwchar>

namespace {

std::int64_t outputWidth(const OutputDescription& output) { return std::int64_t{output.right} - output.left; }
std::int64_t outputHeight(const OutputDescription& output) { return std::int64_t{output.bottom} - output.top; }

bool sidewaysRotation(std::uint32_t rotation) { return rotation == hdrRotate90 || rotation == hdrRotate270; }

// The texture's size for an output: width and height trade places at 90 and 270 degrees.
bool textureFits(std::uint32_t width, std::uint32_t height, const OutputDescription& output) {
    std::int64_t w = outputWidth(output);
    std::int64_t h = outputHeight(output);
    if (sidewaysRotation(output.rotation))
        std::swap(w, h);
    return w == width && h == height;
}

bool sameDeviceName(const OutputDescription& a, const OutputDescription& b) {
    return std::wcsncmp(a.deviceName, b.deviceName, std::size(a.deviceName)) == 0;
}

bool sameOutput(const DuplicationEntry& entry, const AdapterLuid& luid, const OutputDescription& desc) {
    const OutputDescription& old = entry.outputDesc;
    return entry.adapterLuid == luid && sameDeviceName(old, desc) && old.left == desc.left && old.top == desc.top &&
           old.right == desc.right && old.bottom == desc.bottom && old.rotation == desc.rotation &&
           old.colorSpace == desc.colorSpace;
}

std::unique_ptr<DuplicationEntry> newEntry(const AdapterLuid& luid, const OutputDescription& desc) {
    auto entry = std::make_unique<DuplicationEntry>();
    entry->adapterLuid = luid;
    entry->outputDesc = desc;
    entry->seen = true;
    return entry;
}

HResult openDuplication(DuplicationSystem& system, DuplicationEntry& entry) {
    entry.session.reset();
    return system.openDuplication(entry.session);
}

bool needsRenewal(HResult result) {
    return result == dxgiAccessLost || result == dxgiDeviceRemoved || result == dxgiDeviceReset;
}

// Releases the enumerated interfaces on every way out of the pass.
class PassScope {
public:
    explicit PassScope(DuplicationSystem& system) : system_(system) {}
    ~PassScope() { system_.endPass(succeeded_); }
    PassScope(const PassScope&) = delete;
    PassScope& operator=(const PassScope&) = delete;
    void succeed() { succeeded_ = true; }

private:
    DuplicationSystem& system_;
    bool succeeded_ = false;
};

bool captureOneOutput(DuplicationSystem& system, DuplicationCache& cache, const AdapterLuid& luid,
                      const OutputDescription& desc, HdrTargets targets) {
    auto found =
        std::find_if(cache.begin(), cache.end(), [&](const auto& entry) { return sameOutput(*entry, luid, desc); });
    if (found == cache.end()) {
        // The output moved, turned, changed colour space or adapter: its old entries go.
        std::erase_if(cache, [&](const auto& entry) { return sameDeviceName(entry->outputDesc, desc); });
        cache.push_back(newEntry(luid, desc));
        found = cache.end() - 1;
        if (failed(openDuplication(system, **found)))
            return false;
    }
    (*found)->seen = true;
    HResult result = captureOutput(system, **found, targets);
    if (needsRenewal(result)) {
        // One renewal per output and pass: a fresh entry in the old one's place.
        *found = newEntry(luid, desc);
        if (failed(openDuplication(system, **found)))
            return false;
        result = captureOutput(system, **found, targets);
    }
    return !failed(result);
}

} // namespace

DuplicationCache duplicationCache;

bool isHdrColorSpace(std::uint32_t colorSpace) {
    return colorSpace == colorSpaceHdr10 || colorSpace == colorSpaceScRgb;
}

void writeHdrOutput(const HdrToneTable& table, const MappedTexture& frame, const OutputDescription& output,
                    HdrTargets targets) {
    HdrFrame walk;
    walk.texels = frame.data;
    walk.rowPitch = frame.rowPitch;
    walk.left = output.left;
    walk.top = output.top;
    walk.right = output.right;
    walk.bottom = output.bottom;
    walk.rotation = output.rotation;
    for (const HdrTarget& target : targets)
        convertHdrFrame(table, walk, target);
}

HResult acquireFrame(DuplicationEntry& entry) {
    DuplicationSession& session = *entry.session;
    for (int attempt = 0; attempt < acquireAttempts; ++attempt) {
        std::int64_t lastPresentTime = 0;
        const HResult acquired = session.acquireNextFrame(entry.hasFrame ? 0 : firstFrameTimeoutMs, lastPresentTime);
        if (acquired == dxgiWaitTimeout) {
            if (entry.hasFrame)
                return resultOk; // the output has not changed since the frame in staging
            continue;
        }
        if (failed(acquired))
            return acquired;
        if (lastPresentTime == 0) { // only the pointer moved
            session.releaseFrame();
            continue;
        }
        FrameTexture texture;
        HResult result = session.frameTexture(texture);
        if (!failed(result)) {
            if (texture.format != formatHalfFloatRgba)
                result = resultFail;
            else if (!textureFits(texture.width, texture.height, entry.outputDesc))
                result = dxgiAccessLost; // the mode changed under the duplication: renew it
            else if (!failed(result = session.copyFrameToStaging()))
                entry.hasFrame = true;
        }
        session.releaseFrame();
        return result;
    }
    return entry.hasFrame ? resultOk : dxgiWaitTimeout;
}

HResult captureOutput(DuplicationSystem& system, DuplicationEntry& entry, HdrTargets targets) {
    if (!entry.session)
        return resultFail;
    float whiteNits = 0;
    if (!system.sdrWhiteNits(entry.outputDesc.deviceName, whiteNits))
        return resultFail;
    if (!entry.toneTable) {
        entry.toneTable = createHdrToneTable(whiteNits);
        if (!entry.toneTable)
            return resultFail;
    } else if (!prepareHdrToneTable(*entry.toneTable, whiteNits)) {
        return resultFail;
    }
    HResult result = entry.session->deviceRemovedReason();
    if (failed(result))
        return result;
    if (failed(result = acquireFrame(entry)))
        return result;
    MappedTexture mapped;
    if (failed(result = entry.session->mapStaging(mapped)))
        return result;
    // The staging texture was made from a frame of the output's size; a
    // mapping that says otherwise is not read.
    const bool readable = mapped.data && textureFits(mapped.width, mapped.height, entry.outputDesc) &&
                          mapped.rowPitch >= std::size_t{mapped.width} * 8;
    if (readable)
        writeHdrOutput(*entry.toneTable, mapped, entry.outputDesc, targets);
    entry.session->unmapStaging();
    return readable ? resultOk : resultFail;
}

bool captureHdrOutputs(DuplicationSystem& system, DuplicationCache& cache, HdrTargets targets) {
    for (auto& entry : cache)
        entry->seen = false;
    if (failed(system.beginPass())) {
        system.endPass(false);
        return false;
    }
    PassScope pass(system);
    for (std::uint32_t adapter = 0;; ++adapter) {
        AdapterLuid luid;
        const HResult adapterFound = system.enumAdapter(adapter, luid);
        if (adapterFound == dxgiNotFound)
            break;
        if (failed(adapterFound))
            return false;
        for (std::uint32_t output = 0;; ++output) {
            const HResult outputFound = system.enumOutput(output);
            if (outputFound == dxgiNotFound)
                break;
            if (failed(outputFound))
                return false;
            bool described = false;
            OutputDescription desc;
            if (failed(system.describeOutput(described, desc)))
                return false;
            if (!described || !desc.attachedToDesktop || !isHdrColorSpace(desc.colorSpace))
                continue; // SDR and older outputs keep their GDI pixels
            if (!captureOneOutput(system, cache, luid, desc, targets))
                return false;
        }
    }
    // Outputs that vanished or left HDR.
    std::erase_if(cache, [](const auto& entry) { return !entry->seen; });
    pass.succeed();
    return true;
}

bool runHdrPass(DuplicationSystem& system, DuplicationCache& cache, HdrTargets targets) {
    if (captureHdrOutputs(system, cache, targets))
        return true;
    cache.clear();
    return false;
}
