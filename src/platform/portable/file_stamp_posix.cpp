#include "platform/portable/file_stamp_posix.h"

#include <sys/stat.h>
#include <time.h>

namespace tavlo::platform::portable {
namespace {

constexpr std::int64_t kSecond = 1'000'000'000;

std::int64_t nanoseconds(const timespec& time) {
    return static_cast<std::int64_t>(time.tv_sec) * kSecond + time.tv_nsec;
}

} // namespace

FileStamp stampOf(const std::string& path) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0)
        return {};
    return {true,
            S_ISREG(info.st_mode),
            static_cast<std::uint64_t>(info.st_dev),
            static_cast<std::uint64_t>(info.st_ino),
            static_cast<std::int64_t>(info.st_size),
            nanoseconds(info.st_mtim),
            nanoseconds(info.st_ctim)};
}

std::int64_t wallClockNow() {
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    return nanoseconds(now);
}

bool mayChangeUnseen(const FileStamp& stamp, std::int64_t readAt) {
    if (!stamp.exists)
        return false;
    // Whole seconds mean a file system that keeps no more; otherwise the kernel's coarse clock
    // stamps files, a tick (at most 10 ms) behind the clock read here.
    const std::int64_t granularity = stamp.modified % kSecond == 0 ? 2 * kSecond : kSecond / 20;
    return stamp.modified >= readAt - granularity;
}

} // namespace tavlo::platform::portable
