// What discovery did, step by step, for a caller that wants to tell it (the tool's "show"): the
// hooks asked, the associations followed, the catalogue's candidates and the rule that chose the
// key. Discovery fills one only when given one; without it, it neither records nor allocates.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavlo::appkey {

enum class HookResult {
    NotComposed, // the path's parts don't fit: no hook name was made
    NotLoaded,
    NoEntryPoint,
    Declined, // the entry point answered 0, or an empty key
    Answered,
};

// One product hook asked: the path it was asked beside, the name composed for it, and the file
// the loader mapped for that name (a search may find it far from where the name points).
struct HookAttempt {
    std::u16string besidePath;
    std::u16string composed;
    std::u16string loadedFrom;
    HookResult result = HookResult::NotComposed;
};

enum class AssociationResult {
    NoExtensionKey,
    NoProgId,
    ProgIdTooLong, // too long to name its command key within the association buffer
    NoCommandKey,
    NoCommand,
    Followed, // the open command was read; hostPath is what it names (possibly nothing)
};

struct AssociationAttempt {
    std::u16string extension;
    std::u16string progId;
    std::u16string command;
    std::u16string hostPath;
    AssociationResult result = AssociationResult::NoExtensionKey;
};

enum class Verdict {
    NotWizardMarked, // left out while only the wizard's registrations count
    NoMachineKey,
    NoLocation, // no REG_SZ location value short enough to read
    LocationMissing,
    SetAside, // installed, but another registration of the same location is the one kept
    Installed,
};

struct CandidateTrace {
    std::u16string key;          // the registration's name
    std::u16string locationName; // "Location" or "KoraLocation"
    std::u16string location;     // as read, without trailing backslashes
    bool userSettings = false;   // HKEY_CURRENT_USER\Software\<key> exists
    bool locationExists = false;
    Verdict verdict = Verdict::NoMachineKey;
    std::u16string keptInstead; // SetAside: the registration kept for the location
    bool chosen = false;
};

enum class Rule { None, HookLibrary, HookHost, Catalogue };

enum class Reason {
    NotRun,                  // discovery stopped before choosing (or didn't run)
    HookAnswered,            // a hook rule needs no other reason
    LibraryPathUnknown,      // none: nothing can be asked without the library's own path
    NoAssociation,           // none
    NoRegistration,          // none: the catalogue is missing, unreadable or empty
    NoneInstalled,           // none
    NoHostPath,              // none: several installed, nothing to choose by
    NoLocationInHostPath,    // none
    OnlyInstalled,           // catalogue
    FirstLocationInHostPath, // catalogue
};

struct DiscoveryTrace {
    std::optional<HookAttempt> libraryHook;
    std::vector<AssociationAttempt> associations;
    std::optional<HookAttempt> hostHook;
    bool catalogueRead = false;
    std::vector<CandidateTrace> candidates;
    Rule rule = Rule::None;
    Reason reason = Reason::NotRun;
    std::u16string key;                  // the key the rule chose; empty with Rule::None
    std::vector<std::u16string> reports; // the messages shown while discovering, as shown

    // Records the rule that ended discovery and the key it chose.
    void decide(Rule chosenBy, Reason why, const std::u16string& chosen) {
        rule = chosenBy;
        reason = why;
        key = chosen;
    }
    // The association whose open command was read, if any.
    const AssociationAttempt* followed() const;
    // The hook the rule took the key from, if it is a hook rule.
    const HookAttempt* answeringHook() const;
};

// The rule's short name: "none", "hook-library", "hook-host", "catalogue".
std::u16string_view ruleName(Rule rule);
// How the key was found ("the product hook ... (asked for beside the library)"), or "nothing".
std::u16string ruleText(const DiscoveryTrace& trace);
// Why the chosen candidate won, or why there is no key; empty for a hook rule.
std::u16string reasonText(const DiscoveryTrace& trace);
// "installed", or why the candidate was not taken.
std::u16string verdictText(const CandidateTrace& candidate);

} // namespace tavlo::appkey
