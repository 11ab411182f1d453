// Splitting and making paths. The first four bytes give the four part buffers' sizes in units
// (0: part not wanted), the fifth the size of the buffer the parts are put together in again; a
// set top bit of the sixth hands over a mismatched buffer and size. The rest is the path,
// UTF-16LE. Each buffer is allocated at exactly its size, so any write past it is caught.
#include "frame/path_split.h"
#include "fuzz_input.h"

#include <memory>
#include <string>

using tavlo::fuzz::require;

namespace {

struct Part {
    std::unique_ptr<char16_t[]> buffer;
    std::size_t count = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 6)
        return 0;
    const std::u16string path = tavlo::fuzz::units(data + 6, size - 6);
    Part parts[4];
    for (int i = 0; i < 4; ++i) {
        parts[i].count = data[i];
        if (data[i])
            parts[i].buffer = std::make_unique<char16_t[]>(data[i]);
    }
    const bool mismatched = data[5] & 0x80;
    if (mismatched) {
        Part& part = parts[data[5] & 3];
        part.count = part.buffer ? 0 : 1; // null with a size, or a buffer with none
    }
    const int result = tavlo::splitPath(
        path.c_str(), parts[0].buffer.get(), parts[0].count, parts[1].buffer.get(), parts[1].count,
        parts[2].buffer.get(), parts[2].count, parts[3].buffer.get(), parts[3].count);
    if (mismatched) {
        require(result == tavlo::kPathEinval);
        return 0;
    }
    require(result == 0 || result == tavlo::kPathErange);

    const std::size_t count = data[4];
    const auto made = std::make_unique<char16_t[]>(count ? count : 1);
    const char16_t* p[4];
    for (int i = 0; i < 4; ++i)
        p[i] = parts[i].buffer.get();
    const int madeResult =
        tavlo::makePath(count ? made.get() : nullptr, count, p[0], p[1], p[2], p[3]);
    // With every part wanted, putting them together again gives the path (up to its first null).
    const std::u16string expected = path.c_str();
    if (result == 0 && p[0] && p[1] && p[2] && p[3] && madeResult == 0)
        require(made.get() == expected);
    if (madeResult == 0 && count)
        require(std::char_traits<char16_t>::length(made.get()) < count);
    return 0;
}
