#include "harness/demo/WorkspaceFiles.h"

#include <fcntl.h>
#include <unistd.h>

#include "harness/framework/PrivateFiles.h"
#include "harness/framework/RandomText.h"

std::string readWholeFile(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    std::string text;
    if (fd < 0) return text;
    char buffer[8192];
    ssize_t n;
    while ((n = read(fd, buffer, sizeof(buffer))) > 0) text.append(buffer, static_cast<size_t>(n));
    close(fd);
    return text;
}

bool writeWholeFile(const std::string& path, const std::string& text) {
    std::string ignored;
    return replaceFileAtomically(path, text, ignored);
}

std::string randomToken() {
    const RandomBlock bytes = randomBlock();
    return hexText(bytes.data(), bytes.size());
}
