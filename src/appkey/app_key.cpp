#include "appkey/app_key.h"

#include "appkey/discovery.h"
#include "appkey/discovery_trace.h"
#include "frame/errors.h"

#include <cstring>

namespace tavlo::appkey {

namespace {

constexpr std::u16string_view kOperation = u"GetAppKey";

// Steps shared by GetAppKey and SetAppKey: the key, or the error that says why there is none.
const std::u16string& knownAppKey(DiscoveryTrace* trace = nullptr) {
    frame::LibraryState& s = frame::state();
    if (s.appKeyCache.empty() && LookupAppKey(trace) != 0)
        frame::raise<TAVLO_AppKey_Error>(kOperation, frame::message::appKey, u"");
    return s.appKeyCache;
}

} // namespace

bool ensureAppKey() {
    return !frame::state().appKeyCache.empty() || LookupAppKey() == 0;
}

bool isKoraKey(std::u16string_view key) {
    // Lower-casing turns nothing else into a backslash, so only a key with two backslashes
    // eight apart can hold the name: most keys are told apart without being lower-cased.
    constexpr std::size_t kSpan = 8;
    bool possible = false;
    for (std::size_t i = 0; i + kSpan < key.size() && !possible; ++i)
        possible = key[i] == u'\\' && key[i + kSpan] == u'\\';
    if (!possible)
        return false;
    std::u16string lower(key);
    frame::state().services.text->toLower(lower);
    return lower.find(u"\\corvida\\") != std::u16string::npos;
}

bool hostIsKora() {
    frame::LibraryState& s = frame::state();
    // Most settings ask, and the key rarely changes: the answer is kept for the key (and the
    // case mapping) it was found with.
    frame::LibraryState::KoraAnswer& kept = s.koraAnswer;
    const std::u16string& key = s.appKeyCache;
    if (!kept.text || kept.text != s.services.text || kept.key.size() != key.size() ||
        std::memcmp(kept.key.data(), key.data(), key.size() * sizeof(char16_t)) != 0) {
        kept.isKora = isKoraKey(key);
        kept.key = key;
        kept.text = s.services.text;
    }
    return kept.isKora;
}

namespace {

const std::u16string& keyOrReport(DiscoveryTrace* trace) {
    static const std::u16string none;
    try {
        return knownAppKey(trace);
    } catch (TAVLO_AppKey_Error error) {
        frame::ReportError(error, trace ? &trace->reports.emplace_back() : nullptr);
    }
    return none;
}

} // namespace

const std::u16string& currentAppKey() {
    return keyOrReport(nullptr);
}

std::u16string GetAppKeyTraced(DiscoveryTrace& trace) {
    return keyOrReport(&trace);
}

std::u16string GetAppKey(const char16_t* name) {
    if (name) {
        // Accepted for the callers' sake; a caller can't choose the key.
        const std::u16string unused(name);
        (void)unused;
    }
    return currentAppKey();
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
        *isKora = hostIsKora();
    return 0;
}

} // namespace tavlo::appkey
