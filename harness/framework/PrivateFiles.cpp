#include "harness/framework/PrivateFiles.h"

#include "syskit/PrivatePlace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

const mode_t kPrivateFileMode = 0600;
const mode_t kPrivateDirectoryMode = 0700;
const int kSafeFlags = O_NOFOLLOW | O_CLOEXEC;

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

}  // namespace

bool checkPrivateDirectory(const std::string& dir, std::string& error) {
    const syskit::PlaceCheck check = syskit::checkPlace(dir, {syskit::PlaceKind::Directory, false, false, false});
    const std::string refusing = "refusing the directory " + dir + ": ";
    switch (check.fault) {
    case syskit::PlaceFault::None:
        return true;
    case syskit::PlaceFault::CannotInspect:
        error = "cannot use " + dir + ": " + strerror(check.error);
        break;
    case syskit::PlaceFault::SymbolicLink:
        error = refusing + "it is a symbolic link; name the real directory";
        break;
    case syskit::PlaceFault::WrongKind:
        error = refusing + "it is not a directory";
        break;
    case syskit::PlaceFault::OtherOwner:
        error = refusing + "it belongs to user " + std::to_string(check.owner) + ", not to you (user " +
                std::to_string(geteuid()) + "); use a directory of your own, e.g. under your home";
        break;
    case syskit::PlaceFault::OthersMayWrite:
        error = refusing + "others can write to it (mode " + syskit::octalMode(check.mode) +
                "); make it private with: chmod 700 " + dir;
        break;
    }
    return false;
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
