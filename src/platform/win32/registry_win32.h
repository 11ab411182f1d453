#pragma once

#include "platform/registry.h"

namespace tavlo::platform::win32 {

// Thin calls of the real registry API; every status and size is the API's own.
class Win32Registry final : public RegistryService {
public:
    Status openKey(Root root, const char16_t* subKey, KeyHandle* key) override;
    Status queryValue(KeyHandle key, const char16_t* name, std::uint32_t* type, std::uint8_t* data,
                      std::uint32_t* size) override;
    Status enumValue(KeyHandle key, std::uint32_t index, char16_t* name, std::uint32_t* nameCount,
                     std::uint32_t* type, std::uint8_t* data, std::uint32_t* dataSize) override;
    Status enumKey(KeyHandle key, std::uint32_t index, char16_t* name,
                   std::uint32_t* nameCount) override;
    void closeKey(KeyHandle key) override;
};

} // namespace tavlo::platform::win32
