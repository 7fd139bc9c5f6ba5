#include "arraysim/store/PrivatePlace.h"

#include "syskit/PrivatePlace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace arraysim {
namespace {

std::string directoryOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// A file that exists must be a regular file of this user that no one else
// may write; one that does not exist is fine (the directory is private).
bool fileIsPrivate(const std::string& path, std::string& error) {
    const syskit::PlaceCheck check =
        syskit::checkPlace(path, {syskit::PlaceKind::RegularFile, false, false, true});
    switch (check.fault) {
    case syskit::PlaceFault::None:
        return true;
    case syskit::PlaceFault::CannotInspect:
        error = "cannot check " + path + ": " + std::strerror(check.error);
        break;
    case syskit::PlaceFault::SymbolicLink:
        error = path + " is a symbolic link; the simulator uses no link for its state";
        break;
    case syskit::PlaceFault::WrongKind:
        error = path + " is not a regular file";
        break;
    case syskit::PlaceFault::OtherOwner:
        error = path + " belongs to another user (uid " + std::to_string(check.owner) + ")";
        break;
    case syskit::PlaceFault::OthersMayWrite:
        error = path + " is writable by other users";
        break;
    }
    return false;
}

}  // namespace

bool statePlaceIsPrivate(const std::string& path, std::string& error) {
    const std::string directory = directoryOf(path);
    // Its directory may be a link, and may be root's (a system directory
    // root made for the simulator's user is as private as one of its own).
    const syskit::PlaceCheck check = syskit::checkPlace(directory, {syskit::PlaceKind::Any, true, true, false});
    switch (check.fault) {
    case syskit::PlaceFault::None:
        break;
    case syskit::PlaceFault::OtherOwner:
        error = "state directory " + directory + " belongs to another user (uid " + std::to_string(check.owner) +
                "): use a directory of your own";
        return false;
    case syskit::PlaceFault::OthersMayWrite:
        error = "state directory " + directory +
                " is writable by other users, who could plant files there: use a directory of your own";
        return false;
    default:   // a directory that cannot be reached (stat follows the link, so no other fault)
        error = "cannot use state directory " + directory + ": " + std::strerror(check.error);
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
