#include "test_folder.h"

#include <fstream>
#include <string>
#include <system_error>

#ifdef _WIN32
#include <process.h>
#define tavlo_process_id _getpid
#else
#include <unistd.h>
#define tavlo_process_id getpid
#endif

namespace tavlo::test {

namespace {

struct ProcessFolder {
    std::filesystem::path path = std::filesystem::temp_directory_path() /
                                 ("tavlo-tests-" + std::to_string(tavlo_process_id()));
    ~ProcessFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
};

} // namespace

std::filesystem::path freshTestFolder(const std::filesystem::path& name) {
    static ProcessFolder folder;
    const std::filesystem::path path = folder.path / name;
    std::filesystem::remove_all(path);
    std::filesystem::create_directories(path);
    return path;
}

void writeFile(const std::filesystem::path& path, std::string_view bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

} // namespace tavlo::test
