#include "syskit/SmallFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace syskit {
namespace {

bool tooLarge(const std::string& name, std::size_t maxBytes, std::string& error) {
    error = "cannot read " + name + ": it is larger than " + std::to_string(maxBytes) + " bytes";
    return false;
}

}  // namespace

const char* fileKind(mode_t mode) {
    if (S_ISDIR(mode)) return "a directory";
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISSOCK(mode)) return "a socket";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
    return "of another kind";
}

bool readSmallRegularFile(const std::string& path, const std::string& name, std::size_t maxBytes,
                          std::string& text, std::string& error, mode_t* mode) {
    const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        const int why = errno;
        error = "cannot read " + name + ": " +
                (why == ELOOP ? std::string("it is a symbolic link (name the file itself)") : std::strerror(why));
        return false;
    }
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        error = "cannot read " + name + ": it is " + fileKind(info.st_mode) + ", not a regular file";
        close(fd);
        return false;
    }
    const bool done = info.st_size > static_cast<off_t>(maxBytes) ? tooLarge(name, maxBytes, error)
                                                                  : readAtMost(fd, name, maxBytes, text, error);
    close(fd);
    if (done && mode != nullptr) *mode = info.st_mode;
    return done;
}

bool readSmallRegularFile(const std::string& path, std::size_t maxBytes, std::string& text, std::string& error) {
    return readSmallRegularFile(path, path, maxBytes, text, error);
}

bool readAtMost(int fd, const std::string& name, std::size_t maxBytes, std::string& text, std::string& error) {
    std::string contents;
    char buffer[65536];
    for (;;) {
        const ssize_t got = read(fd, buffer, sizeof(buffer));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            error = "cannot read " + name + ": " + std::strerror(errno);
            return false;
        }
        if (got == 0) break;
        contents.append(buffer, static_cast<std::size_t>(got));
        if (contents.size() > maxBytes) return tooLarge(name, maxBytes, error);
    }
    text.swap(contents);
    return true;
}

}  // namespace syskit
