#include "platform/portable/memory_registry.h"

#include "platform/portable/casemap.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

namespace tavlo::platform::portable {

namespace {

// Names are kept as given only; lookups fold them unit by unit, so a name costs its storage
// once (a loaded registry file holds millions of them).
struct Value {
    std::u16string name;
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
};

} // namespace

namespace {

using Node = MemoryRegistry::Node;

const std::u16string& nameOf(const Value& value);
const std::u16string& nameOf(const std::shared_ptr<Node>& node);

// name equals the folded form folded, without building name's own folded copy.
bool sameName(const std::u16string& name, const std::u16string& folded) {
    if (name.size() != folded.size())
        return false;
    for (std::size_t i = 0; i < name.size(); ++i)
        if (upperUnit(name[i]) != folded[i])
            return false;
    return true;
}

// A key's values or sub-keys in insertion order (the order Windows enumerates them in), found
// by folded name. Small keys are searched linearly; an index pays off only for keys with many
// entries (the application catalogue can hold thousands of values) and would cost memory on
// every other key.
template <typename Item> class Ordered {
public:
    std::vector<Item> items;

    const Item* find(const std::u16string& folded) const {
        if (!index_.empty()) {
            auto it = index_.find(folded);
            return it == index_.end() ? nullptr : &items[it->second];
        }
        for (auto& item : items)
            if (sameName(nameOf(item), folded))
                return &item;
        return nullptr;
    }
    Item* find(const std::u16string& folded) {
        return const_cast<Item*>(std::as_const(*this).find(folded));
    }

    Item& append(Item item) {
        items.push_back(std::move(item));
        if (!index_.empty())
            index_.emplace(foldName(nameOf(items.back())), items.size() - 1);
        else if (items.size() > kIndexThreshold)
            rebuildIndex();
        return items.back();
    }

    bool erase(const std::u16string& folded) {
        auto it = std::find_if(items.begin(), items.end(),
                               [&](const Item& item) { return sameName(nameOf(item), folded); });
        if (it == items.end())
            return false;
        items.erase(it);
        index_.clear();
        if (items.size() > kIndexThreshold)
            rebuildIndex();
        return true;
    }

private:
    static constexpr std::size_t kIndexThreshold = 16;
    void rebuildIndex() {
        index_.clear();
        for (std::size_t i = 0; i < items.size(); ++i)
            index_.emplace(foldName(nameOf(items[i])), i);
    }
    std::unordered_map<std::u16string, std::size_t> index_;
};

const std::u16string& nameOf(const Value& value) {
    return value.name;
}

} // namespace

struct MemoryRegistry::Node {
    std::u16string name;
    Ordered<Value> values;
    Ordered<std::shared_ptr<Node>> children;
};

namespace {

const std::u16string& nameOf(const std::shared_ptr<Node>& node) {
    return node->name;
}

// An open key. Keys below HKEY_CLASSES_ROOT see two nodes, the user's first; either may be
// missing. Holding the nodes keeps them alive even if a fixture deletes the key meanwhile.
struct OpenKey {
    std::shared_ptr<Node> primary;
    std::shared_ptr<Node> secondary;
};

std::size_t length(const char16_t* text) {
    std::size_t n = 0;
    if (text)
        while (text[n])
            ++n;
    return n;
}

bool isStringType(std::uint32_t type) {
    return type == regtype::sz || type == regtype::expand_sz || type == regtype::multi_sz;
}

// Calls fn for each non-empty component, so that doubled and trailing separators are accepted
// as the registry accepts them. fn returns false to stop.
template <typename Fn> void forEachComponent(std::u16string_view path, Fn&& fn) {
    std::size_t start = 0;
    while (start < path.size()) {
        std::size_t end = path.find(u'\\', start);
        if (end == std::u16string_view::npos)
            end = path.size();
        if (end > start && !fn(path.substr(start, end - start)))
            return;
        start = end + 1;
    }
}

std::shared_ptr<Node> descend(std::shared_ptr<Node> node, std::u16string_view path) {
    forEachComponent(path, [&](std::u16string_view component) {
        auto* next = node->children.find(foldName(component));
        node = next ? *next : nullptr;
        return node != nullptr;
    });
    return node;
}

std::shared_ptr<Node> descendCreating(std::shared_ptr<Node> node, std::u16string_view path) {
    forEachComponent(path, [&](std::u16string_view component) {
        std::u16string folded = foldName(component);
        auto* next = node->children.find(folded);
        if (!next) {
            auto created = std::make_shared<Node>();
            created->name = std::u16string(component);
            next = &node->children.append(std::move(created));
        }
        node = *next;
        return true;
    });
    return node;
}

// Entries of an open key in enumeration order: the primary node's, then the secondary node's
// that the primary doesn't shadow.
template <typename Item, typename Member>
std::vector<const Item*> merged(const OpenKey& key, Member member) {
    std::vector<const Item*> out;
    if (key.primary)
        for (const auto& item : ((*key.primary).*member).items)
            out.push_back(&item);
    if (key.secondary)
        for (const auto& item : ((*key.secondary).*member).items)
            if (!key.primary || !((*key.primary).*member).find(foldName(nameOf(item))))
                out.push_back(&item);
    return out;
}

// The entry at index, without building the merged list for the common single-node key: a
// walk over n values stays linear.
template <typename Item, typename Member>
const Item* entryAt(const OpenKey& key, Member member, std::uint32_t index) {
    if (!key.secondary || !key.primary) {
        const auto& node = key.primary ? key.primary : key.secondary;
        if (!node)
            return nullptr;
        const auto& items = ((*node).*member).items;
        return index < items.size() ? &items[index] : nullptr;
    }
    const auto entries = merged<Item>(key, member);
    return index < entries.size() ? entries[index] : nullptr;
}

const Value* findValue(const OpenKey& key, const char16_t* name) {
    const std::u16string folded = foldName(std::u16string_view(name ? name : u"", length(name)));
    for (const auto& node : {key.primary, key.secondary})
        if (node)
            if (const Value* value = node->values.find(folded))
                return value;
    return nullptr;
}

// Copies value data the way RegQueryValueExW does: the stored bytes, then a terminator for a
// string that lacks one, but only where two spare bytes remain. The reported size never counts
// that terminator, so callers must terminate strings themselves.
void copyData(const Value& value, std::uint8_t* data, std::uint32_t capacity) {
    const std::size_t size = value.data.size();
    if (size)
        std::memcpy(data, value.data.data(), size);
    if (isStringType(value.type) && size > 0 && size + 2 <= capacity) {
        const bool terminated = size >= 2 && value.data[size - 1] == 0 && value.data[size - 2] == 0;
        if (!terminated) {
            data[size] = 0;
            data[size + 1] = 0;
        }
    }
}

// The name protocol of RegEnumValueW / RegEnumKeyExW: *count holds room including the
// terminator on entry and the length without it on return.
bool nameFits(const std::u16string& name, const std::uint32_t* count) {
    return name.size() < *count;
}
void copyName(const std::u16string& name, char16_t* out, std::uint32_t* count) {
    std::copy(name.begin(), name.end(), out);
    out[name.size()] = 0;
    *count = static_cast<std::uint32_t>(name.size());
}

} // namespace

MemoryRegistry::MemoryRegistry()
    : machine_(std::make_shared<Node>()), user_(std::make_shared<Node>()) {}

MemoryRegistry::~MemoryRegistry() = default;

static std::shared_ptr<Node> rootOf(const std::shared_ptr<Node>& machine,
                                    const std::shared_ptr<Node>& user, Hive hive) {
    return hive == Hive::LocalMachine ? machine : user;
}

std::shared_ptr<Node> MemoryRegistry::keyForWriting(Hive hive, std::u16string_view path) {
    // A loader writes every value of a key in a row: the key found last is found again without
    // walking its path.
    if (auto cached = lastKey_.lock(); cached && lastHive_ == hive && lastPath_ == path)
        return cached;
    auto node = descendCreating(rootOf(machine_, user_, hive), path);
    lastKey_ = node;
    lastHive_ = hive;
    lastPath_.assign(path);
    return node;
}

void MemoryRegistry::createKey(Hive hive, std::u16string_view path) {
    keyForWriting(hive, path);
}

void MemoryRegistry::setValue(Hive hive, std::u16string_view path, std::u16string_view name,
                              std::uint32_t type, std::vector<std::uint8_t> data) {
    auto node = keyForWriting(hive, path);
    std::u16string folded = foldName(name);
    if (Value* existing = node->values.find(folded)) {
        existing->type = type;
        existing->data = std::move(data);
        return;
    }
    node->values.append(Value{std::u16string(name), type, std::move(data)});
}

bool MemoryRegistry::deleteValue(Hive hive, std::u16string_view path, std::u16string_view name) {
    auto node = descend(rootOf(machine_, user_, hive), path);
    return node && node->values.erase(foldName(name));
}

bool MemoryRegistry::deleteKey(Hive hive, std::u16string_view path) {
    lastKey_.reset();
    auto root = rootOf(machine_, user_, hive);
    std::u16string_view parentPath = path;
    while (!parentPath.empty() && parentPath.back() == u'\\')
        parentPath.remove_suffix(1);
    const std::size_t cut = parentPath.rfind(u'\\');
    const std::u16string_view leaf =
        cut == std::u16string_view::npos ? parentPath : parentPath.substr(cut + 1);
    parentPath =
        cut == std::u16string_view::npos ? std::u16string_view() : parentPath.substr(0, cut);
    if (leaf.empty())
        return false;
    auto parent = descend(root, parentPath);
    return parent && parent->children.erase(foldName(leaf));
}

void MemoryRegistry::clear() {
    lastKey_.reset();
    machine_ = std::make_shared<Node>();
    user_ = std::make_shared<Node>();
}

Status MemoryRegistry::openKey(Root root, const char16_t* subKey, KeyHandle* key) {
    if (!key)
        return status::invalid_parameter;
    *key = nullptr;
    std::u16string_view path(subKey ? subKey : u"", length(subKey));
    auto machine = rootOf(machine_, user_, Hive::LocalMachine);
    auto user = rootOf(machine_, user_, Hive::CurrentUser);

    auto open = std::make_unique<OpenKey>();
    switch (root) {
    case Root::LocalMachine:
    case Root::CurrentUser:
        if (!path.empty() && path.front() == u'\\')
            return status::bad_pathname;
        open->primary = descend(root == Root::LocalMachine ? machine : user, path);
        if (!open->primary)
            return status::file_not_found;
        break;
    case Root::ClassesRoot: {
        // The merged view strips one leading backslash where the other roots refuse it.
        if (!path.empty() && path.front() == u'\\')
            path.remove_prefix(1);
        if (!path.empty() && path.front() == u'\\')
            return status::bad_pathname;
        auto userClasses = descend(user, u"Software\\Classes");
        auto machineClasses = descend(machine, u"Software\\Classes");
        if (userClasses)
            open->primary = descend(userClasses, path);
        if (machineClasses)
            open->secondary = descend(machineClasses, path);
        bool isRoot = true;
        forEachComponent(path, [&](std::u16string_view) { return isRoot = false; });
        if (!open->primary && !open->secondary) {
            if (!isRoot)
                return status::file_not_found;
            // HKEY_CLASSES_ROOT itself always opens, even when neither side has classes yet.
            open->primary = std::make_shared<Node>();
        }
        break;
    }
    default:
        return status::invalid_handle;
    }
    *key = open.release();
    return status::success;
}

Status MemoryRegistry::queryValue(KeyHandle key, const char16_t* name, std::uint32_t* type,
                                  std::uint8_t* data, std::uint32_t* size) {
    if (!key)
        return status::invalid_handle;
    if (data && !size)
        return status::invalid_parameter;
    const Value* value = findValue(*static_cast<OpenKey*>(key), name);
    if (!value)
        return status::file_not_found;
    if (type)
        *type = value->type;
    const auto stored = static_cast<std::uint32_t>(value->data.size());
    if (data) {
        if (stored > *size) {
            *size = stored;
            return status::more_data;
        }
        copyData(*value, data, *size);
    }
    if (size)
        *size = stored;
    return status::success;
}

Status MemoryRegistry::enumValue(KeyHandle key, std::uint32_t index, char16_t* name,
                                 std::uint32_t* nameCount, std::uint32_t* type, std::uint8_t* data,
                                 std::uint32_t* dataSize) {
    if (!key)
        return status::invalid_handle;
    if (!name || !nameCount || (data && !dataSize))
        return status::invalid_parameter;
    const Value* found = entryAt<Value>(*static_cast<OpenKey*>(key), &Node::values, index);
    if (!found)
        return status::no_more_items;
    const Value& value = *found;
    const auto stored = static_cast<std::uint32_t>(value.data.size());
    if (type)
        *type = value.type;
    if (!nameFits(value.name, nameCount)) {
        if (dataSize)
            *dataSize = stored;
        return status::more_data;
    }
    copyName(value.name, name, nameCount);
    if (data && stored > *dataSize) {
        *dataSize = stored;
        return status::more_data;
    }
    if (data)
        copyData(value, data, *dataSize);
    if (dataSize)
        *dataSize = stored;
    return status::success;
}

Status MemoryRegistry::enumKey(KeyHandle key, std::uint32_t index, char16_t* name,
                               std::uint32_t* nameCount) {
    if (!key)
        return status::invalid_handle;
    if (!name || !nameCount)
        return status::invalid_parameter;
    const auto* found =
        entryAt<std::shared_ptr<Node>>(*static_cast<OpenKey*>(key), &Node::children, index);
    if (!found)
        return status::no_more_items;
    const std::u16string& childName = (*found)->name;
    if (!nameFits(childName, nameCount))
        return status::more_data;
    copyName(childName, name, nameCount);
    return status::success;
}

void MemoryRegistry::closeKey(KeyHandle key) {
    delete static_cast<OpenKey*>(key);
}

} // namespace tavlo::platform::portable
