// The host's app key: the registry key, relative to HKEY_LOCAL_MACHINE, below which the running
// host product keeps its settings. Found once per process and cached for its life.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tavlo::appkey {

struct DiscoveryTrace;

// The app key, or the empty string (an app key that can't be found is reported, message 57).
// name is accepted and not used.
std::u16string GetAppKey(const char16_t* name);
// GetAppKey(nullptr) telling trace what discovery did, when it runs, and the reports given.
std::u16string GetAppKeyTraced(DiscoveryTrace& trace);
// Makes sure the app key is known now: 0, or 1 after reporting why not. name is not used.
std::int32_t SetAppKey(const char16_t* name);
// SetAppKey with only the catalogue's wizard-marked registrations considered.
std::int32_t SetAppKeyFromPlotterWizardOnly(std::int32_t flag);
// Whether the host is the Corvida product: 0 with *isKora set, or 1 when no key can be found.
std::int32_t IsKORAApp(bool* isKora);

// The reading rule: runs discovery while the cache is empty. False when discovery failed (no
// app key is available); true otherwise, the cache possibly still empty.
bool ensureAppKey();
// A lower-case copy of key contains "\corvida\".
bool isKoraKey(std::u16string_view key);
// isKoraKey() of the cached app key.
bool hostIsKora();
// GetAppKey(nullptr) without a copy: the cached key, valid until the cache changes.
const std::u16string& currentAppKey();

} // namespace tavlo::appkey
