#include "platform/host.h"
#include "platform/win32/windows_api.h"

#include <shellapi.h>

#include <cstdio>
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <fcntl.h>
#include <io.h>

namespace tavlo::platform {

std::vector<std::string> utf8Arguments(int argc, char** argv) {
    // argv holds the arguments in the ANSI code page; the wide command line has them whole.
    std::vector<std::string> out;
    int count = 0;
    if (wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
        for (int i = 0; i < count; ++i)
            out.push_back(toUtf8(win32::utf16(wide[i])));
        LocalFree(wide);
        return out;
    }
    return std::vector<std::string>(argv, argv + argc);
}

void useUtf8Output() {
    SetConsoleOutputCP(CP_UTF8);
    // Lines end as on Linux, so that both builds' output can be compared byte for byte.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
}

bool canChooseRegistrySource() {
    return false;
}
void chooseRegistrySource(const std::vector<std::string>&, const std::string&) {}
std::vector<std::string> registrySourceDiagnostics() {
    return {};
}

bool nativePathOf(std::u16string_view, std::string&, bool&) {
    return false;
}

} // namespace tavlo::platform
