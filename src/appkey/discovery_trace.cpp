#include "appkey/discovery_trace.h"

#include "appkey/catalogue.h"

namespace tavlo::appkey {

const AssociationAttempt* DiscoveryTrace::followed() const {
    for (const AssociationAttempt& attempt : associations)
        if (attempt.result == AssociationResult::Followed)
            return &attempt;
    return nullptr;
}

const HookAttempt* DiscoveryTrace::answeringHook() const {
    if (rule == Rule::HookLibrary && libraryHook)
        return &*libraryHook;
    if (rule == Rule::HookHost && hostHook)
        return &*hostHook;
    return nullptr;
}

std::u16string_view ruleName(Rule rule) {
    switch (rule) {
    case Rule::HookLibrary:
        return u"hook-library";
    case Rule::HookHost:
        return u"hook-host";
    case Rule::Catalogue:
        return u"catalogue";
    case Rule::None:
        break;
    }
    return u"none";
}

std::u16string ruleText(const DiscoveryTrace& trace) {
    const HookAttempt* hook = trace.answeringHook();
    // The loader's own name for the file, when it gave one.
    const std::u16string hookFile =
        hook ? (hook->loadedFrom.empty() ? hook->composed : hook->loadedFrom) : u"";
    switch (trace.rule) {
    case Rule::HookLibrary:
        return u"the product hook " + hookFile + u" (asked for beside the library)";
    case Rule::HookHost:
        return u"the product hook " + hookFile + u" (asked for beside the host executable, as " +
               (hook ? hook->composed : u"") + u")";
    case Rule::Catalogue:
        return u"the catalogue HKEY_LOCAL_MACHINE\\" + std::u16string(kCatalogueKey);
    case Rule::None:
        break;
    }
    return u"nothing";
}

std::u16string reasonText(const DiscoveryTrace& trace) {
    switch (trace.reason) {
    case Reason::NotRun:
        return u"discovery stopped before it chose a key";
    case Reason::HookAnswered:
        return u"";
    case Reason::LibraryPathUnknown:
        return u"the library's own file name could not be had, so neither a product hook nor a "
               u"file type was asked";
    case Reason::NoAssociation:
        return u"none of the file types .pc3, .stb and .ctb has an open command below "
               u"HKEY_CLASSES_ROOT, and no product hook (userdata.dll) beside the library "
               u"answered";
    case Reason::NoRegistration:
        return u"no application is registered below HKEY_LOCAL_MACHINE\\" +
               std::u16string(kCatalogueKey);
    case Reason::NoneInstalled:
        return u"none of the registered applications is installed";
    case Reason::NoHostPath:
        return u"several applications are installed, and the open command names no host "
               u"executable to choose between them";
    case Reason::NoLocationInHostPath:
        return u"several applications are installed, and none of their locations occurs in the "
               u"host executable's path";
    case Reason::OnlyInstalled:
        return u"the only installed application";
    case Reason::FirstLocationInHostPath:
        return u"the first installed application whose location occurs in the host executable's "
               u"path";
    }
    return u"";
}

std::u16string verdictText(const CandidateTrace& candidate) {
    switch (candidate.verdict) {
    case Verdict::NotWizardMarked:
        return u"not considered: not registered by the plotter wizard";
    case Verdict::NoMachineKey:
        return u"not installed: HKEY_LOCAL_MACHINE\\Software\\" + candidate.key + u" is missing";
    case Verdict::NoLocation:
        return u"not installed: no readable REG_SZ value \"" + candidate.locationName + u"\"";
    case Verdict::LocationMissing:
        return u"not installed: the location doesn't exist";
    case Verdict::SetAside:
        return u"installed, set aside: " + candidate.keptInstead +
               u" is kept for the same location";
    case Verdict::Installed:
        break;
    }
    return u"installed";
}

} // namespace tavlo::appkey
