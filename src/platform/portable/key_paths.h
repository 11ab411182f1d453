// Key paths: components separated by backslashes, where empty, doubled and trailing separators
// are accepted as the registry accepts them, and the walk down a path.
#pragma once

#include "platform/portable/key_storage.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace tavlo::platform::portable {

inline std::size_t length(const char16_t* text) {
    std::size_t n = 0;
    if (text)
        while (text[n])
            ++n;
    return n;
}

// Calls fn for each non-empty component. fn returns false to stop.
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

// Eight bytes a step; the first differing byte of a step is found from where the words differ.
inline std::size_t commonPrefix(std::string_view a, std::string_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t x, y;
        std::memcpy(&x, a.data() + i, 8);
        std::memcpy(&y, b.data() + i, 8);
        if (x != y) {
            if constexpr (std::endian::native == std::endian::little)
                return i + static_cast<std::size_t>(std::countr_zero(x ^ y) / 8);
            break;
        }
    }
    while (i < n && a[i] == b[i])
        ++i;
    return i;
}

inline const KeyNode* descend(KeyStorage& storage, const KeyNode* node, std::u16string_view path) {
    forEachComponent(path, [&](std::u16string_view component) {
        node = storage.findChild(*node, Units::of(component));
        return node != nullptr;
    });
    return node;
}

} // namespace tavlo::platform::portable
