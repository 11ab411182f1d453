// The mutators: what the file loader and test fixtures build a registry with.
#include "platform/portable/memory_registry.h"

#include "platform/portable/key_paths.h"
#include "platform/portable/key_storage.h"

#include <memory>
#include <string>
#include <vector>

namespace tavlo::platform::portable {

MemoryRegistry::MemoryRegistry() : storage_(std::make_shared<Storage>()) {}

MemoryRegistry::~MemoryRegistry() = default;

MemoryRegistry::Node* MemoryRegistry::writableKey(Hive hive, Units path) {
    Storage& storage = *storage_;
    ++storage.changes; // the key is made, or written next
    Node* node = hive == Hive::LocalMachine ? &storage.machine : &storage.user;
    const std::size_t unit = path.narrow ? 1 : 2;
    const std::string_view bytes(static_cast<const char*>(path.text), unit * path.length);
    // Whole components the last path shares with this one lead to the same nodes.
    std::size_t kept = 0, start = 0;
    if (hive == lastHive_ && path.narrow == lastNarrow_ && !lastNodes_.empty()) {
        const std::size_t common = commonPrefix(bytes, lastPath_) / unit;
        for (kept = lastNodes_.size(); kept > 0; --kept) {
            const std::size_t end = lastNodes_[kept - 1].first;
            if (end <= common &&
                (end == path.length || unitAt(path.text, path.narrow, end) == u'\\'))
                break;
        }
        if (kept > 0) {
            start = lastNodes_[kept - 1].first;
            node = lastNodes_[kept - 1].second;
        }
    }
    lastNodes_.resize(kept);
    forEachComponent(path, start, [&](const Units& component, std::size_t end) {
        node = storage.child(*node, component);
        lastNodes_.emplace_back(end, node);
        return true;
    });
    lastHive_ = hive;
    lastNarrow_ = path.narrow;
    lastPath_.assign(bytes);
    return node;
}

std::uint32_t MemoryRegistry::addSource(std::shared_ptr<LineSource> source) {
    storage_->sources.push_back(std::move(source));
    return static_cast<std::uint32_t>(storage_->sources.size() - 1);
}

MemoryRegistry::Node* MemoryRegistry::writableChild(Hive hive, Node* parent, const Units& name) {
    Storage& storage = *storage_;
    ++storage.changes;
    if (!parent)
        parent = hive == Hive::LocalMachine ? &storage.machine : &storage.user;
    return storage.child(*parent, name);
}

void MemoryRegistry::deferValues(Node* key, std::uint32_t source, std::uint64_t offset,
                                 std::uint64_t length, std::uint64_t firstLine) {
    ++storage_->changes;
    storage_->addRun(*key, source, offset, length, firstLine);
}

void MemoryRegistry::deferKeys(Node* key, const KeyRun& run) {
    ++storage_->changes;
    storage_->addKeyRun(*key, run);
}

void MemoryRegistry::readAllValues() {
    Storage& storage = *storage_;
    std::vector<Node*> pending{&storage.machine, &storage.user};
    while (!pending.empty()) {
        Node* node = pending.back();
        pending.pop_back();
        storage.withValues(*node);
        storage.withChildren(*node);
        // Sub-keys in their order, which is mostly the order of their lines in a file.
        for (std::uint32_t i = node->children.count; i-- > 0;)
            pending.push_back(node->children.items[i]);
    }
}

void MemoryRegistry::report(Diagnostic diagnostic) {
    storage_->log.report(std::move(diagnostic));
}

std::vector<Diagnostic> MemoryRegistry::diagnostics() const {
    return storage_->log.list();
}

void MemoryRegistry::createKey(Hive hive, std::u16string_view path) {
    writableKey(hive, Units::of(path));
}

void MemoryRegistry::setValue(Hive hive, std::u16string_view path, std::u16string_view name,
                              std::uint32_t type, const std::vector<std::uint8_t>& data) {
    Node& key = *writableKey(hive, Units::of(path));
    storage_->withValues(key);
    storage_->store(key, Units::of(name), type, data.data(), data.size(), nullptr);
}

bool MemoryRegistry::deleteValue(Hive hive, std::u16string_view path, std::u16string_view name) {
    Storage& storage = *storage_;
    ++storage.changes;
    Node* node = const_cast<Node*>(
        descend(storage, hive == Hive::LocalMachine ? &storage.machine : &storage.user, path));
    if (!node)
        return false;
    storage.withValues(*node);
    return storage.removeValue(*node, Units::of(name));
}

bool MemoryRegistry::deleteKey(Hive hive, std::u16string_view path) {
    lastNodes_.clear();
    Storage& storage = *storage_;
    ++storage.changes;
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
    Node* parent = const_cast<Node*>(descend(
        storage, hive == Hive::LocalMachine ? &storage.machine : &storage.user, parentPath));
    if (!parent)
        return false;
    const Units text = Units::of(leaf);
    storage.withChildren(*parent);
    const std::uint32_t at = storage.find(*parent, parent->children, text, hashOf(text));
    if (at == kNotFound)
        return false;
    storage.removeChild(*parent, at);
    return true;
}

void MemoryRegistry::clear() {
    lastNodes_.clear();
    storage_ = std::make_shared<Storage>();
}

} // namespace tavlo::platform::portable
