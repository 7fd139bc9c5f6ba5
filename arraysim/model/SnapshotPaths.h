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

}  // namespace arraymodel
