#include "arraysim/model/SnapshotPaths.h"

namespace arraymodel {

std::vector<std::string> sharePathPieces(const std::string& path) {
    std::vector<std::string> pieces;
    std::string piece;
    for (char c : path) {
        if (c == '/' || c == '\\') {
            if (!piece.empty()) pieces.push_back(piece);
            piece.clear();
        } else {
            piece += c;
        }
    }
    if (!piece.empty()) pieces.push_back(piece);
    return pieces;
}

bool snapshotNameInPath(const std::string& path, std::string& snapshotName) {
    const std::vector<std::string> pieces = sharePathPieces(path);
    if (pieces.size() < 2) return false;
    if (pieces[0] != ".snapshot" && pieces[0] != "~snapshot") return false;
    snapshotName = pieces[1];
    return true;
}

bool wellFormedSharePath(const std::string& path) {
    if (path.empty() || (path[0] != '/' && path[0] != '\\')) return false;
    for (unsigned char c : path) {
        if (c < 0x20 || c == 0x7F) return false;
    }
    for (const std::string& piece : sharePathPieces(path)) {
        if (piece == "." || piece == "..") return false;
    }
    return true;
}

std::string directoryOf(const std::string& path) {
    std::string directory;
    for (const std::string& piece : sharePathPieces(path)) directory += "/" + piece;
    return directory.empty() ? "/" : directory;
}

std::string plainShareDirectory(const std::string& path) {
    std::string snapshotName;
    if (!wellFormedSharePath(path) || snapshotNameInPath(path, snapshotName)) return "";
    return directoryOf(path);
}

}  // namespace arraymodel
