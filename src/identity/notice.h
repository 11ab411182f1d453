// Back-door drivers: drivers registered below HKEY_LOCAL_MACHINE\Software\Veltrane\CSP, each
// value naming a fragment of driver names and the module holding its notice (string 1).
#pragma once

#include <cstdint>
#include <string>

namespace tavlo::identity {

// True when a registration matches driverName (its fragment occurs in it, ignoring case) and
// its data could be read; notice then holds the notice with the product name inserted. After
// false, notice is left as it was.
bool IsBackDoorDriverAvailable(const char16_t* driverName, std::u16string& notice);

} // namespace tavlo::identity
