// UTF-8 <-> UTF-16 at the edges of the library: Linux, program arguments and output speak bytes,
// the core speaks UTF-16. Nothing here throws on bad input: what can't be decoded becomes U+FFFD,
// so a stray byte in a file name still lists as a name instead of hiding the entry.
#pragma once

#include <string>
#include <string_view>

namespace tavlo::platform {

// Unpaired surrogates become U+FFFD.
std::string toUtf8(std::u16string_view text);

// Invalid, overlong or truncated sequences and encoded surrogates become U+FFFD (one per
// maximal invalid subpart, as the Unicode standard recommends).
std::u16string fromUtf8(std::string_view text);

} // namespace tavlo::platform
