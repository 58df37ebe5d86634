// The system's side of the desktop duplication seam: DXGI and Direct3D 11,
// each call as thin as the capture needs it. Both DLLs are loaded on first
// use. The factory is kept from pass to pass while IsCurrent() says the
// adapters are unchanged (making one costs far more than the whole pass
// otherwise); a failed pass drops it. prepareDuplication makes it, on the
// GUI thread too, once start-up is done: under Wine a factory made on another
// thread leaks at every later pass, or hangs it while that thread lives.
#include <d3d11.h>
#include <dxgi1_6.h>

#include <cstring>
#include <utility>

#include "capture/capture.h"
#include "capture/capture_front.h"
#include "capture/duplication.h"
#include "state/handle_guards.h"

static_assert(resultFail == E_FAIL);
static_assert(dxgiNotFound == DXGI_ERROR_NOT_FOUND);
static_assert(dxgiDeviceRemoved == DXGI_ERROR_DEVICE_REMOVED);
static_assert(dxgiDeviceReset == DXGI_ERROR_DEVICE_RESET);
static_assert(dxgiAccessLost == DXGI_ERROR_ACCESS_LOST);
static_assert(dxgiWaitTimeout == DXGI_ERROR_WAIT_TIMEOUT);
static_assert(formatHalfFloatRgba == DXGI_FORMAT_R16G16B16A16_FLOAT && formatBgra8 == DXGI_FORMAT_B8G8R8A8_UNORM);
static_assert(colorSpaceHdr10 == DXGI_COLOR_SPACE_RGB_FULL_G2084_NONE_P2020 &&
              colorSpaceScRgb == DXGI_COLOR_SPACE_RGB_FULL_G10_NONE_P709);
static_assert(hdrRotate90 == DXGI_MODE_ROTATION_ROTATE90 && hdrRotate180 == DXGI_MODE_ROTATION_ROTATE180 &&
              hdrRotate270 == DXGI_MODE_ROTATION_ROTATE270);

namespace {

using CreateFactoryCall = HRESULT(WINAPI*)(REFIID, void**);

CreateFactoryCall createFactory = nullptr;
PFN_D3D11_CREATE_DEVICE createDevice = nullptr;

// System32 only: a dxgi.dll beside the program is never picked up.
template <typename Procedure> Procedure systemProcedure(const char* library, const char* name) {
    HMODULE module = GetModuleHandleA(library);
    if (!module)
        module = LoadLibraryExA(library, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    const FARPROC found = module ? GetProcAddress(module, name) : nullptr;
    // Through the generic function pointer type, which converts to any other.
    return reinterpret_cast<Procedure>(reinterpret_cast<void (*)()>(found));
}

bool loadDxgi() {
    if (!createFactory)
        createFactory = systemProcedure<CreateFactoryCall>("dxgi.dll", "CreateDXGIFactory1");
    return createFactory != nullptr;
}

bool loadD3d11() {
    if (!createDevice)
        createDevice = systemProcedure<PFN_D3D11_CREATE_DEVICE>("d3d11.dll", "D3D11CreateDevice");
    return createDevice != nullptr;
}

// Declared in release order reversed: staging, duplication, context, device go in that order.
class SystemSession final : public DuplicationSession {
public:
    ComRef<ID3D11Device> device;
    ComRef<ID3D11DeviceContext> context;
    ComRef<IDXGIOutputDuplication> duplication;
    ComRef<ID3D11Texture2D> staging;

    ~SystemSession() override { releaseFrame(); }

    HResult deviceRemovedReason() override { return device->GetDeviceRemovedReason(); }

    HResult acquireNextFrame(std::uint32_t timeoutMs, std::int64_t& lastPresentTime) override {
        DXGI_OUTDUPL_FRAME_INFO info{};
        const HRESULT result = duplication->AcquireNextFrame(timeoutMs, &info, resource_.put());
        if (FAILED(result))
            return result;
        acquired_ = true;
        lastPresentTime = info.LastPresentTime.QuadPart;
        return result;
    }

    HResult frameTexture(FrameTexture& texture) override {
        const HRESULT result = resource_->QueryInterface(__uuidof(ID3D11Texture2D), frame_.putVoid());
        if (FAILED(result))
            return result;
        frame_->GetDesc(&frameDesc_);
        texture = {static_cast<std::uint32_t>(frameDesc_.Format), frameDesc_.Width, frameDesc_.Height};
        return S_OK;
    }

    HResult copyFrameToStaging() override {
        if (!staging) {
            D3D11_TEXTURE2D_DESC desc = frameDesc_;
            desc.Usage = D3D11_USAGE_STAGING;
            desc.BindFlags = 0;
            desc.CPUAccessFlags = D3D11_CPU_ACCESS_READ;
            desc.MiscFlags = 0;
            const HRESULT result = device->CreateTexture2D(&desc, nullptr, staging.put());
            if (FAILED(result))
                return result;
            stagingDesc_ = desc;
        }
        context->CopyResource(staging.get(), frame_.get());
        return S_OK;
    }

    void releaseFrame() override {
        frame_.reset();
        if (acquired_)
            duplication->ReleaseFrame();
        acquired_ = false;
        resource_.reset();
    }

    HResult mapStaging(MappedTexture& mapped) override {
        if (!staging)
            return E_FAIL;
        D3D11_MAPPED_SUBRESOURCE subresource{};
        const HRESULT result = context->Map(staging.get(), 0, D3D11_MAP_READ, 0, &subresource);
        if (FAILED(result))
            return result;
        mapped = {static_cast<const std::uint8_t*>(subresource.pData), subresource.RowPitch, stagingDesc_.Width,
                  stagingDesc_.Height};
        return S_OK;
    }

    void unmapStaging() override { context->Unmap(staging.get(), 0); }

private:
    ComRef<IDXGIResource> resource_;
    ComRef<ID3D11Texture2D> frame_;
    D3D11_TEXTURE2D_DESC frameDesc_{};
    D3D11_TEXTURE2D_DESC stagingDesc_{};
    bool acquired_ = false;
};

class SystemDuplication final : public DuplicationSystem {
public:
    HResult beginPass() override {
        if (!loadDxgi())
            return E_FAIL;
        if (factory_ && !factory_->IsCurrent())
            factory_.reset();
        if (!factory_)
            return createFactory(__uuidof(IDXGIFactory1), factory_.putVoid());
        return S_OK;
    }

    void endPass(bool passSucceeded) override {
        releaseOutput();
        adapter_.reset();
        if (!passSucceeded)
            factory_.reset();
    }

    HResult enumAdapter(std::uint32_t index, AdapterLuid& luid) override {
        releaseOutput();
        HRESULT result = factory_->EnumAdapters1(index, adapter_.put());
        if (FAILED(result))
            return result;
        DXGI_ADAPTER_DESC1 desc{};
        result = adapter_->GetDesc1(&desc);
        if (FAILED(result))
            return result == DXGI_ERROR_NOT_FOUND ? E_FAIL : result; // not the end of the list
        luid = {desc.AdapterLuid.LowPart, desc.AdapterLuid.HighPart};
        return S_OK;
    }

    HResult enumOutput(std::uint32_t index) override {
        releaseOutput();
        return adapter_->EnumOutputs(index, output_.put());
    }

    HResult describeOutput(bool& described, OutputDescription& description) override {
        described = false;
        if (FAILED(output_->QueryInterface(__uuidof(IDXGIOutput6), output6_.putVoid())))
            return S_OK; // an older system: the output keeps its GDI picture
        DXGI_OUTPUT_DESC1 desc{};
        const HRESULT result = output6_->GetDesc1(&desc);
        if (FAILED(result))
            return result == DXGI_ERROR_NOT_FOUND ? E_FAIL : result;
        described = true;
        description = OutputDescription{};
        static_assert(sizeof description.deviceName == sizeof desc.DeviceName);
        std::memcpy(description.deviceName, desc.DeviceName, sizeof desc.DeviceName);
        description.deviceName[std::size(description.deviceName) - 1] = L'\0';
        description.left = desc.DesktopCoordinates.left;
        description.top = desc.DesktopCoordinates.top;
        description.right = desc.DesktopCoordinates.right;
        description.bottom = desc.DesktopCoordinates.bottom;
        description.attachedToDesktop = desc.AttachedToDesktop != FALSE;
        description.rotation = static_cast<std::uint32_t>(desc.Rotation);
        description.colorSpace = static_cast<std::uint32_t>(desc.ColorSpace);
        return S_OK;
    }

    HResult openDuplication(std::unique_ptr<DuplicationSession>& session) override {
        if (!loadD3d11())
            return E_FAIL;
        auto opened = std::make_unique<SystemSession>();
        // An explicit adapter needs the unknown driver type.
        HRESULT result = createDevice(adapter_.get(), D3D_DRIVER_TYPE_UNKNOWN, nullptr, 0, nullptr, 0,
                                      D3D11_SDK_VERSION, opened->device.put(), nullptr, opened->context.put());
        if (FAILED(result))
            return result;
        const DXGI_FORMAT formats[] = {DXGI_FORMAT_R16G16B16A16_FLOAT, DXGI_FORMAT_B8G8R8A8_UNORM};
        result = output6_->DuplicateOutput1(opened->device.get(), 0, static_cast<UINT>(std::size(formats)), formats,
                                            opened->duplication.put());
        session = std::move(opened);
        return result;
    }

    bool sdrWhiteNits(const wchar_t* deviceName, float& whiteNits) override {
        return querySdrWhiteNits(deviceName, whiteNits);
    }

private:
    void releaseOutput() {
        output6_.reset();
        output_.reset();
    }

    ComRef<IDXGIFactory1> factory_;
    ComRef<IDXGIAdapter1> adapter_;
    ComRef<IDXGIOutput> output_;
    ComRef<IDXGIOutput6> output6_;
};

} // namespace

DuplicationSystem& systemDuplication() {
    static SystemDuplication system;
    return system;
}

void prepareDuplication() {
    // What the first pass would do before any pixel moves: the factory, and
    // every output described once (under Wine that starts the whole OpenGL
    // stack). A failure drops the factory, and the first capture tries again.
    DuplicationSystem& system = systemDuplication();
    bool described = !failed(system.beginPass());
    AdapterLuid luid;
    for (std::uint32_t a = 0; described && !failed(system.enumAdapter(a, luid)); ++a)
        for (std::uint32_t o = 0; described && !failed(system.enumOutput(o)); ++o) {
            bool hasDescription = false;
            OutputDescription description;
            described = !failed(system.describeOutput(hasDescription, description));
        }
    system.endPass(described);
}
