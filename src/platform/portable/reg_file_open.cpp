#include "platform/portable/reg_file_open.h"

#include <cerrno>
#include <cstring>

#if defined(_WIN32)
#include <filesystem>
#else
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace tavlo::platform::portable {
namespace {} // namespace

// Fixed English words, not strerror's: the diagnostics are English whatever the locale, and the
// library never changes the process's locale to ask.
std::string reasonOf(int error) {
    switch (error) {
    case ENOENT:
        return "no such file";
    case ENOTDIR:
        return "a folder on its path is not a folder";
    case EACCES:
    case EPERM:
        return "permission denied";
    case EISDIR:
        return "it is a directory";
#if defined(ELOOP)
    case ELOOP:
        return "too many levels of symbolic links";
#endif
    case ENAMETOOLONG:
        return "the name is too long";
    case EMFILE:
    case ENFILE:
        return "too many files are open";
    case ENXIO:
        return "no such device or address";
    case EIO:
        return "input/output error";
    case ENOMEM:
        return "out of memory";
    default:
        return "system error " + std::to_string(error);
    }
}

namespace {

std::string cantOpen(int error) {
    return "the file can't be opened: " + reasonOf(error);
}

std::string cantRead(const std::string& why) {
    return "the file can't be read: " + why;
}

#if !defined(_WIN32)

std::string inWords(std::chrono::milliseconds time) {
    const auto ms = time.count();
    return ms % 1000 == 0 ? std::to_string(ms / 1000) + " seconds" : std::to_string(ms) + " ms";
}

// What is refused before it is opened: opening a device can have effects of its own (a tape
// rewinds, a terminal becomes the caller's), and none of these holds a registry file.
const char* refusedKind(mode_t mode) {
    if (S_ISREG(mode) || S_ISFIFO(mode))
        return nullptr;
    if (S_ISDIR(mode))
        return "it is a directory";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "it is a device";
    if (S_ISSOCK(mode))
        return "it is a socket";
    return "it is not a regular file";
}

// Reads a pipe to its end into bytes; returns why not, or an empty string.
std::string readStream(int fd, const StreamLimits& limits, std::string& bytes) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + limits.total;
    char block[std::size_t{64} << 10];
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return cantRead("the pipe was still sending after " + inWords(limits.total));
        const bool idleBound = limits.idle <= left;
        pollfd wait{fd, POLLIN, 0};
        const int ready =
            poll(&wait, 1, static_cast<int>((idleBound ? limits.idle : left).count()));
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            return cantRead(reasonOf(errno));
        }
        if (ready == 0)
            return cantRead(idleBound
                                ? "nothing came through the pipe for " + inWords(limits.idle) +
                                      " (is anything writing to it?)"
                                : "the pipe was still sending after " + inWords(limits.total));
        const ssize_t got = read(fd, block, sizeof block);
        if (got == 0)
            return {};
        if (got < 0) {
            if (errno == EAGAIN || errno == EINTR)
                continue;
            return cantRead(reasonOf(errno));
        }
        if (static_cast<std::size_t>(got) > limits.maxBytes - bytes.size()) {
            bytes.clear();
            bytes.shrink_to_fit();
            return cantRead("more than " + std::to_string(limits.maxBytes >> 20) +
                            " MiB came through the pipe (what a pipe gives is held in memory, up "
                            "to that much)");
        }
        bytes.append(block, static_cast<std::size_t>(got));
    }
}

#endif

} // namespace

OpenedFile openRegistryFile(const std::string& path, const StreamLimits& limits) {
    OpenedFile opened;
#if defined(_WIN32)
    (void)limits;
    std::error_code error;
    const auto type = std::filesystem::status(path, error).type();
    if (type == std::filesystem::file_type::not_found) {
        opened.problem = cantOpen(ENOENT);
        return opened;
    }
    if (type == std::filesystem::file_type::directory) {
        opened.problem = cantRead("it is a directory");
        return opened;
    }
    opened.file.reset(std::fopen(path.c_str(), "rb"));
    if (!opened.file)
        opened.problem = cantOpen(errno);
#else
    struct stat info;
    if (stat(path.c_str(), &info) != 0) {
        opened.problem = cantOpen(errno);
        return opened;
    }
    if (const char* kind = refusedKind(info.st_mode)) {
        opened.problem = cantRead(kind);
        return opened;
    }
    // Without O_NONBLOCK, opening a FIFO waits for a writer, for ever if none comes. The file
    // may also have been replaced since it was looked at: what is opened is looked at again.
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        opened.problem = cantOpen(errno);
        return opened;
    }
    if (fstat(fd, &info) != 0) {
        opened.problem = cantRead(reasonOf(errno));
    } else if (const char* kind = refusedKind(info.st_mode)) {
        opened.problem = cantRead(kind);
    } else if (S_ISREG(info.st_mode)) {
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        opened.file.reset(fdopen(fd, "rb"));
        if (opened.file)
            return opened;
        opened.problem = cantOpen(errno);
    } else {
        opened.problem = readStream(fd, limits, opened.bytes);
        opened.streamed = opened.problem.empty();
    }
    close(fd);
#endif
    return opened;
}

} // namespace tavlo::platform::portable
