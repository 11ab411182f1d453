// The host product's identity: where it is installed, its language and names.
#pragma once

#include <string>

namespace tavlo::identity {

// "KoraLocation" (Corvida) or "Location" below the app key, without trailing backslashes; a
// value that can't be read is reported (55) and gives the empty string.
std::u16string GetAppDirectory();
// "Language" / "ProductName" below the app key, as stored; reported and empty when unreadable.
std::u16string GetLanguage();
std::u16string GetProductName();
// Taken from the app key's components: the last one's text before its hyphen, the second, and
// the third component. Empty when the key lacks the part asked for.
std::u16string GetProgramName();
std::u16string GetCompanyName();
std::u16string GetProductBaseName();

} // namespace tavlo::identity
