#include "registry/profile.h"

#include "appkey/app_key.h"
#include "frame/errors.h"
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

std::u16string joined(std::u16string base, const char16_t* relative) {
    const std::u16string_view rest(relative ? relative : u"");
    if (rest.empty() || rest.front() != u'\\')
        base += u'\\';
    base += rest;
    return base;
}

std::u16string pathText(const std::u16string& key, const char16_t* name = nullptr) {
    return FormatRegPath(Root::CurrentUser, key.c_str(), name);
}

// The number readers report failure as a result, never as an error: every error of the
// library's registry kinds raised on the way is dropped here (its texts stay in the error
// context).
template <typename Fn> TavloRetVal numberRead(Fn&& read) {
    try {
        return read();
    } catch (TAVLO_Key_Error) {
    } catch (TAVLO_Entry_Error) {
    }
    return TAVLO_Failure;
}

TavloRetVal readDword(const std::u16string& keyPath, std::u16string_view operation,
                      const char16_t* name, std::uint32_t& out) {
    platform::RegKey key;
    if (key.open(registry(), Root::CurrentUser, keyPath.c_str()) != status::success)
        frame::raise<TAVLO_Key_Error>(operation, frame::message::profileValue, pathText(keyPath));
    const ReadResult read = readDwordValue(key, name, out);
    key.close();
    if (read.status != status::success || read.type != regtype::dword)
        frame::raise<TAVLO_Entry_Error>(operation, frame::message::profileValue,
                                        pathText(keyPath, name));
    return TAVLO_Success;
}

} // namespace

std::u16string GetActiveProfileKey() {
    constexpr std::u16string_view operation = u"GetActiveProfileKey";
    std::u16string result = appkey::GetAppKey(nullptr) + u"\\Profiles";
    platform::RegKey key;
    if (key.open(registry(), Root::CurrentUser, result.c_str()) != status::success)
        frame::raise<TAVLO_Key_Error>(operation, frame::message::profileValue, pathText(result));
    std::u16string name;
    const ReadResult read = readFixed(key, nullptr, kProfileNameBytes, name);
    key.close();
    // A missing, too long or wrongly typed name is the profiles key's failure.
    if (read.status != status::success || read.type != regtype::sz)
        frame::raise<TAVLO_Key_Error>(operation, frame::message::profileValue, pathText(result));
    result += u'\\';
    result += name;
    return result;
}

std::u16string GetCurrentProfileKey() {
    try {
        return GetActiveProfileKey();
    } catch (TAVLO_Key_Error) {
    } catch (TAVLO_Entry_Error) {
    }
    return {};
}

TavloRetVal GetProfileStr(std::u16string& out, const char16_t* section, const char16_t* name,
                          std::uint32_t initialSize) {
    constexpr std::u16string_view operation = u"GetProfileStr";
    const std::u16string keyPath = joined(GetActiveProfileKey(), section);
    platform::RegKey key;
    if (key.open(registry(), Root::CurrentUser, keyPath.c_str()) != status::success)
        frame::raise<TAVLO_Key_Error>(operation, frame::message::profileValue, pathText(keyPath));
    const ReadResult read = readStringValue(key, name, out, initialSize);
    key.close();
    if (read.status != status::success || read.type != regtype::sz)
        frame::raise<TAVLO_Entry_Error>(operation, frame::message::profileValue,
                                        pathText(keyPath, name));
    return TAVLO_Success;
}

TavloRetVal GetProfileDWord(std::uint32_t* out, const char16_t* section, const char16_t* name) {
    return numberRead([&] {
        const std::u16string keyPath = joined(GetActiveProfileKey(), section);
        std::uint32_t scratch = 0;
        return readDword(keyPath, u"GetProfileDWord", name, out ? *out : scratch);
    });
}

TavloRetVal GetFixedProfileDWord(std::uint32_t& out, const char16_t* key, const char16_t* name) {
    return numberRead([&] {
        const std::u16string keyPath = joined(appkey::GetAppKey(nullptr) + u"\\FixedProfile", key);
        return readDword(keyPath, u"GetFixedProfileDWord", name, out);
    });
}

} // namespace tavlo::registry
