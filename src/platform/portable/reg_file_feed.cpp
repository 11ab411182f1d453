#include "platform/portable/reg_file_feed.h"

#include "platform/portable/reg_file_loader.h"
#include "platform/portable/reg_file_open.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace tavlo::platform::portable::reg_load {

std::size_t feedBytes(Loader& loader, Encoding encoding, const char* bytes, std::size_t size,
                      std::uint64_t offset, bool atEnd) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes);
    loader.setOffset(offset);
    if (encoding == Encoding::Bytes)
        return loader.feed(Text8{p, size}, atEnd);
    std::size_t used = 0;
    for (;;) {
        const Text16 text{p + used, (size - used) / 2, size - used};
        used += 2 * loader.feed(text, atEnd);
        if (!loader.steppedBack())
            break;
        ++used; // the second byte of the line feed out of step
        loader.setOffset(offset + used);
    }
    if (atEnd && used < size) {
        const bool onNewLine = used < 2 || (p[used - 1] == 0 && isLineEnd(p[used - 2]));
        loader.report(loader.line() + (onNewLine ? 1 : 0),
                      "the file ends in the middle of a UTF-16 character");
        return size;
    }
    return used;
}

bool seek(std::FILE* file, std::uint64_t offset) {
#if defined(_WIN32)
    return _fseeki64(file, static_cast<__int64>(offset), SEEK_SET) == 0;
#else
    return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}

std::uint64_t tell(std::FILE* file) {
#if defined(_WIN32)
    return static_cast<std::uint64_t>(_ftelli64(file));
#else
    return static_cast<std::uint64_t>(ftello(file));
#endif
}

std::size_t ReadBuffer::read(std::FILE* file, std::size_t want) {
    if (capacity_ - end_ < want) {
        const std::size_t kept = size();
        if (capacity_ - kept < want) {
            // With room to spare, so that the unfinished line a block ends with moves to
            // the front of this buffer next time instead of into a new one: fresh memory
            // costs more than reading the file.
            capacity_ = 2 * (kept + want);
            auto grown = std::make_unique_for_overwrite<char[]>(capacity_);
            if (kept > 0)
                std::memcpy(grown.get(), data(), kept);
            data_ = std::move(grown);
        } else {
            std::memmove(data_.get(), data(), kept);
        }
        start_ = 0;
        end_ = kept;
    }
    const std::size_t got = std::fread(data_.get() + end_, 1, want, file);
    end_ += got;
    return got;
}

void feedFile(Loader& loader, std::FILE* file, Encoding encoding, ReadBuffer& buffer,
              std::uint64_t offset, std::uint64_t left, bool atEnd) {
    for (;;) {
        const std::size_t used =
            feedBytes(loader, encoding, buffer.data(), buffer.size(), offset, atEnd);
        buffer.consume(used);
        offset += used;
        if (atEnd)
            return;
        // A line longer than a block: read as much again, so a huge line is scanned a bounded
        // number of times rather than once per block.
        const std::size_t want = static_cast<std::size_t>(
            std::min<std::uint64_t>(std::max(kReadBlock, buffer.size()), left));
        const std::size_t got = buffer.read(file, want);
        left -= got;
        atEnd = got < want || left == 0;
        if (std::ferror(file)) {
            loader.report(0, "reading the file failed part way (" + reasonOf(errno) +
                                 "): the rest is missing");
            atEnd = true;
        }
    }
}

} // namespace tavlo::platform::portable::reg_load
