// Everything one registry holds: its keys, values and names in arenas, the sources its keys'
// waiting lines are read from, and the problems met in them. Open keys share it, so that it
// outlives a clear() of the registry that made it.
#pragma once

#include "platform/portable/arena.h"
#include "platform/portable/diagnostic_log.h"
#include "platform/portable/entries.h"
#include "platform/portable/line_source.h"
#include "platform/portable/names.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace tavlo::platform::portable {

struct KeyStorage {
    Arena nodes{alignof(KeyNode)}; // nodes, sub-key arrays, indexes and runs of lines
    Arena values{alignof(Value)};
    Arena text{1}; // names and data
    KeyNode machine;
    KeyNode user;
    std::vector<std::shared_ptr<LineSource>> sources;
    // Held while a key's values are read from its lines: the arenas grow then.
    std::mutex reading;
    // Counts the changes the mutators made, so that a merged view made before one is made
    // again. Reading a key's waiting lines is no change: what they say was the key's all along.
    std::uint64_t changes = 0;
    DiagnosticLog log;

    // A key's values, read first when they're still waiting.
    const KeyNode& withValues(const KeyNode& node) {
        if (node.waiting.load(std::memory_order_acquire) != Waiting::Nothing) {
            std::lock_guard lock(reading);
            readWaiting(const_cast<KeyNode&>(node));
        }
        return node;
    }

    // A key's sub-keys, made first when their key lines still wait. A mutator that walks the
    // tree gets them from child() instead, without the lock.
    const KeyNode& withChildren(const KeyNode& node) {
        if (node.keyRuns.load(std::memory_order_acquire)) {
            std::lock_guard lock(reading);
            readWaitingKeys(const_cast<KeyNode&>(node));
        }
        return node;
    }

    // The key's values are (also) what these lines say. Values the key already holds come
    // first: the lines are read over them at once.
    void addRun(KeyNode& node, std::uint32_t source, std::uint64_t offset, std::uint64_t length,
                std::uint64_t line);

    template <typename Item>
    std::uint32_t find(const KeyNode& node, const Slots<Item>& slots, const Units& name,
                       std::uint32_t hash) const {
        if (const Index* index = indexOf(node, slots); index && index->slots) {
            const std::uint32_t mask = (1u << index->log) - 1;
            for (std::uint32_t i = hash & mask; index->slots[i]; i = (i + 1) & mask) {
                const std::uint32_t at = index->slots[i] - 1;
                if (hashOf(slots.items[at]) == hash && sameName(nameOf(slots.items[at]), name))
                    return at;
            }
            return kNotFound;
        }
        for (std::uint32_t at = 0; at < slots.count; ++at)
            if (hashOf(slots.items[at]) == hash && sameName(nameOf(slots.items[at]), name))
                return at;
        return kNotFound;
    }

    const KeyNode* findChild(const KeyNode& parent, const Units& name) {
        withChildren(parent);
        const std::uint32_t at = find(parent, parent.children, name, hashOf(name));
        return at == kNotFound ? nullptr : parent.children.items[at];
    }

    // The sub-keys of a key with none yet are (also) what these key lines name. Only a loader
    // adds them, and only to a key whose sub-keys all wait, so that reading them makes every
    // key below it afresh.
    void addKeyRun(KeyNode& node, const KeyRun& run);
    // Makes the sub-keys whose key lines wait. The caller holds the lock, or is a mutator.
    void readWaitingKeys(KeyNode& node);

    // The child of that name, made when missing.
    KeyNode* child(KeyNode& parent, const Units& name);
    // The sub-key at that position goes, with everything below it.
    void removeChild(KeyNode& parent, std::uint32_t at);
    // Stores raw data, or (data null) text as UTF-16.
    void store(KeyNode& key, Units name, std::uint32_t type, const std::uint8_t* data,
               std::size_t size, const Units* stringData);
    bool removeValue(KeyNode& node, const Units& name);

private:
    void readWaiting(KeyNode& node);

    // Grown sub-key arrays and indexes, by size, for the next that reaches it.
    void* freeChildren[32] = {};
    void* freeIndexes[32] = {};

    void* reuse(void* (&free)[32], std::uint32_t log, std::size_t bytes);
    static void recycle(void* (&free)[32], std::uint32_t log, void* block);
    template <typename Item> void buildIndex(KeyNode& node, Slots<Item>& slots);
    static void place(Index& index, std::uint32_t hash, std::uint32_t at);
    void grow(Slots<Value>& slots);
    void grow(Slots<KeyNode*>& slots);
    template <typename Item> Item& append(KeyNode& node, Slots<Item>& slots, const Item& item);
    template <typename Item> void erase(KeyNode& node, Slots<Item>& slots, std::uint32_t at);
};

} // namespace tavlo::platform::portable
