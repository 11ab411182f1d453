#include "platform/portable/arena.h"

#include <algorithm>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace tavlo::platform::portable {

namespace {

constexpr std::size_t kMaxChunk = std::size_t{4} << 20;
constexpr std::size_t kReadyRun = std::size_t{64} << 10;

struct Pages {
    char* base;
    bool mapped;
};

#if defined(__linux__)
Pages acquire(std::size_t size) {
    void* pages = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (pages != MAP_FAILED)
        return {static_cast<char*>(pages), true};
    return {static_cast<char*>(::operator new(size)), false};
}
// Pages are made present a run at a time, just ahead of their use: where the system runs
// virtualised, a fault per page on first touch can cost more than everything else a load does,
// and pages made present but never used cost as much.
void prepare(bool mapped, char* from, char* to) {
    constexpr int kPopulateWrite = 23; // MADV_POPULATE_WRITE, Linux 5.14; older ones refuse it
    if (mapped)
        madvise(from, static_cast<std::size_t>(to - from), kPopulateWrite);
}
void release(char* base, std::size_t size, bool mapped) {
    if (mapped)
        munmap(base, size);
    else
        ::operator delete(base);
}
#else
Pages acquire(std::size_t size) {
    return {static_cast<char*>(::operator new(size)), false};
}
void prepare(bool, char*, char*) {}
void release(char* base, std::size_t, bool) {
    ::operator delete(base);
}
#endif

} // namespace

Arena::~Arena() {
    for (const Chunk& chunk : chunks_)
        release(chunk.base, chunk.size, chunk.mapped);
}

// The list of chunks grows before a chunk is taken, so that a failure to grow it leaks none;
// it grows by doubling, since a registry of many large values takes a chunk for each.
void Arena::roomForChunk() {
    if (chunks_.size() == chunks_.capacity())
        chunks_.reserve(std::max<std::size_t>(16, chunks_.capacity() * 2));
}

void* Arena::allocateAlone(std::size_t bytes) {
    roomForChunk();
    chunks_.push_back(
        {static_cast<char*>(::operator new(std::max<std::size_t>(bytes, 1))), bytes, false});
    return chunks_.back().base;
}

void* Arena::allocateLarge(std::size_t bytes) {
    roomForChunk();
    const Pages pages = acquire(bytes);
    chunks_.push_back({pages.base, bytes, pages.mapped});
    prepare(pages.mapped, pages.base, pages.base + bytes);
    return pages.base;
}

void Arena::startChunk() {
    roomForChunk();
    const Pages pages = acquire(chunkSize_);
    chunks_.push_back({pages.base, chunkSize_, pages.mapped});
    current_ = chunks_.size() - 1;
    base_ = next_ = ready_ = pages.base;
    end_ = next_ + chunkSize_;
    chunkSize_ = std::min(chunkSize_ * 2, kMaxChunk);
}

void Arena::makeReady() {
    const auto used = static_cast<std::size_t>(next_ - base_);
    char* const ready = base_ + std::min((used + kReadyRun - 1) / kReadyRun * kReadyRun,
                                         static_cast<std::size_t>(end_ - base_));
    prepare(chunks_[current_].mapped, ready_, ready);
    ready_ = ready;
}

} // namespace tavlo::platform::portable
