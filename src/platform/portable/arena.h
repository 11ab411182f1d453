// Memory for a registry that can hold millions of entries: blocks handed out from chunks that
// grow with the registry, released only all together, when the arena goes. Memory is what a
// large load costs most, so nothing is rounded up beyond the arena's alignment, and a block is
// never given back.
#pragma once

#include <cstddef>
#include <vector>

namespace tavlo::platform::portable {

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

class Arena {
public:
    // alignment: a power of two, the alignment of every block.
    explicit Arena(std::size_t alignment) : alignment_(alignment) {}
    Arena(const Arena&) = delete;
    Arena& operator=(const Arena&) = delete;
    ~Arena();

    void* allocate(std::size_t bytes) {
        if constexpr (kBlocksAlone)
            return allocateAlone(bytes);
        bytes = rounded(bytes);
        if (static_cast<std::size_t>(end_ - next_) < bytes) {
            // A block too large for a chunk gets one of its own; the current one stays current.
            if (bytes > chunkSize_ / 4)
                return allocateLarge(bytes);
            startChunk();
        }
        void* block = next_;
        next_ += bytes;
        if (next_ > ready_)
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
        if (next_ > ready_)
            makeReady();
        return true;
    }

private:
    static constexpr bool kBlocksAlone = TAVLO_BLOCKS_ALONE;

    struct Chunk {
        char* base;
        std::size_t size;
        bool mapped;
    };

    void roomForChunk();
    void* allocateAlone(std::size_t bytes);
    void* allocateLarge(std::size_t bytes);
    void startChunk();
    // Makes the current chunk's pages present up to a little beyond next_.
    void makeReady();
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

} // namespace tavlo::platform::portable
