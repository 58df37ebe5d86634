// The memory baseline: one window and a message loop, started by the driver
// as it starts orvane.exe. WM_CLOSE ends it. With ORVANE_BASELINE_DXGI=1 in
// its environment it also does what every capture needs the system for
// before any pixel moves: a DXGI factory kept alive, its adapters and
// outputs described (under Wine this starts the whole OpenGL stack).
#include <windows.h>

#include <dxgi1_6.h>

#include <cstdlib>
#include <cstring>

namespace {

LRESULT CALLBACK windowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

using CreateFactoryCall = HRESULT(WINAPI*)(REFIID, void**);

IDXGIFactory1* describeOutputs() {
    const HMODULE dxgi = LoadLibraryExA("dxgi.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    const auto create = dxgi ? reinterpret_cast<CreateFactoryCall>(
                                   reinterpret_cast<void (*)()>(GetProcAddress(dxgi, "CreateDXGIFactory1")))
                             : nullptr;
    IDXGIFactory1* factory = nullptr;
    if (!create || FAILED(create(__uuidof(IDXGIFactory1), reinterpret_cast<void**>(&factory))))
        return nullptr;
    IDXGIAdapter1* adapter = nullptr;
    for (UINT a = 0; factory->EnumAdapters1(a, &adapter) == S_OK; ++a) {
        IDXGIOutput* output = nullptr;
        for (UINT o = 0; adapter->EnumOutputs(o, &output) == S_OK; ++o) {
            IDXGIOutput6* output6 = nullptr;
            if (SUCCEEDED(output->QueryInterface(__uuidof(IDXGIOutput6), reinterpret_cast<void**>(&output6)))) {
                DXGI_OUTPUT_DESC1 desc{};
                output6->GetDesc1(&desc);
                output6->Release();
            }
            output->Release();
        }
        adapter->Release();
    }
    return factory;
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = "OrvaneMinimalWindow";
    if (!RegisterClassA(&windowClass))
        return 1;
    const char* dxgi = std::getenv("ORVANE_BASELINE_DXGI");
    IDXGIFactory1* factory = dxgi && std::strcmp(dxgi, "1") == 0 ? describeOutputs() : nullptr;
    if (!CreateWindowExA(0, windowClass.lpszClassName, "Minimal", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                         instance, nullptr))
        return 1;
    MSG msg{};
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    if (factory)
        factory->Release();
    return 0;
}
