// The host product's identity: where it is installed, its language and names.
#pragma once

#include <string>

namespace tavlo::identity {

// Each writes its answer into out, replacing all that out held (frame::written gives it as a
// value).
// The application directory below the app key (its value name by host), without trailing
// backslashes; a value that can't be read is reported (55) and gives the empty string.
void GetAppDirectory(std::u16string& out);
// The language and the product name below the app key, as stored; reported and empty when
// unreadable.
void GetLanguage(std::u16string& out);
void GetProductName(std::u16string& out);
// Taken from the app key's components: the last one's text before its hyphen, the second, and
// the third component. Empty when the key lacks the part asked for.
std::u16string GetProgramName();
std::u16string GetCompanyName();
std::u16string GetProductBaseName();

} // namespace tavlo::identity
