#include "identity/notice.h"

#include "frame/errors.h"
#include "frame/strings.h"
#include "identity/identity.h"

#include <array>
#include <vector>

namespace tavlo::identity {

namespace {

namespace status = platform::status;
using frame::lowered;

constexpr const char16_t* kDriversKey = u"Software\\Veltrane\\CSP";
constexpr std::uint32_t kNameUnits = 255;
constexpr std::uint32_t kPathUnits = 512;
// A notice is cut to 2048 characters, as a 2049-character string buffer would cut it.
constexpr std::size_t kNoticeUnits = 2048;

// Reads the registration's module path: 512 characters first, then at the size reported.
bool readModulePath(const platform::RegKey& key, const std::u16string& name, std::u16string& path,
                    std::uint32_t& type) {
    std::vector<char16_t> buffer(kPathUnits + 1, u'\0');
    std::uint32_t size = kPathUnits * 2;
    platform::Status result =
        key.query(name.c_str(), &type, reinterpret_cast<std::uint8_t*>(buffer.data()), &size);
    if (result == status::more_data) {
        buffer.assign(size / 2 + 1, u'\0');
        result =
            key.query(name.c_str(), &type, reinterpret_cast<std::uint8_t*>(buffer.data()), &size);
    }
    if (result != status::success)
        return false;
    path.assign(buffer.data());
    return true;
}

// The notice's template: string 1 of the driver's module, else the library's own string 1.
std::u16string noticeTemplate(const std::u16string& modulePath) {
    if (modulePath.empty())
        return frame::loadLibraryString(frame::message::defaultNotice);
    platform::ModuleService& modules = *frame::state().services.modules;
    platform::Module module;
    if (!module.load(modules, modulePath.c_str()))
        return frame::loadLibraryString(frame::message::defaultNotice);
    std::u16string text = modules.loadString(module.handle(), 1);
    module.reset();
    if (text.empty())
        return frame::loadLibraryString(frame::message::defaultNotice);
    if (text.size() > kNoticeUnits)
        text.resize(kNoticeUnits);
    return text;
}

} // namespace

bool IsBackDoorDriverAvailable(const char16_t* driverName, std::u16string& notice) {
    frame::LibraryState& s = frame::state();
    platform::RegKey key;
    if (key.open(*s.services.registry, platform::Root::LocalMachine, kDriversKey) !=
        status::success)
        return false;
    const std::u16string driver = lowered(driverName ? driverName : u"");

    std::u16string match;
    bool matched = false;
    std::array<char16_t, kNameUnits> name{};
    for (std::uint32_t index = 0; !matched; ++index) {
        std::uint32_t count = kNameUnits;
        std::uint32_t type = 0;
        if (key.enumerate(index, name.data(), &count, &type, nullptr, nullptr) != status::success)
            return false;
        const std::u16string fragment(name.data(), count);
        if (driver.find(lowered(fragment)) != std::u16string::npos) {
            match = fragment;
            matched = true;
        }
    }

    std::u16string modulePath;
    std::uint32_t type = 0;
    const bool read = readModulePath(key, match, modulePath, type);
    key.close();
    if (!read)
        return false;
    if (type != platform::regtype::sz)
        modulePath.clear();

    const std::u16string templ = noticeTemplate(modulePath);
    const std::u16string product = frame::written<GetProductName>();
    std::u16string formatted;
    // A template the formatter can't use is shown as it stands rather than not at all.
    if (s.services.text->formatMessage(templ.c_str(), product.c_str(), formatted) ==
        status::success)
        notice = std::move(formatted);
    else
        notice = templ;
    return true;
}

} // namespace tavlo::identity
