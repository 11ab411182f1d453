#include "settings/profile_directories.h"

#include "appkey/app_key.h"
#include "frame/errors.h"
#include "frame/path_split.h"
#include "frame/strings.h"
#include "identity/identity.h"
#include "registry/value_read.h"
#include "values/profile.h"
#include "values/setting_rows.h"

namespace tavlo::settings {

namespace {

namespace status = platform::status;
using frame::dropTrailingBackslashes;

// The two folders of plot configuration files roam with the user, whatever the case of the
// name given. Compared letter by letter in ASCII rather than by the platform's case mapping:
// the only units outside ASCII that any mapping lowers into ASCII give 'i' and 'k', which
// neither name has, so the answer is the mapping's own, without a lowered copy of the name.
bool roams(const char16_t* subFolder) {
    const std::u16string_view given(subFolder ? subFolder : u"");
    const auto sameLetters = [given](std::u16string_view lower) {
        if (given.size() != lower.size())
            return false;
        for (std::size_t i = 0; i < lower.size(); ++i) {
            const char16_t c = given[i];
            if ((c >= u'A' && c <= u'Z' ? c + (u'a' - u'A') : c) != lower[i])
                return false;
        }
        return true;
    };
    return sameLetters(u"plotters") || sameLetters(u"plot styles");
}

// The roamable root folder below HKEY_CURRENT_USER\<app key>, read into 1024 bytes, into out; out
// is left as it was when there is no such folder. The value is read behind what out holds, so
// that out's storage is reused rather than a new string's.
bool readRoamableRoot(std::u16string& out) {
    const std::u16string& appKey = appkey::currentAppKey();
    platform::RegKey key;
    if (key.open(*frame::state().services.registry, platform::Root::CurrentUser, appKey.c_str()) !=
        status::success)
        return false;
    const std::size_t before = out.size();
    const registry::ReadResult read =
        registry::appendFixed(key, registry::kRoamableRootValue, 1024, out);
    key.close();
    // A value that fills the buffer without its terminator didn't fit.
    if (read.status != status::success || read.type != platform::regtype::sz ||
        out.size() - before >= 512) {
        out.resize(before);
        return false;
    }
    out.erase(0, before);
    return true;
}

// A directory's value is first read into MAX_PATH characters.
constexpr std::uint32_t kPathRoom = 260;

// The default directory: folder below the roamable root folder or the application directory.
TavloRetVal fallback(std::u16string& out, bool roaming, const char16_t* subFolder) {
    if (roaming) {
        if (!readRoamableRoot(out))
            return TAVLO_Failure;
    } else {
        identity::GetAppDirectory(out);
        if (out.empty())
            return TAVLO_Failure;
    }
    if (out.empty() || out.back() != u'\\')
        out += u'\\';
    out += subFolder ? subFolder : u"";
    dropTrailingBackslashes(out);
    return TAVLO_Success;
}

TavloRetVal profileDirectory(std::u16string& out, const char16_t* section, const char16_t* name,
                             std::uint32_t room, bool roaming, const char16_t* subFolder) {
    if (registry::readProfileStr(out, section, name, room))
        return fallback(out, roaming, subFolder);
    dropTrailingBackslashes(out);
    return TAVLO_Success;
}

TavloRetVal directoryOfPathname(std::u16string& out, const char16_t* section, const char16_t* name,
                                std::uint32_t room, bool roaming, const char16_t* subFolder) {
    std::u16string pathname;
    if (registry::readProfileStr(pathname, section, name, room))
        return fallback(out, roaming, subFolder);
    const PathParts parts = splitPathInBuffers(pathname);
    if (parts.drive.empty() || parts.dir.empty())
        return TAVLO_Failure;
    // The drive and the folder are where the pathname starts.
    out.assign(pathname, 0, parts.drive.size() + parts.dir.size());
    dropTrailingBackslashes(out);
    return TAVLO_Success;
}

} // namespace

TavloRetVal GetFallbackDirectory(std::u16string& out, const char16_t* subFolder) {
    return fallback(out, roams(subFolder), subFolder);
}

TavloRetVal GetProfileDirectory(std::u16string& out, const char16_t* section, const char16_t* name,
                                const char16_t* subFolder) {
    return profileDirectory(out, section, name, kPathRoom, roams(subFolder), subFolder);
}

TavloRetVal GetProfileDirectoryFromPathname(std::u16string& out, const char16_t* section,
                                            const char16_t* name, const char16_t* subFolder) {
    return directoryOfPathname(out, section, name, kPathRoom, roams(subFolder), subFolder);
}

TavloRetVal readDirectory(std::u16string& out, const registry::SettingRow& row,
                          const char16_t* name) {
    // A named setting's default lies where its row says, whatever its folder is called.
    const registry::Default& byDefault = row.byDefault;
    const bool roaming = byDefault.kind == registry::Default::Kind::BelowRoamableRoot;
    if (row.shape == registry::Shape::Pathname)
        return directoryOfPathname(out, row.section, name, row.room, roaming, byDefault.folder);
    return profileDirectory(out, row.section, name, row.room, roaming, byDefault.folder);
}

} // namespace tavlo::settings
