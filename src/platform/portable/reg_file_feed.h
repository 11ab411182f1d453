// Registry file bytes handed to the loader: in the file's encoding, from memory or read from the
// file in blocks, so that a file is never held whole.
#pragma once

#include "platform/portable/reg_file_format.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

namespace tavlo::platform::portable::reg_load {

class Loader;

inline constexpr std::size_t kReadBlock = std::size_t{64} << 10;

// Feeds bytes in the file's encoding, the first of them at offset in the file; returns how many
// were used.
std::size_t feedBytes(Loader& loader, Encoding encoding, const char* bytes, std::size_t size,
                      std::uint64_t offset, bool atEnd);

bool seek(std::FILE* file, std::uint64_t offset);
std::uint64_t tell(std::FILE* file);

// The bytes of a file not yet handed to the loader. Unlike a std::string it doesn't zero what
// fread is about to overwrite, which would cost a pass over the whole file.
class ReadBuffer {
public:
    const char* data() const { return data_.get() + start_; }
    std::size_t size() const { return end_ - start_; }
    void consume(std::size_t count) { start_ += count; }

    // Appends up to want bytes; returns how many were read.
    std::size_t read(std::FILE* file, std::size_t want);

private:
    std::unique_ptr<char[]> data_;
    std::size_t capacity_ = 0;
    std::size_t start_ = 0;
    std::size_t end_ = 0;
};

// Hands the loader the buffer's bytes and then the file's next ones, at most left of them, in
// blocks; offset is where the buffer's first byte lies in the file.
void feedFile(Loader& loader, std::FILE* file, Encoding encoding, ReadBuffer& buffer,
              std::uint64_t offset, std::uint64_t left, bool atEnd);

} // namespace tavlo::platform::portable::reg_load
