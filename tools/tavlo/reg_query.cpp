// "tavlo reg query": a key's values and sub-keys in the layout of Windows' reg query, read
// through the same registry service the library reads through.
#include "cli.h"

#include "platform/host.h"
#include "platform/services.h"

#include <algorithm>
#include <cstdio>
#include <optional>

namespace tavlo::cli {

namespace {

using namespace platform;

struct RootName {
    const char* shortName;
    const char* longName;
    Root root;
};

constexpr RootName kRoots[] = {
    {"HKLM", "HKEY_LOCAL_MACHINE", Root::LocalMachine},
    {"HKCU", "HKEY_CURRENT_USER", Root::CurrentUser},
    {"HKCR", "HKEY_CLASSES_ROOT", Root::ClassesRoot},
};

bool equalsIgnoringCase(const std::string& a, const char* b) {
    return std::equal(a.begin(), a.end(), b, b + std::char_traits<char>::length(b),
                      [](char x, char y) {
                          return std::toupper(static_cast<unsigned char>(x)) ==
                                 std::toupper(static_cast<unsigned char>(y));
                      });
}

struct KeyName {
    Root root;
    std::string rootLabel; // always the long form, as reg query prints it
    // Below the root, without leading or trailing backslashes. Kept in UTF-16, as the registry
    // names keys: a name with an unpaired surrogate has no UTF-8 form to be found again by.
    std::u16string path;
};

std::optional<KeyName> parseKey(const std::string& text) {
    const std::size_t cut = text.find('\\');
    const std::string head = text.substr(0, cut);
    for (const auto& r : kRoots) {
        if (equalsIgnoringCase(head, r.shortName) || equalsIgnoringCase(head, r.longName)) {
            std::string path = cut == std::string::npos ? std::string() : text.substr(cut + 1);
            while (!path.empty() && path.back() == '\\')
                path.pop_back();
            return KeyName{r.root, r.longName, fromUtf8(path)};
        }
    }
    return std::nullopt;
}

std::u16string unitsOf(const std::vector<std::uint8_t>& data) {
    std::u16string text(data.size() / 2, u'\0');
    for (std::size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    return text;
}

std::string hexBytes(const std::vector<std::uint8_t>& data) {
    std::string out;
    char buf[4];
    for (auto byte : data) {
        std::snprintf(buf, sizeof buf, "%02X", byte);
        out += buf;
    }
    return out;
}

std::uint64_t littleEndian(const std::vector<std::uint8_t>& data, std::size_t bytes) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < bytes && i < data.size(); ++i)
        value |= std::uint64_t{data[i]} << (8 * i);
    return value;
}

std::string dataText(std::uint32_t type, const std::vector<std::uint8_t>& data) {
    char buf[32];
    switch (type) {
    case regtype::sz:
    case regtype::expand_sz: {
        std::u16string text = unitsOf(data);
        text.resize(std::min(text.size(), text.find(u'\0')));
        return toUtf8(text);
    }
    case regtype::multi_sz: {
        // The strings joined by a visible \0, as reg query shows them.
        std::u16string text = unitsOf(data);
        while (!text.empty() && text.back() == u'\0')
            text.pop_back();
        std::string out;
        std::size_t start = 0;
        while (start <= text.size()) {
            std::size_t end = std::min(text.size(), text.find(u'\0', start));
            if (start > 0)
                out += "\\0";
            out += toUtf8(text.substr(start, end - start));
            start = end + 1;
        }
        return out;
    }
    case regtype::dword:
        if (data.size() != 4)
            return hexBytes(data);
        std::snprintf(buf, sizeof buf, "0x%x", static_cast<unsigned>(littleEndian(data, 4)));
        return buf;
    case regtype::qword:
        if (data.size() != 8)
            return hexBytes(data);
        std::snprintf(buf, sizeof buf, "0x%llx",
                      static_cast<unsigned long long>(littleEndian(data, 8)));
        return buf;
    default:
        return hexBytes(data);
    }
}

struct Value {
    std::u16string name;
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
};

// Reads value index of key, growing the buffers as the registry asks.
Status readValueAt(const RegKey& key, std::uint32_t index, Value& value) {
    std::vector<char16_t> name(256);
    value.data.resize(256);
    for (;;) {
        auto nameCount = static_cast<std::uint32_t>(name.size());
        auto dataSize = static_cast<std::uint32_t>(value.data.size());
        const Status result = key.enumerate(index, name.data(), &nameCount, &value.type,
                                            value.data.data(), &dataSize);
        if (result == status::more_data) {
            bool grew = false;
            if (name.size() < 32768) {
                name.resize(32768); // the longest value name the registry allows, and more
                grew = true;
            }
            if (dataSize > value.data.size()) {
                value.data.resize(dataSize);
                grew = true;
            }
            if (grew)
                continue;
            return result;
        }
        if (result != status::success)
            return result;
        value.name.assign(name.data(), nameCount);
        value.data.resize(dataSize);
        return result;
    }
}

std::optional<Value> readNamedValue(const RegKey& key, const char16_t* name) {
    Value value;
    std::uint32_t size = 0;
    if (key.query(name, &value.type, nullptr, &size) != status::success)
        return std::nullopt;
    value.data.resize(size);
    if (key.query(name, &value.type, value.data.data(), &size) != status::success)
        return std::nullopt;
    value.data.resize(size);
    value.name = name ? name : u"";
    return value;
}

void printValue(const Value& value) {
    const std::string name = value.name.empty() ? "(Default)" : toUtf8(value.name);
    std::string line = "    " + name + "    " + typeName(value.type);
    const std::string data = dataText(value.type, value.data);
    line += "    " + data;
    out(line);
}

std::vector<std::u16string> subKeys(const RegKey& key) {
    std::vector<std::u16string> names;
    std::vector<char16_t> name(512);
    for (std::uint32_t index = 0;; ++index) {
        auto count = static_cast<std::uint32_t>(name.size());
        const Status result = key.enumerateKey(index, name.data(), &count);
        if (result == status::more_data && name.size() < 32768) {
            name.resize(32768);
            --index;
            continue;
        }
        if (result != status::success)
            break;
        names.emplace_back(name.data(), count);
    }
    return names;
}

std::string fullName(const KeyName& key) {
    return key.path.empty() ? key.rootLabel : key.rootLabel + "\\" + toUtf8(key.path);
}

// Prints one key's block; recurses with /s. Returns how many values it printed.
std::size_t printKey(const KeyName& name, bool recurse) {
    RegistryService& registry = *defaultServices().registry;
    RegKey key;
    if (key.open(registry, name.root, name.path.c_str()) != status::success)
        return 0;
    out("");
    out(fullName(name));
    std::size_t printed = 0;
    for (std::uint32_t index = 0;; ++index) {
        Value value;
        if (readValueAt(key, index, value) != status::success)
            break;
        printValue(value);
        ++printed;
    }
    const auto children = subKeys(key);
    if (recurse) {
        for (const auto& child : children) {
            KeyName sub = name;
            sub.path = (name.path.empty() ? u"" : name.path + u"\\") + child;
            printed += printKey(sub, true);
        }
    } else if (!children.empty()) {
        out("");
        for (const auto& child : children)
            out(fullName(name) + "\\" + toUtf8(child));
    }
    return printed;
}

int usage(const std::string& message) {
    err("tavlo reg: " + message);
    err("Usage: tavlo reg query KEY [/v NAME | /ve] [/s]");
    return kUsage;
}

const char* const kNotFoundText =
    "ERROR: The system was unable to find the specified registry key or value.";

} // namespace

std::string typeName(std::uint32_t type) {
    switch (type) {
    case regtype::none:
        return "REG_NONE";
    case regtype::sz:
        return "REG_SZ";
    case regtype::expand_sz:
        return "REG_EXPAND_SZ";
    case regtype::binary:
        return "REG_BINARY";
    case regtype::dword:
        return "REG_DWORD";
    case regtype::dword_big_endian:
        return "REG_DWORD_BIG_ENDIAN";
    case regtype::link:
        return "REG_LINK";
    case regtype::multi_sz:
        return "REG_MULTI_SZ";
    case regtype::qword:
        return "REG_QWORD";
    }
    return "REG_UNKNOWN(" + std::to_string(type) + ")";
}

int regCommand(const Invocation& call) {
    const auto& args = call.args;
    if (args.empty() || args[0] != "query")
        return usage(args.empty() ? "no operation given" : "unknown operation " + args[0]);
    if (args.size() < 2)
        return usage("no key given");
    auto key = parseKey(args[1]);
    if (!key)
        return usage("the key must start with HKLM, HKCU or HKCR: " + args[1]);

    std::optional<std::string> valueName;
    bool defaultValue = false;
    bool recurse = false;
    for (std::size_t i = 2; i < args.size(); ++i) {
        std::string option = args[i];
        if (!option.empty() && option[0] == '-')
            option[0] = '/';
        if (equalsIgnoringCase(option, "/v")) {
            if (i + 1 >= args.size())
                return usage("/v needs a value name");
            valueName = args[++i];
        } else if (equalsIgnoringCase(option, "/ve")) {
            defaultValue = true;
        } else if (equalsIgnoringCase(option, "/s")) {
            recurse = true;
        } else {
            return usage("unknown option " + args[i]);
        }
    }
    if (valueName && defaultValue)
        return usage("/v and /ve exclude each other");

    RegistryService& registry = *defaultServices().registry;
    RegKey open;
    if (open.open(registry, key->root, key->path.c_str()) != status::success) {
        err(kNotFoundText);
        return kNotFound;
    }
    if (valueName || defaultValue) {
        const std::u16string name = valueName ? fromUtf8(*valueName) : std::u16string();
        auto value = readNamedValue(open, valueName ? name.c_str() : nullptr);
        if (!value) {
            err(kNotFoundText);
            return kNotFound;
        }
        out("");
        out(fullName(*key));
        printValue(*value);
        out("");
        return kFound;
    }
    open.close();
    printKey(*key, recurse);
    out("");
    return kFound;
}

} // namespace tavlo::cli
