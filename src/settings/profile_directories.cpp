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
    std::u16string name(subFolder ? subFolder : u"");
    frame::state().services.text->toLower(name);
    return name == u"plotters" || name == u"plot styles";
}

// "RoamableRootFolder" below HKEY_CURRENT_USER\<app key>, read into 1024 bytes.
bool roamableRoot(std::u16string& out) {
    const std::u16string appKey = appkey::GetAppKey(nullptr);
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
    try {
        registry::GetProfileStr(out, section, name, 260);
        dropTrailingBackslashes(out);
        return TAVLO_Success;
    } catch (TAVLO_Entry_Error) {
    } catch (TAVLO_Key_Error) {
    }
    return GetFallbackDirectory(out, subFolder);
}

TavloRetVal GetProfileDirectoryFromPathname(std::u16string& out, const char16_t* section,
                                            const char16_t* name, const char16_t* subFolder) {
    std::u16string pathname;
    try {
        registry::GetProfileStr(pathname, section, name, 260);
    } catch (TAVLO_Entry_Error) {
        return GetFallbackDirectory(out, subFolder);
    } catch (TAVLO_Key_Error) {
        return GetFallbackDirectory(out, subFolder);
    }
    std::array<char16_t, 3> drive{};
    std::array<char16_t, 256> dir{};
    std::array<char16_t, 256> file{};
    std::array<char16_t, 256> ext{};
    // A pathname whose parts don't fit can't be split: every part then counts as empty.
    splitPath(pathname.c_str(), drive.data(), drive.size(), dir.data(), dir.size(), file.data(),
              file.size(), ext.data(), ext.size());
    if (!drive[0] || !dir[0])
        return TAVLO_Failure;
    out = std::u16string(drive.data()) + dir.data();
    dropTrailingBackslashes(out);
    return TAVLO_Success;
}

} // namespace tavlo::settings
