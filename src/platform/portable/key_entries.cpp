// A key's values and sub-keys: their arrays, kept in insertion order, and the indexes of keys
// with many entries.
#include "platform/portable/key_storage.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>
#include <stdexcept>

namespace tavlo::platform::portable {

void* KeyStorage::reuse(void* (&free)[32], std::uint32_t log, std::size_t bytes) {
    if (void* block = free[log]) {
        std::memcpy(&free[log], block, sizeof(void*));
        return block;
    }
    return nodes.allocate(std::max(bytes, sizeof(void*)));
}

void KeyStorage::recycle(void* (&free)[32], std::uint32_t log, void* block) {
    std::memcpy(block, &free[log], sizeof(void*));
    free[log] = block;
}

template <typename Item> void KeyStorage::buildIndex(KeyNode& node, Slots<Item>& slots) {
    if (Index* index = indexOf(node, slots); index && index->slots) {
        recycle(freeIndexes, index->log, index->slots);
        index->slots = nullptr;
    }
    if (slots.count <= kIndexThreshold)
        return;
    if (!node.indexes.load(std::memory_order_relaxed))
        node.indexes.store(new (nodes.allocate(sizeof(Indexes))) Indexes,
                           std::memory_order_release);
    Index& index = *indexOf(node, slots);
    // At most half full, so that a search for a missing name ends soon.
    index.log = 5;
    while ((1u << index.log) < 2 * slots.count)
        ++index.log;
    index.slots = static_cast<std::uint32_t*>(
        reuse(freeIndexes, index.log, sizeof(std::uint32_t) << index.log));
    std::memset(index.slots, 0, sizeof(std::uint32_t) << index.log);
    for (std::uint32_t at = 0; at < slots.count; ++at)
        place(index, hashOf(slots.items[at]), at);
}

void KeyStorage::place(Index& index, std::uint32_t hash, std::uint32_t at) {
    const std::uint32_t mask = (1u << index.log) - 1;
    std::uint32_t i = hash & mask;
    while (index.slots[i])
        i = (i + 1) & mask;
    index.slots[i] = at + 1;
}

// A loader writes a key's values in a row, so the array of the key written last is the latest
// allocation of its arena and grows in place, exactly.
void KeyStorage::grow(Slots<Value>& slots) {
    if (slots.items && values.extend(slots.items, slots.capacity * sizeof(Value),
                                     (slots.capacity + 1) * sizeof(Value))) {
        ++slots.capacity;
        return;
    }
    const std::uint32_t capacity = slots.items ? 2 * slots.capacity : 1;
    auto* grown = static_cast<Value*>(values.allocate(capacity * sizeof(Value)));
    if (slots.count)
        std::memcpy(static_cast<void*>(grown), slots.items, slots.count * sizeof(Value));
    slots.items = grown;
    slots.capacity = capacity;
}

void KeyStorage::grow(Slots<KeyNode*>& slots) {
    const std::uint32_t log = slots.capacity ? std::countr_zero(slots.capacity) + 1 : 0;
    auto* grown = static_cast<KeyNode**>(reuse(freeChildren, log, sizeof(KeyNode*) << log));
    if (slots.count)
        std::memcpy(grown, slots.items, slots.count * sizeof(KeyNode*));
    if (slots.items)
        recycle(freeChildren, log - 1, slots.items);
    slots.items = grown;
    slots.capacity = 1u << log;
}

template <typename Item>
Item& KeyStorage::append(KeyNode& node, Slots<Item>& slots, const Item& item) {
    if (slots.count == slots.capacity)
        grow(slots);
    slots.items[slots.count++] = item;
    Index* index = indexOf(node, slots);
    if (index && index->slots && 2 * slots.count <= (1u << index->log))
        place(*index, hashOf(item), slots.count - 1);
    else if (slots.count > kIndexThreshold)
        buildIndex(node, slots);
    return slots.items[slots.count - 1];
}

template <typename Item>
void KeyStorage::erase(KeyNode& node, Slots<Item>& slots, std::uint32_t at) {
    std::memmove(static_cast<void*>(slots.items + at), slots.items + at + 1,
                 (slots.count - at - 1) * sizeof(Item));
    --slots.count;
    buildIndex(node, slots);
}

bool KeyStorage::removeValue(KeyNode& node, const Units& name) {
    const std::uint32_t at = find(node, node.values, name, hashOf(name));
    if (at == kNotFound)
        return false;
    erase(node, node.values, at);
    return true;
}

void KeyStorage::removeChild(KeyNode& parent, std::uint32_t at) {
    erase(parent, parent.children, at);
}

KeyNode* KeyStorage::child(KeyNode& parent, const Units& name) {
    if (parent.keyRuns.load(std::memory_order_relaxed))
        readWaitingKeys(parent);
    const std::uint32_t hash = hashOf(name);
    const std::uint32_t at = find(parent, parent.children, name, hash);
    if (at != kNotFound)
        return parent.children.items[at];
    if (name.length > 0xFFFF)
        throw std::length_error("key name longer than 65535 units");
    KeyNode* made = new (nodes.allocate(sizeof(KeyNode))) KeyNode;
    const bool narrow = fitsNarrow(name);
    auto* bytes = static_cast<std::uint8_t*>(text.allocate(narrow ? name.length : 2 * name.length));
    putText(bytes, name, narrow, false);
    made->nameBytes = bytes;
    made->nameLength = static_cast<std::uint16_t>(name.length);
    made->narrowName = narrow;
    made->hash = hash;
    return append(parent, parent.children, made);
}

void KeyStorage::store(KeyNode& key, Units name, std::uint32_t type, const std::uint8_t* data,
                       std::size_t size, const Units* stringData) {
    const std::uint32_t hash = hashOf(name);
    const std::uint32_t at = find(key, key.values, name, hash);
    // A replaced value keeps its name as first written, and its place.
    if (at != kNotFound)
        name = key.values.items[at].name();
    Value value{};
    value.hash = hash;
    value.type = type;
    std::size_t dataBytes = size;
    if (stringData) {
        value.narrowData = fitsNarrow(*stringData) && stringData->length > 0;
        value.size = static_cast<std::uint32_t>(2 * stringData->length);
        dataBytes = value.narrowData ? stringData->length : value.size;
    } else {
        value.narrowData = dataFitsNarrow(data, size);
        value.size = static_cast<std::uint32_t>(size);
        dataBytes = value.narrowData ? size / 2 : size;
    }
    const bool narrow = fitsNarrow(name);
    const std::size_t nameBytes = narrow ? name.length : 2 * name.length;
    auto* block = static_cast<std::uint8_t*>(text.allocate(nameBytes + dataBytes));
    putText(block, name, narrow, false);
    std::uint8_t* out = block + nameBytes;
    if (stringData) {
        putText(out, *stringData, value.narrowData, true);
    } else if (value.narrowData) {
        for (std::size_t i = 0; i < size; i += 2)
            *out++ = data[i];
    } else if (size) {
        std::memcpy(out, data, size);
    }
    value.block = block;
    value.nameLength = static_cast<std::uint32_t>(name.length);
    value.narrowName = narrow;
    if (at != kNotFound)
        key.values.items[at] = value;
    else
        append(key, key.values, value);
}

// The loader's stores come here for every value of a file it reads, so they sit beside store.
void ValueWriter::store(Units name, std::uint32_t type, const std::uint8_t* data,
                        std::size_t size) {
    storage_->store(*node_, name, type, data, size, nullptr);
}

void ValueWriter::store(Units name, std::uint32_t type, Units text) {
    storage_->store(*node_, name, type, nullptr, 0, &text);
}

void ValueWriter::remove(Units name) {
    storage_->removeValue(*node_, name);
}

void ValueWriter::report(Diagnostic diagnostic) {
    storage_->log.report(std::move(diagnostic));
}

} // namespace tavlo::platform::portable
