#include "generate.h"

#include "platform/utf.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <fstream>
#include <set>
#include <stdexcept>
#include <vector>

#include <dirent.h>

namespace tavlo::bench {

namespace fs = std::filesystem;

namespace {

class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    std::size_t below(std::size_t n) { return static_cast<std::size_t>(next() % n); }
    bool percent(unsigned p) { return below(100) < p; }
    template <typename T, std::size_t N> const T& pick(const T (&items)[N]) {
        return items[below(N)];
    }

private:
    std::uint64_t state_;
};

// Names and words as real hives hold them, a few of them outside ASCII.
const char* const kKeyWords[] = {
    "Software",    "Classes",        "CLSID",      "Interface",       "TypeLib",      "Microsoft",
    "Windows",     "CurrentVersion", "Explorer",   "Shell",           "open",         "command",
    "DefaultIcon", "InprocServer32", "ProgID",     "Veltrane",        "Corvida",      "Tessel",
    "Policies",    "Services",       "Control",    "Session Manager", "Environment",  "Fonts",
    "Drivers32",   "Uninstall",      "App Paths",  "FileExts",        "OpenWithList", "Profiles",
    "General",     "Plotters",       "Print",      "Monitors",        "Ports",        "Network",
    "Setup",       "Installer",      "Components", "Products",        "Features",     "Wine",
    "Direct3D",    "DllOverrides",   "Parameters", "Security",        "Enum",         "Settings",
    "Defaults",    "Options"};
const char* const kForeignWords[] = {"Größe",     "Café Noir", "Überblick", "Paramètres",
                                     "Настройки", "設定",      "Δοκιμή",    "Ñandú"};
const char* const kValueWords[] = {
    "ThreadingModel",  "InstallLocation", "DisplayName",  "Version",     "Path",
    "Language",        "ProductName",     "Location",     "Publisher",   "DisplayIcon",
    "UninstallString", "EstimatedSize",   "NoModify",     "Flags",       "Type",
    "Start",           "ErrorControl",    "ImagePath",    "Description", "ObjectName",
    "Content Type",    "PerceivedType",   "FriendlyName", "Data",        "Timestamp"};
const char* const kTextWords[] = {"Plot",   "Style",  "Table",  "Monochrome", "Default",
                                  "Layout", "Output", "Device", "Paper",      "Driver"};

std::string guid(Random& random) {
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%04X-%012llX}",
                  static_cast<unsigned>(random.next()), static_cast<unsigned>(random.below(65536)),
                  static_cast<unsigned>(random.below(65536)),
                  static_cast<unsigned>(random.below(65536)),
                  static_cast<unsigned long long>(random.next() & 0xFFFFFFFFFFFFull));
    return text;
}

std::string keyName(Random& random) {
    const std::size_t kind = random.below(100);
    if (kind < 2)
        return random.pick(kForeignWords);
    if (kind < 22)
        return guid(random);
    if (kind < 30)
        return std::to_string(random.below(20)) + "." + std::to_string(random.below(10));
    return random.pick(kKeyWords);
}

std::string valueName(Random& random) {
    if (random.percent(2))
        return random.pick(kForeignWords);
    return random.pick(kValueWords);
}

std::string text(Random& random) {
    switch (random.below(8)) {
    case 0:
        return "";
    case 1:
        return guid(random);
    case 2:
        return std::to_string(random.below(30)) + "." + std::to_string(random.below(10)) + "." +
               std::to_string(random.below(9999));
    case 3:
        return std::string(random.pick(kTextWords)) + " " + random.pick(kForeignWords);
    case 4: {
        std::string words;
        for (std::size_t n = 1 + random.below(8); n > 0; --n)
            words += std::string(random.pick(kTextWords)) + (n > 1 ? " " : "");
        return words;
    }
    default:
        return std::string("C:\\Program Files\\") + random.pick(kKeyWords) + "\\" +
               random.pick(kTextWords) + "\\" + random.pick(kValueWords) + ".dll";
    }
}

std::vector<std::uint8_t> bytes(Random& random, std::size_t n) {
    std::vector<std::uint8_t> out(n);
    for (auto& b : out)
        b = static_cast<std::uint8_t>(random.next());
    return out;
}

std::u16string utf16(const std::string& utf8) {
    return tavlo::platform::fromUtf8(utf8);
}

std::vector<std::uint8_t> utf16Bytes(const std::vector<std::string>& strings) {
    std::vector<std::uint8_t> out;
    for (const std::string& s : strings) {
        for (char16_t c : utf16(s) + u'\0')
            out.insert(out.end(),
                       {static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(c >> 8)});
    }
    return out;
}

struct Value {
    std::string name; // empty: the default value
    std::uint32_t type = 1;
    std::vector<std::string> strings; // string types
    std::vector<std::uint8_t> data;   // other types
};

// Writes one format; keys and values are the same for both.
class Writer {
public:
    Writer(RegFormat format, const std::string& path)
        : format_(format), out_(path, std::ios::binary) {
        if (!out_)
            throw std::runtime_error("can't write " + path);
        if (format_ == RegFormat::Wine)
            put("WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win64\n");
        else
            put("\xEF\xBB\xBFWindows Registry Editor Version 5.00\n");
    }
    ~Writer() { flush(); }

    std::size_t written() const { return written_ + buffer_.size(); }

    void key(const std::string& path) {
        if (format_ == RegFormat::Wine) {
            put("\n[" + wineEscaped(path, ']') + "] 1764950400\n#time=1db65a4c2b0e000\n");
        } else {
            put("\n[HKEY_LOCAL_MACHINE\\" + path + "]\n");
        }
    }

    void value(const Value& v) {
        std::string line = "@=";
        if (!v.name.empty())
            line = '"' + escaped(v.name).append("\"=");
        const bool isString = v.type == 1 || v.type == 2 || v.type == 7;
        if (v.type == 4) {
            char digits[16];
            std::snprintf(digits, sizeof digits, "dword:%08x",
                          v.data[0] | v.data[1] << 8 | v.data[2] << 16 | unsigned{v.data[3]} << 24);
            line += digits;
        } else if (isString && (v.type == 1 || format_ == RegFormat::Wine)) {
            std::string joined;
            for (const std::string& s : v.strings)
                joined += s + (v.type == 7 ? std::string(1, '\0') : "");
            line += v.type == 1 ? "\"" : v.type == 2 ? "str(2):\"" : "str(7):\"";
            line += escaped(joined) + "\"";
        } else {
            line += hex(line.size(), v.type, isString ? utf16Bytes(v.strings) : v.data);
        }
        put(line + "\n");
    }

private:
    // Wine escapes what isn't printable ASCII; regedit writes text as it is.
    std::string escaped(const std::string& s) const {
        if (format_ == RegFormat::Wine)
            return wineEscaped(s, '"');
        std::string out;
        for (char c : s) {
            if (c == '\\' || c == '"')
                out += '\\';
            out += c;
        }
        return out;
    }

    static std::string wineEscaped(const std::string& s, char delimiter) {
        std::string out;
        const std::u16string units = utf16(s);
        for (std::size_t i = 0; i < units.size(); ++i) {
            const char16_t c = units[i];
            char buffer[16];
            if (c > 127) {
                const bool hexNext = i + 1 < units.size() && units[i + 1] < 128 &&
                                     std::isxdigit(static_cast<int>(units[i + 1]));
                std::snprintf(buffer, sizeof buffer, hexNext ? "\\x%04x" : "\\x%x", unsigned{c});
                out += buffer;
            } else if (c == 0) {
                out += "\\0";
            } else if (c == '\\' || c == static_cast<unsigned char>(delimiter)) {
                out += '\\';
                out += static_cast<char>(c);
            } else {
                out += static_cast<char>(c);
            }
        }
        return out;
    }

    // Both tools wrap long hex data with a backslash and indent the continuation.
    std::string hex(std::size_t column, std::uint32_t type, const std::vector<std::uint8_t>& data) {
        char prefix[16];
        std::snprintf(prefix, sizeof prefix, type == 3 ? "hex:" : "hex(%x):", type);
        std::string out = prefix;
        column += out.size();
        for (std::size_t i = 0; i < data.size(); ++i) {
            char digits[4];
            std::snprintf(digits, sizeof digits, "%02x", data[i]);
            out += digits;
            column += 2;
            if (i + 1 < data.size()) {
                out += ',';
                if (++column > 76) {
                    out += "\\\n  ";
                    column = 2;
                }
            }
        }
        return out;
    }

    // Regedit's text is converted as it comes, so that the buffer holds the file's own bytes.
    void put(const std::string& text) {
        if (format_ == RegFormat::Wine) {
            buffer_ += text;
        } else {
            for (char16_t c : utf16(text)) {
                if (c == u'\n')
                    buffer_ += std::string("\r\0", 2);
                buffer_ += static_cast<char>(c);
                buffer_ += static_cast<char>(c >> 8);
            }
        }
        if (buffer_.size() > (1u << 20))
            flush();
    }

    void flush() {
        out_ << buffer_;
        written_ += buffer_.size();
        buffer_.clear();
    }

    RegFormat format_;
    std::ofstream out_;
    std::string buffer_;
    std::size_t written_ = 0;
};

Value randomValue(Random& random) {
    Value v;
    const std::size_t kind = random.below(100);
    if (kind < 50) {
        v.strings = {text(random)};
    } else if (kind < 70) {
        v.type = 4;
        v.data = bytes(random, 4);
        if (random.percent(70))
            v.data = {static_cast<std::uint8_t>(random.below(3)), 0, 0, 0};
    } else if (kind < 82) {
        v.type = 3;
        // Mostly small blobs, now and then a large one (icons, caches, security descriptors).
        const std::size_t size =
            random.percent(2) ? 200 + random.below(4000) : 4 + random.below(60);
        v.data = bytes(random, size);
    } else if (kind < 88) {
        v.type = 2;
        v.strings = {std::string("%SystemRoot%\\system32\\") + random.pick(kValueWords) + ".dll"};
    } else if (kind < 94) {
        v.type = 7;
        for (std::size_t n = 1 + random.below(5); n > 0; --n)
            v.strings.push_back(text(random));
        v.strings.push_back("");
    } else if (kind < 99) {
        v.type = 11;
        v.data = bytes(random, 8);
    } else {
        v.type = 0;
    }
    return v;
}

// How many values a key holds: most few or none, some dozens, a rare one thousands.
std::size_t valueCount(Random& random) {
    const std::size_t kind = random.below(10000);
    if (kind < 3000)
        return 0;
    if (kind < 7000)
        return 1 + random.below(3);
    if (kind < 9500)
        return 4 + random.below(7);
    if (kind < 9995)
        return 11 + random.below(50);
    return 1000 + random.below(2000);
}

// A key-dense registry's: none to two, text or numbers.
std::size_t denseValueCount(Random& random) {
    const std::size_t kind = random.below(100);
    return kind < 40 ? 0 : kind < 85 ? 1 : 2;
}

Value denseValue(Random& random) {
    Value v;
    if (random.percent(30)) {
        v.type = 4;
        v.data = {static_cast<std::uint8_t>(random.below(3)), 0, 0, 0};
    } else {
        v.strings = {random.percent(50) ? guid(random) : random.pick(kValueWords)};
    }
    return v;
}

void writeKey(Writer& writer, Random& random, const std::string& path, int depth,
              std::size_t target, RegShape shape) {
    const bool dense = shape == RegShape::KeyDense;
    writer.key(path);
    std::set<std::string> names;
    for (std::size_t n = dense ? denseValueCount(random) : valueCount(random); n > 0; --n) {
        Value v = dense ? denseValue(random) : randomValue(random);
        v.name = random.percent(10) ? "" : valueName(random);
        for (int suffix = 2; !names.insert(v.name).second; ++suffix)
            v.name = valueName(random) + std::to_string(suffix);
        writer.value(v);
    }
    std::size_t children = dense       ? (depth < 3   ? 8 + random.below(16)
                                          : depth < 8 ? random.below(4)
                                                      : 0)
                           : depth < 2 ? 4 + random.below(12)
                           : depth < 7 ? random.below(5)
                                       : 0;
    std::set<std::string> taken;
    for (; children > 0 && writer.written() < target; --children) {
        std::string name = keyName(random);
        for (int suffix = 2; !taken.insert(name).second; ++suffix)
            name = keyName(random) + " " + std::to_string(suffix);
        writeKey(writer, random, path + "\\" + name, depth + 1, target, shape);
    }
}

std::string sizeLabel(std::size_t bytes) {
    return std::to_string(bytes / 1000000) + "MB";
}

// A file whose generation finished: it was renamed into place only then.
bool present(const fs::path& path) {
    std::error_code error;
    return fs::exists(path, error);
}

} // namespace

std::string registryFile(const std::string& dataDir, RegFormat format, std::size_t targetBytes,
                         RegShape shape) {
    const bool wine = format == RegFormat::Wine;
    const fs::path path =
        fs::path(dataDir) /
        ((wine ? "wine-" : "regedit-") + std::string(shape == RegShape::KeyDense ? "dense-" : "") +
         sizeLabel(targetBytes) + ".reg");
    if (present(path))
        return path.string();
    fs::create_directories(dataDir);
    const fs::path partial = path.string() + ".partial";
    {
        Writer writer(format, partial.string());
        Random random(targetBytes);
        for (std::size_t top = 0; writer.written() < targetBytes; ++top)
            writeKey(writer, random, "Software\\Vendor " + std::to_string(top), 1, targetBytes,
                     shape);
    }
    fs::rename(partial, path);
    return path.string();
}

namespace {

// A depth-first walk in the order the directory listing gives: what both searches follow.
void lastInWalk(const std::string& dir, std::string& last) {
    DIR* d = opendir(dir.c_str());
    if (!d)
        throw std::runtime_error("can't list " + dir);
    std::vector<std::pair<std::string, bool>> entries;
    while (const dirent* e = readdir(d)) {
        const std::string name = e->d_name;
        if (name != "." && name != "..")
            entries.emplace_back(name, e->d_type == DT_DIR);
    }
    closedir(d);
    if (entries.empty())
        return;
    last = dir + "/" + entries.back().first;
    if (entries.back().second)
        lastInWalk(last, last);
}

} // namespace

SearchTree searchTree(const std::string& dataDir, std::size_t entries) {
    SearchTree tree;
    tree.root = (fs::path(dataDir) / ("tree-" + std::to_string(entries / 1000) + "k")).string();
    const fs::path done = tree.root + ".done";
    if (!present(done)) {
        fs::remove_all(tree.root);
        fs::create_directories(tree.root);
        Random random(entries);
        std::deque<fs::path> pending{tree.root};
        std::size_t made = 0, files = 0, dirs = 0;
        while (made < entries && !pending.empty()) {
            const fs::path dir = pending.front();
            pending.pop_front();
            for (std::size_t n = 20 + random.below(40); n > 0 && made < entries; --n, ++made) {
                char name[32];
                std::snprintf(name, sizeof name, "f%07zu.%s", files++,
                              random.percent(50) ? "pc3" : "shx");
                std::ofstream(dir / name);
            }
            for (std::size_t n = 2 + random.below(6); n > 0 && made < entries; --n, ++made) {
                char name[32];
                std::snprintf(name, sizeof name, "Dir%06zu", dirs++);
                fs::create_directory(dir / name);
                pending.push_back(dir / name);
            }
        }
        std::ofstream(done.string());
    }
    std::string last;
    lastInWalk(tree.root, last);
    tree.found = last.substr(tree.root.size() + 1);
    tree.sought = last.substr(last.rfind('/') + 1);
    // Sought in other case than stored: both searches ignore case.
    std::transform(tree.sought.begin(), tree.sought.end(), tree.sought.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return tree;
}

std::string cataloguePrefix(const std::string& dataDir, std::size_t apps) {
    const fs::path prefix = fs::path(dataDir) / ("catalogue-" + std::to_string(apps));
    const fs::path done = prefix.string() + ".done";
    if (present(done))
        return prefix.string();
    fs::remove_all(prefix);
    fs::create_directories(prefix / "dosdevices");
    fs::create_directory_symlink("../drive_c", prefix / "dosdevices" / "c:");
    auto app = [](std::size_t i) {
        char name[64];
        std::snprintf(name, sizeof name, "Tessel %04zu", i);
        return std::string(name);
    };
    auto regKey = [](std::size_t i) {
        char name[64];
        std::snprintf(name, sizeof name, "Veltrane\\\\Tessel\\\\R%zu\\\\TSL-%zu:1", i % 7 + 1, i);
        return std::string(name);
    };
    std::ofstream system(prefix / "system.reg"), user(prefix / "user.reg");
    system << "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win64\n";
    user << "WINE REGISTRY Version 2\n;; All keys relative to \\\\User\\\\S-1-5-21-0-0-0-1000\n\n"
            "#arch=win64\n";
    system << "\n[Software\\\\Classes\\\\.pc3] 1764950400\n@=\"Tessel.PlotterConfiguration\"\n"
           << "\n[Software\\\\Classes\\\\Tessel.PlotterConfiguration\\\\shell\\\\open\\\\command] "
              "1764950400\n@=\"\\\"C:\\\\Program Files\\\\Veltrane\\\\"
           << app(apps) << "\\\\tessel.exe\\\" /plotcfg \\\"%1\\\"\"\n";
    system << "\n[Software\\\\Veltrane\\\\Outprint] 1764950400\n";
    for (std::size_t i = 1; i <= apps; ++i)
        system << "\"" << regKey(i) << "\"=dword:0000000" << (i % 3 ? 1 : 9) << "\n";
    for (std::size_t i = 1; i <= apps; ++i) {
        fs::create_directories(prefix / "drive_c" / "Program Files" / "Veltrane" / app(i));
        system << "\n[Software\\\\" << regKey(i) << "] 1764950400\n"
               << "\"Language\"=\"English\"\n\"Location\"=\"C:\\\\Program Files\\\\Veltrane\\\\"
               << app(i) << "\"\n\"ProductName\"=\"Veltrane " << app(i) << "\"\n";
        if (i % 2)
            user << "\n[Software\\\\" << regKey(i) << "\\\\Profiles] 1764950400\n"
                 << "@=\"<<Unnamed Profile>>\"\n";
    }
    std::ofstream(done.string());
    return prefix.string();
}

} // namespace tavlo::bench
