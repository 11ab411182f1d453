#include "values/profile.h"

#include "appkey/app_key.h"
#include "registry/reg_path.h"
#include "registry/value_read.h"

namespace tavlo::registry {

namespace {

using platform::Root;
namespace status = platform::status;
namespace regtype = platform::regtype;

// The profile name is read into 1024 bytes: at most 511 characters and the terminator.
constexpr std::uint32_t kProfileNameBytes = 1024;

platform::RegistryService& registry() {
    return *frame::state().services.registry;
}

void join(std::u16string& base, const char16_t* relative) {
    const std::u16string_view rest(relative ? relative : u"");
    if (rest.empty() || rest.front() != u'\\')
        base += u'\\';
    base += rest;
}

using Kind = frame::Failure::Kind;

frame::Failure failure(Kind kind, std::u16string_view operation, std::u16string_view key,
                       const char16_t* name = nullptr) {
    return regPathFailure(kind, operation, frame::message::profileValue, Root::CurrentUser, key,
                          name);
}

frame::Failure readDword(const std::u16string& keyPath, std::u16string_view operation,
                         const char16_t* name, std::uint32_t& out) {
    platform::RegKey key;
    if (key.open(registry(), Root::CurrentUser, keyPath.c_str()) != status::success)
        return failure(Kind::Key, operation, keyPath);
    const ReadResult read = readDwordValue(key, name, out);
    key.close();
    if (read.status != status::success || read.type != regtype::dword)
        return failure(Kind::Entry, operation, keyPath, name);
    return {};
}

} // namespace

frame::Failure activeProfileKey(std::u16string& result) {
    constexpr std::u16string_view operation = u"GetActiveProfileKey";
    const std::u16string& appKey = appkey::currentAppKey();
    result.clear();
    // Room for a profile and a section below it, so that the paths are built in place.
    result.reserve(appKey.size() + 128);
    result += appKey;
    result += u"\\Profiles";
    platform::RegKey key;
    if (key.open(registry(), Root::CurrentUser, result.c_str()) != status::success)
        return failure(Kind::Key, operation, result);
    const std::size_t profiles = result.size();
    result += u'\\';
    const ReadResult read = appendFixed(key, nullptr, kProfileNameBytes, result);
    key.close();
    // A missing, too long or wrongly typed name is the profiles key's failure.
    if (read.status != status::success || read.type != regtype::sz) {
        result.resize(profiles);
        return failure(Kind::Key, operation, result);
    }
    return {};
}

std::u16string GetActiveProfileKey() {
    std::u16string result;
    frame::raise(activeProfileKey(result));
    return result;
}

std::u16string GetCurrentProfileKey() {
    std::u16string result;
    if (activeProfileKey(result))
        return {};
    return result;
}

frame::Failure readProfileStr(std::u16string& out, const char16_t* section, const char16_t* name,
                              std::uint32_t initialSize) {
    constexpr std::u16string_view operation = u"GetProfileStr";
    std::u16string& keyPath = frame::state().profileKeyPath;
    if (frame::Failure noProfile = activeProfileKey(keyPath))
        return noProfile;
    join(keyPath, section);
    platform::RegKey key;
    if (key.open(registry(), Root::CurrentUser, keyPath.c_str()) != status::success)
        return failure(Kind::Key, operation, keyPath);
    const ReadResult read = readStringValue(key, name, out, initialSize);
    key.close();
    if (read.status != status::success || read.type != regtype::sz)
        return failure(Kind::Entry, operation, keyPath, name);
    return {};
}

TavloRetVal GetProfileStr(std::u16string& out, const char16_t* section, const char16_t* name,
                          std::uint32_t initialSize) {
    frame::raise(readProfileStr(out, section, name, initialSize));
    return TAVLO_Success;
}

// The number readers report failure as a result, never as an error: the errors found on the
// way are dropped (their texts stay in the error context).
TavloRetVal GetProfileDWord(std::uint32_t* out, const char16_t* section, const char16_t* name) {
    std::u16string& keyPath = frame::state().profileKeyPath;
    if (activeProfileKey(keyPath))
        return TAVLO_Failure;
    join(keyPath, section);
    std::uint32_t scratch = 0;
    return readDword(keyPath, u"GetProfileDWord", name, out ? *out : scratch) ? TAVLO_Failure
                                                                              : TAVLO_Success;
}

TavloRetVal GetFixedProfileDWord(std::uint32_t& out, const char16_t* key, const char16_t* name) {
    std::u16string keyPath = appkey::currentAppKey();
    keyPath += u"\\FixedProfile";
    join(keyPath, key);
    return readDword(keyPath, u"GetFixedProfileDWord", name, out) ? TAVLO_Failure : TAVLO_Success;
}

} // namespace tavlo::registry
