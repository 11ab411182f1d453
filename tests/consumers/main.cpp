// Prints what the typed interface answers for the registry the program runs on.
#include <tavlo/tavlo.hpp>

#include <iostream>
#include <string>

namespace {

std::string ascii(const std::u16string& text) {
    std::string result;
    for (char16_t unit : text)
        result += unit < 0x80 ? static_cast<char>(unit) : '?';
    return result;
}

} // namespace

int main() {
    std::cout << "app key: " << ascii(GetAppKey(nullptr)) << '\n';
    std::cout << "product name: " << ascii(GetProductName()) << '\n';
    std::cout << "raster threshold: " << GetRasterThreshold() << '\n';
    try {
        std::u16string value;
        GetHKeyLocalMachineString(value, u"NoSuchValue", 64);
        std::cout << "read a value that isn't there\n";
    } catch (const TAVLO_Entry_Error& error) {
        std::cout << "raised: entry error " << error.messageId << '\n';
    }
    return 0;
}
