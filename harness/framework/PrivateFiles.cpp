#include "harness/framework/PrivateFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

const mode_t kPrivateFileMode = 0600;
const mode_t kPrivateDirectoryMode = 0700;
const int kSafeFlags = O_NOFOLLOW | O_CLOEXEC;

std::string octal(mode_t mode) {
    char text[8];
    snprintf(text, sizeof(text), "%04o", static_cast<unsigned>(mode & 07777));
    return text;
}

// Accepts an open descriptor only for a regular file of this user.
bool ownRegularFile(int fd, const std::string& path, std::string& error) {
    struct stat info;
    if (fstat(fd, &info) != 0) {
        error = "cannot inspect " + path + ": " + strerror(errno);
        return false;
    }
    if (!S_ISREG(info.st_mode) || info.st_uid != geteuid()) {
        error = "refusing " + path + ": it is not a regular file of yours";
        return false;
    }
    return true;
}

// What a file that is not a regular one is, for the refusal.
const char* fileKind(mode_t mode) {
    if (S_ISDIR(mode)) return "a directory";
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISSOCK(mode)) return "a socket";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
    return "of another kind";
}

bool tooLarge(const std::string& name, size_t maxBytes, std::string& error) {
    error = "cannot read " + name + ": it is larger than " + std::to_string(maxBytes) + " bytes";
    return false;
}

}  // namespace

bool readSmallRegularFile(const std::string& path, size_t maxBytes, std::string& text, std::string& error) {
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | kSafeFlags);
    if (fd < 0) {
        const int why = errno;
        error = "cannot read " + path + ": " +
                (why == ELOOP ? std::string("it is a symbolic link (name the file itself)") : strerror(why));
        return false;
    }
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        error = "cannot read " + path + ": it is " + fileKind(info.st_mode) + ", not a regular file";
        close(fd);
        return false;
    }
    const bool done = info.st_size > static_cast<off_t>(maxBytes) ? tooLarge(path, maxBytes, error)
                                                                  : readAtMost(fd, path, maxBytes, text, error);
    close(fd);
    return done;
}

bool readAtMost(int fd, const std::string& name, size_t maxBytes, std::string& text, std::string& error) {
    std::string contents;
    char buffer[65536];
    for (;;) {
        const ssize_t got = read(fd, buffer, sizeof(buffer));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            error = "cannot read " + name + ": " + strerror(errno);
            return false;
        }
        if (got == 0) break;
        contents.append(buffer, static_cast<size_t>(got));
        if (contents.size() > maxBytes) return tooLarge(name, maxBytes, error);
    }
    text.swap(contents);
    return true;
}

bool checkPrivateDirectory(const std::string& dir, std::string& error) {
    struct stat info;
    if (lstat(dir.c_str(), &info) != 0) {
        error = "cannot use " + dir + ": " + strerror(errno);
        return false;
    }
    const std::string refusing = "refusing the directory " + dir + ": ";
    if (S_ISLNK(info.st_mode)) {
        error = refusing + "it is a symbolic link; name the real directory";
        return false;
    }
    if (!S_ISDIR(info.st_mode)) {
        error = refusing + "it is not a directory";
        return false;
    }
    if (info.st_uid != geteuid()) {
        error = refusing + "it belongs to user " + std::to_string(info.st_uid) + ", not to you (user " +
                std::to_string(geteuid()) + "); use a directory of your own, e.g. under your home";
        return false;
    }
    if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        error = refusing + "others can write to it (mode " + octal(info.st_mode) +
                "); make it private with: chmod 700 " + dir;
        return false;
    }
    return true;
}

bool makePrivateDirectory(const std::string& dir, std::string& error) {
    if (mkdir(dir.c_str(), kPrivateDirectoryMode) != 0 && errno != EEXIST) {
        error = "cannot create " + dir + ": " + strerror(errno);
        return false;
    }
    return checkPrivateDirectory(dir, error);
}

int createPrivateFile(const std::string& path, int extraFlags, std::string& error) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | kSafeFlags | extraFlags, kPrivateFileMode);
    if (fd < 0) {
        error = "cannot create " + path + ": " + strerror(errno) +
                (errno == EEXIST ? " (a file or link of that name was there before)" : "");
        return -1;
    }
    return fd;
}

int openPrivateFile(const std::string& path, std::string& error) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        int fd = open(path.c_str(), O_RDWR | kSafeFlags);
        if (fd < 0 && errno == ENOENT) {
            fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | kSafeFlags, kPrivateFileMode);
            if (fd < 0 && errno == EEXIST) continue;   // made by another process meanwhile
        }
        if (fd < 0) {
            error = "cannot open " + path + ": " + strerror(errno) +
                    (errno == ELOOP ? " (it is a symbolic link)" : "");
            return -1;
        }
        if (!ownRegularFile(fd, path, error)) {
            close(fd);
            return -1;
        }
        return fd;
    }
    error = "cannot open " + path + ": it keeps appearing and vanishing";
    return -1;
}

bool replaceFileAtomically(const std::string& path, const std::string& text, std::string& error) {
    const std::string temporary = path + ".tmp." + std::to_string(getpid());
    unlink(temporary.c_str());   // left by a killed process of the same number
    const int fd = createPrivateFile(temporary, 0, error);
    if (fd < 0) return false;
    const bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    const bool closed = close(fd) == 0;
    if (!written || !closed || rename(temporary.c_str(), path.c_str()) != 0) {
        error = "cannot write " + path + ": " + strerror(errno);
        unlink(temporary.c_str());
        return false;
    }
    return true;
}

bool readRandomBytes(unsigned char* bytes, size_t count) {
    const int fd = open("/dev/urandom", O_RDONLY | kSafeFlags);
    if (fd < 0) return false;
    size_t got = 0;
    while (got < count) {
        const ssize_t n = read(fd, bytes + got, count - got);
        if (n <= 0) break;
        got += static_cast<size_t>(n);
    }
    close(fd);
    return got == count;
}
