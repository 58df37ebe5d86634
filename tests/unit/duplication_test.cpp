// The desktop duplication pass against a fake of the seam (no GPU, and Wine
// has no HDR output): which outputs are captured, where their pixels land,
// rotations, the cache and its renewal, frames that never come, and failures.
#include <algorithm>
#include <cstring>
#include <cwchar>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "capture/duplication.h"

namespace {

constexpr float whiteNits = 200;

// Half-float codes of an output's upright picture: distinct per pixel, with
// bright codes above the tone shoulder, so that a misplaced texel shows.
std::uint16_t codeAt(std::int64_t c, std::int64_t r, int channel) {
    return static_cast<std::uint16_t>(0x3000 + ((c * 37 + r * 101 + channel * 1009) % 0x1800));
}

struct Step {
    HResult result = resultOk;
    std::int64_t lastPresentTime = 1;
    std::uint32_t format = formatHalfFloatRgba;
    bool wrongSize = false;
};

struct FakeOutput {
    AdapterLuid luid{7, 0};
    OutputDescription desc;
    bool hasOutput6 = true;
    std::deque<Step> steps; // what AcquireNextFrame does next; empty: a timeout
    HResult removedReason = resultOk;
    int opened = 0;
    std::vector<std::uint32_t> timeouts;

    // The texture the output delivers: its upright picture turned by its rotation.
    std::vector<std::uint8_t> texture(std::uint32_t& width, std::uint32_t& height, std::size_t& pitch) const {
        const std::int64_t outW = desc.right - desc.left, outH = desc.bottom - desc.top;
        const bool sideways = desc.rotation == hdrRotate90 || desc.rotation == hdrRotate270;
        width = static_cast<std::uint32_t>(sideways ? outH : outW);
        height = static_cast<std::uint32_t>(sideways ? outW : outH);
        pitch = std::size_t{width} * 8 + 64; // drivers pad rows
        std::vector<std::uint8_t> bytes(pitch * height, 0xCD);
        for (std::int64_t r = 0; r < outH; ++r)
            for (std::int64_t c = 0; c < outW; ++c) {
                // Turned by transposing and flipping, independently of the capture's table.
                std::int64_t x = c, y = r;
                if (desc.rotation == hdrRotate90) // transpose, then flip vertically
                    x = r, y = outW - 1 - c;
                else if (desc.rotation == hdrRotate180) // flip both ways
                    x = outW - 1 - c, y = outH - 1 - r;
                else if (desc.rotation == hdrRotate270) // transpose, then flip horizontally
                    x = outH - 1 - r, y = c;
                const std::uint16_t texel[4] = {codeAt(c, r, 0), codeAt(c, r, 1), codeAt(c, r, 2), 0x3C00};
                std::memcpy(&bytes[static_cast<std::size_t>(y) * pitch + static_cast<std::size_t>(x) * 8], texel, 8);
            }
        return bytes;
    }
};

struct Counters {
    int sessionsAlive = 0;
    int acquired = 0;
    int released = 0;
    int maps = 0;
    int unmaps = 0;
    int stagingMade = 0;
    int passes = 0;
    std::vector<bool> passEnds;
};

class FakeSession final : public DuplicationSession {
public:
    FakeSession(FakeOutput& output, Counters& counters) : output_(output), counters_(counters) {
        ++counters_.sessionsAlive;
    }
    ~FakeSession() override { --counters_.sessionsAlive; }

    HResult deviceRemovedReason() override { return output_.removedReason; }

    HResult acquireNextFrame(std::uint32_t timeoutMs, std::int64_t& lastPresentTime) override {
        output_.timeouts.push_back(timeoutMs);
        if (output_.steps.empty())
            return dxgiWaitTimeout;
        step_ = output_.steps.front();
        output_.steps.pop_front();
        if (failed(step_.result))
            return step_.result;
        ++counters_.acquired;
        held_ = true;
        lastPresentTime = step_.lastPresentTime;
        return resultOk;
    }

    HResult frameTexture(FrameTexture& texture) override {
        EXPECT_TRUE(held_);
        std::uint32_t width = 0, height = 0;
        std::size_t pitch = 0;
        output_.texture(width, height, pitch);
        texture = {step_.format, width + (step_.wrongSize ? 16 : 0), height};
        return resultOk;
    }

    HResult copyFrameToStaging() override {
        EXPECT_TRUE(held_);
        if (staging_.empty())
            ++counters_.stagingMade;
        staging_ = output_.texture(width_, height_, pitch_);
        return resultOk;
    }

    void releaseFrame() override {
        EXPECT_TRUE(held_) << "ReleaseFrame without a frame";
        held_ = false;
        ++counters_.released;
    }

    HResult mapStaging(MappedTexture& mapped) override {
        EXPECT_FALSE(staging_.empty());
        ++counters_.maps;
        mapped = {staging_.data(), pitch_, width_, height_};
        return resultOk;
    }

    void unmapStaging() override { ++counters_.unmaps; }

private:
    FakeOutput& output_;
    Counters& counters_;
    Step step_;
    bool held_ = false;
    std::vector<std::uint8_t> staging_;
    std::uint32_t width_ = 0, height_ = 0;
    std::size_t pitch_ = 0;
};

class FakeSystem final : public DuplicationSystem {
public:
    // Deques: sessions keep references to their outputs while tests add more.
    std::deque<std::deque<FakeOutput>> adapters{1};
    Counters counters;
    HResult factoryResult = resultOk;
    HResult adapterError = resultOk; // returned for adapter index 1 when set
    std::map<std::wstring, float> whiteLevels;

    HResult beginPass() override {
        ++counters.passes;
        return factoryResult;
    }
    void endPass(bool passSucceeded) override { counters.passEnds.push_back(passSucceeded); }
    HResult enumAdapter(std::uint32_t index, AdapterLuid& luid) override {
        if (index == 1 && failed(adapterError))
            return adapterError;
        if (index >= adapters.size())
            return dxgiNotFound;
        adapter_ = index;
        luid = {100 + index, 0};
        return resultOk;
    }
    HResult enumOutput(std::uint32_t index) override {
        if (index >= adapters[adapter_].size())
            return dxgiNotFound;
        output_ = index;
        return resultOk;
    }
    HResult describeOutput(bool& described, OutputDescription& description) override {
        const FakeOutput& output = adapters[adapter_][output_];
        described = output.hasOutput6;
        if (described)
            description = output.desc;
        return resultOk;
    }
    HResult openDuplication(std::unique_ptr<DuplicationSession>& session) override {
        FakeOutput& output = adapters[adapter_][output_];
        ++output.opened;
        session = std::make_unique<FakeSession>(output, counters);
        return resultOk;
    }
    bool sdrWhiteNits(const wchar_t* deviceName, float& nits) override {
        const auto found = whiteLevels.find(deviceName);
        if (found == whiteLevels.end())
            return false;
        nits = found->second;
        return true;
    }

    FakeOutput& addOutput(const wchar_t* name, std::int32_t left, std::int32_t top, std::int32_t width,
                          std::int32_t height, std::uint32_t colorSpace, std::size_t adapter = 0) {
        if (adapters.size() <= adapter)
            adapters.resize(adapter + 1);
        FakeOutput output;
        std::wcsncpy(output.desc.deviceName, name, std::size(output.desc.deviceName) - 1);
        output.desc.left = left;
        output.desc.top = top;
        output.desc.right = left + width;
        output.desc.bottom = top + height;
        output.desc.attachedToDesktop = true;
        output.desc.rotation = 1; // DXGI_MODE_ROTATION_IDENTITY
        output.desc.colorSpace = colorSpace;
        whiteLevels[name] = whiteNits;
        adapters[adapter].push_back(output);
        return adapters[adapter].back();
    }

private:
    std::uint32_t adapter_ = 0;
    std::uint32_t output_ = 0;
};

// A frozen desktop whose GDI pixels are a known pattern.
struct Desktop {
    std::int32_t originX, originY, width, height;
    std::vector<std::uint8_t> pixels;

    Desktop(std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h)
        : originX(x), originY(y), width(w), height(h), pixels(std::size_t(w) * std::size_t(h) * 4) {
        for (std::size_t i = 0; i < pixels.size(); ++i)
            pixels[i] = gdiByte(i);
    }
    static std::uint8_t gdiByte(std::size_t i) { return static_cast<std::uint8_t>((i * 7 + 3) & 0xFF); }
    HdrTarget whole{pixels.data(), originX, originY, width, height}; // points into this record: no copies
    Desktop(const Desktop&) = delete;
    HdrTargets target() const { return {&whole, 1}; }
    // Byte offset of desktop point (x, y): bottom-up rows.
    std::size_t offset(std::int32_t x, std::int32_t y) const {
        return (std::size_t(height - 1 - (y - originY)) * std::size_t(width) + std::size_t(x - originX)) * 4;
    }
};

const HdrToneTable& table() {
    static const std::unique_ptr<HdrToneTable> built = createHdrToneTable(whiteNits);
    return *built;
}

bool inside(const OutputDescription& d, std::int32_t x, std::int32_t y) {
    return x >= d.left && x < d.right && y >= d.top && y < d.bottom;
}

// Every pixel: the converted upright picture inside the HDR outputs, the GDI byte elsewhere.
void expectPicture(const Desktop& desktop, const std::vector<OutputDescription>& hdr) {
    for (std::int32_t y = desktop.originY; y < desktop.originY + desktop.height; ++y)
        for (std::int32_t x = desktop.originX; x < desktop.originX + desktop.width; ++x) {
            const std::size_t at = desktop.offset(x, y);
            std::uint8_t want[4];
            const auto output = std::find_if(hdr.begin(), hdr.end(), [&](const auto& d) { return inside(d, x, y); });
            if (output == hdr.end()) {
                for (std::size_t i = 0; i < 4; ++i)
                    want[i] = Desktop::gdiByte(at + i);
            } else {
                const std::int64_t c = x - output->left, r = y - output->top;
                convertHdrPixel(table(), codeAt(c, r, 0), codeAt(c, r, 1), codeAt(c, r, 2), want);
            }
            ASSERT_EQ(0, std::memcmp(&desktop.pixels[at], want, 4)) << "desktop point " << x << ", " << y;
        }
}

Step frame() { return {}; }

TEST(HdrPass, AllSdrOutputsLeaveTheGdiPictureAndMakeNoDuplication) {
    FakeSystem system;
    system.addOutput(L"\\\\.\\DISPLAY1", 0, 0, 32, 24, 0);                                   // G22 P709: SDR
    system.addOutput(L"\\\\.\\DISPLAY2", 32, 0, 16, 24, colorSpaceHdr10).hasOutput6 = false; // an older system
    system.addOutput(L"\\\\.\\DISPLAY3", 48, 0, 16, 24, colorSpaceScRgb).desc.attachedToDesktop = false;
    Desktop desktop(0, 0, 64, 24);
    DuplicationCache cache;
    EXPECT_TRUE(runHdrPass(system, cache, desktop.target()));
    EXPECT_TRUE(cache.empty());
    EXPECT_EQ(system.counters.sessionsAlive, 0);
    expectPicture(desktop, {});
    EXPECT_EQ(system.counters.passEnds, std::vector<bool>{true});
}

TEST(HdrPass, AnHdrOutputOverwritesOnlyItsOwnRectangle) {
    FakeSystem system;
    system.addOutput(L"\\\\.\\DISPLAY1", -40, 0, 40, 30, 0);
    FakeOutput& hdr = system.addOutput(L"\\\\.\\DISPLAY2", 0, -8, 48, 32, colorSpaceHdr10, 1);
    hdr.steps = {frame()};
    Desktop desktop(-40, -8, 88, 38);
    DuplicationCache cache;
    ASSERT_TRUE(runHdrPass(system, cache, desktop.target()));
    ASSERT_EQ(cache.size(), 1u);
    EXPECT_EQ(cache[0]->adapterLuid, (AdapterLuid{101, 0}));
    expectPicture(desktop, {system.adapters[1][0].desc});
    EXPECT_EQ(system.counters.acquired, system.counters.released);
    EXPECT_EQ(system.counters.maps, system.counters.unmaps);
}

TEST(HdrPass, AnOutputPartlyOutsideTheVirtualScreenIsClipped) {
    FakeSystem system;
    // The output reaches 20 pixels right of and 10 above what the capture holds.
    system.addOutput(L"\\\\.\\DISPLAY1", 44, -10, 36, 40, colorSpaceScRgb).steps = {frame()};
    Desktop desktop(0, 0, 60, 24);
    DuplicationCache cache;
    ASSERT_TRUE(runHdrPass(system, cache, desktop.target()));
    expectPicture(desktop, {system.adapters[0][0].desc});
}

class HdrRotation : public ::testing::TestWithParam<std::uint32_t> {};

TEST_P(HdrRotation, ComesOutUpright) {
    FakeSystem system;
    FakeOutput& output = system.addOutput(L"\\\\.\\DISPLAY1", 0, 0, 40, 24, colorSpaceHdr10);
    output.desc.rotation = GetParam();
    output.steps = {frame()};
    Desktop desktop(0, 0, 40, 24);
    DuplicationCache cache;
    ASSERT_TRUE(runHdrPass(system, cache, desktop.target()));
    expectPicture(desktop, {output.desc});
}

INSTANTIATE_TEST_SUITE_P(Rotations, HdrRotation, ::testing::Values(1u, hdrRotate90, hdrRotate180, hdrRotate270),
                         [](const auto& test) { return "rotation" + std::to_string(test.param); });

TEST(HdrCache, ASecondCaptureReusesTheEntryWithoutWaiting) {
    FakeSystem system;
    FakeOutput& output = system.addOutput(L"\\\\.\\DISPLAY1", 0, 0, 32, 16, colorSpaceHdr10);
    output.steps = {frame()};
    DuplicationCache cache;
    Desktop first(0, 0, 32, 16);
    ASSERT_TRUE(runHdrPass(system, cache, first.target()));
    const DuplicationEntry* entry = cache.at(0).get();
    // Nothing new on the output: the frame in staging stands.
    Desktop second(0, 0, 32, 16);
    ASSERT_TRUE(runHdrPass(system, cache, second.target()));
    EXPECT_EQ(cache.at(0).get(), entry);
    EXPECT_EQ(output.opened, 1);
    EXPECT_EQ(output.timeouts, (std::vector<std::uint32_t>{250, 0}));
    EXPECT_EQ(system.counters.stagingMade, 1);
    EXPECT_EQ(second.pixels, first.pixels);
    // A new frame on the third capture is taken, still without waiting.
    output.steps = {frame()};
    Desktop third(0, 0, 32, 16);
    ASSERT_TRUE(runHdrPass(system, cache, third.target()));
    EXPECT_EQ(output.timeouts.back(), 0u);
    EXPECT_EQ(system.counters.stagingMade, 1);
    expectPicture(third, {output.desc});
}

struct RenewalCase {
    const char* name;
    Step lost;
    HResult removedReason;
};

class HdrRenewal : public ::testing::TestWithParam<RenewalCase> {};

TEST_P(HdrRenewal, RenewsTheEntryOnceAndCapturesThroughTheNewDuplication) {
    FakeSystem system;
    FakeOutput& output = system.addOutput(L"\\\\.\\DISPLAY1", 0, 0, 32, 16, colorSpaceHdr10);
    output.steps = {frame()};
    DuplicationCache cache;
    Desktop first(0, 0, 32, 16);
    ASSERT_TRUE(runHdrPass(system, cache, first.target()));

    output.removedReason = GetParam().removedReason;
    output.steps = {GetParam().lost, frame()};
    Desktop second(0, 0, 32, 16);
    if (failed(GetParam().removedReason)) {
        // The removed device reports on every session: the renewed one fails too.
        EXPECT_FALSE(runHdrPass(system, cache, second.target()));
        EXPECT_EQ(output.opened, 2);
        EXPECT_TRUE(cache.empty());
        EXPECT_EQ(system.counters.sessionsAlive, 0);
        return;
    }
    ASSERT_TRUE(runHdrPass(system, cache, second.target()));
    EXPECT_EQ(output.opened, 2);
    ASSERT_EQ(cache.size(), 1u);
    EXPECT_EQ(system.counters.sessionsAlive, 1);
    // The new entry has no frame yet: it waits up to 250 ms for one.
    EXPECT_EQ(output.timeouts.back(), 250u);
    expectPicture(second, {output.desc});
}

INSTANTIATE_TEST_SUITE_P(Causes, HdrRenewal,
                         ::testing::Values(RenewalCase{"AccessLost", Step{dxgiAccessLost}, resultOk},
                                           RenewalCase{"SizeMismatch", Step{resultOk, 1, formatHalfFloatRgba, true},
                                                       resultOk},
                                           RenewalCase{"DeviceRemoved", Step{}, dxgiDeviceRemoved}),
                         [](const auto& test) { return std::string(test.param.name); });

TEST(HdrRenewal, ASecondLossInTheSamePassFails) {
    FakeSystem system;
    FakeOutput& output = system.addOutput(L"\\\\.\\DISPLAY1", 0, 0, 32, 16, colorSpaceHdr10);
    output.steps = {frame()};
    DuplicationCache cache;
    Desktop first(0, 0, 32, 16);
    ASSERT_TRUE(runHdrPass(system, cache, first.target()));
    output.steps = {Step{dxgiAccessLost}, Step{dxgiAccessLost}, frame()};
    Desktop second(0, 0, 32, 16);
    EXPECT_FALSE(runHdrPass(system, cache, second.target()));
    EXPECT_EQ(output.opened, 2);
    EXPECT_TRUE(cache.empty());
}

TEST(HdrFrames, AFrameThatIsNotHalfFloatFailsAndEmptiesTheCache) {
    FakeSystem system;
    system.addOutput(L"\\\\.\\DISPLAY1", 0, 0, 32, 16, colorSpaceHdr10).steps = {Step{resultOk, 1, formatBgra8, false}};
    DuplicationCache cache;
    Desktop desktop(0, 0, 32, 16);
    EXPECT_FALSE(runHdrPass(system, cache, desktop.target()));
    EXPECT_TRUE(cache.empty());
    EXPECT_EQ(system.counters.sessionsAlive, 0);
    EXPECT_EQ(system.counters.acquired, system.counters.released);
    EXPECT_EQ(system.counters.passEnds, std::vector<bool>{false});
}

TEST(HdrFrames, FourAttemptsWithoutAnImageFailForANewEntry) {
    FakeSystem system;
    FakeOutput& output = system.addOutput(L"\\\\.\\DISPLAY1", 0, 0, 32, 16, colorSpaceHdr10);
    // Two time-outs and two pointer-only frames; an image would come fifth.
    output.steps = {Step{dxgiWaitTimeout}, Step{resultOk, 0}, Step{dxgiWaitTimeout}, Step{resultOk, 0}, frame()};
    DuplicationCache cache;
    Desktop desktop(0, 0, 32, 16);
    EXPECT_FALSE(runHdrPass(system, cache, desktop.target()));
    EXPECT_EQ(output.timeouts, (std::vector<std::uint32_t>{250, 250, 250, 250}));
    EXPECT_EQ(system.counters.acquired, 2);
    EXPECT_EQ(system.counters.released, 2); // the pointer-only frames went back
    expectPicture(desktop, {});             // the GDI picture is untouched
}

TEST(HdrFrames, AnImageOnTheFourthAttemptIsTaken) {
    FakeSystem system;
    FakeOutput& output = system.addOutput(L"\\\\.\\DISPLAY1", 0, 0, 32, 16, colorSpaceHdr10);
    output.steps = {Step{dxgiWaitTimeout}, Step{resultOk, 0}, Step{dxgiWaitTimeout}, frame()};
    DuplicationCache cache;
    Desktop desktop(0, 0, 32, 16);
    ASSERT_TRUE(runHdrPass(system, cache, desktop.target()));
    expectPicture(desktop, {output.desc});
}

TEST(HdrCache, OutputsThatVanishedOrLeftHdrAreDroppedAfterASuccessfulPass) {
    FakeSystem system;
    system.addOutput(L"\\\\.\\DISPLAY1", 0, 0, 16, 16, colorSpaceHdr10).steps = {frame()};
    system.addOutput(L"\\\\.\\DISPLAY2", 16, 0, 16, 16, colorSpaceHdr10).steps = {frame()};
    system.addOutput(L"\\\\.\\DISPLAY3", 32, 0, 16, 16, colorSpaceScRgb).steps = {frame()};
    DuplicationCache cache;
    Desktop first(0, 0, 48, 16);
    ASSERT_TRUE(runHdrPass(system, cache, first.target()));
    ASSERT_EQ(cache.size(), 3u);

    system.adapters[0][1].desc.colorSpace = 0; // DISPLAY2 switched to SDR
    system.adapters[0].pop_back();             // DISPLAY3 unplugged
    Desktop second(0, 0, 48, 16);
    ASSERT_TRUE(runHdrPass(system, cache, second.target()));
    ASSERT_EQ(cache.size(), 1u);
    EXPECT_EQ(std::wstring(cache[0]->outputDesc.deviceName), L"\\\\.\\DISPLAY1");
    EXPECT_EQ(system.counters.sessionsAlive, 1);
    expectPicture(second, {system.adapters[0][0].desc});
}

TEST(HdrCache, AnOutputThatMovedGetsANewEntryInPlaceOfItsOldOne) {
    FakeSystem system;
    FakeOutput& output = system.addOutput(L"\\\\.\\DISPLAY1", 0, 0, 16, 16, colorSpaceHdr10);
    output.steps = {frame()};
    DuplicationCache cache;
    Desktop first(0, 0, 32, 16);
    ASSERT_TRUE(runHdrPass(system, cache, first.target()));
    output.desc.left = 16;
    output.desc.right = 32;
    output.steps = {frame()};
    Desktop second(0, 0, 32, 16);
    ASSERT_TRUE(runHdrPass(system, cache, second.target()));
    ASSERT_EQ(cache.size(), 1u);
    EXPECT_EQ(cache[0]->outputDesc.left, 16);
    EXPECT_EQ(output.opened, 2);
    EXPECT_EQ(system.counters.sessionsAlive, 1);
    expectPicture(second, {output.desc});
}

TEST(HdrFailures, AnyFailureEmptiesTheCacheAndTheNextPassStartsAfresh) {
    FakeSystem system;
    FakeOutput& good = system.addOutput(L"\\\\.\\DISPLAY1", 0, 0, 16, 16, colorSpaceHdr10);
    good.steps = {frame()};
    DuplicationCache cache;
    Desktop first(0, 0, 32, 16);
    ASSERT_TRUE(runHdrPass(system, cache, first.target()));

    // A second HDR display without a readable white level fails the pass.
    system.addOutput(L"\\\\.\\DISPLAY2", 16, 0, 16, 16, colorSpaceHdr10).steps = {frame()};
    system.whiteLevels.erase(L"\\\\.\\DISPLAY2");
    Desktop second(0, 0, 32, 16);
    EXPECT_FALSE(runHdrPass(system, cache, second.target()));
    EXPECT_TRUE(cache.empty());
    EXPECT_EQ(system.counters.sessionsAlive, 0);

    system.adapters[0].pop_back();
    system.adapters[0][0].steps = {frame()};
    Desktop third(0, 0, 32, 16);
    ASSERT_TRUE(runHdrPass(system, cache, third.target()));
    EXPECT_EQ(system.adapters[0][0].opened, 2);
    EXPECT_EQ(system.adapters[0][0].timeouts.back(), 250u);
}

TEST(HdrFailures, NoFactoryOrAnEnumerationErrorFailsThePass) {
    FakeSystem noFactory;
    noFactory.factoryResult = resultFail;
    DuplicationCache cache;
    Desktop desktop(0, 0, 8, 8);
    EXPECT_FALSE(runHdrPass(noFactory, cache, desktop.target()));
    EXPECT_EQ(noFactory.counters.passEnds, std::vector<bool>{false});

    FakeSystem brokenAdapter;
    brokenAdapter.addOutput(L"\\\\.\\DISPLAY1", 0, 0, 8, 8, colorSpaceHdr10).steps = {frame()};
    brokenAdapter.adapterError = resultFail;
    EXPECT_FALSE(runHdrPass(brokenAdapter, cache, desktop.target()));
    EXPECT_TRUE(cache.empty());
    EXPECT_EQ(brokenAdapter.counters.sessionsAlive, 0);
    EXPECT_EQ(brokenAdapter.counters.passEnds, std::vector<bool>{false});
}

} // namespace
