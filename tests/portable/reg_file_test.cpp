// The registry file loader: both regedit formats (8-bit and UTF-16), Wine's own files, files
// loaded over each other, and damaged input. Results are read back through the read interface,
// byte for byte. Standard C++ only: this program also runs under Wine.
#include "platform/portable/reg_file.h"
#include "platform/utf.h"
#include "reg_file_views.h"
#include "registry_fixture.h"
#include "test_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

namespace {

using namespace tavlo::platform;
using namespace tavlo::platform::portable;
using namespace std::literals;
using Bytes = std::vector<std::uint8_t>;
using Data = std::pair<std::uint32_t, Bytes>; // type and bytes

std::optional<Data> query(MemoryRegistry& registry, Root root, std::u16string path,
                          std::u16string name) {
    RegKey key;
    Data data;
    std::uint32_t size = 0;
    if (key.open(registry, root, path.c_str()) != status::success ||
        key.query(name.c_str(), &data.first, nullptr, &size) != status::success)
        return std::nullopt;
    data.second.resize(size + 2);
    key.query(name.c_str(), &data.first, data.second.data(), &size);
    data.second.resize(size);
    return data;
}

bool keyExists(MemoryRegistry& registry, Root root, std::u16string path) {
    return RegKey().open(registry, root, path.c_str()) == status::success;
}

using tavlo::test::keyTree;
using tavlo::test::utf16File;
using tavlo::test::writeFile;
const auto sz = [](std::u16string_view text) { return tavlo::test::utf16Bytes(text); };

// Loaded, and every value read, so that every problem has been met.
struct Loaded {
    MemoryRegistry registry;
    std::vector<Diagnostic> diagnostics;
    bool ok = false;

    Loaded() = default;
    explicit Loaded(std::string_view text, Hive hive = Hive::LocalMachine) { load(text, hive); }
    void load(std::string_view text, Hive hive = Hive::LocalMachine) {
        ok = loadRegistryText(registry, text, "test.reg", hive);
        readAll();
    }
    void readAll() {
        registry.readAllValues();
        diagnostics = registry.diagnostics();
    }
    std::optional<Data> value(std::u16string name, std::u16string path = u"T") {
        return query(registry, Root::CurrentUser, path, name);
    }
    std::string lines() const { return tavlo::test::problemLines(diagnostics); }
};

const std::string kRegedit5 = "Windows Registry Editor Version 5.00\n";
const std::string kWine = "WINE REGISTRY Version 2\n;; All keys relative to \\\\User\\\\S-1\n";

// Values start on line 3 of a regedit file and on line 5 of a Wine file.
std::string regeditText(std::string_view body, bool utf16 = false) {
    const std::string text = kRegedit5 + "[HKEY_CURRENT_USER\\T]\n" + std::string(body) + "\n";
    return utf16 ? utf16File(text) : text;
}

std::string wineText(std::string_view body) {
    return kWine + "[T] 1686110674\n#time=1d998c2b3a7e3f2\n" + std::string(body) + "\n";
}

// Regedit lines are loaded from both encodings.
TEST(RegFile, LoadsEachValueWithItsExactTypeAndBytes) {
    // clang-format off
    const std::tuple<bool, std::string_view, std::u16string, Data> rows[] = {
        {false, R"x("s"="a\\b\"c\nd\r")x", u"s", {regtype::sz, sz(u"a\\b\"c\nd\r")}},
        {false, R"x("s"="")x", u"s", {regtype::sz, {0, 0}}},
        {false, R"x(@="def")x", u"", {regtype::sz, sz(u"def")}},
        {false, R"x(  "na\"me"  =  "v" ; comment)x", u"na\"me", {regtype::sz, sz(u"v")}},
        {false, "\"\xC3\xBC\"=\"\xE2\x82\xAC \xF0\x9F\x98\x80\"", u"\u00FC", {1, sz(u"\u20AC \U0001F600")}},
        {false, R"x("d"=dword:FfFfFfFe)x", u"d", {regtype::dword, {0xFE, 0xFF, 0xFF, 0xFF}}},
        {false, R"x("d"=dword:1)x", u"d", {regtype::dword, {1, 0, 0, 0}}},
        {false, R"x("b"=hex:01,ab,FF)x", u"b", {regtype::binary, {0x01, 0xAB, 0xFF}}},
        {false, R"x("e"=hex(2):25,00,41,00)x", u"e", {regtype::expand_sz, {0x25, 0, 0x41, 0, 0, 0}}},
        {false, R"x("e"=hex(2):25,00,00,00)x", u"e", {regtype::expand_sz, {0x25, 0, 0, 0}}},
        {false, R"x("m"=hex(7):61,00,00,00,00,00)x", u"m", {regtype::multi_sz, {0x61, 0, 0, 0, 0, 0}}},
        {false, R"x("s"=hex(1):41)x", u"s", {regtype::sz, {0x41, 0, 0, 0}}},
        {false, R"x("n"=hex(0):)x", u"n", {regtype::none, {}}},
        {false, R"x("t"=hex(100):7f)x", u"t", {0x100, {0x7F}}},
        {false, "\"c\"=hex:01,02,\\\n  03,\\ ; wrapped\n; a comment between\n\n  04", u"c", {3, {1, 2, 3, 4}}},
        {true, R"x("s"="\a\b\e\f\n\r\t\v")x", u"s", {regtype::sz, sz(u"\a\b\x1b\f\n\r\t\v")}},
        {true, R"x("s"="\x41\x263a\x4142f\xg")x", u"s", {regtype::sz, sz(u"A\u263A\u4142fxg")}},
        {true, R"x("s"="\101\0\7777")x", u"s", {regtype::sz, sz(u"A\0\u01FF7"sv)}},
        {true, R"x("s"="\q\\\"\]")x", u"s", {regtype::sz, sz(u"q\\\"]")}},
        {true, "\"\xC3\xA9\"=\"\xF0\x9F\x98\x80\"", u"\u00E9", {regtype::sz, sz(u"\U0001F600")}},
        {true, R"x(@=str:"d")x", u"", {regtype::sz, sz(u"d")}},
        {true, R"x("m"=str(7):"a\0b\0")x", u"m", {regtype::multi_sz, sz(u"a\0b\0"sv)}},
        {true, R"x("h"=hex(2):41,00)x", u"h", {regtype::expand_sz, {0x41, 0}}},
        {true, R"x("h"=hex:00 , 0001,ff)x", u"h", {regtype::binary, {0, 1, 0xFF}}},
    };
    // clang-format on
    for (const auto& [wine, line, name, data] : rows) {
        for (bool utf16 : {false, !wine}) {
            SCOPED_TRACE(std::string(line) + (utf16 ? " (UTF-16)" : ""));
            Loaded loaded(wine ? wineText(line) : regeditText(line, utf16));
            EXPECT_EQ(loaded.lines(), "");
            EXPECT_EQ(loaded.value(name), data);
        }
    }
}

TEST(RegFile, DetectsFormatByFirstLine) {
    // clang-format off
    const std::pair<std::string, RegFileFormat> cases[] = {
        {"\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n", RegFileFormat::Regedit5},
        {" REGEDIT4 \r\n\r\n", RegFileFormat::Regedit4}, {"WINE REGISTRY Version 2\r\n", RegFileFormat::Wine},
        {"WINE REGISTRY Version 2 \n", RegFileFormat::Unknown}, {"REGEDIT5\n", RegFileFormat::Unknown},
        {"\xFF\xFE", RegFileFormat::Unknown}, {utf16File(kRegedit5).substr(2), RegFileFormat::Unknown},
    };
    // clang-format on
    for (const auto& [bytes, format] : cases)
        EXPECT_EQ(detectRegFileFormat(bytes), format) << bytes;
    Loaded loaded("[HKEY_CURRENT_USER\\T]\n\"a\"=\"b\"\n");
    EXPECT_FALSE(loaded.ok);
    EXPECT_FALSE(keyExists(loaded.registry, Root::CurrentUser, u"T"));
    EXPECT_EQ(loaded.diagnostics.size(), 1u);
}

TEST(RegFile, KeyLinesAndTheirRoots) {
    Loaded loaded(kRegedit5 + "[HKEY_LOCAL_MACHINE\\Software\\A]\n[HKLM\\Software\\B]\n"
                              "[hkey_current_user\\C]\n[HKCU\\D]\n[HKEY_CLASSES_ROOT\\.e]\n"
                              "[HKCR\\.f]\n[HKEY_CURRENT_USER\\g]h] trailing\n[HKEY_CURRENT_USER]\n"
                              "\"top\"=\"1\"\n");
    // A Wine file's keys go where its first comment says, else to the caller's hive.
    const std::string wineKeys =
        "\n#arch=win64\n[Software\\\\Wine\\\\Empty] 1686110674\n#time=1d9\n#class=\"x\"\n[A\\]B]\n"
        "[Caf\xC3\xA9\\\\\\x41]\n";
    loaded.load("WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n" + wineKeys,
                Hive::CurrentUser);
    loaded.load("WINE REGISTRY Version 2\n" + wineKeys, Hive::CurrentUser);
    loaded.load("WINE REGISTRY Version 2\r\n;; All keys relative to \\\\User\\\\S-1-5-21-1-2-3\r\n"
                "[Software\\\\Wine\\\\User]\r\n",
                Hive::LocalMachine);
    EXPECT_EQ(loaded.lines(), "");
    EXPECT_EQ(keyTree(loaded.registry, Root::LocalMachine, u""),
              u".\nSoftware\nSoftware\\A\nSoftware\\B\nSoftware\\Classes\nSoftware\\Classes\\.e\n"
              u"Software\\Classes\\.f\nSoftware\\Wine\nSoftware\\Wine\\Empty\nA]B\n"
              u"Caf\u00E9\nCaf\u00E9\\A\n");
    EXPECT_EQ(keyTree(loaded.registry, Root::CurrentUser, u""),
              u". top=1\nC\nD\ng]h\nSoftware\nSoftware\\Wine\nSoftware\\Wine\\Empty\n"
              u"Software\\Wine\\User\nA]B\nCaf\u00E9\nCaf\u00E9\\A\n");
    EXPECT_EQ(keyTree(loaded.registry, Root::ClassesRoot, u""), u".\n.e\n.f\n");
}

// A key with more values than a linear search serves: each found by name in any case, names
// beyond ASCII too.
TEST(RegFile, KeysWithManyValues) {
    std::string many = "[Many]\n";
    for (int i = 0; i < 40; ++i)
        many += (i % 2 ? "\"\\x00e9" : "\"\\x03a9") + std::to_string(i) +
                "\"=dword:" + std::to_string(i) + "\n";
    Loaded loaded(kWine + many + "\"\\x03c938\"=dword:99\n");
    EXPECT_EQ(loaded.value(u"\u00c917", u"many"), Data(4, {0x17, 0, 0, 0}));
    EXPECT_EQ(loaded.value(u"\u03c938", u"Many"), Data(4, {0x99, 0, 0, 0}));
    EXPECT_EQ(loaded.value(u"\u03a90", u"Many"), Data(4, {0, 0, 0, 0}));
}

TEST(RegFile, LaterFilesOverrideAndDelete) {
    Loaded loaded(wineText("\"v1\"=\"wine\"\n[T\\\\Sub]\n\"x\"=dword:1\n[Keep]\n\"k\"=\"1\""));
    loaded.load(kRegedit5 + "[HKEY_CURRENT_USER\\T]\n\"v2\"=\"two\"\n\"v3\"=\"3\"\n");
    loaded.load(utf16File(kRegedit5 + "[-HKEY_CURRENT_USER\\T\\Sub]\n[HKEY_CURRENT_USER\\T]\n"
                                      "\"v1\"=-\n\"v2\"=dword:2\n\"missing\"=-\n[-HKCU\\Gone]\n"
                                      "[-HKEY_CURRENT_USER]\n[-HKEY_CLASSES_ROOT]\n"));
    EXPECT_EQ(loaded.lines(), "8: a root key can't be deleted: line skipped\n"
                              "9: a root key can't be deleted: line skipped\n");
    EXPECT_EQ(loaded.value(u"v2"), (Data{regtype::dword, {2, 0, 0, 0}}));
    // A replaced value keeps its place in the enumeration order.
    EXPECT_EQ(keyTree(loaded.registry, Root::CurrentUser, u""),
              u".\nT v2=#02000000 v3=3\nKeep k=1\n");
}

// Each line is line 3 of a regedit file or line 5 of a Wine file, followed by a good value.
TEST(RegFile, BadLineIsReportedAndTheRestLoads) {
    // clang-format off
    const std::pair<bool, std::string_view> rows[] = {
        {false, R"x("a"="open)x"}, {false, R"x("a"=dword:123456789)x"}, {false, R"x("a"=dword:)x"},
        {false, R"x("a"=hex:1g)x"}, {false, R"x("a"=hex:100)x"}, {false, R"x("a"=hex:01,,02)x"},
        {false, R"x("a"=hex(zz):00)x"}, {false, R"x("a"=text:00)x"}, {false, R"x("a"="x" y)x"},
        {false, R"x("a" "x")x"}, {false, R"x(just words)x"}, {false, R"x("a"=-x)x"},
        {false, "\"a\"=hex:01,\\"}, {false, "#not a comment"}, {false, "\"a\"=hex:01,\\ x"},
        {true, R"x("a"="open)x"}, {true, R"x("a"=hex:zz)x"}, {true, R"x("a"=nope:1)x"},
        {true, R"x("a"="x" ; no comments here)x"}, {true, R"x("a"=str(3):"x")x"}, {true, R"x("a"=-)x"},
        {true, "\"a\"=hex:01,\\"}, {true, "\"a\"=\"x\\"},
    };
    // clang-format on
    for (const auto& [wine, line] : rows) {
        SCOPED_TRACE(line);
        const std::string body = std::string(line) + "\n\"ok\"=\"yes\"";
        Loaded loaded(wine ? wineText(body) : regeditText(body));
        const std::string lines = loaded.lines();
        EXPECT_TRUE(lines.starts_with(wine ? "5: " : "3: ") &&
                    lines.find('\n') == lines.size() - 1 && !lines.ends_with(": \n") &&
                    !lines.ends_with(".\n"))
            << lines;
        EXPECT_FALSE(loaded.value(u"a"));
        EXPECT_EQ(loaded.value(u"ok"), Data(1, sz(u"yes")));
    }
}

TEST(RegFile, DamageIsReportedWhereItIs) {
    // clang-format off
    const std::tuple<std::string, std::string, std::optional<Data>> cases[] = {
        {kRegedit5 + "\"a\"=\"x\"\n[HKEY_CURRENT_USER\\T]\n\"a\"=\"y\"", "2: value outside of any key: skipped\n", Data{1, sz(u"y")}},
        {kRegedit5 + "[HKEY_USERS\\T]\n\"a\"=hex:01,\\\n 02\n\"b\"=-\n[-HKU\\T]\n", "2: unsupported key root 'HKEY_USERS': key skipped\n" "6: unsupported key root 'HKU': key skipped\n", std::nullopt},
        {kRegedit5 + "[HKEY_CURRENT_USER\\T\n\"a\"=\"x\"\n", "2: key line has no closing bracket: key skipped\n", std::nullopt},
        {regeditText(R"x("a"="b\qc")x"), "3: unknown escape sequence in a string: the backslash is dropped\n", Data{1, sz(u"bqc")}},
        {regeditText("\"a\"=hex:01,\\\n\n"), "3: the file ends inside hex data: value skipped\n", std::nullopt},
        {regeditText("\"a\"=\"x\"", true) + "x", "4: the file ends in the middle of a UTF-16 character\n", Data{1, sz(u"x")}},
        {kWine + "\"a\"=\"x\"\n[T]\n\"a\"=\"\xFF\xC3\"\n", "3: value outside of any key: skipped\n5: invalid UTF-8 read as U+FFFD\n", Data{1, sz(u"\uFFFD\uFFFD")}},
        {"WINE REGISTRY Version 2\n;; All keys relative to \\\\Elsewhere\n[T]\n\"a\"=\"x\"", "2: keys are relative to an unsupported root: they go to the default hive\n", Data{1, sz(u"x")}},
        // REGEDIT4 text is ANSI unless it is valid UTF-8; string data given as hex too.
        {"REGEDIT4\n[HKEY_CURRENT_USER\\T]\n\"a\"=\"caf\xE9 \x80\"\n", "", Data{1, sz(u"caf\u00E9 \u20AC")}},
        {"REGEDIT4\n[HKEY_CURRENT_USER\\T]\n\"a\"=\"caf\xC3\xA9\"\n", "", Data{1, sz(u"caf\u00E9")}},
        {"REGEDIT4\n[HKEY_CURRENT_USER\\T]\n\"a\"=hex(7):61,00,e9,00\n", "", Data{7, {0x61, 0, 0, 0, 0xE9, 0, 0, 0}}},
        // NUL bytes are characters like any other.
        {regeditText("\"a\"=\"x\0y\"\n\0"sv), "4: line not understood: skipped\n", Data{1, sz(u"x\0y"sv)}},
    };
    // clang-format on
    for (const auto& [text, lines, a] : cases) {
        SCOPED_TRACE(text);
        Loaded loaded(text, Hive::CurrentUser);
        EXPECT_EQ(loaded.lines(), lines);
        EXPECT_EQ(loaded.value(u"a"), a);
    }
}

// A Wine file's key lines usually repeat the line before but for its last component, and are
// taken from their bytes as they stand where they do; below a key three levels down, they wait
// in runs until that key's sub-keys are first needed. Each sequence must load as it does with a
// key line that shares nothing between its lines, and give the keys listed, at the top of the
// tree and two levels down.
TEST(RegFile, WineKeyLinesSharingTheLineBefore) {
    const std::string kLong(255, 'k');
    const std::u16string kLongName(255, u'k');
    const struct {
        std::vector<std::string> keys; // key lines without their brackets; "v" is the ordinal
        std::u16string tree;
    } cases[] = {
        {{"A\\\\B", "A\\\\B\\\\C", "A\\\\Bc", "A\\\\B"}, u"A\nA\\B v=4\nA\\B\\C v=2\nA\\Bc v=3\n"},
        // The same key in another case, and a longer or shorter last component.
        {{"Ab\\\\Cd", "AB\\\\cd\\\\E", "Ab\\\\C", "aB\\\\cD", "Abc"},
         u"Ab\nAb\\Cd v=4\nAb\\Cd\\E v=2\nAb\\C v=3\nAbc v=5\n"},
        // Escapes before, in and after the shared part; an escaped bracket is no end.
        {{"\\x41\\\\B", "\\x41\\\\B\\\\C\\]", "\\x41\\\\B\\\\C\\]\\\\D", "A\\\\Caf\\xe9"},
         u"A\nA\\B v=1\nA\\B\\C] v=2\nA\\B\\C]\\D v=3\nA\\Caf\u00e9 v=4\n"},
        // A numeric escape of a backslash separates, as in the decoded path; empty components
        // are passed over; UTF-8 as it stands.
        {{"X\\\\Y", "X\\x5cZ", "X\\\\\\\\\\\\Y\\\\", "X\\\\Y\\\\\xc3\xa9"},
         u"X\nX\\Y v=3\nX\\Y\\\u00e9 v=4\nX\\Z v=2\n"},
        // Refused lines leave nothing behind, not even the components they share.
        {{"P\\\\Q", "P\\\\Q\\\\" + kLong + "x", "P\\\\R\\\\\\0", "P\\\\Q\\\\" + kLong},
         u"P\nP\\Q v=1\nP\\Q\\" + kLongName + u" v=4\n"},
        // A shared component followed by an escape goes on: it is not the key before.
        {{"A\\\\B", "A\\\\B\\x41", "A\\\\B\\]"}, u"A\nA\\B v=1\nA\\BA v=2\nA\\B] v=3\n"},
        // Keys met again, in another case, below a key whose sub-keys wait, and through a
        // numeric escape of a separator; sub-keys whose names start with an escape.
        {{"Y", "Y\\\\A", "Y\\\\A\\\\B", "Z", "Y", "Y\\\\\\x8a2d", "Y\\\\\\x5cQ", "y\\\\D", "Y\\\\F",
          "Y\\\\\\x5c\\\\G", "Y\\\\\\101", "V", "V\\\\R", "V\\\\\\x5c", "v\\\\S"},
         u"Y v=5\nY\\A v=11\nY\\A\\B v=3\nY\\\u8a2d v=6\nY\\Q v=7\nY\\D v=8\nY\\F v=9\nY\\G v=10\n"
         u"Z v=4\nV v=14\nV\\R v=13\nV\\S v=15\n"},
    };
    for (const auto& c : cases) {
        for (const std::string above : {"", "W\\\\X\\\\"}) {
            std::string shared = kWine, alone = kWine;
            for (std::size_t i = 0; i < c.keys.size(); ++i) {
                const std::string lines =
                    "[" + above + c.keys[i] + "] 0\n\"v\"=\"" + std::to_string(i + 1) + "\"\n";
                shared += lines;
                alone += "[zz]\n" + lines;
            }
            std::u16string tree = above.empty() ? u"" : u"W\nW\\X\n";
            for (std::size_t at = 0, end; at < c.tree.size(); at = end + 1) {
                end = c.tree.find(u'\n', at);
                tree += (above.empty() ? u"" : u"W\\X\\") + c.tree.substr(at, end + 1 - at);
            }
            SCOPED_TRACE(shared);
            Loaded quick(shared), general(alone);
            EXPECT_EQ(keyTree(quick.registry, Root::CurrentUser, u""), u".\n" + tree);
            EXPECT_EQ(keyTree(general.registry, Root::CurrentUser, u""), u".\nzz\n" + tree);
            ASSERT_EQ(quick.diagnostics.size(), general.diagnostics.size()) << quick.lines();
            for (std::size_t i = 0; i < quick.diagnostics.size(); ++i)
                EXPECT_EQ(quick.diagnostics[i].message, general.diagnostics[i].message);
        }
    }
}

// A later file may name keys below one whose sub-keys still wait for an earlier file's lines:
// its own lines join them, in file order, or delete from them.
TEST(RegFile, LaterFilesReachKeysWhoseSubKeysWait) {
    MemoryRegistry registry;
    for (const std::string& text :
         {kWine + "[A\\\\B\\\\C]\n[A\\\\B\\\\C\\\\D]\n\"v\"=\"1\"\n[A\\\\B\\\\C\\\\D\\\\E]\n"
                  "[A\\\\B\\\\F]\n[A\\\\B\\\\F\\\\G]\n",
          kWine + "[a\\\\b\\\\c]\n[a\\\\b\\\\c\\\\H]\n[A\\\\B\\\\C\\\\D]\n\"v\"=\"2\"\n",
          kRegedit5 + "[-HKEY_CURRENT_USER\\A\\B\\F\\G]\n[HKEY_CURRENT_USER\\A\\B\\F\\I]\n"})
        loadRegistryText(registry, text, "test.reg", Hive::LocalMachine);
    EXPECT_EQ(keyTree(registry, Root::CurrentUser, u""),
              u".\nA\nA\\B\nA\\B\\C\nA\\B\\C\\D v=2\nA\\B\\C\\D\\E\nA\\B\\C\\H\nA\\B\\F\n"
              u"A\\B\\F\\I\n");
    EXPECT_TRUE(registry.diagnostics().empty());
}

TEST(RegFile, NamesUpToTheWindowsLimits) {
    const std::string longName(16383, 'v'), longKey(255, 'k');
    Loaded loaded(wineText("\"" + longName + "\"=\"ok\"\n\"" + longName + "w\"=\"no\"\n[" +
                           longKey + "]\n[" + longKey + "x]\n\"a\"=\"no\"\n"));
    EXPECT_EQ(loaded.lines(), "6: value name longer than 16383 characters: value skipped\n"
                              "8: key name longer than 255 characters: key skipped\n");
    EXPECT_EQ(loaded.value(std::u16string(longName.begin(), longName.end())), Data(1, sz(u"ok")));
    EXPECT_TRUE(keyExists(loaded.registry, Root::CurrentUser, std::u16string(255, u'k')));
}

std::string hexLines(const Bytes& data, std::size_t perLine) {
    std::string text;
    for (std::size_t i = 0; i < data.size(); ++i) {
        text += "0123456789abcdef"[data[i] >> 4];
        text += "0123456789abcdef"[data[i] & 15];
        if (i + 1 < data.size())
            text += (i + 1) % perLine == 0 ? ",\\\n  " : ",";
    }
    return text;
}

// Loaded from a file, read in blocks: a huge line, and values and UTF-16 units cut at block ends
// must load as from memory; the count of lines stays right past them.
TEST(RegFile, LargeValuesAndLinesFromAFile) {
    Bytes big(1 << 20);
    for (std::size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<std::uint8_t>(i * 7 + (i >> 9));
    const std::string body = std::string(3 << 20, 'g') + "\n\"wrapped\"=hex:" + hexLines(big, 25) +
                             "\n\"flat\"=hex:" + hexLines(big, big.size()) +
                             "\n\"after\"=\"1\"\nbad";
    const auto path = tavlo::test::freshTestFolder("reg_file") / "large.reg";
    for (bool utf16 : {false, true}) {
        const std::string text = regeditText(body, utf16);
        writeFile(path, text);
        Loaded loaded;
        ASSERT_TRUE(loadRegistryFile(loaded.registry, path.string(), Hive::CurrentUser));
        loaded.readAll();
        const auto last = std::count(text.begin(), text.end(), '\n');
        EXPECT_EQ(loaded.lines(), "3: line not understood: skipped\n" + std::to_string(last) +
                                      ": line not understood: skipped\n");
        EXPECT_EQ(loaded.diagnostics[0].file, path.string());
        EXPECT_EQ(loaded.value(u"wrapped"), Data(regtype::binary, big));
        EXPECT_EQ(loaded.value(u"flat"), Data(regtype::binary, big));
        EXPECT_EQ(loaded.value(u"after"), Data(1, sz(u"1")));
    }
    std::string flood;
    for (int i = 0; i < 5000; ++i)
        flood += "?\n";
    Loaded flooded(regeditText(flood + "\"ok\"=\"1\""));
    ASSERT_EQ(flooded.diagnostics.size(), 101u);
    EXPECT_EQ(flooded.diagnostics.back().line, 0u);
    EXPECT_EQ(flooded.diagnostics.back().message, "4900 more problems not listed");
    EXPECT_TRUE(flooded.value(u"ok"));
}

// A load takes in the keys and passes over their value lines, looking only for the next key line
// (blanks may come first; '[' and ';' elsewhere don't count); the lines are read when a key's
// values are first needed, from the file as it was loaded, by any number of threads at once.
TEST(RegFile, ValueLinesAreReadWhenFirstNeeded) {
    constexpr int kKeys = 3000;
    std::string body;
    for (int i = 0; i < kKeys; ++i)
        body += (i % 7 ? "[" : " \t[") + "HKEY_CURRENT_USER\\K"s + std::to_string(i) +
                "]\r\n\"v\"=\"[x] ; " + std::to_string(i) + "\"\r\n" + (i % 5 ? "" : "; [c]\n") +
                "\"h\"=hex:01,\\\r\n  02\r\n";
    body += "\"bad\n";
    const auto path = tavlo::test::freshTestFolder("reg_file") / "lines.reg";
    for (bool utf16 : {false, true}) {
        const std::string text = utf16 ? utf16File(kRegedit5 + body) : kRegedit5 + body;
        writeFile(path, text);
        MemoryRegistry registry;
        ASSERT_TRUE(loadRegistryFile(registry, path.string(), Hive::LocalMachine));
        EXPECT_TRUE(registry.diagnostics().empty());
#ifndef _WIN32 // Windows won't replace a file that is open
        const auto replacement = path.string() + ".new";
        writeFile(replacement, kRegedit5);
        std::filesystem::rename(replacement, path);
#endif
        std::vector<std::thread> readers;
        std::atomic<int> wrong = 0;
        for (int t = 0; t < 4; ++t)
            readers.emplace_back([&, t] {
                for (int k = 0; k < kKeys; ++k) {
                    const int i = (k * 7 + t * 997) % kKeys;
                    const auto number = fromUtf8(std::to_string(i));
                    if (query(registry, Root::CurrentUser, u"K" + number, u"v") !=
                            Data(regtype::sz, sz(u"[x] ; " + number)) ||
                        query(registry, Root::CurrentUser, u"K" + number, u"h") !=
                            Data(regtype::binary, {1, 2}))
                        ++wrong;
                }
            });
        for (auto& reader : readers)
            reader.join();
        EXPECT_EQ(wrong, 0);
        ASSERT_EQ(registry.diagnostics().size(), 1u);
        EXPECT_EQ(registry.diagnostics()[0].line,
                  static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')));
    }
}

TEST(RegFile, LoadsSampleFilesInOrder) {
    MemoryRegistry registry;
    const std::string dir = std::string(TAVLO_TEST_DATA_DIR) + "/reg/";
    for (const char* name : {"system.reg", "user.reg", "export5.reg", "export4.reg"})
        EXPECT_TRUE(loadRegistryFile(registry, dir + name, Hive::LocalMachine));
    registry.readAllValues();
    EXPECT_TRUE(registry.diagnostics().empty());
    EXPECT_FALSE(loadRegistryFile(registry, dir + "missing.reg", Hive::LocalMachine));
    ASSERT_EQ(registry.diagnostics().size(), 1u);
    EXPECT_EQ(registry.diagnostics()[0].file, dir + "missing.reg");

    const auto settings = u"Software\\Tavlo\\Settings";
    // clang-format off
    const std::tuple<Root, std::u16string, std::u16string, Data> values[] = {
        {Root::LocalMachine, settings, u"name", {1, sz(u"Caf\u00E9 \"Tavlo\"")}},
        {Root::LocalMachine, settings, u"List", {7, sz(u"one\0two\0"sv)}},
        {Root::LocalMachine, u"System\\CurrentControlSet", u"SymbolicLinkValue", {6, {0x5C, 0, 0x52, 0}}},
        {Root::ClassesRoot, u".tvl", u"", {1, sz(u"Tavlo.Document.5")}},
        {Root::CurrentUser, u"Software\\Tavlo", u"Path", {2, sz(u"%APPDATA%\\Tavlo")}},
        {Root::CurrentUser, u"Software\\Tavlo", u"Gr\u00F6\u00DFe", {4, {0x10, 0, 0, 0}}},
        {Root::CurrentUser, u"Software\\Tavlo\\Legacy", u"Caf\u00E9", {1, sz(u"\u20AC 5")}},
    };
    // clang-format on
    for (const auto& [root, path, name, data] : values)
        EXPECT_EQ(query(registry, root, path, name), data) << name.size();
    EXPECT_FALSE(keyExists(registry, Root::LocalMachine, u"Software\\Tavlo\\Empty"));
}

} // namespace
