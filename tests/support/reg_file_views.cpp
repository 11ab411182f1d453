#include "reg_file_views.h"

#include "platform/utf.h"
#include "registry_fixture.h"

#include <cstdint>

namespace tavlo::test {

using namespace platform;

std::string utf16File(std::u16string_view units) {
    const std::vector<std::uint8_t> bytes = utf16Bytes(units, false);
    return "\xFF\xFE" + std::string(bytes.begin(), bytes.end());
}

std::string utf16File(std::string_view utf8) {
    return utf16File(fromUtf8(utf8));
}

std::string problemLines(const std::vector<portable::Diagnostic>& problems, bool withFile) {
    std::string out;
    for (const portable::Diagnostic& d : problems)
        out += (withFile ? d.file + ":" : "") + std::to_string(d.line) + ": " + d.message + "\n";
    return out;
}

std::u16string valueList(RegKey& key) {
    std::u16string out;
    char16_t name[300];
    std::vector<std::uint8_t> data(1 << 18);
    for (std::uint32_t i = 0;; ++i) {
        std::uint32_t count = 300, type = 0, size = static_cast<std::uint32_t>(data.size());
        if (key.enumerate(i, name, &count, &type, data.data(), &size) != status::success)
            return out;
        out += u" " + std::u16string(name, count) + (type == regtype::sz ? u"=" : u"=#");
        for (std::uint32_t b = 0; type == regtype::sz && b + 3 < size; b += 2)
            out += static_cast<char16_t>(data[b] | data[b + 1] << 8);
        for (std::uint32_t b = 0; type != regtype::sz && b < size; ++b)
            out += {u"0123456789abcdef"[data[b] >> 4], u"0123456789abcdef"[data[b] & 15]};
    }
}

std::u16string keyTree(RegistryService& registry, Root root, const std::u16string& base,
                       const std::u16string& path) {
    const std::u16string full = base.empty() && !path.empty() ? path.substr(1) : base + path;
    RegKey key;
    if (key.open(registry, root, full.c_str()) != status::success)
        return path + u" (can't be opened)\n";
    std::u16string out = (path.empty() ? u"." : path.substr(1)) + valueList(key) + u"\n";
    char16_t name[300];
    for (std::uint32_t i = 0, count = 300; key.enumerateKey(i, name, &count) == status::success;
         ++i, count = 300)
        out += keyTree(registry, root, base, path + u"\\" + std::u16string(name, count));
    return out;
}

} // namespace tavlo::test
