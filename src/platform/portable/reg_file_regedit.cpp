// regedit's key lines: a root by its name, and a key to create or, after a minus, to delete.
#include "platform/portable/reg_file_loader.h"

namespace tavlo::platform::portable::reg_load {
namespace {

struct RootName {
    std::string_view name;
    Hive hive;
    std::u16string_view prefix;
};

// HKEY_CLASSES_ROOT is a merged view; regedit writes what is imported below it to the machine.
constexpr RootName kRoots[] = {
    {"HKEY_LOCAL_MACHINE", Hive::LocalMachine, u""},
    {"HKLM", Hive::LocalMachine, u""},
    {"HKEY_CURRENT_USER", Hive::CurrentUser, u""},
    {"HKCU", Hive::CurrentUser, u""},
    {"HKEY_CLASSES_ROOT", Hive::LocalMachine, u"Software\\Classes"},
    {"HKCR", Hive::LocalMachine, u"Software\\Classes"},
};

} // namespace

template <class Text> void Loader::regeditKeyLine(const Text& t, std::size_t p, std::size_t e) {
    std::size_t close = e;
    while (close > p && t[close - 1] != ']')
        --close;
    if (close == p) {
        report(line_, "key line has no closing bracket: key skipped");
        keyState_ = KeyState::Skipped;
        return;
    }
    --close;
    const bool remove = p < close && t[p] == '-';
    if (remove)
        ++p;
    std::size_t rootEnd = p;
    while (rootEnd < close && t[rootEnd] != '\\')
        ++rootEnd;
    const RootName* root = nullptr;
    for (const RootName& candidate : kRoots)
        if (equalsIgnoringCase(t, p, rootEnd, candidate.name))
            root = &candidate;
    if (!root) {
        report(line_, "unsupported key root " + excerpt(t, p, rootEnd) + ": key skipped");
        keyState_ = remove ? KeyState::None : KeyState::Skipped;
        return;
    }
    keyPath_.clear();
    keyPath_.append(root->prefix);
    const std::size_t prefixLength = keyPath_.size();
    if (rootEnd < close) {
        keyPath_.push(u'\\');
        appendText(t, rootEnd + 1, close, keyPath_);
    }
    if (remove) {
        keyState_ = KeyState::None;
        const std::u16string_view path = keyPath_.wide();
        if (path.find_first_not_of(u'\\', prefixLength) == npos)
            report(line_, "a root key can't be deleted: line skipped");
        else
            registry_->deleteKey(root->hive, path);
        return;
    }
    openKey(root->hive);
}

template void Loader::regeditKeyLine(const Text8&, std::size_t, std::size_t);
template void Loader::regeditKeyLine(const Text16&, std::size_t, std::size_t);

} // namespace tavlo::platform::portable::reg_load
