#include "registry/value_read.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace tavlo::registry {

namespace {

// A caller's size is only the first guess; a larger value costs one more read. Capping the
// guess keeps a careless size (a flat caller's buffer size of 0xFFFFFFFF) from asking for
// gigabytes before anything is known about the value.
constexpr std::uint32_t kMaxFirstGuess = 1u << 20;

// A zeroed buffer of units characters for one read: on the stack for the sizes the library's
// own reads use, on the heap only for a caller's larger guess or a value that needs more.
class ReadBuffer {
public:
    explicit ReadBuffer(std::size_t units) : size_(units) {
        if (units > kStackUnits)
            heap_.resize(units);
        else
            std::memset(stack_, 0, units * sizeof(char16_t));
    }
    char16_t* begin() { return heap_.empty() ? stack_ : heap_.data(); }
    char16_t* end() { return begin() + size_; }
    std::size_t size() const { return size_; }

private:
    static constexpr std::size_t kStackUnits = 1025;
    char16_t stack_[kStackUnits];
    std::vector<char16_t> heap_;
    std::size_t size_;
};

ReadResult readInto(const platform::RegKey& key, const char16_t* name, std::u16string& out,
                    std::uint32_t units, std::uint32_t bytes) {
    ReadBuffer buffer(std::size_t{units} + 1);
    std::copy_n(out.begin(), std::min<std::size_t>(out.size(), units), buffer.begin());
    ReadResult result;
    result.size = bytes;
    result.status = key.query(name, &result.type, reinterpret_cast<std::uint8_t*>(buffer.begin()),
                              &result.size);
    // After a read the text is the data read, up to its first null: data without one (a
    // number read as text) doesn't run on into what the output held before. A read that wrote
    // nothing leaves the former text.
    auto limit = buffer.end();
    if (result.status == platform::status::success)
        limit = buffer.begin() + std::min<std::size_t>(buffer.size(), (result.size + 1) / 2);
    out.assign(buffer.begin(), std::find(buffer.begin(), limit, u'\0'));
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
    ReadResult result;
    result.size = bytes;
    result.status = key.query(name, &result.type, reinterpret_cast<std::uint8_t*>(buffer.begin()),
                              &result.size);
    out.append(buffer.begin(), std::find(buffer.begin(), buffer.end() - 1, u'\0'));
    return result;
}

} // namespace tavlo::registry
