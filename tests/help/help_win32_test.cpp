// Under Wine, for real: the HTML Help control that Wine ships, found through a scratch
// registration of its class and by name, and a help viewer automation server of the test's own,
// registered in this process for the viewer's class.
#ifdef _WIN32

#include "help_stand_ins.h"
#include "settings_sandbox.h"

#include "frame/state.h"
#include "tavlo/tavlo.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <oaidl.h>
#include <objbase.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <set>

namespace tavlo::test {
namespace {

const TavloChar* tc(const char16_t* text) {
    return reinterpret_cast<const TavloChar*>(text);
}

// The build's own help engines and loader, every load logged.
struct RealHelp {
    RealHelp() : modules(log) {
        modules.add(u"tavlo9Res.dll").strings = lib.modules.strings;
        frame::LibraryState& state = lib.scope.get();
        state.resourceModule = modules.handleOf(u"tavlo9Res.dll");
        state.services.modules = &modules;
        state.services.help = platform::defaultServices().help;
    }
    SettingsSandbox lib;
    Log log;
    FakeModules modules;
};

// COM isn't initialised on this thread, so no viewer can be made and the control is used. The
// help file doesn't exist, so the control opens no window: the test checks only that the control
// and its Unicode entry point (ordinal 15) were found, registered, registered but missing, or not.
TEST(RealHtmlHelpControl, LoadsTheControlAndItsEntryPoint) {
    wchar_t system[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    const std::u16string control =
        reinterpret_cast<char16_t*>(system) + std::u16string(u"\\hhctrl.ocx");
    const std::pair<std::u16string, Log> rows[] = {
        {control, {u"load " + control}},
        {u"C:\\nowhere\\hh.ocx", {u"load C:\\nowhere\\hh.ocx: none", u"load hhctrl.ocx"}},
        {u"", {u"load hhctrl.ocx"}},
    };
    for (const auto& [registered, loads] : rows) {
        RealHelp h;
        if (!registered.empty())
            h.lib.scratch.setString(
                Root::ClassesRoot, u"CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}\\InprocServer32",
                nullptr, registered);
        _DoHtmlHelp(tc(u"C:\\nowhere\\x.chm"), tc(u"T"), 0);
        EXPECT_EQ(h.log, loads);
        const frame::LibraryState& state = h.lib.scope.get();
        EXPECT_FALSE(state.htmlHelpFailed);
        EXPECT_NE(state.htmlHelpEntry, nullptr);
        EXPECT_EQ(state.htmlHelpEntry, reinterpret_cast<void*>(GetProcAddress(
                                           GetModuleHandleW(L"hhctrl.ocx"), "HtmlHelpW")));
    }
}

const CLSID kViewerClass = {
    0xB39E0A42, 0xB1C0, 0x11D3, {0xA9, 0x67, 0x00, 0x60, 0xB0, 0xEF, 0x5B, 0x11}};

struct ServerLog {
    Log calls;
    bool fail = false;
    int made = 0;
    std::set<int> alive;
};

// Records each call as "call <object> id <dispid> flags <flags> args <n> named <n> <target>
// <integer>" (" result" appended when a result was asked for), and "gone <object>" when the
// last reference is released. It is its own class factory, which COM never releases for good.
class Viewer final : public IDispatch, public IClassFactory {
public:
    Viewer(ServerLog& log, int id) : log_(log), id_(id) { log.alive.insert(id); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        *out = IsEqualIID(iid, IID_IClassFactory)
                   ? static_cast<void*>(static_cast<IClassFactory*>(this))
               : IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch)
                   ? static_cast<void*>(static_cast<IDispatch*>(this))
                   : nullptr;
        return *out ? (AddRef(), S_OK) : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        if (--refs_ == 0) {
            log_.calls.push_back(u"gone " + decimal(id_));
            log_.alive.erase(id_);
            delete this;
            return 0;
        }
        return refs_;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override { return *count = 0, S_OK; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO*, UINT*) override {
        std::u16string line = u"call " + decimal(id_) + u" id " + decimal(member) + u" flags " +
                              decimal(flags) + u" args " + decimal(params->cArgs) + u" named " +
                              decimal(params->cNamedArgs);
        if (params->cArgs == 2 && params->rgvarg[1].vt == VT_BSTR && params->rgvarg[0].vt == VT_I4)
            line += u" " + std::u16string(reinterpret_cast<char16_t*>(params->rgvarg[1].bstrVal)) +
                    u" " + decimal(static_cast<std::uint32_t>(params->rgvarg[0].lVal));
        log_.calls.push_back(result ? line + u" result" : line);
        return log_.fail ? DISP_E_EXCEPTION : S_OK;
    }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        if (outer)
            return CLASS_E_NOAGGREGATION;
        auto* object = new Viewer(log_, ++log_.made);
        const HRESULT result = object->QueryInterface(iid, out);
        object->Release();
        return result;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

private:
    ServerLog& log_;
    int id_;
    ULONG refs_ = 1;
};

// The object whose call failed is forgotten, not released; the next call makes a new one.
TEST(HelpViewerServer, ReceivesTargetsAndIsMadeAgainAfterAFailure) {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    ServerLog server;
    auto* factory = new Viewer(server, 0);
    DWORD cookie = 0;
    ASSERT_EQ(CoRegisterClassObject(kViewerClass, static_cast<IClassFactory*>(factory),
                                    CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie),
              S_OK);
    {
        RealHelp h;
        const std::u16string call = u" id 1 flags 1 args 2 named 0 c:\\prog\\help\\main.chm";
        const std::tuple<const char16_t*, std::int32_t, bool, Log> steps[] = {
            {u"Intro", 0, false, {u"call 1" + call + u"::/Intro.htm 0"}},
            {u"Intro", 1, false, {u"call 1" + call + u" 0"}},
            {nullptr, 0, true, {u"call 1" + call + u" 0"}},
            {nullptr, 0, false, {u"call 2" + call + u" 0"}},
            {nullptr, 2, false, {u"gone 2"}},
            {nullptr, 2, false, {}},
        };
        for (const auto& [topic, command, fail, calls] : steps) {
            server.calls.clear();
            server.fail = fail;
            EXPECT_EQ(_DoHtmlHelp(tc(u"C:\\Prog\\Help\\Main.chm"), tc(topic), command), 1);
            EXPECT_EQ(server.calls, calls) << command;
        }
        EXPECT_EQ(h.log, Log{}) << "the control is never needed";
    }
    EXPECT_EQ(server.made, 2);
    EXPECT_EQ(server.alive, (std::set<int>{0, 1}));
    CoRevokeClassObject(cookie);
    CoUninitialize();
}

} // namespace
} // namespace tavlo::test

#endif
