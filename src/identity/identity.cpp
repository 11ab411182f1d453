#include "identity/identity.h"

#include "appkey/app_key.h"
#include "frame/errors.h"
#include "frame/strings.h"
#include "registry/machine_strings.h"

namespace tavlo::identity {

namespace {

// A machine-wide string whose failure the user is told about once, then the empty string.
std::u16string reportedMachineString(const char16_t* name, std::uint32_t initialSize) {
    std::u16string value;
    if (const frame::Failure failure = registry::readMachineString(value, name, initialSize)) {
        frame::ReportError(failure.error);
        return {};
    }
    return value;
}

// Drops everything up to and including the first backslash; false when there is none or it is
// the last character.
bool dropFirstComponent(std::u16string& text) {
    const std::size_t cut = text.find(u'\\');
    if (cut == std::u16string::npos || cut + 1 == text.size())
        return false;
    text.erase(0, cut + 1);
    return true;
}

// The first component of text, when a backslash follows it and it isn't empty.
std::u16string leadingComponent(const std::u16string& text) {
    const std::size_t cut = text.find(u'\\');
    if (cut == std::u16string::npos || cut == 0)
        return {};
    return text.substr(0, cut);
}

} // namespace

std::u16string GetAppDirectory() {
    // Nothing is reported when no key can be found: callers that need that reported establish
    // the key first.
    if (!appkey::ensureAppKey())
        return {};
    const char16_t* name = appkey::hostIsKora() ? u"KoraLocation" : u"Location";
    std::u16string directory = reportedMachineString(name, 260);
    frame::dropTrailingBackslashes(directory);
    return directory;
}

std::u16string GetLanguage() {
    return reportedMachineString(u"Language", 512);
}

std::u16string GetProductName() {
    return reportedMachineString(u"ProductName", 512);
}

std::u16string GetProgramName() {
    const std::u16string key = appkey::GetAppKey(nullptr);
    const std::size_t cut = key.rfind(u'\\');
    if (key.empty() || cut == std::u16string::npos || cut + 1 == key.size())
        return {};
    const std::u16string last = key.substr(cut + 1);
    const std::size_t hyphen = last.find(u'-');
    if (hyphen == std::u16string::npos || hyphen == 0)
        return {};
    return last.substr(0, hyphen);
}

std::u16string GetCompanyName() {
    std::u16string rest = appkey::GetAppKey(nullptr);
    if (rest.empty() || !dropFirstComponent(rest))
        return {};
    return leadingComponent(rest);
}

std::u16string GetProductBaseName() {
    std::u16string rest = appkey::GetAppKey(nullptr);
    if (rest.empty() || !dropFirstComponent(rest) || !dropFirstComponent(rest))
        return {};
    return leadingComponent(rest);
}

} // namespace tavlo::identity
