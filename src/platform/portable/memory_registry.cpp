#include "platform/portable/memory_registry.h"

#include "platform/portable/casemap.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cstring>
#include <mutex>
#include <new>
#include <stdexcept>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace tavlo::platform::portable {

namespace {

// --- storage ----------------------------------------------------------------------------------

struct Chunk {
    char* base;
    std::size_t size;
    bool mapped;
};

#if defined(__linux__)
Chunk acquireChunk(std::size_t size) {
    void* pages = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (pages != MAP_FAILED)
        return {static_cast<char*>(pages), size, true};
    return {static_cast<char*>(::operator new(size)), size, false};
}
// Pages are made present a run at a time, just ahead of their use: where the system runs
// virtualised, a fault per page on first touch can cost more than everything else a load does,
// and pages made present but never used cost as much.
void prepare(const Chunk& chunk, char* from, char* to) {
    constexpr int kPopulateWrite = 23; // MADV_POPULATE_WRITE, Linux 5.14; older ones refuse it
    if (chunk.mapped)
        madvise(from, static_cast<std::size_t>(to - from), kPopulateWrite);
}
void releaseChunk(const Chunk& chunk) {
    if (chunk.mapped)
        munmap(chunk.base, chunk.size);
    else
        ::operator delete(chunk.base);
}
#else
Chunk acquireChunk(std::size_t size) {
    return {static_cast<char*>(::operator new(size)), size, false};
}
void prepare(const Chunk&, char*, char*) {}
void releaseChunk(const Chunk& chunk) {
    ::operator delete(chunk.base);
}
#endif

// Under AddressSanitizer every block is an allocation of its own, so that reading past one is
// caught as it would be without the arena.
#if defined(__SANITIZE_ADDRESS__)
#define TAVLO_BLOCKS_ALONE 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TAVLO_BLOCKS_ALONE 1
#endif
#endif
#ifndef TAVLO_BLOCKS_ALONE
#define TAVLO_BLOCKS_ALONE 0
#endif
constexpr bool kBlocksAlone = TAVLO_BLOCKS_ALONE;

// Hands out memory from chunks that grow with the registry; nothing is given back before the
// whole arena goes. Memory is what a large load costs most, so nothing is rounded up beyond
// the arena's alignment.
class Arena {
public:
    explicit Arena(std::size_t alignment) : alignment_(alignment) {}
    Arena(const Arena&) = delete;
    Arena& operator=(const Arena&) = delete;
    ~Arena() {
        for (const Chunk& chunk : chunks_)
            releaseChunk(chunk);
    }

    void* allocate(std::size_t bytes) {
        if constexpr (kBlocksAlone) {
            chunks_.push_back({static_cast<char*>(::operator new(std::max<std::size_t>(bytes, 1))),
                               bytes, false});
            return chunks_.back().base;
        }
        bytes = rounded(bytes);
        if (static_cast<std::size_t>(end_ - next_) < bytes) {
            // A block too large for a chunk gets one of its own; the current one stays current.
            if (bytes > chunkSize_ / 4) {
                chunks_.push_back(acquireChunk(bytes));
                prepare(chunks_.back(), chunks_.back().base, chunks_.back().base + bytes);
                return chunks_.back().base;
            }
            chunks_.push_back(acquireChunk(chunkSize_));
            current_ = chunks_.size() - 1;
            base_ = next_ = ready_ = chunks_.back().base;
            end_ = next_ + chunkSize_;
            chunkSize_ = std::min(chunkSize_ * 2, kMaxChunk);
        }
        void* block = next_;
        next_ += bytes;
        makeReady();
        return block;
    }

    // Grows the latest allocation in place, when it is the latest and its chunk has room.
    bool extend(void* block, std::size_t from, std::size_t to) {
        if constexpr (kBlocksAlone)
            return false;
        char* const start = static_cast<char*>(block);
        if (start < base_ || start + rounded(from) != next_ ||
            static_cast<std::size_t>(end_ - start) < rounded(to))
            return false;
        next_ = start + rounded(to);
        makeReady();
        return true;
    }

private:
    static constexpr std::size_t kMaxChunk = std::size_t{4} << 20;
    static constexpr std::size_t kReadyRun = std::size_t{64} << 10;

    void makeReady() {
        if (next_ <= ready_)
            return;
        const auto used = static_cast<std::size_t>(next_ - base_);
        char* const ready = base_ + std::min((used + kReadyRun - 1) / kReadyRun * kReadyRun,
                                             static_cast<std::size_t>(end_ - base_));
        prepare(chunks_[current_], ready_, ready);
        ready_ = ready;
    }
    std::size_t rounded(std::size_t bytes) const {
        return (bytes + alignment_ - 1) & ~(alignment_ - 1);
    }
    const std::size_t alignment_;
    std::vector<Chunk> chunks_;
    std::size_t current_ = 0; // the chunk blocks are taken from
    char* base_ = nullptr;    // its start
    char* next_ = nullptr;
    char* ready_ = nullptr; // where its pages made present end
    char* end_ = nullptr;
    std::size_t chunkSize_ = std::size_t{64} << 10;
};

// --- names ------------------------------------------------------------------------------------

char16_t unitAt(const void* text, bool narrow, std::size_t i) {
    if (narrow)
        return static_cast<const std::uint8_t*>(text)[i];
    char16_t unit;
    std::memcpy(&unit, static_cast<const char*>(text) + 2 * i, 2);
    return unit;
}

// The registry compares names by their upper-case forms, unit by unit. ASCII, by far the most
// common, maps as the case tables map it, without a call.
inline char16_t fold(char16_t c) {
    if (c < 0x80)
        return static_cast<char16_t>(c - ((static_cast<unsigned>(c) - u'a' < 26u) << 5));
    return upperUnit(c);
}

constexpr std::uint32_t kHashBits = 0x7FFFFFFF;

// Folded forms of the units a narrow name can hold, so that hashing one costs a load per unit.
const std::array<char16_t, 256> kNarrowFolds = [] {
    std::array<char16_t, 256> folds{};
    for (unsigned c = 0; c < 256; ++c)
        folds[c] = fold(static_cast<char16_t>(c));
    return folds;
}();

// Over the folded units, four to a word: the same for a name narrow or wide.
template <typename Fold> std::uint32_t hashUnits(Fold&& folded, std::size_t length) {
    std::uint64_t hash = 0x9E3779B97F4A7C15ull ^ length;
    std::size_t i = 0;
    auto mix = [&](std::uint64_t word) {
        hash = (hash ^ word) * 0xFF51AFD7ED558CCDull;
        hash ^= hash >> 32;
    };
    for (; i + 4 <= length; i += 4)
        mix(std::uint64_t{folded(i)} | std::uint64_t{folded(i + 1)} << 16 |
            std::uint64_t{folded(i + 2)} << 32 | std::uint64_t{folded(i + 3)} << 48);
    std::uint64_t last = 0;
    for (int shift = 0; i < length; ++i, shift += 16)
        last |= std::uint64_t{folded(i)} << shift;
    mix(last);
    return static_cast<std::uint32_t>(hash) & kHashBits;
}

std::uint32_t hashOf(const Units& name) {
    if (name.narrow) {
        const auto* text = static_cast<const std::uint8_t*>(name.text);
        return hashUnits([text](std::size_t i) { return kNarrowFolds[text[i]]; }, name.length);
    }
    // Stored names have no alignment: read unit by unit wherever they lie.
    return hashUnits([&name](std::size_t i) { return fold(unitAt(name.text, false, i)); },
                     name.length);
}

bool sameName(const Units& a, const Units& b) {
    if (a.length != b.length)
        return false;
    for (std::size_t i = 0; i < a.length; ++i)
        if (fold(unitAt(a.text, a.narrow, i)) != fold(unitAt(b.text, b.narrow, i)))
            return false;
    return true;
}

bool fitsNarrow(const Units& text) {
    if (text.narrow)
        return true;
    char16_t all = 0;
    for (std::size_t i = 0; i < text.length; ++i)
        all |= unitAt(text.text, false, i);
    return all < 0x100;
}

// Writes text narrow, or as UTF-16: a name in the machine's order (as unitAt reads it), data
// little-endian (the registry's bytes).
void putText(std::uint8_t* out, const Units& text, bool narrow, bool data) {
    if (text.narrow == narrow && (narrow || !data || std::endian::native == std::endian::little)) {
        if (text.length)
            std::memcpy(out, text.text, narrow ? text.length : 2 * text.length);
        return;
    }
    for (std::size_t i = 0; i < text.length; ++i) {
        const char16_t unit = unitAt(text.text, text.narrow, i);
        if (narrow) {
            out[i] = static_cast<std::uint8_t>(unit);
        } else if (data) {
            out[2 * i] = static_cast<std::uint8_t>(unit);
            out[2 * i + 1] = static_cast<std::uint8_t>(unit >> 8);
        } else {
            std::memcpy(out + 2 * i, &unit, 2);
        }
    }
}

// Data whose every second byte is zero (UTF-16 text below 0x100, a small number too) keeps
// only the others.
bool dataFitsNarrow(const std::uint8_t* data, std::size_t size) {
    if (size == 0 || size % 2 != 0)
        return false;
    constexpr std::uint64_t kHighBytes = 0xFF00FF00FF00FF00ull;
    std::size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, data + i, 8);
        if (word & (std::endian::native == std::endian::little ? kHighBytes : ~kHighBytes))
            return false;
    }
    for (; i < size; i += 2)
        if (data[i + 1] != 0)
            return false;
    return true;
}

// --- entries ----------------------------------------------------------------------------------

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

// A key's values or sub-keys in insertion order (the order Windows enumerates them in).
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
// A file of garbage must not turn into millions of diagnostics.
constexpr std::size_t kShownPerFile = 100;
constexpr std::uint32_t kNotFound = ~std::uint32_t{0};

} // namespace

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

// Keys are the one part of a loaded file stored whole, so a node is kept small: its values and
// the run of lines they are read from share their room.
struct MemoryRegistry::Node {
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
    Slots<Node*> children;
    // Made while a key's values are read, which another thread may walk past to a sub-key.
    std::atomic<Indexes*> indexes{nullptr};

    Units name() const { return {nameBytes, nameLength, narrowName != 0}; }
};

namespace {

using Node = MemoryRegistry::Node;

Units nameOf(const Value& value) {
    return value.name();
}
Units nameOf(Node* const& node) {
    return node->name();
}
std::uint32_t hashOf(const Value& value) {
    return value.hash;
}
std::uint32_t hashOf(Node* const& node) {
    return node->hash;
}

Index* indexOf(const Node& node, const Slots<Value>&) {
    Indexes* indexes = node.indexes.load(std::memory_order_acquire);
    return indexes ? &indexes->values : nullptr;
}
Index* indexOf(const Node& node, const Slots<Node*>&) {
    Indexes* indexes = node.indexes.load(std::memory_order_acquire);
    return indexes ? &indexes->children : nullptr;
}

} // namespace

struct MemoryRegistry::Storage {
    Arena nodes{alignof(Node)}; // nodes, sub-key arrays, indexes and runs of lines
    Arena values{alignof(Value)};
    Arena text{1}; // names and data
    Node machine;
    Node user;
    std::vector<std::shared_ptr<LineSource>> sources;
    // Held while a key's values are read from its lines: the arenas grow then.
    std::mutex reading;
    // Counts the changes the mutators made, so that a merged view made before one is made
    // again. Reading a key's waiting lines is no change: what they say was the key's all along.
    std::uint64_t changes = 0;

    struct Log {
        mutable std::mutex mutex;
        std::vector<Diagnostic> shown;
        std::vector<std::pair<std::string, std::size_t>> counts; // problems met, by file

        // The file's place in counts; counts.size() for a file not met yet.
        std::ptrdiff_t place(const std::string& file) const {
            return std::find_if(counts.begin(), counts.end(),
                                [&](const auto& entry) { return entry.first == file; }) -
                   counts.begin();
        }
    } log;

    // A key's values, read first when they're still waiting.
    const Node& withValues(const Node& node) {
        if (node.waiting.load(std::memory_order_acquire) != Waiting::Nothing) {
            std::lock_guard lock(reading);
            readWaiting(const_cast<Node&>(node));
        }
        return node;
    }

    void readWaiting(Node& node) {
        const Waiting waiting = node.waiting.load(std::memory_order_relaxed);
        if (waiting == Waiting::Nothing)
            return;
        const ShortRun shortRun = node.run;
        Run* runs = node.runs;
        node.values = {};
        // Whatever happens below, the key's lines are read once: a failure leaves what was read.
        struct Done {
            Node& node;
            ~Done() { node.waiting.store(Waiting::Nothing, std::memory_order_release); }
        } done{node};
        ValueWriter writer(this, &node);
        if (waiting == Waiting::ShortRun) {
            sources[shortRun.source]->readValues(writer, shortRun.offset, shortRun.length,
                                                 shortRun.line);
            return;
        }
        for (const Run* run = runs; run; run = run->next)
            sources[run->source]->readValues(writer, run->offset, run->length, run->line);
    }

    void report(Diagnostic diagnostic) {
        std::lock_guard lock(log.mutex);
        auto count = log.counts.begin() + log.place(diagnostic.file);
        if (count == log.counts.end())
            count = log.counts.insert(count, {diagnostic.file, 0});
        if (++count->second <= kShownPerFile)
            log.shown.push_back(std::move(diagnostic));
    }

    void addRun(Node& node, std::uint32_t source, std::uint64_t offset, std::uint64_t length,
                std::uint64_t line) {
        const Waiting waiting = node.waiting.load(std::memory_order_relaxed);
        if (waiting == Waiting::Nothing && node.values.count > 0) {
            // Values already there come first: these lines are read over them now.
            ValueWriter writer(this, &node);
            sources[source]->readValues(writer, offset, length, line);
            return;
        }
        if (waiting == Waiting::Nothing && offset >> 48 == 0 && source >> 16 == 0 &&
            length >> 32 == 0 && line >> 32 == 0) {
            node.run = {offset, source, static_cast<std::uint32_t>(length),
                        static_cast<std::uint32_t>(line)};
            node.waiting.store(Waiting::ShortRun, std::memory_order_relaxed);
            return;
        }
        Run* run = new (nodes.allocate(sizeof(Run))) Run{offset, length, line, source, nullptr};
        if (waiting == Waiting::Nothing) {
            node.runs = run;
            node.waiting.store(Waiting::Runs, std::memory_order_relaxed);
            return;
        }
        if (waiting == Waiting::ShortRun) {
            const ShortRun first = node.run;
            node.runs = new (nodes.allocate(sizeof(Run)))
                Run{first.offset, first.length, first.line,
                    static_cast<std::uint32_t>(first.source), nullptr};
            node.waiting.store(Waiting::Runs, std::memory_order_relaxed);
        }
        Run* last = node.runs;
        while (last->next)
            last = last->next;
        last->next = run;
    }
    // Grown sub-key arrays and indexes, by size, for the next that reaches it.
    void* freeChildren[32] = {};
    void* freeIndexes[32] = {};

    void* reuse(void* (&free)[32], std::uint32_t log, std::size_t bytes) {
        if (void* block = free[log]) {
            std::memcpy(&free[log], block, sizeof(void*));
            return block;
        }
        return nodes.allocate(std::max(bytes, sizeof(void*)));
    }
    static void recycle(void* (&free)[32], std::uint32_t log, void* block) {
        std::memcpy(block, &free[log], sizeof(void*));
        free[log] = block;
    }

    template <typename Item>
    std::uint32_t find(const Node& node, const Slots<Item>& slots, const Units& name,
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

    template <typename Item> void buildIndex(Node& node, Slots<Item>& slots) {
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

    static void place(Index& index, std::uint32_t hash, std::uint32_t at) {
        const std::uint32_t mask = (1u << index.log) - 1;
        std::uint32_t i = hash & mask;
        while (index.slots[i])
            i = (i + 1) & mask;
        index.slots[i] = at + 1;
    }

    // A loader writes a key's values in a row, so the array of the key written last is the
    // latest allocation of its arena and grows in place, exactly.
    void grow(Slots<Value>& slots) {
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
    void grow(Slots<Node*>& slots) {
        const std::uint32_t log = slots.capacity ? std::countr_zero(slots.capacity) + 1 : 0;
        auto* grown = static_cast<Node**>(reuse(freeChildren, log, sizeof(Node*) << log));
        if (slots.count)
            std::memcpy(grown, slots.items, slots.count * sizeof(Node*));
        if (slots.items)
            recycle(freeChildren, log - 1, slots.items);
        slots.items = grown;
        slots.capacity = 1u << log;
    }

    template <typename Item> Item& append(Node& node, Slots<Item>& slots, const Item& item) {
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

    template <typename Item> void erase(Node& node, Slots<Item>& slots, std::uint32_t at) {
        std::memmove(static_cast<void*>(slots.items + at), slots.items + at + 1,
                     (slots.count - at - 1) * sizeof(Item));
        --slots.count;
        buildIndex(node, slots);
    }

    bool removeValue(Node& node, const Units& name) {
        const std::uint32_t at = find(node, node.values, name, hashOf(name));
        if (at == kNotFound)
            return false;
        erase(node, node.values, at);
        return true;
    }

    const Node* findChild(const Node& parent, const Units& name) const {
        const std::uint32_t at = find(parent, parent.children, name, hashOf(name));
        return at == kNotFound ? nullptr : parent.children.items[at];
    }

    // The child of that name, made when missing.
    Node* child(Node& parent, const Units& name) {
        const std::uint32_t hash = hashOf(name);
        const std::uint32_t at = find(parent, parent.children, name, hash);
        if (at != kNotFound)
            return parent.children.items[at];
        if (name.length > 0xFFFF)
            throw std::length_error("key name longer than 65535 units");
        Node* made = new (nodes.allocate(sizeof(Node))) Node;
        const bool narrow = fitsNarrow(name);
        auto* bytes =
            static_cast<std::uint8_t*>(text.allocate(narrow ? name.length : 2 * name.length));
        putText(bytes, name, narrow, false);
        made->nameBytes = bytes;
        made->nameLength = static_cast<std::uint16_t>(name.length);
        made->narrowName = narrow;
        made->hash = hash;
        return append(parent, parent.children, made);
    }

    // Stores raw data, or (data null) text as UTF-16.
    void store(Node& key, Units name, std::uint32_t type, const std::uint8_t* data,
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
};

namespace {

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
    MergedLists<Node*> children;

    MergedLists<Value>& of(Slots<Value> Node::*) { return values; }
    MergedLists<Node*>& of(Slots<Node*> Node::*) { return children; }
};

// An open key. Keys below HKEY_CLASSES_ROOT see two nodes, the user's first; either may be
// missing. The storage is held so that the nodes outlive a clear() of the registry.
struct OpenKey {
    std::shared_ptr<MemoryRegistry::Storage> storage;
    const Node* primary = nullptr;
    const Node* secondary = nullptr;
    std::unique_ptr<MergedView> merged; // when there are both
};

// HKEY_CLASSES_ROOT itself when neither side has classes yet.
const Node kEmptyNode{};

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

// The same over text narrow or wide, from unit from on; fn also gets the component's end.
template <typename Fn> void forEachComponent(const Units& path, std::size_t from, Fn&& fn) {
    if (!path.narrow) {
        const std::u16string_view wide(static_cast<const char16_t*>(path.text), path.length);
        forEachComponent(wide.substr(from), [&](std::u16string_view component) {
            return fn(Units::of(component),
                      static_cast<std::size_t>(component.data() + component.size() - wide.data()));
        });
        return;
    }
    const auto* text = static_cast<const char*>(path.text);
    std::size_t start = from;
    while (start < path.length) {
        const void* separator = std::memchr(text + start, '\\', path.length - start);
        const std::size_t end =
            separator ? static_cast<std::size_t>(static_cast<const char*>(separator) - text)
                      : path.length;
        if (end > start && !fn(Units{text + start, end - start, true}, end))
            return;
        start = end + 1;
    }
}

std::size_t commonPrefix(std::string_view a, std::string_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8)
        if (std::memcmp(a.data() + i, b.data() + i, 8) != 0)
            break;
    while (i < n && a[i] == b[i])
        ++i;
    return i;
}

const Node* descend(const MemoryRegistry::Storage& storage, const Node* node,
                    std::u16string_view path) {
    forEachComponent(path, [&](std::u16string_view component) {
        node = storage.findChild(*node, Units::of(component));
        return node != nullptr;
    });
    return node;
}

// Entries of a key seen through both sides in enumeration order: the primary node's, then the
// secondary node's that the primary doesn't shadow. A lookup in the primary costs what its
// index costs, so the whole list costs what walking both sides costs.
template <typename Item>
void merge(const OpenKey& key, Slots<Item> Node::*member, std::vector<const Item*>& out) {
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
const Item* entryAt(const OpenKey& key, Slots<Item> Node::*member, std::uint32_t index) {
    if (!key.merged) {
        const Node* node = key.primary ? key.primary : key.secondary;
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

// Before any of an open key's values is looked at.
void readValues(const OpenKey& key) {
    for (const Node* node : {key.primary, key.secondary})
        if (node)
            key.storage->withValues(*node);
}

const Value* findValue(const OpenKey& key, const char16_t* name) {
    const Units text{name ? name : u"", length(name), false};
    const std::uint32_t hash = hashOf(text);
    for (const Node* node : {key.primary, key.secondary})
        if (node)
            if (const std::uint32_t at = key.storage->find(*node, node->values, text, hash);
                at != kNotFound)
                return &node->values.items[at];
    return nullptr;
}

// Copies value data the way RegQueryValueExW does: the stored bytes, then a terminator for a
// string that lacks one, but only where two spare bytes remain. The reported size never counts
// that terminator, so callers must terminate strings themselves.
void copyData(const Value& value, std::uint8_t* data, std::uint32_t capacity) {
    const std::size_t size = value.size;
    const std::uint8_t* stored = value.data();
    bool terminated;
    if (value.narrowData) {
        for (std::size_t i = 0; i < size / 2; ++i) {
            data[2 * i] = stored[i];
            data[2 * i + 1] = 0;
        }
        terminated = stored[size / 2 - 1] == 0;
    } else {
        if (size)
            std::memcpy(data, stored, size);
        terminated = size >= 2 && stored[size - 1] == 0 && stored[size - 2] == 0;
    }
    if (isStringType(value.type) && size > 0 && size + 2 <= capacity && !terminated) {
        data[size] = 0;
        data[size + 1] = 0;
    }
}

// The name protocol of RegEnumValueW / RegEnumKeyExW: *count holds room including the
// terminator on entry and the length without it on return.
bool nameFits(const Units& name, const std::uint32_t* count) {
    return name.length < *count;
}
void copyName(const Units& name, char16_t* out, std::uint32_t* count) {
    for (std::size_t i = 0; i < name.length; ++i)
        out[i] = unitAt(name.text, name.narrow, i);
    out[name.length] = 0;
    *count = static_cast<std::uint32_t>(name.length);
}

} // namespace

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

void ValueWriter::store(Units name, std::uint32_t type, const std::uint8_t* data,
                        std::size_t size) {
    static_cast<MemoryRegistry::Storage*>(storage_)->store(*static_cast<Node*>(node_), name, type,
                                                           data, size, nullptr);
}

void ValueWriter::store(Units name, std::uint32_t type, Units text) {
    static_cast<MemoryRegistry::Storage*>(storage_)->store(*static_cast<Node*>(node_), name, type,
                                                           nullptr, 0, &text);
}

void ValueWriter::remove(Units name) {
    static_cast<MemoryRegistry::Storage*>(storage_)->removeValue(*static_cast<Node*>(node_), name);
}

void ValueWriter::report(Diagnostic diagnostic) {
    static_cast<MemoryRegistry::Storage*>(storage_)->report(std::move(diagnostic));
}

std::uint32_t MemoryRegistry::addSource(std::shared_ptr<LineSource> source) {
    storage_->sources.push_back(std::move(source));
    return static_cast<std::uint32_t>(storage_->sources.size() - 1);
}

void MemoryRegistry::deferValues(Node* key, std::uint32_t source, std::uint64_t offset,
                                 std::uint64_t length, std::uint64_t firstLine) {
    ++storage_->changes;
    storage_->addRun(*key, source, offset, length, firstLine);
}

void MemoryRegistry::readAllValues() {
    Storage& storage = *storage_;
    std::vector<Node*> pending{&storage.machine, &storage.user};
    while (!pending.empty()) {
        Node* node = pending.back();
        pending.pop_back();
        storage.withValues(*node);
        // Sub-keys in their order, which is mostly the order of their lines in a file.
        for (std::uint32_t i = node->children.count; i-- > 0;)
            pending.push_back(node->children.items[i]);
    }
}

void MemoryRegistry::report(Diagnostic diagnostic) {
    storage_->report(std::move(diagnostic));
}

std::vector<Diagnostic> MemoryRegistry::diagnostics() const {
    const Storage::Log& log = storage_->log;
    std::lock_guard lock(log.mutex);
    std::vector<Diagnostic> out = log.shown;
    // Files in the order their first problem was met; a key's lines are read whenever it is
    // first asked about, so within a file the order met says nothing.
    auto rank = [&](const std::string& file) { return log.place(file); };
    std::stable_sort(out.begin(), out.end(), [&](const Diagnostic& a, const Diagnostic& b) {
        const auto ra = rank(a.file), rb = rank(b.file);
        return ra != rb ? ra < rb : a.line < b.line;
    });
    for (const auto& [file, count] : log.counts)
        if (count > kShownPerFile)
            out.push_back(
                {file, 0, std::to_string(count - kShownPerFile) + " more problems not listed"});
    return out;
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
    const std::uint32_t at = storage.find(*parent, parent->children, text, hashOf(text));
    if (at == kNotFound)
        return false;
    storage.erase(*parent, parent->children, at);
    return true;
}

void MemoryRegistry::clear() {
    lastNodes_.clear();
    storage_ = std::make_shared<Storage>();
}

Status MemoryRegistry::openKey(Root root, const char16_t* subKey, KeyHandle* key) {
    if (!key)
        return status::invalid_parameter;
    *key = nullptr;
    std::u16string_view path(subKey ? subKey : u"", length(subKey));
    const Storage& storage = *storage_;

    auto open = std::make_unique<OpenKey>();
    switch (root) {
    case Root::LocalMachine:
    case Root::CurrentUser:
        if (!path.empty() && path.front() == u'\\')
            return status::bad_pathname;
        open->primary =
            descend(storage, root == Root::LocalMachine ? &storage.machine : &storage.user, path);
        if (!open->primary)
            return status::file_not_found;
        break;
    case Root::ClassesRoot: {
        // The merged view strips one leading backslash where the other roots refuse it.
        if (!path.empty() && path.front() == u'\\')
            path.remove_prefix(1);
        if (!path.empty() && path.front() == u'\\')
            return status::bad_pathname;
        const Node* userClasses = descend(storage, &storage.user, u"Software\\Classes");
        const Node* machineClasses = descend(storage, &storage.machine, u"Software\\Classes");
        if (userClasses)
            open->primary = descend(storage, userClasses, path);
        if (machineClasses)
            open->secondary = descend(storage, machineClasses, path);
        bool isRoot = true;
        forEachComponent(path, [&](std::u16string_view) { return isRoot = false; });
        if (!open->primary && !open->secondary) {
            if (!isRoot)
                return status::file_not_found;
            open->primary = &kEmptyNode;
        }
        break;
    }
    default:
        return status::invalid_handle;
    }
    if (open->primary && open->secondary)
        open->merged = std::make_unique<MergedView>();
    open->storage = storage_;
    *key = open.release();
    return status::success;
}

Status MemoryRegistry::queryValue(KeyHandle key, const char16_t* name, std::uint32_t* type,
                                  std::uint8_t* data, std::uint32_t* size) {
    if (!key)
        return status::invalid_handle;
    if (data && !size)
        return status::invalid_parameter;
    const OpenKey& open = *static_cast<OpenKey*>(key);
    readValues(open);
    const Value* value = findValue(open, name);
    if (!value)
        return status::file_not_found;
    if (type)
        *type = value->type;
    const std::uint32_t stored = value->size;
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
    const OpenKey& open = *static_cast<OpenKey*>(key);
    readValues(open);
    const Value* found = entryAt(open, &Node::values, index);
    if (!found)
        return status::no_more_items;
    const Value& value = *found;
    const std::uint32_t stored = value.size;
    if (type)
        *type = value.type;
    if (!nameFits(value.name(), nameCount)) {
        if (dataSize)
            *dataSize = stored;
        return status::more_data;
    }
    copyName(value.name(), name, nameCount);
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
    Node* const* found = entryAt(*static_cast<OpenKey*>(key), &Node::children, index);
    if (!found)
        return status::no_more_items;
    const Units childName = (*found)->name();
    if (!nameFits(childName, nameCount))
        return status::more_data;
    copyName(childName, name, nameCount);
    return status::success;
}

void MemoryRegistry::closeKey(KeyHandle key) {
    delete static_cast<OpenKey*>(key);
}

} // namespace tavlo::platform::portable
