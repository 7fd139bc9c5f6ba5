#include "tests/support/TempDirectory.h"

#include <ftw.h>
#include <stdlib.h>

#include <cstdio>
#include <fstream>

namespace testsupport {
namespace {

int removeEntry(const char* path, const struct stat*, int, struct FTW*) { return std::remove(path); }

}  // namespace

TempDirectory::TempDirectory() {
    char name[] = "/tmp/hnas-test-XXXXXX";
    if (mkdtemp(name) != nullptr) path_ = name;
}

TempDirectory::~TempDirectory() {
    // Depth first, and never through a link.
    if (!path_.empty()) nftw(path_.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);
}

void writeFile(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::trunc) << text; }

}  // namespace testsupport
