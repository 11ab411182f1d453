#include "appkey/catalogue.h"

#include "appkey/app_key.h"
#include "appkey/discovery_trace.h"
#include "frame/errors.h"
#include "frame/strings.h"
#include "registry/value_read.h"

#include <algorithm>
#include <array>
#include <unordered_map>

namespace tavlo::appkey {

namespace {

using frame::dropTrailingBackslashes;
using frame::lowered;
using platform::Root;
namespace status = platform::status;

constexpr std::uint32_t kNameUnits = 512;
constexpr std::uint32_t kDataBytes = 1024;
// The wizard marks its registrations with this number in their data's first two bytes.
constexpr unsigned kWizardMark = 9;

frame::LibraryState& lib() {
    return frame::state();
}

[[noreturn]] void noAppKey(std::u16string_view operation) {
    frame::raise<TAVLO_AppKey_Error>(operation, frame::message::appKey, u"");
}

// A REG_SZ value of at most 511 characters read into 1024 bytes; false otherwise.
bool readShortString(const platform::RegKey& key, const char16_t* name, std::u16string& out) {
    const registry::ReadResult read = registry::readFixed(key, name, kDataBytes, out);
    return read.status == status::success && read.type == platform::regtype::sz &&
           out.size() < kDataBytes / 2;
}

void storeKey(const std::u16string& key) {
    lib().appKeyCache = lib().keyPrefix + key;
}

// The records by lower-cased location, so that merging a catalogue of many applications doesn't
// compare every location with every other.
using LocationIndex = std::unordered_map<std::u16string_view, const AppInfo*>;

bool addRecord(CInSelArray& apps, LocationIndex& index, std::unique_ptr<AppInfo> record) {
    record->locationKey = lowered(record->location);
    if (const auto kept = index.find(record->locationKey); kept != index.end()) {
        // A location's first record stays, unless only the new one has the user's key.
        if (kept->second->hasUserKey || !record->hasUserKey)
            return false;
        const AppInfo* replaced = kept->second;
        index.erase(kept);
        std::erase_if(apps.records, [&](const auto& other) { return other.get() == replaced; });
    }
    index.emplace(record->locationKey, record.get());
    apps.records.push_back(std::move(record));
    return true;
}

// The record whose location the host path holds, stored as the key; null when there is none.
const AppInfo* selectByLocation(const CInSelArray& apps, std::u16string hostPath) {
    hostPath = lowered(std::move(hostPath));
    dropTrailingBackslashes(hostPath);
    for (const auto& record : apps.records) {
        std::u16string_view location = record->locationKey;
        while (!location.empty() && location.back() == u'\\')
            location.remove_suffix(1);
        if (hostPath.find(location) != std::u16string::npos) {
            storeKey(record->key);
            return record.get();
        }
    }
    return nullptr;
}

// The candidate of a registration: candidates are made in enumeration order and the names
// considered later are a subsequence of it, so a cursor finds each without a search.
CandidateTrace& candidateOf(DiscoveryTrace& trace, std::size_t& cursor,
                            const std::u16string& name) {
    while (cursor < trace.candidates.size() && trace.candidates[cursor].key != name)
        ++cursor;
    if (cursor == trace.candidates.size())
        trace.candidates.emplace_back().key = name;
    return trace.candidates[cursor++];
}

// The verdicts of the installed candidates once records of one location are merged.
void traceMerge(DiscoveryTrace& trace, const CInSelArray& apps) {
    std::unordered_map<std::u16string, const AppInfo*> kept;
    for (const auto& record : apps.records)
        kept.emplace(record->locationKey, record.get());
    for (CandidateTrace& candidate : trace.candidates) {
        if (!candidate.locationExists || candidate.verdict == Verdict::NotWizardMarked)
            continue;
        const auto found = kept.find(lowered(candidate.location));
        if (found == kept.end() || found->second->key == candidate.key) {
            candidate.verdict = Verdict::Installed;
        } else {
            candidate.verdict = Verdict::SetAside;
            candidate.keptInstead = found->second->key;
        }
    }
}

void decideFor(DiscoveryTrace* trace, const AppInfo* chosen, Reason reason) {
    if (!trace)
        return;
    trace->decide(chosen ? Rule::Catalogue : Rule::None, reason, chosen ? lib().appKeyCache : u"");
    if (chosen)
        for (CandidateTrace& candidate : trace->candidates)
            candidate.chosen = candidate.key == chosen->key;
}

} // namespace

std::int32_t SelectAppKey(const std::u16string& hostPath, DiscoveryTrace* trace) {
    CStringArray keys;
    GetOPAppsRegKeys(keys, trace);
    CInSelArray apps;
    GetOPAppsInfo(keys, apps, trace);
    if (apps.records.size() == 1) {
        storeKey(apps.records.front()->key);
        decideFor(trace, apps.records.front().get(), Reason::OnlyInstalled);
    } else if (hostPath.empty()) {
        decideFor(trace, nullptr, Reason::NoHostPath);
    } else {
        const AppInfo* chosen = selectByLocation(apps, hostPath);
        decideFor(trace, chosen,
                  chosen ? Reason::FirstLocationInHostPath : Reason::NoLocationInHostPath);
    }
    return 0;
}

std::int32_t GetOPAppsRegKeys(CStringArray& keys, DiscoveryTrace* trace) {
    constexpr std::u16string_view operation = u"GetOPAppsRegKeys";
    keys.clear();
    if (trace) {
        trace->catalogueRead = true;
        // Until the catalogue is read, there is nothing registered to choose from.
        trace->decide(Rule::None, Reason::NoRegistration, u"");
    }
    platform::RegKey catalogue;
    if (catalogue.open(*lib().services.registry, Root::LocalMachine, kCatalogueKey) !=
        status::success)
        noAppKey(operation);
    std::array<char16_t, kNameUnits> name{};
    std::array<std::uint8_t, kDataBytes> data{};
    for (std::uint32_t index = 0;; ++index) {
        std::uint32_t nameCount = kNameUnits;
        std::uint32_t dataSize = kDataBytes;
        const platform::Status result =
            catalogue.enumerate(index, name.data(), &nameCount, nullptr, data.data(), &dataSize);
        if (result == status::no_more_items)
            break;
        if (result != status::success) {
            catalogue.close();
            noAppKey(operation);
        }
        // Data shorter than the two bytes of the mark carries no mark.
        const bool marked = dataSize >= 2 && (data[0] | (data[1] << 8)) == kWizardMark;
        const bool considered = lib().wizardOnly == 0 || marked;
        if (considered)
            keys.emplace_back(name.data(), nameCount);
        if (trace) {
            CandidateTrace& candidate = trace->candidates.emplace_back();
            candidate.key.assign(name.data(), nameCount);
            if (!considered)
                candidate.verdict = Verdict::NotWizardMarked;
        }
    }
    return 0;
}

std::int32_t GetOPAppsInfo(const CStringArray& keys, CInSelArray& apps, DiscoveryTrace* trace) {
    apps.records.clear();
    std::size_t cursor = 0;
    platform::RegistryService& registry = *lib().services.registry;
    // The records are read first and their locations tested together: they mostly share a
    // folder, which the file service then lists once instead of looking up each location.
    std::vector<std::unique_ptr<AppInfo>> read;
    std::u16string keyPath;
    for (const std::u16string& name : keys) {
        keyPath.assign(u"Software\\");
        keyPath += name;
        platform::RegKey userKey;
        const bool hasUserKey =
            userKey.open(registry, Root::CurrentUser, keyPath.c_str()) == status::success;
        userKey.close();
        CandidateTrace* candidate = nullptr;
        if (trace) {
            candidate = &candidateOf(*trace, cursor, name);
            candidate->userSettings = hasUserKey;
        }

        platform::RegKey key;
        if (key.open(registry, Root::LocalMachine, keyPath.c_str()) != status::success)
            continue;
        const char16_t* locationName = isKoraKey(keyPath) ? u"KoraLocation" : u"Location";
        if (candidate)
            candidate->locationName = locationName;
        std::u16string location;
        if (!readShortString(key, locationName, location)) {
            if (candidate)
                candidate->verdict = Verdict::NoLocation;
            continue;
        }
        dropTrailingBackslashes(location);
        if (candidate) {
            candidate->location = location;
            candidate->verdict = Verdict::LocationMissing;
        }
        if (location.empty())
            continue;
        auto record = std::make_unique<AppInfo>();
        if (!readShortString(key, u"Language", record->language))
            record->language.clear();
        if (!readShortString(key, u"ProductName", record->productName))
            record->productName.clear();
        record->key = name;
        record->location = std::move(location);
        record->hasUserKey = hasUserKey;
        read.push_back(std::move(record));
    }
    std::vector<std::u16string_view> locations;
    locations.reserve(read.size());
    for (const auto& record : read)
        locations.push_back(record->location);
    const std::vector<bool> installed = lib().services.files->existAll(locations);
    if (trace) {
        cursor = 0;
        for (std::size_t i = 0; i < read.size(); ++i)
            candidateOf(*trace, cursor, read[i]->key).locationExists = installed[i];
    }
    LocationIndex index;
    for (std::size_t i = 0; i < read.size(); ++i)
        if (installed[i])
            addRecord(apps, index, std::move(read[i]));
    if (trace)
        traceMerge(*trace, apps);
    if (apps.records.empty()) {
        if (trace)
            trace->decide(Rule::None, keys.empty() ? Reason::NoRegistration : Reason::NoneInstalled,
                          u"");
        noAppKey(u"GetOPAppsInfo");
    }
    return 0;
}

bool AddAppInfo(CInSelArray& apps, std::unique_ptr<AppInfo> record) {
    LocationIndex index;
    for (const auto& kept : apps.records) {
        kept->locationKey = lowered(kept->location);
        index.emplace(kept->locationKey, kept.get());
    }
    return addRecord(apps, index, std::move(record));
}

std::int32_t SelectAppKeyByLocation(const CStringArray& keys, std::u16string hostPath) {
    if (hostPath.empty())
        return 1;
    CInSelArray apps;
    GetOPAppsInfo(keys, apps);
    return selectByLocation(apps, std::move(hostPath)) ? 0 : 1;
}

} // namespace tavlo::appkey
