// The state file holds the arrays' passwords and API keys, so it must live
// where no other user can read it or plant a file for the simulator to use:
// its directory owned by this user (or root) and writable by no one else,
// and the file, its -wal and its -shm, when they exist, regular files (not
// links) owned by this user and writable by no one else. A file planted in
// a shared directory (a co-tenant's 0666 "sim.db" in /tmp, or a "-wal" it
// holds open) would otherwise hand it every secret written later.
#pragma once

#include <string>

namespace arraysim {

// False with the reason when `path`'s place is not private as above.
bool statePlaceIsPrivate(const std::string& path, std::string& error);

// Writes `text` to `path` through "<path>.tmp" without following a link at
// either name: a stale or planted .tmp is removed first (a link goes, not
// what it names), the .tmp is created afresh, and the rename replaces a
// link at `path` rather than writing where it points.
bool writeFileWithoutLinks(const std::string& path, const std::string& text, std::string& error);

}  // namespace arraysim
