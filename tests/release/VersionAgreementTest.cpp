// hnas-host, hnas-arraysim and libQzManageHNAS.so report the same version:
// the project's, and the git revision of the tree they were built from.
#include <dlfcn.h>

#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "hnas/BuildVersion.h"

namespace {

// The first line a command prints on its standard output, without the
// newline; "" when it cannot run.
std::string firstLine(const std::string& command) {
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return "";
    char line[512] = {};
    const bool read = fgets(line, sizeof(line), pipe) != nullptr;
    const int status = pclose(pipe);
    if (!read || status != 0) return "";
    std::string text(line);
    if (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
}

std::string clientVersionText(std::string& error) {
    void* client = dlopen(HNAS_CLIENT_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    if (client == nullptr) {
        error = dlerror();
        return "";
    }
    using VersionText = const char* (*)();
    auto versionText = reinterpret_cast<VersionText>(dlsym(client, "QzManageHNAS_versionText"));
    std::string text;
    if (versionText == nullptr)
        error = "QzManageHNAS_versionText is not exported";
    else
        text = versionText();
    dlclose(client);
    return text;
}

TEST(VersionAgreement, ProgramsAndClientReportTheProjectVersionAndRevision) {
    const std::string expected = std::string(HNAS_CMAKE_PROJECT_VERSION) + " (git " + HNAS_GIT_REVISION + ")";
    ASSERT_EQ(expected, HNAS_VERSION_TEXT);

    EXPECT_EQ("hnas-host " + expected, firstLine(std::string(HNAS_HOST_BINARY) + " --version"));
    EXPECT_EQ("hnas-arraysim " + expected, firstLine(std::string(HNAS_ARRAYSIM_BINARY) + " --version"));
    std::string error;
    EXPECT_EQ(expected, clientVersionText(error)) << error;
}

// The revision is taken when the build is configured, and the build is
// configured again when HEAD moves: a build older than the checkout fails here.
TEST(VersionAgreement, RevisionIsTheCheckedOutOne) {
    const std::string git = HNAS_GIT_EXECUTABLE;
    if (git.empty()) GTEST_SKIP() << "git was not found at configure time";
    const std::string head =
        firstLine("'" + git + "' -C '" HNAS_SOURCE_DIR "' rev-parse --short=12 HEAD 2>/dev/null");
    if (head.empty()) GTEST_SKIP() << "the source tree is not a git checkout";
    EXPECT_EQ(head, HNAS_GIT_REVISION);
}

}  // namespace
