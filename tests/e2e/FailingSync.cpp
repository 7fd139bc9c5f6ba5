// Preloaded into hnas-host by a test: fsync and fdatasync fail with EIO once
// the file named by $HNAS_TEST_FAIL_SYNC_FILE holds the text of
// $HNAS_TEST_FAIL_SYNC_TEXT (e.g. the job's host log once it says the
// plug-in returned), as a disk that starts failing would. The data written
// before stays in the page cache, as it does when a real sync fails.
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

bool failing() {
    const char* file = getenv("HNAS_TEST_FAIL_SYNC_FILE");
    const char* text = getenv("HNAS_TEST_FAIL_SYNC_TEXT");
    if (file == nullptr || text == nullptr) return false;
    const int fd = open(file, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    std::string contents;
    char buffer[4096];
    ssize_t got = 0;
    while ((got = read(fd, buffer, sizeof(buffer))) > 0) contents.append(buffer, static_cast<size_t>(got));
    close(fd);
    return contents.find(text) != std::string::npos;
}

template <typename Function>
Function next(const char* name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int fsync(int fd) {
    if (failing()) {
        errno = EIO;
        return -1;
    }
    static const auto real = next<int (*)(int)>("fsync");
    return real(fd);
}

extern "C" __attribute__((visibility("default"))) int fdatasync(int fd) {
    if (failing()) {
        errno = EIO;
        return -1;
    }
    static const auto real = next<int (*)(int)>("fdatasync");
    return real(fd);
}
