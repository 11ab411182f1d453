// The string read every registry reader of the library shares: a first read at a size the
// caller chooses, and one more at the size the registry reports when the first was too small.
#pragma once

#include "platform/registry.h"

#include <cstdint>
#include <string>

namespace tavlo::registry {

struct ReadResult {
    platform::Status status = platform::status::success;
    std::uint32_t type = 0;
    std::uint32_t size = 0; // bytes read, or needed after ERROR_MORE_DATA
};

// Reads value name of key into out, starting with room for initialUnits characters. out keeps
// what the reads leave in it: its former text (cut to the room given) where nothing was
// written, else the data read as text, in both cases up to the first null character.
ReadResult readStringValue(const platform::RegKey& key, const char16_t* name, std::u16string& out,
                           std::uint32_t initialUnits);

// Reads a 32-bit number straight into out, offering 4 bytes.
ReadResult readDwordValue(const platform::RegKey& key, const char16_t* name, std::uint32_t& out);

// One read into a fixed buffer of bytes / 2 characters; the text up to the first null (all of
// it when there is none).
ReadResult readFixed(const platform::RegKey& key, const char16_t* name, std::uint32_t bytes,
                     std::u16string& out);
// readFixed appending the text to out.
ReadResult appendFixed(const platform::RegKey& key, const char16_t* name, std::uint32_t bytes,
                       std::u16string& out);

} // namespace tavlo::registry
