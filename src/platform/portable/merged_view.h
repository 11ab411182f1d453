// An open key, and what one below HKEY_CLASSES_ROOT sees: the user's classes over the
// machine's, entries of the two merged in enumeration order.
#pragma once

#include "platform/portable/key_storage.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace tavlo::platform::portable {

// The entries of a key that both sides of HKEY_CLASSES_ROOT have, in enumeration order, made
// on the first enumeration and used until the registry changes: made for each index, a walk
// over n entries would cost n squared.
template <typename Item> struct MergedList {
    std::uint64_t madeAt = 0; // the storage's change count then
    std::vector<const Item*> entries;
};
// An open key may be enumerated from several threads at once, as a handle may on Windows. A list
// once published is never changed, so readers take the current one without a lock; one made
// again after a change replaces it, and the replaced ones stay until the key is closed, as a
// reader may still hold one. Only a registry changed between walks of one open key (a test's
// fixture; the library never writes) makes more than one.
template <typename Item> struct MergedLists {
    std::atomic<const MergedList<Item>*> current{nullptr};
    std::vector<std::unique_ptr<MergedList<Item>>> made;
};
struct MergedView {
    std::mutex making;
    MergedLists<Value> values;
    MergedLists<KeyNode*> children;

    MergedLists<Value>& of(Slots<Value> KeyNode::*) { return values; }
    MergedLists<KeyNode*>& of(Slots<KeyNode*> KeyNode::*) { return children; }
};

// An open key. Keys below HKEY_CLASSES_ROOT see two nodes, the user's first; either may be
// missing. The storage is held so that the nodes outlive a clear() of the registry.
struct OpenKey {
    std::shared_ptr<KeyStorage> storage;
    const KeyNode* primary = nullptr;
    const KeyNode* secondary = nullptr;
    std::unique_ptr<MergedView> merged; // when there are both
};

// Entries of a key seen through both sides in enumeration order: the primary node's, then the
// secondary node's that the primary doesn't shadow. A lookup in the primary costs what its
// index costs, so the whole list costs what walking both sides costs.
template <typename Item>
void merge(const OpenKey& key, Slots<Item> KeyNode::*member, std::vector<const Item*>& out) {
    const Slots<Item>& primary = (*key.primary).*member;
    const Slots<Item>& secondary = (*key.secondary).*member;
    out.clear();
    out.reserve(std::size_t{primary.count} + secondary.count);
    for (const auto& item : primary)
        out.push_back(&item);
    for (const auto& item : secondary)
        if (key.storage->find(*key.primary, primary, nameOf(item), hashOf(item)) == kNotFound)
            out.push_back(&item);
}

// The entry at index. A single node is indexed directly, live; a merged key reads the list kept
// for it, made again after any change to the registry, so that it answers what the registry
// holds now, as a key that is enumerated while it changes does on Windows.
template <typename Item>
const Item* entryAt(const OpenKey& key, Slots<Item> KeyNode::*member, std::uint32_t index) {
    if (!key.merged) {
        const KeyNode* node = key.primary ? key.primary : key.secondary;
        if (!node)
            return nullptr;
        const Slots<Item>& slots = (*node).*member;
        return index < slots.count ? &slots.items[index] : nullptr;
    }
    MergedView& view = *key.merged;
    MergedLists<Item>& lists = view.of(member);
    const std::uint64_t changes = key.storage->changes;
    const MergedList<Item>* list = lists.current.load(std::memory_order_acquire);
    if (!list || list->madeAt != changes) {
        std::lock_guard lock(view.making);
        list = lists.current.load(std::memory_order_relaxed);
        if (!list || list->madeAt != changes) {
            auto made = std::make_unique<MergedList<Item>>();
            made->madeAt = changes;
            merge(key, member, made->entries);
            list = made.get();
            lists.made.push_back(std::move(made));
            lists.current.store(list, std::memory_order_release);
        }
    }
    return index < list->entries.size() ? list->entries[index] : nullptr;
}

} // namespace tavlo::platform::portable
