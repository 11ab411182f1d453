#include "identity/identity.h"

#include "appkey/app_key.h"
#include "frame/errors.h"
#include "frame/strings.h"
#include "values/machine_strings.h"
#include "values/setting_rows.h"

namespace tavlo::identity {

namespace {

// The row's machine-wide string (under its name for a host that is or isn't the Corvida product)
// written into out, whose failure the user is told about once; out is
// then empty.
void readReportedMachineString(std::u16string& out, const registry::SettingRow& row,
                               bool kora = false) {
    out.clear();
    if (const frame::Failure failure =
            registry::readMachineString(out, row.nameFor(kora), row.room)) {
        out.clear();
        frame::ReportError(failure.error);
    }
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

void GetAppDirectory(std::u16string& out) {
    // Nothing is reported when no key can be found: callers that need that reported establish
    // the key first.
    if (!appkey::ensureAppKey()) {
        out.clear();
        return;
    }
    readReportedMachineString(out, registry::rows::appDirectory, appkey::hostIsKora());
    frame::dropTrailingBackslashes(out);
}

void GetLanguage(std::u16string& out) {
    readReportedMachineString(out, registry::rows::language);
}

void GetProductName(std::u16string& out) {
    readReportedMachineString(out, registry::rows::productName);
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
