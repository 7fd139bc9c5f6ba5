// A fresh directory under /tmp for one test (or one test binary), removed
// with everything in it when the object goes.
#pragma once

#include <string>

namespace testsupport {

class TempDirectory {
public:
    TempDirectory();
    ~TempDirectory();
    // "" when no directory could be made.
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

    TempDirectory(const TempDirectory&) = delete;
    TempDirectory& operator=(const TempDirectory&) = delete;

private:
    std::string path_;
};

// Writes `text` to `path`, replacing what was there.
void writeFile(const std::string& path, const std::string& text);

}  // namespace testsupport
