// Raising and reporting errors, and the application object's start-up and shut-down.
#include "stand_ins.h"

#include "frame/app.h"
#include "frame/errors.h"

#include <gtest/gtest.h>

namespace tavlo::test {
namespace {

using frame::ReportError;

const std::u16string kCaption = u"Plot Settings";

TEST(ReportError, HandlerReceivesFormattedMessage) {
    struct Row {
        std::u16string text;      // the message's template in the resource module
        const char16_t* argument; // the exception's argument
        std::u16string expected;  // what the handler is shown
    };
    // clang-format off
    const Row rows[] = {
        {u"Can't read %1.", u"HKEY_LOCAL_MACHINE\\X", u"Can't read HKEY_LOCAL_MACHINE\\X."},
        {u"No insert, 100%% sure.%n", u"ignored", u"No insert, 100%% sure.%n"}, // shown as loaded
        {u"Key [%1] missing", u"", u"Key [] missing"},
        {u"Path:%n%1%t!\nx", u"a", u"Path:\r\na\t!\r\nx"}, // escapes and line breaks take effect
        {u"Literal %1", nullptr, u"Literal %1"},
        {u"[%1]", u"%2 and %%", u"[%2 and %%]"}, // inserted text is not parsed again
    };
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.text.begin(), row.text.end()));
        StringTableModules modules({{54, kCaption}, {55, row.text}});
        frame::ScopedState scope(servicesWith(&modules));
        scope.get().resourceModule = modules.table();
        RecordingHandler handler;
        tavlo_SetErrorHandler(&handler);
        ReportError(TAVLO_Exception{nullptr, 55, u"Op", row.argument, u"src"});
        ASSERT_EQ(handler.calls.size(), 1u);
        EXPECT_EQ(handler.calls[0].message, row.expected);
        EXPECT_EQ(handler.calls[0].caption, kCaption);
        EXPECT_EQ(handler.calls[0].style, 48u);
        EXPECT_EQ(handler.calls[0].reserved, 0);
    }
}

// A missing text is shown empty; with no handler, or a null one, nothing is shown.
TEST(ReportError, MissingTextsAndMissingHandlers) {
    StringTableModules modules({});
    frame::ScopedState scope(servicesWith(&modules));
    scope.get().resourceModule = modules.table();
    const TAVLO_Exception error{nullptr, 99, u"Op", u"arg", u"src"};
    ReportError(error);
    RecordingHandler handler;
    tavlo_SetErrorHandler(&handler);
    ReportError(error);
    tavlo_SetErrorHandler(nullptr);
    ReportError(error);
    ASSERT_EQ(handler.calls.size(), 1u);
    EXPECT_EQ(handler.calls[0].message, u"");
    EXPECT_EQ(handler.calls[0].caption, u"");
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
        EXPECT_EQ(std::u16string(error.argument), u"HKEY_LOCAL_MACHINE\\A\\v");
        EXPECT_EQ(std::u16string(error.source), u"$Workfile: tavlo_api $ $Revision: #1 $");
        EXPECT_EQ(error.operation, scope.get().currentOperation.c_str());
        EXPECT_EQ(scope.get().currentOperation, u"GetProfileStr");
    }
    scope.get().instance = nullptr; // then the module holding the code stands in
    try {
        frame::raise<TAVLO_AppKey_Error>(u"GetAppKey", 57, u"");
        FAIL() << "nothing thrown";
    } catch (const TAVLO_AppKey_Error& error) {
        EXPECT_EQ(scope.get().currentOperation, u"GetAppKey");
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
