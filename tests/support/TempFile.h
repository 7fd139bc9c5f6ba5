// A file under /tmp with the given contents, readable by its owner only
// (mode 0600, as mkstemp makes it), removed when the object goes.
#pragma once

#include <string>

namespace testsupport {

class TempFile {
public:
    explicit TempFile(const std::string& contents);
    ~TempFile();
    // "" when no file could be made.
    const std::string& path() const { return path_; }
    // False when the file could not be made or written whole.
    bool ok() const { return ok_; }

    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

private:
    std::string path_;
    bool ok_ = false;
};

}  // namespace testsupport
