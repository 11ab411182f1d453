#include "settings/profile_directories.h"

#include "appkey/app_key.h"
#include "frame/errors.h"
#include "frame/path_split.h"
#include "frame/strings.h"
#include "identity/identity.h"
#include "registry/profile.h"
#include "registry/value_read.h"

#include <array>

namespace tavlo::settings {

namespace {

namespace status = platform::status;
using frame::dropTrailingBackslashes;

// The two folders of plot configuration files roam with the user.
bool roams(const char16_t* subFolder) {
    const std::u16string_view given(subFolder ? subFolder : u"");
    // Lower-casing keeps the length, so only names as long as one of the two need it.
    if (given.size() != 8 && given.size() != 11)
        return false;
    std::u16string name(given);
    frame::state().services.text->toLower(name);
    return name == u"plotters" || name == u"plot styles";
}

// "RoamableRootFolder" below HKEY_CURRENT_USER\<app key>, read into 1024 bytes.
bool roamableRoot(std::u16string& out) {
    const std::u16string& appKey = appkey::currentAppKey();
    platform::RegKey key;
    if (key.open(*frame::state().services.registry, platform::Root::CurrentUser, appKey.c_str()) !=
        status::success)
        return false;
    std::u16string value;
    const registry::ReadResult read = registry::readFixed(key, u"RoamableRootFolder", 1024, value);
    key.close();
    // A value that fills the buffer without its terminator didn't fit.
    if (read.status != status::success || read.type != platform::regtype::sz || value.size() >= 512)
        return false;
    out = std::move(value);
    return true;
}

} // namespace

TavloRetVal GetFallbackDirectory(std::u16string& out, const char16_t* subFolder) {
    if (roams(subFolder)) {
        if (!roamableRoot(out))
            return TAVLO_Failure;
    } else {
        out = identity::GetAppDirectory();
        if (out.empty())
            return TAVLO_Failure;
    }
    if (out.empty() || out.back() != u'\\')
        out += u'\\';
    out += subFolder ? subFolder : u"";
    dropTrailingBackslashes(out);
    return TAVLO_Success;
}

TavloRetVal GetProfileDirectory(std::u16string& out, const char16_t* section, const char16_t* name,
                                const char16_t* subFolder) {
    if (registry::readProfileStr(out, section, name, 260))
        return GetFallbackDirectory(out, subFolder);
    dropTrailingBackslashes(out);
    return TAVLO_Success;
}

TavloRetVal GetProfileDirectoryFromPathname(std::u16string& out, const char16_t* section,
                                            const char16_t* name, const char16_t* subFolder) {
    std::u16string pathname;
    if (registry::readProfileStr(pathname, section, name, 260))
        return GetFallbackDirectory(out, subFolder);
    // Every part is written, whole or (when a part doesn't fit) empty, so none is cleared first.
    std::array<char16_t, 3> drive;
    std::array<char16_t, 256> dir;
    std::array<char16_t, 256> file;
    std::array<char16_t, 256> ext;
    splitPath(pathname.c_str(), drive.data(), drive.size(), dir.data(), dir.size(), file.data(),
              file.size(), ext.data(), ext.size());
    if (!drive[0] || !dir[0])
        return TAVLO_Failure;
    out.assign(drive.data());
    out += dir.data();
    dropTrailingBackslashes(out);
    return TAVLO_Success;
}

} // namespace tavlo::settings
