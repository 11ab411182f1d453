// Raising and reporting errors, and the application object's start-up and shut-down.
#include "settings_sandbox.h"

#include "frame/app.h"
#include "frame/errors.h"

namespace tavlo::test {
namespace {

TEST(ReportError, HandlerReceivesFormattedMessage) {
    // The message's template in the resource module (none: missing), the exception's argument,
    // what the handler is shown.
    // clang-format off
    const std::tuple<std::optional<std::u16string>, const char16_t*, std::u16string> rows[] = {
        {u"Can't read %1.", u"HKEY_LOCAL_MACHINE\\X", u"Can't read HKEY_LOCAL_MACHINE\\X."},
        {u"No insert, 100%% sure.%n", u"ignored", u"No insert, 100%% sure.%n"}, // shown as loaded
        {u"Key [%1] missing", u"", u"Key [] missing"},
        {u"Path:%n%1%t!\nx", u"a", u"Path:\r\na\t!\r\nx"}, // escapes and line breaks take effect
        {u"Literal %1", nullptr, u"Literal %1"},
        {u"[%1]", u"%2 and %%", u"[%2 and %%]"}, // inserted text is not parsed again
        {std::nullopt, u"arg", u""},
    };
    // clang-format on
    for (const auto& [text, argument, expected] : rows) {
        SettingsSandbox lib;
        auto& strings = lib.modules.add(u"tavlo9Res.dll").strings;
        strings.erase(55);
        if (text)
            strings[55] = *text;
        frame::ReportError(TAVLO_Exception{nullptr, 55, u"Op", argument, u"src"});
        ASSERT_EQ(lib.handler.calls.size(), 1u);
        EXPECT_EQ(lib.handler.calls[0].message, expected);
        EXPECT_EQ(lib.handler.calls[0].caption, u"Caption");
        EXPECT_EQ(lib.handler.calls[0].style, 48u);
        EXPECT_EQ(lib.handler.calls[0].reserved, 0);
    }
    SettingsSandbox lib;
    tavlo_SetErrorHandler(nullptr);
    frame::ReportError(TAVLO_Exception{nullptr, 55, u"Op", u"arg", u"src"});
    EXPECT_TRUE(lib.handler.calls.empty());
}

TEST(RaiseError, FillsTheContextAndThrowsTheKindByValue) {
    SettingsSandbox lib;
    lib.scope.get().instance = reinterpret_cast<void*>(0x1234);
    try {
        frame::raise<TAVLO_Entry_Error>(u"GetProfileStr", 61, u"HKEY_LOCAL_MACHINE\\A\\v");
        FAIL() << "nothing thrown";
    } catch (TAVLO_Key_Error) {
        FAIL() << "wrong kind";
    } catch (TAVLO_Exception error) {
        EXPECT_EQ(error.module, reinterpret_cast<void*>(0x1234));
        EXPECT_EQ(error.messageId, 61u);
        EXPECT_EQ(std::u16string(error.argument), u"HKEY_LOCAL_MACHINE\\A\\v");
        EXPECT_EQ(std::u16string(error.source), u"$Workfile: tavlo_api $ $Revision: #1 $");
        EXPECT_EQ(error.operation, lib.scope.get().currentOperation.c_str());
        EXPECT_EQ(lib.scope.get().currentOperation.view(), u"GetProfileStr");
    }
    lib.scope.get().instance = nullptr; // then the module holding the code stands in
    try {
        frame::raise<TAVLO_AppKey_Error>(u"GetAppKey", 57, u"");
    } catch (const TAVLO_AppKey_Error& error) {
        EXPECT_EQ(error.module, &lib.modules.libraryPath);
    }
}

TEST(Application, StartUpLoadsTheResourceModuleByNameAndShutDownFreesIt) {
    SettingsSandbox lib;
    frame::CTavloApp app;
    lib.scope.get().resourceModule = nullptr;
    EXPECT_TRUE(app.InitInstance(reinterpret_cast<void*>(0x10)));
    EXPECT_EQ(lib.scope.get().resourceModule, lib.modules.handleOf(u"tavlo9Res.dll"));
    EXPECT_EQ(lib.scope.get().instance, reinterpret_cast<void*>(0x10));
    EXPECT_EQ(frame::loadLibraryString(54), u"Caption");
    EXPECT_EQ(app.ExitInstance(), 1);
    EXPECT_EQ(lib.modules.log, (Log{u"load tavlo9Res.dll", u"free tavlo9Res.dll"}));
    EXPECT_TRUE(lib.ui.boxes.empty());
}

TEST(Application, MissingResourceModuleFailsStartUpWithOneMessageBox) {
    SettingsSandbox lib;
    FakeModules none;
    lib.scope.get().services.modules = &none;
    frame::CTavloApp app;
    EXPECT_FALSE(app.InitInstance(reinterpret_cast<void*>(0x10)));
    EXPECT_EQ(lib.ui.boxes, Log{u"tavlo9Res.dll not found"});
    EXPECT_EQ(app.ExitInstance(), 0);
    EXPECT_EQ(none.log, Log{u"load tavlo9Res.dll: none"});
}

} // namespace
} // namespace tavlo::test
