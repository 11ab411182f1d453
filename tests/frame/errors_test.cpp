// Raising and reporting errors, and the application object's start-up and shut-down.
#include "stand_ins.h"

#include "frame/app.h"
#include "frame/errors.h"

#include <gtest/gtest.h>

namespace tavlo::test {
namespace {

using frame::ReportError;

const std::u16string kCaption = u"Plot Settings";

struct ReportCase {
    const char* what;
    std::u16string text;      // the message's template in the resource module
    const char16_t* argument; // the exception's argument
    std::u16string expected;  // what the handler is shown
};

const ReportCase kReportCases[] = {
    {"insert replaced", u"Can't read %1.", u"HKEY_LOCAL_MACHINE\\Software\\X",
     u"Can't read HKEY_LOCAL_MACHINE\\Software\\X."},
    {"no insert: shown as loaded", u"Nothing to insert, 100%% sure.%n", u"ignored",
     u"Nothing to insert, 100%% sure.%n"},
    {"empty argument", u"Key [%1] missing", u"", u"Key [] missing"},
    {"insert alone, empty argument", u"%1", u"", u""},
    {"other escapes take effect", u"Path:%n%1%t!", u"a", u"Path:\r\na\t!"},
    {"null argument leaves the template", u"Literal %1", nullptr, u"Literal %1"},
    {"inserted text not parsed again", u"[%1]", u"%2 and %%", u"[%2 and %%]"},
    {"line breaks become CR LF", u"one\ntwo %1", u"x", u"one\r\ntwo x"},
};

class ReportErrorTable : public ::testing::TestWithParam<ReportCase> {};

TEST_P(ReportErrorTable, HandlerReceivesFormattedMessage) {
    const ReportCase& c = GetParam();
    StringTableModules modules({{54, kCaption}, {55, c.text}});
    frame::ScopedState scope(servicesWith(&modules));
    scope.get().resourceModule = modules.table();
    RecordingHandler handler;
    tavlo_SetErrorHandler(&handler);

    TAVLO_Exception error{nullptr, 55, u"Op", c.argument, u"src"};
    ReportError(error);

    ASSERT_EQ(handler.calls.size(), 1u);
    EXPECT_EQ(handler.calls[0].message, c.expected) << c.what;
    EXPECT_EQ(handler.calls[0].caption, kCaption);
    EXPECT_EQ(handler.calls[0].style, 48u);
    EXPECT_EQ(handler.calls[0].reserved, 0);
}

INSTANTIATE_TEST_SUITE_P(Cases, ReportErrorTable, ::testing::ValuesIn(kReportCases),
                         [](const auto& info) { return "case" + std::to_string(info.index); });

TEST(ReportError, MissingTextsAreEmptyAndStillShown) {
    StringTableModules modules({});
    frame::ScopedState scope(servicesWith(&modules));
    scope.get().resourceModule = modules.table();
    RecordingHandler handler;
    tavlo_SetErrorHandler(&handler);
    ReportError(TAVLO_Exception{nullptr, 99, u"Op", u"arg", u"src"});
    ASSERT_EQ(handler.calls.size(), 1u);
    EXPECT_EQ(handler.calls[0].message, u"");
    EXPECT_EQ(handler.calls[0].caption, u"");
}

TEST(ReportError, NoHandlerNothingShownAndNullHandlerSilences) {
    StringTableModules modules({{54, kCaption}, {57, u"No key"}});
    frame::ScopedState scope(servicesWith(&modules));
    scope.get().resourceModule = modules.table();
    ReportError(TAVLO_Exception{nullptr, 57, u"GetAppKey", u"", u"src"}); // nobody to tell

    RecordingHandler handler;
    tavlo_SetErrorHandler(&handler);
    ReportError(TAVLO_Exception{nullptr, 57, u"GetAppKey", u"", u"src"});
    tavlo_SetErrorHandler(nullptr);
    ReportError(TAVLO_Exception{nullptr, 57, u"GetAppKey", u"", u"src"});
    EXPECT_EQ(handler.calls.size(), 1u);
}

// The shipped resource module, read through the build's own module service.
TEST(ReportError, ShippedMessagesShowThePathText) {
    frame::ScopedState scope(platform::defaultServices());
    auto& modules = *platform::defaultServices().modules;
    const std::u16string path(TAVLO_RES_DLL, TAVLO_RES_DLL + sizeof(TAVLO_RES_DLL) - 1);
    platform::Module res;
    ASSERT_TRUE(res.load(modules, path.c_str()));
    scope.get().resourceModule = res.handle();
    RecordingHandler handler;
    tavlo_SetErrorHandler(&handler);

    const std::u16string argument = u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltrane\\X\\Location";
    for (std::uint32_t id : {55u, 61u}) {
        ReportError(TAVLO_Exception{nullptr, id, u"Op", argument.c_str(), u"src"});
        ASSERT_FALSE(handler.calls.empty());
        EXPECT_NE(handler.calls.back().message.find(argument), std::u16string::npos) << id;
        EXPECT_EQ(handler.calls.back().message.find(u"%1"), std::u16string::npos) << id;
        EXPECT_FALSE(handler.calls.back().caption.empty());
    }
    ReportError(TAVLO_Exception{nullptr, 57, u"GetAppKey", u"", u"src"});
    EXPECT_FALSE(handler.calls.back().message.empty());
}

TEST(RaiseError, FillsTheContextAndThrowsTheKindByValue) {
    frame::ScopedState scope(platform::defaultServices());
    scope.get().instance = reinterpret_cast<void*>(0x1234);
    try {
        frame::raise<TAVLO_Entry_Error>(u"GetProfileStr", 61, u"HKEY_LOCAL_MACHINE\\A\\v");
        FAIL() << "nothing thrown";
    } catch (TAVLO_Key_Error) {
        FAIL() << "wrong kind";
    } catch (TAVLO_Exception error) {
        EXPECT_EQ(error.module, reinterpret_cast<void*>(0x1234));
        EXPECT_EQ(error.messageId, 61u);
        EXPECT_EQ(std::u16string(error.operation), u"GetProfileStr");
        EXPECT_EQ(std::u16string(error.argument), u"HKEY_LOCAL_MACHINE\\A\\v");
        EXPECT_EQ(std::u16string(error.source), u"$Workfile: tavlo_api $ $Revision: #1 $");
        EXPECT_EQ(error.operation, scope.get().currentOperation.c_str());
    }
    // The next error overwrites the texts the earlier one points to.
    try {
        frame::raise<TAVLO_AppKey_Error>(u"GetAppKey", 57, u"");
    } catch (const TAVLO_AppKey_Error& error) {
        EXPECT_EQ(scope.get().currentOperation, u"GetAppKey");
        EXPECT_EQ(std::u16string(error.argument), u"");
    }
}

TEST(RaiseError, WithoutAnInstanceTheModuleHoldingTheCodeStandsIn) {
    frame::ScopedState scope(platform::defaultServices());
    try {
        frame::raise<TAVLO_Key_Error>(u"X", 55, u"");
    } catch (const TAVLO_Exception& error) {
        EXPECT_NE(error.module, nullptr);
    }
}

TEST(Application, StartUpLoadsTheResourceModuleByNameAndShutDownFreesIt) {
    StringTableModules modules({{54, kCaption}});
    RecordingUi ui;
    frame::ScopedState scope(servicesWith(&modules, &ui));
    frame::CTavloApp app;
    EXPECT_TRUE(app.InitInstance(reinterpret_cast<void*>(0x10)));
    EXPECT_EQ(modules.loads, (std::vector<std::u16string>{u"tavlo9Res.dll"}));
    EXPECT_EQ(scope.get().resourceModule, modules.table());
    EXPECT_EQ(scope.get().instance, reinterpret_cast<void*>(0x10));
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_EQ(frame::loadLibraryString(54), kCaption);
    EXPECT_EQ(app.ExitInstance(), 1);
    EXPECT_EQ(modules.frees, 1);
}

class NoModules final : public platform::ModuleService {
public:
    platform::ModuleHandle load(const char16_t*) override { return nullptr; }
    void* entryPoint(platform::ModuleHandle, const char*) override { return nullptr; }
    void* entryPointByOrdinal(platform::ModuleHandle, std::uint16_t) override { return nullptr; }
    void free(platform::ModuleHandle) override { ++frees; }
    platform::ModuleHandle moduleContaining(const void*) override { return nullptr; }
    std::uint32_t moduleFileName(platform::ModuleHandle, char16_t*, std::uint32_t) override {
        return 0;
    }
    std::u16string loadString(platform::ModuleHandle, std::uint32_t) override { return {}; }
    int frees = 0;
};

TEST(Application, MissingResourceModuleFailsStartUpWithOneMessageBox) {
    NoModules modules;
    RecordingUi ui;
    frame::ScopedState scope(servicesWith(&modules, &ui));
    frame::CTavloApp app;
    EXPECT_FALSE(app.InitInstance(reinterpret_cast<void*>(0x10)));
    EXPECT_EQ(ui.boxes, (std::vector<std::u16string>{u"tavlo9Res.dll not found"}));
    EXPECT_EQ(app.ExitInstance(), 0);
    EXPECT_EQ(modules.frees, 0);
    EXPECT_EQ(scope.get().resourceModule, nullptr);
}

} // namespace
} // namespace tavlo::test
