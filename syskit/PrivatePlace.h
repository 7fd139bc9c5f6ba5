// Whether a directory or a file is private to this user: what it is (not a
// symbolic link, the kind wanted), who owns it and whether anyone else may
// write to it. The one check of a private place; each program words its
// refusal itself (the host store tells the operator how to mend the
// directory, the simulator names its state file).
#pragma once

#include <sys/types.h>

#include <string>

namespace syskit {

enum class PlaceKind { Any, Directory, RegularFile };

// What the place must be, e.g. the host store's directory
// {PlaceKind::Directory, false, false, false}.
struct PlaceRule {
    PlaceKind kind = PlaceKind::Any;
    bool followLink = false;    // true: a link is judged by what it names
    bool rootMayOwn = false;    // true: root's place is as good as ours
    bool mayBeMissing = false;  // true: a place that does not exist passes
};

// The first rule the place breaks, in this order.
enum class PlaceFault { None, CannotInspect, SymbolicLink, WrongKind, OtherOwner, OthersMayWrite };

struct PlaceCheck {
    PlaceFault fault = PlaceFault::None;
    int error = 0;      // errno, for CannotInspect
    uid_t owner = 0;    // as found, for OtherOwner
    mode_t mode = 0;    // as found, for OthersMayWrite
    bool ok() const { return fault == PlaceFault::None; }
};

// Checks `path`, e.g. "/home/op/hnas-store", against `rule`.
PlaceCheck checkPlace(const std::string& path, const PlaceRule& rule);

// The permission bits of `mode` as four octal digits, e.g. "0777".
std::string octalMode(mode_t mode);

}  // namespace syskit
