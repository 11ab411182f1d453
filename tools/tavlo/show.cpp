// "tavlo show": what the library resolves for the host, and where each answer came from. How
// the app key was found is what discovery traced of itself; where each setting came from is
// told by the settings view.
#include "cli.h"
#include "failure.h"
#include "json.h"
#include "settings_view.h"
#include "watch.h"

#include "appkey/app_key.h"
#include "appkey/discovery_trace.h"
#include "frame/app.h"
#include "frame/state.h"
#include "platform/host.h"
#include "values/machine_strings.h"
#include "values/profile.h"

#include <algorithm>
#include <chrono>
#include <optional>

namespace tavlo::cli {

namespace {

using platform::toUtf8;

struct Candidate {
    std::u16string key;          // the registration's name
    std::u16string locationName; // "Location" or "KoraLocation"
    std::u16string location;
    std::u16string verdict; // why it was skipped, or "installed"
    bool installed = false;
    bool userKey = false;
    bool chosen = false;
};

struct Association {
    std::u16string extension;
    std::u16string progId;
    std::u16string command;
    std::u16string hostPath;
};

// What discovery told of itself, in the words the library gives it.
struct Story {
    std::u16string appKey;
    std::u16string source;    // hook-library, hook-host, catalogue, none
    std::u16string foundBy;   // how the key was found
    std::u16string hookPath;  // the file the hook was loaded from
    std::u16string hookAsked; // the name the library composed for it
    std::optional<Association> association;
    std::vector<Candidate> candidates;
    std::u16string reason; // why the chosen key won, or why there is none
    std::vector<std::u16string> reports;
};

Story tell(const appkey::DiscoveryTrace& trace, std::u16string appKey) {
    Story story;
    story.appKey = std::move(appKey);
    story.source = appkey::ruleName(trace.rule);
    story.foundBy = appkey::ruleText(trace);
    story.reason = appkey::reasonText(trace);
    if (const appkey::HookAttempt* hook = trace.answeringHook()) {
        story.hookAsked = hook->composed;
        story.hookPath = hook->loadedFrom.empty() ? hook->composed : hook->loadedFrom;
    }
    if (const appkey::AssociationAttempt* followed = trace.followed())
        story.association = Association{followed->extension, followed->progId, followed->command,
                                        followed->hostPath};
    for (const appkey::CandidateTrace& c : trace.candidates)
        story.candidates.push_back({c.key, c.locationName, c.location, appkey::verdictText(c),
                                    c.locationExists, c.userSettings, c.chosen});
    story.reports = trace.reports;
    return story;
}

Story resolve() {
    frame::ScopedState scope(platform::defaultServices());
    frame::LibraryState& s = scope.get();
    s.resourceModule = s.services.modules->loadResources(frame::kResourceModuleName);
    // Also when discovery raises: the state is the tool's, and so is the module.
    struct Restore {
        frame::LibraryState& s;
        ~Restore() {
            if (s.resourceModule)
                s.services.modules->free(s.resourceModule);
            s.resourceModule = nullptr;
        }
    } restore{s};
    // No handler is installed: the reports are kept in the trace instead of shown.
    appkey::DiscoveryTrace trace;
    std::u16string appKey = copyingFailures([&] { return appkey::GetAppKeyTraced(trace); });
    return tell(trace, std::move(appKey));
}

struct Settings {
    std::optional<bool> kora;
    std::u16string profileKey;
    std::vector<Resolved> values;
};

// The settings' values too, unless withValues is false.
Settings readSettings(const std::u16string& appKey, bool withValues = true) {
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
    if (!withValues)
        return settings;
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
        out("  found by:       " + toUtf8(story.foundBy));
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
            std::string line = "    " + toUtf8(c.key) + ": " + toUtf8(c.verdict);
            if (!c.location.empty())
                line += " (" + toUtf8(c.locationName) + " " + toUtf8(c.location) + ")";
            line += c.userKey ? ", user settings" : ", no user settings";
            if (c.chosen)
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

// The version of the object's shape, which tools/tavlo/show.schema.json describes and holds as
// its "version". The schema is closed: every change to the shape (a member added, removed or
// renamed, a type changed, a new source or setting name) changes the schema and raises this by
// one, so that a script can tell an object it was not written for. New values of the free texts
// (reasons, verdicts, origins, reports) change neither.
constexpr int kShowJsonVersion = 1;

void printJson(const Story& story, const Settings& settings) {
    Json j;
    j["version"] = kShowJsonVersion;
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

bool isSettingName(const std::string& name) {
    for (const auto& setting : settingNames())
        if (setting == name)
            return true;
    return false;
}

Answer settingAnswer(Resolved resolved, bool showOrigin) {
    Answer answer;
    answer.raised = std::move(resolved.raised);
    if (resolved.present)
        answer.value = std::move(resolved.value);
    if (showOrigin) {
        answer.origin.push_back("    from: " + resolved.origin);
        if (resolved.nativePath)
            answer.origin.push_back("    on this machine: " + *resolved.nativePath +
                                    (resolved.nativeExists ? " (exists)" : " (missing)"));
        answer.reports = std::move(resolved.reports);
    }
    return answer;
}

// app-key, is-corvida, current-profile-key: discovery's own answers.
Answer ownAnswer(const std::string& name, bool showOrigin, const Story& story) {
    Answer answer;
    if (name == "app-key") {
        if (!story.appKey.empty())
            answer.value = toUtf8(story.appKey);
        if (showOrigin)
            answer.origin.push_back(story.appKey.empty() ? "    why none: " + toUtf8(story.reason)
                                                         : "    from: " + toUtf8(story.foundBy));
        return answer;
    }
    const Settings settings = readSettings(story.appKey, false);
    if (name == "is-corvida") {
        if (settings.kora)
            answer.value = *settings.kora ? "1" : "0";
    } else if (!settings.profileKey.empty()) {
        answer.value = toUtf8(settings.profileKey);
    }
    return answer;
}

} // namespace

int showCommand(const Invocation& call) {
    const bool json = call.json;
    const bool showOrigin = call.showOrigin;
    const Story story = resolve();
    // The settings are read as a host reads them once the key is known.
    const Settings settings = story.appKey.empty() ? Settings{} : readSettings(story.appKey);
    if (json)
        printJson(story, settings);
    else
        printText(story, settings, showOrigin);
    return story.appKey.empty() ? kNotFound : kFound;
}

int getCommand(const Invocation& call) {
    if (call.list) {
        for (const char* own : {"app-key", "is-corvida", "current-profile-key"})
            out(own);
        for (const auto& setting : settingNames())
            out(setting);
        return kFound;
    }
    if (call.args.size() > 1)
        return usageOf("tavlo get", "unexpected argument " + call.args[1]);
    const std::string name = call.args.empty() ? std::string() : call.args.front();
    if (name.empty())
        return usageOf("tavlo get", "no setting named");
    const bool own = name == "app-key" || name == "current-profile-key" || name == "is-corvida";
    if (!own && !isSettingName(name))
        return usageOf("tavlo get", "unknown setting " + name + " (see tavlo get --list)");

    // Found once, the app key stays for the process, as the library keeps it for a host's;
    // until then every read looks for it again, as the library does.
    std::optional<Story> found;
    std::u16string appKey;
    const bool showOrigin = call.showOrigin;
    auto read = [&]() -> Answer {
        try {
            if (!own) {
                Resolved resolved = *resolveSetting(name, appKey);
                appKey = resolved.appKey;
                return settingAnswer(std::move(resolved), showOrigin);
            }
            const Story story = found ? *found : resolve();
            if (!story.appKey.empty())
                found = story;
            return ownAnswer(name, showOrigin, story);
        } catch (const LibraryFailure& failure) {
            return Answer{{}, {}, {}, failure};
        }
    };
    if (!call.watch)
        return printAnswer(read(), false);
    return watchAnswers(read, std::chrono::milliseconds(call.intervalMs));
}

} // namespace tavlo::cli
