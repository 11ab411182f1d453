#include "platform/portable/reg_file_format.h"

#include "platform/portable/reg_file_scan.h"

#include <string>

namespace tavlo::platform::portable {
namespace reg_load {
namespace {

// A header line is short; looking further only costs time on files that aren't registry files.
constexpr std::size_t kHeaderScan = 256;

constexpr std::string_view kWineHeader = "WINE REGISTRY Version 2";
constexpr std::string_view kRegedit5Header = "Windows Registry Editor Version 5.00";
constexpr std::string_view kRegedit4Header = "REGEDIT4";

} // namespace

using namespace reg_text;

Detected detect(std::string_view bytes) {
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    Detected result;
    std::string first; // the first line, non-ASCII characters replaced by a byte no header has
    if (n >= 2 && b[0] == 0xFF && b[1] == 0xFE) {
        result.encoding = Encoding::Utf16le;
        result.textStart = 2;
        for (std::size_t i = 2; i + 1 < n && first.size() < kHeaderScan; i += 2) {
            const unsigned unit = b[i] | (unsigned{b[i + 1]} << 8);
            if (isLineEnd(unit))
                break;
            first.push_back(unit < 0x80 ? static_cast<char>(unit) : '\x7f');
        }
    } else {
        if (n >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF)
            result.textStart = 3;
        for (std::size_t i = result.textStart; i < n && first.size() < kHeaderScan; ++i) {
            if (isLineEnd(b[i]))
                break;
            first.push_back(static_cast<char>(b[i]));
        }
    }
    if (result.encoding == Encoding::Bytes && first == kWineHeader) {
        result.format = RegFileFormat::Wine;
        return result;
    }
    std::string_view line = first;
    while (!line.empty() && isBlank(static_cast<unsigned char>(line.front())))
        line.remove_prefix(1);
    while (!line.empty() && isBlank(static_cast<unsigned char>(line.back())))
        line.remove_suffix(1);
    if (line == kRegedit5Header)
        result.format = RegFileFormat::Regedit5;
    else if (line == kRegedit4Header)
        result.format = RegFileFormat::Regedit4;
    return result;
}

} // namespace reg_load

RegFileFormat detectRegFileFormat(std::string_view bytes) {
    return reg_load::detect(bytes).format;
}

} // namespace tavlo::platform::portable
