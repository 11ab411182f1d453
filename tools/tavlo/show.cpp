// "tavlo show": what the library resolves for the host, and where each answer came from. The
// library's own operations run on recording services; the record tells the story.
#include "cli.h"
#include "failure.h"
#include "json.h"
#include "recording.h"
#include "settings_view.h"

#include "appkey/app_key.h"
#include "appkey/catalogue.h"
#include "appkey/discovery.h"
#include "frame/errors.h"
#include "frame/state.h"
#include "frame/strings.h"
#include "platform/host.h"
#include "values/machine_strings.h"
#include "values/profile.h"

#include <algorithm>
#include <optional>

namespace tavlo::cli {

namespace {

using platform::Root;
namespace status = platform::status;
using Kind = Event::Kind;
using platform::toUtf8;

bool sameKey(const std::u16string& a, const std::u16string& b) {
    return frame::lowered(a) == frame::lowered(b);
}

struct Candidate {
    std::u16string key;          // the registration's name
    std::u16string locationName; // "Location" or "KoraLocation"
    std::u16string location;
    std::u16string verdict; // why it was skipped, or "installed"
    bool installed = false;
    bool userKey = false;
};

struct Association {
    std::u16string extension;
    std::u16string progId;
    std::u16string command;
    std::u16string hostPath;
};

struct Story {
    std::u16string appKey;
    std::u16string source;    // hook-library, hook-host, catalogue, none
    std::u16string hookPath;  // the file the hook was loaded from
    std::u16string hookAsked; // the name the library composed for it
    std::optional<Association> association;
    std::vector<std::u16string> extensionsTried;
    std::vector<Candidate> candidates;
    std::u16string reason; // why the chosen key won, or why there is none
    std::vector<std::u16string> reports;
};

const Event* firstQuery(const std::vector<Event>& events, Root root, const std::u16string& key,
                        const std::u16string& name) {
    for (const auto& e : events)
        if (e.kind == Kind::QueryValue && e.root == root && sameKey(e.key, key) &&
            sameKey(e.name, name))
            return &e;
    return nullptr;
}

// Reads the association the library followed from the record.
void readAssociation(const std::vector<Event>& events, Story& story) {
    for (const char16_t* extension : {u".pc3", u".stb", u".ctb"}) {
        auto open = std::find_if(events.begin(), events.end(), [&](const Event& e) {
            return e.kind == Kind::OpenKey && e.root == Root::ClassesRoot && e.key == extension;
        });
        if (open == events.end())
            break;
        story.extensionsTried.push_back(extension);
        const Event* progId = firstQuery(events, Root::ClassesRoot, extension, u"");
        if (!progId || progId->status != status::success)
            continue;
        Association found{extension, textOfData(progId->data), {}, {}};
        const Event* command =
            firstQuery(events, Root::ClassesRoot, found.progId + u"\\shell\\open\\command", u"");
        if (!command || command->status != status::success)
            continue;
        found.command = textOfData(command->data);
        found.hostPath = appkey::exePathFromCommand(found.command);
        story.association = found;
        return;
    }
}

void readCatalogue(const std::vector<Event>& events, Story& story) {
    for (const auto& e : events) {
        if (e.kind != Kind::EnumValue || e.status != status::success ||
            !sameKey(e.key, appkey::kCatalogueKey))
            continue;
        if (std::any_of(story.candidates.begin(), story.candidates.end(),
                        [&](const Candidate& c) { return c.key == e.name; }))
            continue;
        Candidate c;
        c.key = e.name;
        const std::u16string keyPath = u"Software\\" + e.name;
        c.locationName = appkey::isKoraKey(keyPath) ? u"KoraLocation" : u"Location";
        auto userOpen = std::find_if(events.begin(), events.end(), [&](const Event& x) {
            return x.kind == Kind::OpenKey && x.root == Root::CurrentUser &&
                   sameKey(x.key, keyPath);
        });
        c.userKey = userOpen != events.end() && userOpen->status == status::success;
        auto machineOpen = std::find_if(events.begin(), events.end(), [&](const Event& x) {
            return x.kind == Kind::OpenKey && x.root == Root::LocalMachine &&
                   sameKey(x.key, keyPath);
        });
        const Event* location = firstQuery(events, Root::LocalMachine, keyPath, c.locationName);
        if (machineOpen == events.end() || machineOpen->status != status::success) {
            c.verdict = u"not installed: HKEY_LOCAL_MACHINE\\" + keyPath + u" is missing";
        } else if (!location || location->status != status::success ||
                   location->type != platform::regtype::sz) {
            c.verdict = u"not installed: no readable REG_SZ value \"" + c.locationName + u"\"";
        } else {
            c.location = textOfData(location->data);
            frame::dropTrailingBackslashes(c.location);
            auto exists = std::find_if(events.begin(), events.end(), [&](const Event& x) {
                return x.kind == Kind::FileExists && x.key == c.location;
            });
            c.installed = exists != events.end() && exists->found;
            c.verdict = c.installed ? u"installed" : u"not installed: the location doesn't exist";
        }
        story.candidates.push_back(std::move(c));
    }
}

Story resolve(Recorder& recorder) {
    Story story;
    frame::ScopedState scope(recorder.services());
    frame::LibraryState& s = scope.get();
    s.resourceModule = s.services.modules->loadResources(u"tavlo9Res.dll");
    // Reports are collected instead of shown.
    struct Collect final : TavloErrorHandler {
        Story& story;
        explicit Collect(Story& story) : story(story) {}
        int DisplayError(const TavloChar* message, const TavloChar*, std::uint32_t,
                         std::int32_t) override {
            story.reports.emplace_back(reinterpret_cast<const char16_t*>(message));
            return 0;
        }
    } collect(story);
    s.errorHandler = &collect;
    {
        // Also when discovery raises: the state is the tool's, and so is the module.
        struct Restore {
            frame::LibraryState& s;
            ~Restore() {
                s.errorHandler = nullptr;
                if (s.resourceModule)
                    s.services.modules->free(s.resourceModule);
                s.resourceModule = nullptr;
            }
        } restore{s};
        story.appKey = copyingFailures([] { return appkey::GetAppKey(nullptr); });
    }

    const auto& events = recorder.events();
    readAssociation(events, story);
    readCatalogue(events, story);
    const bool catalogueRead = std::any_of(events.begin(), events.end(), [](const Event& e) {
        return e.kind == Kind::OpenKey && sameKey(e.key, appkey::kCatalogueKey);
    });
    // The hook that answered is the last one whose entry point was found before the key was
    // known. Which step asked for it tells which of the two hooks it was; where it was loaded
    // from is the loader's answer, recorded at the seam.
    const Event* hook = nullptr;
    for (const auto& e : events)
        if (e.kind == Kind::EntryPoint && e.found)
            hook = &e;

    if (story.appKey.empty()) {
        story.source = u"none";
        if (!story.association)
            story.reason = u"none of the file types .pc3, .stb and .ctb has an open command "
                           u"below HKEY_CLASSES_ROOT, and no product hook (userdata.dll) beside "
                           u"the library answered";
        else if (!catalogueRead)
            story.reason = u"discovery stopped before the catalogue";
        else if (std::none_of(story.candidates.begin(), story.candidates.end(),
                              [](const Candidate& c) { return c.installed; }))
            story.reason = story.candidates.empty()
                               ? u"no application is registered below HKEY_LOCAL_MACHINE\\" +
                                     std::u16string(appkey::kCatalogueKey)
                               : u"none of the registered applications is installed";
        else if (story.association->hostPath.empty())
            story.reason = u"several applications are installed, and the open command names no "
                           u"host executable to choose between them";
        else
            story.reason = u"several applications are installed, and none of their locations "
                           u"occurs in the host executable's path";
    } else if (catalogueRead) {
        story.source = u"catalogue";
        const auto installed = std::count_if(story.candidates.begin(), story.candidates.end(),
                                             [](const Candidate& c) { return c.installed; });
        story.reason = installed == 1 ? u"the only installed application"
                                      : u"the first installed application whose location occurs "
                                        u"in the host executable's path";
    } else {
        story.source = story.association ? u"hook-host" : u"hook-library";
        story.hookAsked = hook ? hook->key : u"";
        story.hookPath = hook ? (hook->file.empty() ? hook->key : hook->file) : u"";
    }
    return story;
}

std::string sourceText(const Story& story) {
    if (story.source == u"hook-library")
        return "the product hook " + toUtf8(story.hookPath) + " (asked for beside the library)";
    if (story.source == u"hook-host")
        return "the product hook " + toUtf8(story.hookPath) +
               " (asked for beside the host executable, as " + toUtf8(story.hookAsked) + ")";
    if (story.source == u"catalogue")
        return "the catalogue HKEY_LOCAL_MACHINE\\" + toUtf8(appkey::kCatalogueKey);
    return "nothing";
}

struct Settings {
    std::optional<bool> kora;
    std::u16string profileKey;
    std::vector<Resolved> values;
};

Settings readSettings(const std::u16string& appKey) {
    Settings settings;
    {
        frame::ScopedState scope(platform::defaultServices());
        scope.get().appKeyCache = appKey;
        copyingFailures([&] {
            bool kora = false;
            if (appkey::IsKORAApp(&kora) == 0)
                settings.kora = kora;
            settings.profileKey = registry::GetCurrentProfileKey();
        });
    }
    for (const auto& name : settingNames())
        if (auto resolved = resolveSetting(name, appKey))
            settings.values.push_back(std::move(*resolved));
    return settings;
}

void printText(const Story& story, const Settings& settings, bool showOrigin) {
    out("App key:          " +
        (story.appKey.empty() ? std::string("(none)") : toUtf8(story.appKey)));
    if (story.appKey.empty())
        out("  why none:       " + toUtf8(story.reason));
    else
        out("  found by:       " + sourceText(story));
    if (story.association) {
        const auto& a = *story.association;
        out("  host program:   " +
            (a.hostPath.empty() ? std::string("(none named)") : toUtf8(a.hostPath)));
        out("    from:         the \"" + toUtf8(a.extension) + "\" association, " +
            toUtf8(a.progId) + ": " + toUtf8(a.command));
    }
    if (!story.candidates.empty()) {
        out("  candidates:");
        for (const auto& c : story.candidates) {
            const bool chosen =
                !story.appKey.empty() && sameKey(story.appKey, frame::state().keyPrefix + c.key);
            std::string line = "    " + toUtf8(c.key) + ": " + toUtf8(c.verdict);
            if (!c.location.empty())
                line += " (" + toUtf8(c.locationName) + " " + toUtf8(c.location) + ")";
            line += c.userKey ? ", user settings" : ", no user settings";
            if (chosen)
                line += "  <- chosen: " + toUtf8(story.reason);
            out(line);
        }
    }
    for (const auto& report : story.reports) {
        // A message's own line breaks stay under its first line.
        std::string text = toUtf8(report), indented;
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '\r')
                continue;
            indented += text[i];
            if (text[i] == '\n')
                indented += "                  ";
        }
        out("  reported:       " + indented);
    }
    if (story.appKey.empty())
        return;
    out(std::string("Host is Corvida:  ") +
        (settings.kora ? (*settings.kora ? "yes" : "no") : "unknown"));
    out("Current profile:  " +
        (settings.profileKey.empty() ? std::string("(none)") : toUtf8(settings.profileKey)));
    for (const auto& value : settings.values) {
        std::string label = value.name + ":";
        label.resize(std::max<std::size_t>(label.size() + 1, 27), ' ');
        out(label + (value.present ? value.value : "(empty)"));
        if (!showOrigin)
            continue;
        out("    from: " + value.origin);
        if (value.nativePath)
            out("    on this machine: " + *value.nativePath +
                (value.nativeExists ? " (exists)" : " (missing)"));
        for (const auto& report : value.reports)
            out("    reported: " + report);
    }
}

void printJson(const Story& story, const Settings& settings) {
    Json j;
    j["appKey"] = story.appKey.empty() ? Json() : Json(toUtf8(story.appKey));
    j["source"] = toUtf8(story.source);
    j["reason"] = toUtf8(story.reason);
    if (!story.hookPath.empty()) {
        j["hook"] = toUtf8(story.hookPath);
        j["hookRequested"] = toUtf8(story.hookAsked);
    }
    if (story.association) {
        j["association"] = {{"extension", toUtf8(story.association->extension)},
                            {"progId", toUtf8(story.association->progId)},
                            {"command", toUtf8(story.association->command)},
                            {"hostPath", toUtf8(story.association->hostPath)}};
    }
    Json candidates = Json::array();
    for (const auto& c : story.candidates)
        candidates.push_back({{"key", toUtf8(c.key)},
                              {"location", toUtf8(c.location)},
                              {"installed", c.installed},
                              {"userSettings", c.userKey},
                              {"verdict", toUtf8(c.verdict)}});
    j["candidates"] = std::move(candidates);
    Json reports = Json::array();
    for (const auto& r : story.reports)
        reports.push_back(toUtf8(r));
    j["reports"] = std::move(reports);
    j["isCorvida"] = settings.kora ? Json(*settings.kora) : Json();
    j["currentProfileKey"] = toUtf8(settings.profileKey);
    Json values = Json::object();
    for (const auto& value : settings.values) {
        Json item = {{"value", value.value}, {"origin", value.origin}};
        if (value.nativePath) {
            item["nativePath"] = *value.nativePath;
            item["nativePathExists"] = value.nativeExists;
        }
        item["reports"] = value.reports;
        values[value.name] = std::move(item);
    }
    j["settings"] = std::move(values);
    out(dumpJson(j));
}

} // namespace

int showCommand(const Invocation& call) {
    bool json = false;
    bool showOrigin = false;
    for (const auto& arg : call.args) {
        if (arg == "--json") {
            json = true;
        } else if (arg == "--show-origin") {
            showOrigin = true;
        } else {
            err("tavlo show: unknown argument " + arg);
            err("Usage: tavlo show [--json] [--show-origin]");
            return kUsage;
        }
    }
    Recorder recorder(platform::defaultServices());
    const Story story = resolve(recorder);
    // The settings are read as a host reads them once the key is known.
    const Settings settings = story.appKey.empty() ? Settings{} : readSettings(story.appKey);
    if (json)
        printJson(story, settings);
    else
        printText(story, settings, showOrigin);
    return story.appKey.empty() ? kNotFound : kFound;
}

int getCommand(const Invocation& call) {
    std::string name;
    bool showOrigin = false;
    for (const auto& arg : call.args) {
        if (arg == "--list") {
            for (const char* own : {"app-key", "is-corvida", "current-profile-key"})
                out(own);
            for (const auto& setting : settingNames())
                out(setting);
            return kFound;
        }
        if (arg == "--show-origin")
            showOrigin = true;
        else if (name.empty() && !arg.empty() && arg[0] != '-')
            name = arg;
        else
            return usageOf("tavlo get", "unexpected argument " + arg);
    }
    if (name.empty())
        return usageOf("tavlo get", "no setting named");
    if (name == "app-key" || name == "current-profile-key" || name == "is-corvida") {
        Recorder recorder(platform::defaultServices());
        const Story story = resolve(recorder);
        if (name == "app-key") {
            if (!story.appKey.empty())
                out(toUtf8(story.appKey));
            if (showOrigin)
                out(story.appKey.empty() ? "    why none: " + toUtf8(story.reason)
                                         : "    from: " + sourceText(story));
            return story.appKey.empty() ? kNotFound : kFound;
        }
        const Settings settings = readSettings(story.appKey);
        if (name == "is-corvida") {
            if (!settings.kora)
                return kNotFound;
            out(*settings.kora ? "1" : "0");
            return kFound;
        }
        if (settings.profileKey.empty())
            return kNotFound;
        out(toUtf8(settings.profileKey));
        return kFound;
    }
    const auto resolved = resolveSetting(name, {});
    if (!resolved)
        return usageOf("tavlo get", "unknown setting " + name + " (see tavlo get --list)");
    if (resolved->raised)
        throw *resolved->raised;
    if (resolved->present)
        out(resolved->value);
    if (showOrigin) {
        out("    from: " + resolved->origin);
        if (resolved->nativePath)
            out("    on this machine: " + *resolved->nativePath +
                (resolved->nativeExists ? " (exists)" : " (missing)"));
        for (const auto& report : resolved->reports)
            err("    reported: " + report);
    }
    return resolved->present ? kFound : kNotFound;
}

} // namespace tavlo::cli
