// Which kind of registry file a text is, told from its first bytes: a byte order mark and the
// header line.
#pragma once

#include <cstddef>
#include <string_view>

namespace tavlo::platform::portable {

enum class RegFileFormat { Unknown, Regedit5, Regedit4, Wine };

// Tells the format from the file's first bytes (BOM and header line).
RegFileFormat detectRegFileFormat(std::string_view bytes);

namespace reg_load {

enum class Encoding { Bytes, Utf16le };

struct Detected {
    RegFileFormat format = RegFileFormat::Unknown;
    Encoding encoding = Encoding::Bytes;
    std::size_t textStart = 0; // past the byte order mark
};

// The format, the encoding and where the text starts.
Detected detect(std::string_view bytes);

} // namespace reg_load
} // namespace tavlo::platform::portable
