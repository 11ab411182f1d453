// "tavlo help-file" and "tavlo notice": a help file resolved as the library resolves it, and a
// driver's back-door notice.
#include "cli.h"
#include "failure.h"

#include "frame/app.h"
#include "frame/state.h"
#include "help/help_search.h"
#include "identity/notice.h"
#include "platform/host.h"

namespace tavlo::cli {

namespace {

using platform::toUtf8;

// Runs the library's code as loaded in a host: its resource module loaded, reports shown on
// standard error.
struct LoadedState {
    frame::ScopedState scope{platform::defaultServices()};
    struct ToStderr final : TavloErrorHandler {
        int DisplayError(const TavloChar* message, const TavloChar*, std::uint32_t,
                         std::int32_t) override {
            err("tavlo: reported: " + toUtf8(reinterpret_cast<const char16_t*>(message)));
            return 0;
        }
    } handler;

    LoadedState() {
        scope.get().resourceModule =
            platform::defaultServices().modules->loadResources(frame::kResourceModuleName);
        scope.get().errorHandler = &handler;
    }
    ~LoadedState() {
        if (scope.get().resourceModule)
            platform::defaultServices().modules->free(scope.get().resourceModule);
    }
};

void printNativePath(const std::u16string& path) {
    std::string native;
    bool exists = false;
    if (platform::nativePathOf(path, native, exists))
        err("tavlo: on this machine: " + native + (exists ? " (exists)" : " (missing)"));
}

} // namespace

int helpFileCommand(const Invocation& call) {
    if (call.args.size() > 1)
        return usageOf("tavlo help-file", "takes at most one help file name");
    LoadedState loaded;
    // The state's texts are gone once it is: what it raises is copied inside it.
    return copyingFailures([&] {
        std::u16string name;
        if (call.args.empty()) {
            name = help::GetDefaultHelpFile();
            if (name.empty()) {
                err("tavlo help-file: the host has no default help file (its KORAHELP or HELP "
                    "setting names no file)");
                return kNotFound;
            }
        } else {
            name = platform::fromUtf8(call.args[0]);
        }
        std::u16string path;
        if (!help::ResolveHelpPath(name.c_str(), path)) {
            err("tavlo help-file: " + toUtf8(name) + " can't be resolved: no app key is known");
            return kNotFound;
        }
        out(toUtf8(path));
        printNativePath(path);
        return kFound;
    });
}

int noticeCommand(const Invocation& call) {
    if (call.args.size() != 1)
        return usageOf("tavlo notice", "takes one driver name");
    LoadedState loaded;
    return copyingFailures([&] {
        const std::u16string driver = platform::fromUtf8(call.args[0]);
        std::u16string notice;
        if (!identity::IsBackDoorDriverAvailable(driver.c_str(), notice)) {
            out(call.args[0] + " is not a back-door driver");
            return kNotFound;
        }
        out(call.args[0] + " is a back-door driver. Its notice:");
        out(toUtf8(notice));
        return kFound;
    });
}

} // namespace tavlo::cli
