// The catalogue of applications registered with the plotting subsystem, below
// HKEY_LOCAL_MACHINE\Software\Veltrane\Outprint: one value per application, named by its key
// below "Software\". Used when no product hook names the host.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tavlo::appkey {

struct DiscoveryTrace;

inline constexpr const char16_t* kCatalogueKey = u"Software\\Veltrane\\Outprint";

// One installed application.
struct AppInfo {
    std::u16string key;         // the registration's name, as enumerated
    std::u16string productName; // "ProductName", or empty
    std::u16string language;    // "Language", or empty
    std::u16string location;    // without trailing backslashes; existed when the record was made
    std::u16string locationKey; // location lower-cased, as records are merged and selected by it
    bool hasUserKey = false;    // HKEY_CURRENT_USER\Software\<key> could be opened
};

// The installed applications in the order the selection considers them; owns its records.
// No two records have locations equal without regard to case.
class CInSelArray {
public:
    std::vector<std::unique_ptr<AppInfo>> records;
};

// The registered names in enumeration order.
using CStringArray = std::vector<std::u16string>;

// With a trace, each registration becomes a candidate with its verdict, and the rule and reason
// that end discovery are recorded.
std::int32_t SelectAppKey(const std::u16string& hostPath, DiscoveryTrace* trace = nullptr);
std::int32_t GetOPAppsRegKeys(CStringArray& keys, DiscoveryTrace* trace = nullptr);
std::int32_t GetOPAppsInfo(const CStringArray& keys, CInSelArray& apps,
                           DiscoveryTrace* trace = nullptr);
bool AddAppInfo(CInSelArray& apps, std::unique_ptr<AppInfo> record);
std::int32_t SelectAppKeyByLocation(const CStringArray& keys, std::u16string hostPath);

} // namespace tavlo::appkey
