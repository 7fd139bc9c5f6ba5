// Reading a share path that points into a file-system snapshot.
#pragma once

#include <string>
#include <vector>

namespace arraymodel {

// The pieces of a share path split at every "/" and "\", empty pieces
// dropped: "\\~snapshot\\QZHNAS-u1-fs1\\data" -> {"~snapshot", "QZHNAS-u1-fs1", "data"}.
std::vector<std::string> sharePathPieces(const std::string& path);

// True when `path` lies inside a snapshot directory: its first piece is
// ".snapshot" or "~snapshot" and a second piece follows, which becomes
// `snapshotName`. E.g. "/.snapshot/QZHNAS-u1-fs1/exp1" -> "QZHNAS-u1-fs1",
// "/.snapshot/QZHNAS-u1-fs1/" -> "QZHNAS-u1-fs1", "/exp1" -> false.
bool snapshotNameInPath(const std::string& path, std::string& snapshotName);

// True when `path` names a directory a share may point at: it starts with "/"
// or "\", holds no control character, and no piece is "." or "..".
// E.g. "\non-root\ansible", "/", "/.snapshot/QZHNAS-u1-fs1/exp1".
bool wellFormedSharePath(const std::string& path);

// The directory `path` names, one spelling for both protocols: "/" and the
// pieces joined by "/". "\non-root\ansible" -> "/non-root/ansible", "\" -> "/".
std::string directoryOf(const std::string& path);

// The directory of the file system a share path names outside its
// snapshots, as directoryOf gives it; "" for a path inside a snapshot or one
// wellFormedSharePath refuses. "\data\x" -> "/data/x",
// "\~snapshot\QZHNAS-u1-fs1\data" -> "", "data" -> "".
std::string plainShareDirectory(const std::string& path);

}  // namespace arraymodel
