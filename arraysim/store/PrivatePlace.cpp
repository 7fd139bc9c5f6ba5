#include "arraysim/store/PrivatePlace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace arraysim {
namespace {

const mode_t kOthersWrite = S_IWGRP | S_IWOTH;

std::string directoryOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// A file that exists must be a regular file of this user that no one else
// may write; one that does not exist is fine (the directory is private).
bool fileIsPrivate(const std::string& path, std::string& error) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0) {
        if (errno == ENOENT) return true;
        error = "cannot check " + path + ": " + std::strerror(errno);
        return false;
    }
    if (S_ISLNK(info.st_mode)) {
        error = path + " is a symbolic link; the simulator uses no link for its state";
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        error = path + " is not a regular file";
        return false;
    }
    if (info.st_uid != geteuid()) {
        error = path + " belongs to another user (uid " + std::to_string(info.st_uid) + ")";
        return false;
    }
    if ((info.st_mode & kOthersWrite) != 0) {
        error = path + " is writable by other users";
        return false;
    }
    return true;
}

}  // namespace

bool statePlaceIsPrivate(const std::string& path, std::string& error) {
    const std::string directory = directoryOf(path);
    struct stat info {};
    if (stat(directory.c_str(), &info) != 0) {
        error = "cannot use state directory " + directory + ": " + std::strerror(errno);
        return false;
    }
    if (info.st_uid != geteuid() && info.st_uid != 0) {
        error = "state directory " + directory + " belongs to another user (uid " + std::to_string(info.st_uid) +
                "): use a directory of your own";
        return false;
    }
    if ((info.st_mode & kOthersWrite) != 0) {
        error = "state directory " + directory +
                " is writable by other users, who could plant files there: use a directory of your own";
        return false;
    }
    for (const char* suffix : {"", "-wal", "-shm"}) {
        if (!fileIsPrivate(path + suffix, error)) {
            error = "state file refused: " + error;
            return false;
        }
    }
    return true;
}

bool writeFileWithoutLinks(const std::string& path, const std::string& text, std::string& error) {
    const std::string temporary = path + ".tmp";
    if (unlink(temporary.c_str()) != 0 && errno != ENOENT) {
        error = "cannot remove " + temporary + ": " + std::strerror(errno);
        return false;
    }
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = "cannot create " + temporary + ": " + std::strerror(errno);
        return false;
    }
    const bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    const bool closed = close(fd) == 0;
    if (!written || !closed || std::rename(temporary.c_str(), path.c_str()) != 0) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        unlink(temporary.c_str());
        return false;
    }
    return true;
}

}  // namespace arraysim
