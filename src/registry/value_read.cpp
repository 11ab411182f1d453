#include "registry/value_read.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>

namespace tavlo::registry {

namespace {

// A caller's size is only the first guess; a larger value costs one more read. Capping the
// guess keeps a careless size (a flat caller's buffer size of 0xFFFFFFFF) from asking for
// gigabytes before anything is known about the value.
constexpr std::uint32_t kMaxFirstGuess = 1u << 20;

// A buffer of units characters for one read: on the stack for the sizes the library's own reads
// use, on the heap only for a caller's larger guess or a value that needs more. It is not
// cleared: a read writes nothing when it fails and exactly the bytes it reports (and at most a
// null after them) when it succeeds, so the text is taken from what was written, and from the
// few units it reads past that, which are set first.
class ReadBuffer {
public:
    explicit ReadBuffer(std::size_t units) : size_(units) {
        if (units > kStackUnits)
            heap_.reset(new char16_t[units]);
    }
    char16_t* begin() { return heap_ ? heap_.get() : stack_; }
    std::size_t size() const { return size_; }

    // The text a read left, up to its first null. Before the read the buffer held the first
    // `set` units given and a null after them; `limit` bounds the text in units.
    std::u16string_view text(const ReadResult& read, std::size_t set, std::size_t limit) {
        char16_t* data = begin();
        if (read.status == platform::status::success) {
            // An odd byte count fills half of its last unit; the other half reads as it was
            // before the read, zero when it was past the units set.
            const std::size_t units = (std::size_t{read.size} + 1) / 2;
            limit = std::min(limit, units);
            if ((read.size & 1) != 0 && read.size / 2 > set && units <= size_)
                reinterpret_cast<std::uint8_t*>(data)[read.size] = 0;
        } else {
            limit = std::min(limit, set + 1);
        }
        return {data, static_cast<std::size_t>(firstNull(data, data + limit) - data)};
    }

private:
    // The first null unit in [begin, end), or end: four units at a time, as a value read is
    // nearly always text whose only null is its terminator.
    static char16_t* firstNull(char16_t* begin, char16_t* end) {
        constexpr std::uint64_t ones = 0x0001000100010001u, highs = 0x8000800080008000u;
        char16_t* p = begin;
        for (; end - p >= 4; p += 4) {
            std::uint64_t word;
            std::memcpy(&word, p, sizeof word);
            // Sets a unit's high bit only where some unit is zero (the lowest such one exactly).
            if ((word - ones) & ~word & highs)
                break;
        }
        return std::find(p, end, u'\0');
    }

    static constexpr std::size_t kStackUnits = 1025;
    char16_t stack_[kStackUnits];
    std::unique_ptr<char16_t[]> heap_;
    std::size_t size_;
};

ReadResult readInto(const platform::RegKey& key, const char16_t* name, std::u16string& out,
                    std::uint32_t units, std::uint32_t bytes) {
    ReadBuffer buffer(std::size_t{units} + 1);
    // The former text, cut to the room given, is what a read that writes nothing leaves.
    const std::size_t kept = std::min<std::size_t>(out.size(), units);
    std::copy_n(out.begin(), kept, buffer.begin());
    buffer.begin()[kept] = u'\0';
    ReadResult result;
    result.size = bytes;
    result.status = key.query(name, &result.type, reinterpret_cast<std::uint8_t*>(buffer.begin()),
                              &result.size);
    // After a read the text is the data read, up to its first null: data without one (a
    // number read as text) doesn't run on into what the output held before.
    out.assign(buffer.text(result, kept, buffer.size()));
    return result;
}

} // namespace

ReadResult readStringValue(const platform::RegKey& key, const char16_t* name, std::u16string& out,
                           std::uint32_t initialUnits) {
    const std::uint32_t units = std::min(initialUnits, kMaxFirstGuess);
    ReadResult result = readInto(key, name, out, units, units * 2);
    if (result.status == platform::status::more_data) {
        const std::uint32_t needed = result.size;
        result = readInto(key, name, out, needed / 2, needed);
    }
    return result;
}

ReadResult readDwordValue(const platform::RegKey& key, const char16_t* name, std::uint32_t& out) {
    ReadResult result;
    std::uint8_t bytes[4];
    std::memcpy(bytes, &out, 4);
    result.size = 4;
    result.status = key.query(name, &result.type, bytes, &result.size);
    // The caller's variable receives whatever the read wrote, as a direct read would leave it.
    std::memcpy(&out, bytes, 4);
    return result;
}

ReadResult readFixed(const platform::RegKey& key, const char16_t* name, std::uint32_t bytes,
                     std::u16string& out) {
    out.clear();
    return appendFixed(key, name, bytes, out);
}

ReadResult appendFixed(const platform::RegKey& key, const char16_t* name, std::uint32_t bytes,
                       std::u16string& out) {
    ReadBuffer buffer(bytes / 2 + 1);
    buffer.begin()[0] = u'\0';
    ReadResult result;
    result.size = bytes;
    result.status = key.query(name, &result.type, reinterpret_cast<std::uint8_t*>(buffer.begin()),
                              &result.size);
    out.append(buffer.text(result, 0, buffer.size() - 1));
    return result;
}

} // namespace tavlo::registry
