#include "appkey/app_key.h"

#include "appkey/discovery.h"
#include "frame/errors.h"

namespace tavlo::appkey {

namespace {

constexpr std::u16string_view kOperation = u"GetAppKey";

// Steps shared by GetAppKey and SetAppKey: the key, or the error that says why there is none.
std::u16string knownAppKey() {
    frame::LibraryState& s = frame::state();
    if (s.appKeyCache.empty() && LookupAppKey() != 0)
        frame::raise<TAVLO_AppKey_Error>(kOperation, frame::message::appKey, u"");
    return s.appKeyCache;
}

} // namespace

bool ensureAppKey() {
    return !frame::state().appKeyCache.empty() || LookupAppKey() == 0;
}

bool isKoraKey(std::u16string_view key) {
    std::u16string lower(key);
    frame::state().services.text->toLower(lower);
    return lower.find(u"\\corvida\\") != std::u16string::npos;
}

std::u16string GetAppKey(const char16_t* name) {
    std::u16string result;
    if (name) {
        // Accepted for the callers' sake; a caller can't choose the key.
        const std::u16string unused(name);
        (void)unused;
    }
    try {
        result = knownAppKey();
    } catch (TAVLO_AppKey_Error error) {
        frame::ReportError(error);
    }
    return result;
}

std::int32_t SetAppKey(const char16_t* name) {
    (void)name;
    std::int32_t result = 1;
    try {
        knownAppKey();
        result = 0;
    } catch (TAVLO_AppKey_Error error) {
        frame::ReportError(error);
    }
    return result;
}

std::int32_t SetAppKeyFromPlotterWizardOnly(std::int32_t flag) {
    frame::LibraryState& s = frame::state();
    s.wizardOnly = flag;
    struct Clear {
        frame::LibraryState& s;
        ~Clear() { s.wizardOnly = 0; }
    } clear{s};
    return SetAppKey(nullptr);
}

std::int32_t IsKORAApp(bool* isKora) {
    frame::LibraryState& s = frame::state();
    if (s.appKeyCache.empty()) {
        if (const std::int32_t result = LookupAppKey(); result != 0)
            return result;
    }
    if (isKora)
        *isKora = isKoraKey(s.appKeyCache);
    return 0;
}

} // namespace tavlo::appkey
