// Text that stays at one address for as long as its owner lives, so that a pointer handed out
// into it stays valid whatever is written next: it then shows the newer text. Text longer than
// the room is cut, never given more room.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace tavlo::frame {

// How much of text a room of capacity units keeps: its first units, one fewer where the last
// kept would be a high surrogate whose pair is cut off.
constexpr std::size_t keptLength(std::u16string_view text, std::size_t capacity) {
    if (text.size() <= capacity)
        return text.size();
    const char16_t last = capacity > 0 ? text[capacity - 1] : u'\0';
    return last >= 0xD800 && last <= 0xDBFF ? capacity - 1 : capacity;
}

template <std::size_t Capacity> class FixedText {
public:
    static constexpr std::size_t kCapacity = Capacity; // in units, the terminator not counted

    // Writes what keptLength keeps. text may be this text's own.
    void assign(std::u16string_view text) {
        const std::size_t n = keptLength(text, Capacity);
        std::char_traits<char16_t>::move(units_.data(), text.data(), n);
        units_[n] = u'\0';
        size_ = n;
    }
    const char16_t* c_str() const { return units_.data(); }
    std::u16string_view view() const { return {units_.data(), size_}; }
    std::size_t size() const { return size_; }

private:
    std::array<char16_t, Capacity + 1> units_{};
    std::size_t size_ = 0;
};

} // namespace tavlo::frame
