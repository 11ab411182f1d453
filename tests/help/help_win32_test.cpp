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

#include <map>
#include <optional>

namespace tavlo::test {
namespace {

const TavloChar* tc(const char16_t* text) {
    return reinterpret_cast<const TavloChar*>(text);
}

const char16_t* const kChm = u"C:\\Prog\\Help\\Main.chm";
const std::u16string kTarget = u"c:\\prog\\help\\main.chm";

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

std::u16string systemControl() {
    wchar_t dir[MAX_PATH] = {};
    GetSystemDirectoryW(dir, MAX_PATH);
    return reinterpret_cast<const char16_t*>(dir) + std::u16string(u"\\hhctrl.ocx");
}

struct ControlCase {
    const char* what;
    std::optional<std::u16string> registered; // "system": the control in the system directory
    Log loads;                                // "system" again stands for that path
};

void PrintTo(const ControlCase& c, std::ostream* os) {
    *os << c.what;
}

const ControlCase kControls[] = {
    {"registered", u"system", {u"load system"}},
    {"registered but missing",
     u"C:\\nowhere\\hh.ocx",
     {u"load C:\\nowhere\\hh.ocx: none", u"load hhctrl.ocx"}},
    {"not registered", std::nullopt, {u"load hhctrl.ocx"}},
};

class RealHtmlHelpControl : public ::testing::TestWithParam<ControlCase> {};

// COM isn't initialised on this thread, so the viewer can't be made and the control is used.
// The help file doesn't exist: the control opens no window, and the test checks only that
// the control and its Unicode entry point (ordinal 15) were found.
TEST_P(RealHtmlHelpControl, LoadsTheControlAndItsEntryPoint) {
    const ControlCase& c = GetParam();
    const auto placed = [](std::u16string text) {
        return text.find(u"system") != std::u16string::npos
                   ? text.replace(text.find(u"system"), 6, systemControl())
                   : text;
    };
    RealHelp h;
    if (c.registered)
        h.lib.scratch.setString(Root::ClassesRoot,
                                u"CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}\\InprocServer32",
                                nullptr, placed(*c.registered));
    _DoHtmlHelp(tc(u"C:\\nowhere\\x.chm"), tc(u"T"), 0);
    Log expected;
    for (const auto& line : c.loads)
        expected.push_back(placed(line));
    EXPECT_EQ(h.log, expected);
    const frame::LibraryState& state = h.lib.scope.get();
    EXPECT_FALSE(state.htmlHelpFailed);
    EXPECT_EQ(state.htmlHelpEntry, reinterpret_cast<void*>(GetProcAddress(
                                       GetModuleHandleW(L"hhctrl.ocx"), "HtmlHelpW")));
    EXPECT_NE(state.htmlHelpEntry, nullptr);
}

INSTANTIATE_TEST_SUITE_P(Wine, RealHtmlHelpControl, ::testing::ValuesIn(kControls));

// --- a help viewer automation server of the test's own ------------------------------------------

const CLSID kViewerClass = {
    0xB39E0A42, 0xB1C0, 0x11D3, {0xA9, 0x67, 0x00, 0x60, 0xB0, 0xEF, 0x5B, 0x11}};

struct ServerLog {
    Log calls;
    bool fail = false;
    int made = 0;
    std::map<int, IDispatch*> alive;
};

// Records each call as "call <object> id <dispid> flags <flags> args <n> named <n>", then the
// target and the integer when the arguments are a BSTR and a 4-byte integer, and " result"
// when a result was asked for; "gone <object>" when the last reference is released.
class ViewerObject final : public IDispatch {
public:
    explicit ViewerObject(ServerLog& log) : log_(log), id_(++log.made) { log_.alive[id_] = this; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch)) {
            *out = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --refs_;
        if (left == 0) {
            log_.calls.push_back(u"gone " + decimal(id_));
            log_.alive.erase(id_);
            delete this;
        }
        return left;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
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
            line += u" " +
                    std::u16string(reinterpret_cast<const char16_t*>(params->rgvarg[1].bstrVal)) +
                    u" " + decimal(static_cast<std::uint32_t>(params->rgvarg[0].lVal));
        if (result)
            line += u" result";
        log_.calls.push_back(line);
        return log_.fail ? DISP_E_EXCEPTION : S_OK;
    }

private:
    ServerLog& log_;
    int id_;
    ULONG refs_ = 1;
};

class ViewerFactory final : public IClassFactory {
public:
    explicit ViewerFactory(ServerLog& log) : log_(log) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
            *out = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    // Lives on the test's stack, longer than every reference COM takes.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        if (outer)
            return CLASS_E_NOAGGREGATION;
        auto* object = new ViewerObject(log_);
        const HRESULT result = object->QueryInterface(iid, out);
        object->Release();
        return result;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

private:
    ServerLog& log_;
};

TEST(HelpViewerServer, ReceivesTargetsAndIsMadeAgainAfterAFailure) {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    ServerLog server;
    ViewerFactory factory(server);
    DWORD cookie = 0;
    ASSERT_EQ(CoRegisterClassObject(kViewerClass, &factory, CLSCTX_INPROC_SERVER,
                                    REGCLS_MULTIPLEUSE, &cookie),
              S_OK);
    {
        RealHelp h;
        struct Step {
            const char16_t* topic;
            std::int32_t command;
            bool fail;
            Log calls;
        };
        const std::u16string call1 = u"call 1 id 1 flags 1 args 2 named 0 ";
        const std::u16string call2 = u"call 2 id 1 flags 1 args 2 named 0 ";
        const Step steps[] = {
            {u"Intro", 0, false, {call1 + kTarget + u"::/Intro.htm 0"}},
            {u"Intro", 1, false, {call1 + kTarget + u" 0"}},
            {nullptr, 0, true, {call1 + kTarget + u" 0"}},
            {nullptr, 0, false, {call2 + kTarget + u" 0"}},
            {nullptr, 2, false, {u"gone 2"}},
            {nullptr, 2, false, {}},
        };
        int index = 0;
        for (const Step& step : steps) {
            server.calls.clear();
            server.fail = step.fail;
            EXPECT_EQ(_DoHtmlHelp(tc(kChm), tc(step.topic), step.command), 1) << "step " << index;
            EXPECT_EQ(server.calls, step.calls) << "step " << index;
            ++index;
        }
        EXPECT_EQ(h.log, Log{}) << "the control is never needed";
    }
    // The object whose call failed was forgotten, not released.
    EXPECT_EQ(server.made, 2);
    ASSERT_EQ(server.alive.size(), 1u);
    EXPECT_EQ(server.alive.begin()->first, 1);
    server.alive.begin()->second->Release();
    CoRevokeClassObject(cookie);
    CoUninitialize();
}

} // namespace
} // namespace tavlo::test

#endif
