#include "settings_view.h"

#include "cli.h"

#include "recording.h"

#include "appkey/app_key.h"
#include "frame/errors.h"
#include "frame/strings.h"
#include "identity/identity.h"
#include "platform/host.h"
#include "settings/named_settings.h"
#include "values/profile.h"

#include <functional>

namespace tavlo::cli {

namespace {

using platform::Root;
using platform::toUtf8;
namespace status = platform::status;
namespace regtype = platform::regtype;
using Kind = Event::Kind;

enum class Shape { Text, Directory, Number, Flag, KeyPart };

struct Setting {
    const char* name;
    Shape shape;
    std::vector<std::u16string> valueNames; // the value(s) it is read from
    std::function<std::string()> read;
    const char* fallback; // what a missing value gives, in words
};

std::string text(const std::u16string& value) {
    return toUtf8(value);
}
std::string number(std::uint32_t value) {
    return std::to_string(value);
}

const std::vector<Setting>& settings() {
    using namespace tavlo::settings;
    using namespace tavlo::identity;
    static const std::vector<Setting> table = {
        {"app-directory",
         Shape::Directory,
         {u"KoraLocation", u"Location"},
         [] { return text(frame::written<GetAppDirectory>()); },
         "nothing"},
        {"language",
         Shape::Text,
         {u"Language"},
         [] { return text(frame::written<GetLanguage>()); },
         "nothing"},
        {"product-name",
         Shape::Text,
         {u"ProductName"},
         [] { return text(frame::written<GetProductName>()); },
         "nothing"},
        {"program-name", Shape::KeyPart, {}, [] { return text(GetProgramName()); }, ""},
        {"company-name", Shape::KeyPart, {}, [] { return text(GetCompanyName()); }, ""},
        {"product-base-name", Shape::KeyPart, {}, [] { return text(GetProductBaseName()); }, ""},
        {"driver-directory",
         Shape::Directory,
         {u"KORADRV", u"DRIVER"},
         [] { return text(frame::written<GetDriverDirectory>()); },
         "application directory\\Drv"},
        {"plotters-directory",
         Shape::Directory,
         {u"PrinterConfigDir"},
         [] { return text(frame::written<GetPlottersDirectory>()); },
         "roamable root\\Plotters"},
        {"plot-styles-directory",
         Shape::Directory,
         {u"PrinterStyleSheetDir"},
         [] { return text(frame::written<GetPlotStylesDirectory>()); },
         "roamable root\\Plot Styles"},
        {"pmp-directory",
         Shape::Directory,
         {u"PrinterDescDir"},
         [] { return text(frame::written<GetPMPDirectory>()); },
         "roamable root\\Plotters"},
        {"plot-spooler-directory",
         Shape::Directory,
         {u"PlotSpoolerDirectory"},
         [] { return text(frame::written<GetPlotSpoolerDirectory>()); },
         "the application directory"},
        {"help-directory",
         Shape::Directory,
         {u"KORAHELP", u"HELP"},
         [] { return text(frame::written<GetHelpDirectory>()); },
         "application directory\\Help"},
        {"log-file-directory",
         Shape::Directory,
         {u"LogFilePath"},
         [] { return text(frame::written<GetLogFileDirectory>()); },
         "the application directory"},
        {"support-file-search-path",
         Shape::Text,
         {u"KORA", u"Support"},
         [] { return text(frame::written<GetSupportFileSearchPath>()); },
         "the empty path"},
        {"autospool-command-string",
         Shape::Text,
         {u"KORAPLCMD", u"PLOTCOMMAND"},
         [] { return text(frame::written<GetAutospoolCommandString>()); },
         "the empty string"},
        {"default-login-name",
         Shape::Text,
         {u"DefaultLoginName"},
         [] { return text(frame::written<GetDefaultLoginName>()); },
         "the empty string"},
        {"default-plot-to-file",
         Shape::Text,
         {u"DefaultPlotToFile"},
         [] { return text(frame::written<GetDefaultPlotToFile>()); },
         "the empty string"},
        {"default-plot-style-table",
         Shape::Text,
         {u"NewStyleSheet"},
         [] { return text(frame::written<GetDefaultPlotStyleTable>()); },
         "the empty string"},
        {"raster-threshold",
         Shape::Number,
         {u"RASTERTHRESHOLD"},
         [] { return number(GetRasterThreshold()); },
         "20"},
        {"raster-percent",
         Shape::Number,
         {u"RASTERPERCENT"},
         [] { return number(GetRasterPercent()); },
         "20"},
        {"current-plot-style-policy",
         Shape::Number,
         {u"PSTYLEPOLICY"},
         [] { return number(GetCurrentPlotStylePolicy()); },
         "1"},
        {"hide-system-printers",
         Shape::Number,
         {u"HideSystemPrinters"},
         [] { return number(GetHideSystemPrinters()); },
         "0"},
        {"r14-raster-plot",
         Shape::Flag,
         {u"R14RasterPlot"},
         [] { return std::string(IsR14RasterPlotSysVarSet() ? "1" : "0"); },
         "0"},
    };
    return table;
}

std::string rootLabel(Root root) {
    switch (root) {
    case Root::LocalMachine:
        return "HKEY_LOCAL_MACHINE";
    case Root::CurrentUser:
        return "HKEY_CURRENT_USER";
    case Root::ClassesRoot:
        return "HKEY_CLASSES_ROOT";
    }
    return "";
}

std::string where(const Event& e) {
    std::string path = rootLabel(e.root);
    if (!e.key.empty())
        path += "\\" + toUtf8(e.key);
    if (e.kind == Kind::QueryValue)
        path += "\\" + (e.hasName ? toUtf8(e.name) : std::string("(Default)"));
    return path;
}

const Event* firstQueryOf(const std::vector<Event>& events,
                          const std::vector<std::u16string>& names, std::size_t from = 0) {
    for (std::size_t i = from; i < events.size(); ++i)
        if (events[i].kind == Kind::QueryValue)
            for (const auto& name : names)
                if (frame::lowered(events[i].name) == frame::lowered(name))
                    return &events[i];
    return nullptr;
}

// Why the value the setting looked for gave nothing.
std::string whyMissing(const std::vector<Event>& events, const Event* query, std::uint32_t wanted) {
    if (query) {
        if (query->status == status::success || query->status == status::more_data)
            return where(*query) + " is " + typeName(query->type) + ", not " + typeName(wanted);
        return where(*query) + " is missing";
    }
    // The key of the section (or the profile) didn't open.
    for (auto it = events.rbegin(); it != events.rend(); ++it)
        if (it->kind == Kind::OpenKey && it->status != status::success)
            return where(*it) + " is missing";
    return "nothing was read";
}

std::string describeOrigin(const Setting& setting, const std::vector<Event>& events,
                           const std::string& value) {
    if (setting.shape == Shape::KeyPart)
        return "the app key's components";
    const std::uint32_t wanted = setting.shape == Shape::Number || setting.shape == Shape::Flag
                                     ? regtype::dword
                                     : regtype::sz;
    const Event* query = firstQueryOf(events, setting.valueNames);
    if (query && query->status == status::success && query->type == wanted)
        return where(*query);
    const std::string why = whyMissing(events, query, wanted);
    const std::size_t after = query ? static_cast<std::size_t>(query - events.data()) + 1 : 0;
    if (const Event* root = firstQueryOf(events, {u"RoamableRootFolder"}, after)) {
        if (root->status == status::success && root->type == regtype::sz)
            return "default below the roamable root folder " + where(*root) + ", since " + why;
        return "none: " + why + ", and " + whyMissing(events, root, regtype::sz);
    }
    if (const Event* dir = firstQueryOf(events, {u"KoraLocation", u"Location"}, after)) {
        if (dir->status == status::success && dir->type == regtype::sz)
            return "default below the application directory " + where(*dir) + ", since " + why;
        return "none: " + why + ", and " + whyMissing(events, dir, regtype::sz);
    }
    if (value.empty())
        return "empty: " + why;
    return "default " + std::string(setting.fallback) + ", since " + why;
}

} // namespace

std::vector<std::string> settingNames() {
    std::vector<std::string> names;
    for (const auto& s : settings())
        names.push_back(s.name);
    return names;
}

std::optional<Resolved> resolveSetting(const std::string& name, const std::u16string& appKey) {
    const Setting* setting = nullptr;
    for (const auto& s : settings())
        if (name == s.name)
            setting = &s;
    if (!setting)
        return std::nullopt;

    Recorder recorder(platform::defaultServices());
    frame::ScopedState scope(recorder.services());
    frame::LibraryState& s = scope.get();
    s.appKeyCache = appKey;
    s.resourceModule = platform::defaultServices().modules->loadResources(u"tavlo9Res.dll");
    Resolved resolved;
    resolved.name = name;
    struct Collect final : TavloErrorHandler {
        std::vector<std::string>& reports;
        explicit Collect(std::vector<std::string>& reports) : reports(reports) {}
        int DisplayError(const TavloChar* message, const TavloChar*, std::uint32_t,
                         std::int32_t) override {
            reports.push_back(toUtf8(reinterpret_cast<const char16_t*>(message)));
            return 0;
        }
    } collect(resolved.reports);
    s.errorHandler = &collect;
    try {
        copyingFailures([&] { resolved.value = setting->read(); });
    } catch (const LibraryFailure& failure) {
        resolved.origin = "the library raised " + failure.kind + " in " +
                          toUtf8(failure.operation) + " (message " +
                          std::to_string(failure.messageId) + ")";
        resolved.raised = failure;
    }
    s.errorHandler = nullptr;
    if (s.resourceModule)
        platform::defaultServices().modules->free(s.resourceModule);
    s.resourceModule = nullptr;

    resolved.present = !resolved.value.empty();
    if (resolved.origin.empty() && s.appKeyCache.empty())
        resolved.origin = "no app key could be found, so nothing was read";
    if (resolved.origin.empty())
        resolved.origin = describeOrigin(*setting, recorder.events(), resolved.value);
    if (setting->shape == Shape::Directory && resolved.present) {
        std::string nativePath;
        bool exists = false;
        if (platform::nativePathOf(platform::fromUtf8(resolved.value), nativePath, exists)) {
            resolved.nativePath = nativePath;
            resolved.nativeExists = exists;
        }
    }
    return resolved;
}

} // namespace tavlo::cli
