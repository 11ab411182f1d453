#include "settings_view.h"

#include "cli.h"

#include "recording.h"

#include "appkey/app_key.h"
#include "frame/app.h"
#include "frame/errors.h"
#include "frame/strings.h"
#include "platform/host.h"
#include "settings/setting_table.h"
#include "values/setting_rows.h"

#include <initializer_list>

namespace tavlo::cli {

namespace {

using platform::Root;
using platform::toUtf8;
namespace status = platform::status;
namespace regtype = platform::regtype;
using Kind = Event::Kind;

using registry::SettingRow;
using registry::Shape;
using settings::SettingEntry;
using DefaultKind = registry::Default::Kind;

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

// The first query at or after from of any of names (null entries: none).
const Event* firstQueryOf(const std::vector<Event>& events,
                          std::initializer_list<const char16_t*> names, std::size_t from = 0) {
    for (std::size_t i = from; i < events.size(); ++i)
        if (events[i].kind == Kind::QueryValue)
            for (const char16_t* name : names)
                if (name && frame::lowered(events[i].name) == frame::lowered(name))
                    return &events[i];
    return nullptr;
}

// Every value name the row reads under, whatever the host.
const Event* firstQueryOf(const std::vector<Event>& events, const SettingRow& row,
                          std::size_t from = 0) {
    return firstQueryOf(
        events, {row.host == registry::HostRule::ByFamily ? row.koraName : nullptr, row.valueName},
        from);
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

std::string describeOrigin(const SettingRow& row, const std::vector<Event>& events,
                           const std::string& value) {
    if (row.shape == Shape::KeyPart)
        return "the app key's components";
    const std::uint32_t wanted =
        row.shape == Shape::Number || row.shape == Shape::Flag ? regtype::dword : regtype::sz;
    const Event* query = firstQueryOf(events, row);
    if (query && query->status == status::success && query->type == wanted)
        return where(*query);
    const std::string why = whyMissing(events, query, wanted);
    const std::size_t after = query ? static_cast<std::size_t>(query - events.data()) + 1 : 0;
    // A default below a folder is only as good as the read of that folder.
    const DefaultKind kind = row.byDefault.kind;
    if (kind == DefaultKind::BelowRoamableRoot) {
        if (const Event* root = firstQueryOf(events, {registry::kRoamableRootValue}, after)) {
            if (root->status == status::success && root->type == regtype::sz)
                return "default below the roamable root folder " + where(*root) + ", since " + why;
            return "none: " + why + ", and " + whyMissing(events, root, regtype::sz);
        }
    }
    if (kind == DefaultKind::BelowAppDir) {
        if (const Event* dir = firstQueryOf(events, registry::rows::appDirectory, after)) {
            if (dir->status == status::success && dir->type == regtype::sz)
                return "default below the application directory " + where(*dir) + ", since " + why;
            return "none: " + why + ", and " + whyMissing(events, dir, regtype::sz);
        }
    }
    // A failed read may leave what it found in the answer (a wrongly typed string's text, a
    // number's bytes): that is no default.
    const std::string words = toUtf8(settings::defaultInWords(row.byDefault));
    if (query && value != (kind == DefaultKind::Number ? words : std::string()))
        return "as read, though " + why;
    if (value.empty())
        return "empty: " + why;
    return "default " + words + ", since " + why;
}

} // namespace

std::vector<std::string> settingNames() {
    std::vector<std::string> names;
    for (const SettingEntry& entry : settings::settingTable())
        names.push_back(entry.row->name);
    return names;
}

std::optional<Resolved> resolveSetting(const std::string& name, const std::u16string& appKey) {
    const SettingEntry* setting = settings::findSetting(name);
    if (!setting)
        return std::nullopt;

    Recorder recorder(platform::defaultServices());
    frame::ScopedState scope(recorder.services());
    frame::LibraryState& s = scope.get();
    s.appKeyCache = appKey;
    s.resourceModule =
        platform::defaultServices().modules->loadResources(frame::kResourceModuleName);
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
        copyingFailures([&] {
            std::u16string answer;
            setting->read(answer);
            resolved.value = toUtf8(answer);
        });
    } catch (const LibraryFailure& failure) {
        resolved.origin = "the library raised " + failure.kind + " in " +
                          toUtf8(failure.operation) + " (message " +
                          std::to_string(failure.messageId) + ")";
        resolved.raised = failure;
    }
    s.errorHandler = nullptr;
    resolved.appKey = s.appKeyCache;
    if (s.resourceModule)
        platform::defaultServices().modules->free(s.resourceModule);
    s.resourceModule = nullptr;

    resolved.present = !resolved.value.empty();
    if (resolved.origin.empty() && s.appKeyCache.empty())
        resolved.origin = "no app key could be found, so nothing was read";
    if (resolved.origin.empty())
        resolved.origin = describeOrigin(*setting->row, recorder.events(), resolved.value);
    if ((setting->row->shape == Shape::Directory || setting->row->shape == Shape::Pathname) &&
        resolved.present) {
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
