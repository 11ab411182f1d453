// What a key holds, laid out for a registry of millions of entries: its values and sub-keys in
// insertion order (the order Windows enumerates them in), an index by hash for keys with many
// entries, and, while a loaded key's values wait to be read, where its lines lie.
#pragma once

#include "platform/portable/units.h"

#include <atomic>
#include <cstdint>

namespace tavlo::platform::portable {

struct Value {
    const std::uint8_t* block; // the name, then the data
    std::uint32_t nameLength : 31;
    std::uint32_t narrowName : 1;
    std::uint32_t hash : 31;
    std::uint32_t narrowData : 1; // each stored byte stands for the pair (byte, 0)
    std::uint32_t size;           // in bytes, as a query reports it
    std::uint32_t type;

    Units name() const { return {block, nameLength, narrowName != 0}; }
    const std::uint8_t* data() const { return block + (narrowName ? nameLength : 2 * nameLength); }
};

template <typename Item> struct Slots {
    Item* items = nullptr;
    std::uint32_t count = 0;
    std::uint32_t capacity = 0;

    Item* begin() const { return items; }
    Item* end() const { return items + count; }
};

// Small keys are searched linearly, by hash first; an index pays off only for keys with many
// entries (the application catalogue can hold thousands of values), so only they have one.
struct Index {
    std::uint32_t* slots = nullptr; // positions + 1 by hash, open addressing; 0 is free
    std::uint32_t log = 0;
};
struct Indexes {
    Index values;
    Index children;
};

constexpr std::uint32_t kIndexThreshold = 16;
constexpr std::uint32_t kNotFound = ~std::uint32_t{0};

// Where a loaded key's lines lie while its values wait to be read. Nearly every key has one run
// of lines that fits the short form, kept in the node itself; a key named again further on, or in
// another file, keeps a list.
struct ShortRun {
    std::uint64_t offset : 48;
    std::uint64_t source : 16;
    std::uint32_t length;
    std::uint32_t line;
};
struct Run {
    std::uint64_t offset;
    std::uint64_t length;
    std::uint64_t line;
    std::uint32_t source;
    Run* next;
};
enum class Waiting : std::uint8_t { Nothing, ShortRun, Runs };

// Where the key lines of a loaded key's sub-keys lie while they wait to be read: the lines of a
// run all name keys below it, and each starts with the same prefix bytes of path, the key's own
// path as that run spells it.
struct KeyRun {
    std::uint64_t offset;
    std::uint64_t length;
    std::uint64_t line;
    std::uint32_t source;
    std::uint32_t prefix;
    std::uint8_t hive; // the loader's Hive, which the lines' paths are relative to
    KeyRun* next;
};

// A loaded file's keys near the top of its tree are stored whole, so a node is kept small (a
// cache line): its values and the run of lines they are read from share their room.
struct KeyNode {
    const std::uint8_t* nameBytes = nullptr;
    std::uint32_t hash = 0;
    std::uint16_t nameLength = 0; // key names are at most 255 units
    std::uint8_t narrowName = 1;
    std::atomic<Waiting> waiting{Waiting::Nothing};
    union {
        Slots<Value> values{};
        ShortRun run;
        Run* runs;
    };
    Slots<KeyNode*> children;
    // Made while a key's values are read, which another thread may walk past to a sub-key.
    std::atomic<Indexes*> indexes{nullptr};
    // The runs of key lines that make its sub-keys when first needed; children holds none of
    // them until then.
    std::atomic<KeyRun*> keyRuns{nullptr};

    Units name() const { return {nameBytes, nameLength, narrowName != 0}; }
};

inline Units nameOf(const Value& value) {
    return value.name();
}
inline Units nameOf(KeyNode* const& node) {
    return node->name();
}
inline std::uint32_t hashOf(const Value& value) {
    return value.hash;
}
inline std::uint32_t hashOf(KeyNode* const& node) {
    return node->hash;
}

inline Index* indexOf(const KeyNode& node, const Slots<Value>&) {
    Indexes* indexes = node.indexes.load(std::memory_order_acquire);
    return indexes ? &indexes->values : nullptr;
}
inline Index* indexOf(const KeyNode& node, const Slots<KeyNode*>&) {
    Indexes* indexes = node.indexes.load(std::memory_order_acquire);
    return indexes ? &indexes->children : nullptr;
}

} // namespace tavlo::platform::portable
