// Finding the host's app key: a product hook beside the library, the host executable named by
// the plot file associations and a hook beside it, then the registered-application catalogue.
#pragma once

#include "platform/registry.h"

#include <cstdint>
#include <string>

namespace tavlo::appkey {

struct DiscoveryTrace;
struct HookAttempt;
struct AssociationAttempt;

// The hook module's entry point, by the name its C++ compiler gave it.
inline constexpr const char* kHookEntryPoint = "?GetProductRegistryRootKey@@YAIPEA_WK@Z";
// What the hook is called with: the composition buffer (holding the hook's own path on entry)
// and its capacity in characters; non-zero when the buffer now holds the key.
using HookFn = std::uint32_t (*)(char16_t* buffer, std::uint32_t capacity);

// 0 when discovery ran to its end (the cache then usually holds a key), 1 when no host could
// be found. TAVLO_AppKey_Error from the catalogue passes through. Each step is told to trace
// when there is one.
std::int32_t LookupAppKey(DiscoveryTrace* trace = nullptr);
// Asks the userdata.dll beside path; true when the cache holds a key afterwards.
bool LoadProductRootKey(const std::u16string& path, HookAttempt* attempt = nullptr);
// The host executable from the open command of an extension key (closed before returning);
// false when no command could be read.
bool GetAssociatedExePath(std::u16string& out, platform::RegKey extensionKey,
                          AssociationAttempt* attempt = nullptr);
// The host executable path as an open command names it.
std::u16string exePathFromCommand(std::u16string command);

} // namespace tavlo::appkey
