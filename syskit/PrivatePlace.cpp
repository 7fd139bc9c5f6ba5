#include "syskit/PrivatePlace.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace syskit {

PlaceCheck checkPlace(const std::string& path, const PlaceRule& rule) {
    PlaceCheck check;
    struct stat info {};
    if ((rule.followLink ? stat(path.c_str(), &info) : lstat(path.c_str(), &info)) != 0) {
        if (!(rule.mayBeMissing && errno == ENOENT)) {
            check.fault = PlaceFault::CannotInspect;
            check.error = errno;
        }
        return check;
    }
    check.owner = info.st_uid;
    check.mode = info.st_mode;
    if (S_ISLNK(info.st_mode)) {
        check.fault = PlaceFault::SymbolicLink;
    } else if ((rule.kind == PlaceKind::Directory && !S_ISDIR(info.st_mode)) ||
               (rule.kind == PlaceKind::RegularFile && !S_ISREG(info.st_mode))) {
        check.fault = PlaceFault::WrongKind;
    } else if (info.st_uid != geteuid() && !(rule.rootMayOwn && info.st_uid == 0)) {
        check.fault = PlaceFault::OtherOwner;
    } else if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        check.fault = PlaceFault::OthersMayWrite;
    }
    return check;
}

std::string octalMode(mode_t mode) {
    char text[8];
    std::snprintf(text, sizeof(text), "%04o", static_cast<unsigned>(mode & 07777));
    return text;
}

}  // namespace syskit
