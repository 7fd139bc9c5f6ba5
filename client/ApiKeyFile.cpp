#include "client/ApiKeyFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace managehnas {

namespace {

// What a file that is not a regular one is, for the refusal.
const char* kindOf(mode_t mode) {
    if (S_ISDIR(mode)) return "a directory";
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISSOCK(mode)) return "a socket";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
    return "of another kind";
}

}  // namespace

// Opened without following a link (one planted under the name would hand
// over another file) and without blocking (a FIFO would hang every job);
// only a regular file of bounded size is read.
bool readApiKeyFile(const std::string& path, std::string& key, bool& othersMayRead, std::string& cause) {
    const std::string named = "the API key file [" + path + "]";
    const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        const int why = errno;
        cause = "cannot read " + named + ": " +
                (why == ELOOP ? std::string("it is a symbolic link (name the file itself)") : std::strerror(why));
        return false;
    }
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        cause = "cannot read " + named + ": it is " + kindOf(info.st_mode) + ", not a regular file";
        close(fd);
        return false;
    }
    if (info.st_size > static_cast<off_t>(kMaxApiKeyBytes)) {
        cause = named + " is larger than " + std::to_string(kMaxApiKeyBytes) + " bytes";
        close(fd);
        return false;
    }
    std::string text;
    char buffer[1024];
    for (;;) {
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            cause = "cannot read " + named + ": " + std::strerror(errno);
            close(fd);
            return false;
        }
        if (got == 0) break;
        text.append(buffer, static_cast<std::size_t>(got));
        if (text.size() > kMaxApiKeyBytes) {
            cause = named + " is larger than " + std::to_string(kMaxApiKeyBytes) + " bytes";
            close(fd);
            return false;
        }
    }
    close(fd);
    const char* blank = " \t\r\n";
    const std::size_t first = text.find_first_not_of(blank);
    if (first == std::string::npos) {
        cause = named + " holds no key";
        return false;
    }
    const std::string trimmed = text.substr(first, text.find_last_not_of(blank) - first + 1);
    for (unsigned char c : trimmed) {
        if (c <= 0x20 || c == 0x7f) {
            cause = named + " holds a blank or control character inside the key";
            return false;
        }
    }
    othersMayRead = (info.st_mode & (S_IRGRP | S_IROTH)) != 0;
    key = trimmed;
    return true;
}

}  // namespace managehnas
