#include "platform/win32/services_win32.h"
#include "platform/win32/windows_api.h"

#include <oaidl.h>
#include <objbase.h>
#include <oleauto.h>

namespace tavlo::platform::win32 {

namespace {
// The help viewer automation server's class.
constexpr CLSID kHelpViewerClass = {
    0xB39E0A42, 0xB1C0, 0x11D3, {0xA9, 0x67, 0x00, 0x60, 0xB0, 0xEF, 0x5B, 0x11}};

// COM belongs to the host. The library imports neither COM nor the automation library, so that
// its load doesn't load and free a handful of modules in every process that has no COM; it
// looks their functions up when the viewer is shown.
template <typename Fn> Fn functionOf(HMODULE module, const char* name) {
    return module ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)))
                  : nullptr;
}
} // namespace

bool Win32HelpEngines::winHelp(WindowHandle window, const char16_t* file, std::uint32_t command,
                               std::uintptr_t data) {
    // WinHelpW lives in user32, which mingw's import library doesn't always list; look it up.
    using WinHelpFn = BOOL(WINAPI*)(HWND, LPCWSTR, UINT, ULONG_PTR);
    static const auto fn = reinterpret_cast<WinHelpFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "WinHelpW")));
    return fn && fn(static_cast<HWND>(window), wide(file), command, data) != FALSE;
}

WindowHandle Win32HelpEngines::desktopWindow() {
    return GetDesktopWindow();
}

ViewerHandle Win32HelpEngines::createViewer() {
    IDispatch* dispatch = nullptr;
    // Fails without COM initialised on this thread, which sends the caller to the HTML Help
    // control: the library never initialises COM for its host. A host that has initialised it
    // has COM's module loaded.
    using CreateFn = HRESULT(WINAPI*)(REFCLSID, LPUNKNOWN, DWORD, REFIID, LPVOID*);
    const auto create = functionOf<CreateFn>(GetModuleHandleW(L"ole32.dll"), "CoCreateInstance");
    if (!create || FAILED(create(kHelpViewerClass, nullptr, CLSCTX_ALL, IID_IDispatch,
                                 reinterpret_cast<void**>(&dispatch))))
        return nullptr;
    return dispatch;
}

bool Win32HelpEngines::invokeViewer(ViewerHandle viewer, const char16_t* target) {
    auto* dispatch = static_cast<IDispatch*>(viewer);
    // The string argument must come from the automation library's allocator.
    const HMODULE automation = LoadLibraryW(L"oleaut32.dll");
    using AllocFn = BSTR(WINAPI*)(const OLECHAR*);
    using FreeFn = void(WINAPI*)(BSTR);
    const auto allocate = functionOf<AllocFn>(automation, "SysAllocString");
    const auto release = functionOf<FreeFn>(automation, "SysFreeString");
    bool invoked = false;
    if (allocate && release) {
        // Arguments go in reverse order: the integer 0 last, the target first. Zeroed, each
        // starts as VT_EMPTY, as VariantInit leaves it.
        VARIANTARG args[2] = {};
        args[0].vt = VT_I4;
        args[0].lVal = 0;
        args[1].vt = VT_BSTR;
        args[1].bstrVal = allocate(wide(target));
        DISPPARAMS params{args, nullptr, 2, 0};
        invoked = args[1].bstrVal &&
                  SUCCEEDED(dispatch->Invoke(1, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD,
                                             &params, nullptr, nullptr, nullptr));
        release(args[1].bstrVal);
    }
    if (automation)
        FreeLibrary(automation);
    return invoked;
}

void Win32HelpEngines::releaseViewer(ViewerHandle viewer) {
    static_cast<IDispatch*>(viewer)->Release();
}

} // namespace tavlo::platform::win32
