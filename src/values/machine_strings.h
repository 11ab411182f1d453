// Machine-wide string values below the host's app key.
#pragma once

#include "frame/errors.h"
#include "tavlo/tavlo.h"

#include <cstdint>
#include <string>

namespace tavlo::registry {

// Reads value name (null: the default value) of HKEY_LOCAL_MACHINE\<app key> as REG_SZ.
// Returns 0; raises TAVLO_Key_Error or TAVLO_Entry_Error (message 55) on failure.
TavloRetVal GetHKeyLocalMachineString(std::u16string& out, const char16_t* name,
                                      std::uint32_t initialSize);
// The same read, handing back what it would raise.
frame::Failure readMachineString(std::u16string& out, const char16_t* name,
                                 std::uint32_t initialSize);

} // namespace tavlo::registry
