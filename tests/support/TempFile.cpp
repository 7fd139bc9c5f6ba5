#include "tests/support/TempFile.h"

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

namespace testsupport {

TempFile::TempFile(const std::string& contents) {
    char name[] = "/tmp/hnas-test-file-XXXXXX";
    const int fd = mkstemp(name);
    if (fd < 0) return;
    close(fd);
    path_ = name;
    std::ofstream file(path_, std::ios::binary | std::ios::trunc);
    file << contents;
    file.close();
    ok_ = file.good();
}

TempFile::~TempFile() {
    if (!path_.empty()) std::remove(path_.c_str());
}

}  // namespace testsupport
