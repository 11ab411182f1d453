#include "appkey/catalogue.h"

#include "appkey/app_key.h"
#include "frame/errors.h"
#include "frame/strings.h"
#include "registry/value_read.h"

#include <array>

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

bool equalIgnoringCase(const std::u16string& a, const std::u16string& b) {
    return a.size() == b.size() && lowered(a) == lowered(b);
}

void storeKey(const std::u16string& key) {
    lib().appKeyCache = lib().keyPrefix + key;
}

} // namespace

std::int32_t SelectAppKey(const std::u16string& hostPath) {
    CStringArray keys;
    GetOPAppsRegKeys(keys);
    CInSelArray apps;
    GetOPAppsInfo(keys, apps);
    if (apps.records.size() == 1)
        storeKey(apps.records.front()->key);
    else
        SelectAppKeyByLocation(keys, hostPath);
    return 0;
}

std::int32_t GetOPAppsRegKeys(CStringArray& keys) {
    constexpr std::u16string_view operation = u"GetOPAppsRegKeys";
    keys.clear();
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
        if (lib().wizardOnly == 0 || marked)
            keys.emplace_back(name.data(), nameCount);
    }
    return 0;
}

std::int32_t GetOPAppsInfo(const CStringArray& keys, CInSelArray& apps) {
    apps.records.clear();
    platform::RegistryService& registry = *lib().services.registry;
    for (const std::u16string& name : keys) {
        const std::u16string keyPath = u"Software\\" + name;
        platform::RegKey userKey;
        const bool hasUserKey =
            userKey.open(registry, Root::CurrentUser, keyPath.c_str()) == status::success;
        userKey.close();

        platform::RegKey key;
        if (key.open(registry, Root::LocalMachine, keyPath.c_str()) != status::success)
            continue;
        const char16_t* locationName = isKoraKey(keyPath) ? u"KoraLocation" : u"Location";
        std::u16string location;
        if (!readShortString(key, locationName, location))
            continue;
        dropTrailingBackslashes(location);
        if (location.empty() || !lib().services.files->exists(location.c_str()))
            continue;
        auto record = std::make_unique<AppInfo>();
        if (!readShortString(key, u"Language", record->language))
            record->language.clear();
        if (!readShortString(key, u"ProductName", record->productName))
            record->productName.clear();
        record->key = name;
        record->location = std::move(location);
        record->hasUserKey = hasUserKey;
        AddAppInfo(apps, std::move(record));
    }
    if (apps.records.empty())
        noAppKey(u"GetOPAppsInfo");
    return 0;
}

bool AddAppInfo(CInSelArray& apps, std::unique_ptr<AppInfo> record) {
    auto& records = apps.records;
    for (auto it = records.begin(); it != records.end();) {
        if (!equalIgnoringCase((*it)->location, record->location)) {
            ++it;
            continue;
        }
        if (!(*it)->hasUserKey && record->hasUserKey) {
            it = records.erase(it);
            continue;
        }
        return false;
    }
    records.push_back(std::move(record));
    return true;
}

std::int32_t SelectAppKeyByLocation(const CStringArray& keys, std::u16string hostPath) {
    if (hostPath.empty())
        return 1;
    hostPath = lowered(std::move(hostPath));
    dropTrailingBackslashes(hostPath);
    CInSelArray apps;
    GetOPAppsInfo(keys, apps);
    for (const auto& record : apps.records) {
        std::u16string location = lowered(record->location);
        dropTrailingBackslashes(location);
        if (hostPath.find(location) != std::u16string::npos) {
            storeKey(record->key);
            return 0;
        }
    }
    return 1;
}

} // namespace tavlo::appkey
