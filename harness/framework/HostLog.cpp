#include "harness/framework/HostLog.h"

#include <fcntl.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>

#include "harness/framework/PrivateFiles.h"

std::string hostLogLevelName(int level) {
    switch (level) {
        case 2: return "ERROR";
        case 1: return "DETAIL";
        case 0: return "INFO";
        default: return "LEVEL" + std::to_string(level);
    }
}

HostLog::~HostLog() {
    if (file_ != nullptr) fclose(file_);
}

bool HostLog::open(const std::string& path, unsigned long long jobId, std::string& error) {
    jobId_ = jobId;
    const int fd = createPrivateFile(path, O_APPEND, error);
    if (fd < 0) return false;
    file_ = fdopen(fd, "a");
    if (file_ == nullptr) {
        error = "cannot open " + path;
        close(fd);
        return false;
    }
    return true;
}

void HostLog::write(int level, const std::string& device, const std::string& context, const std::string& text) {
    if (file_ == nullptr) return;
    struct timeval now;
    gettimeofday(&now, nullptr);
    struct tm local;
    localtime_r(&now.tv_sec, &local);
    char stamp[32];
    strftime(stamp, sizeof(stamp), "%Y-%m-%d %H:%M:%S", &local);
    fprintf(file_, "%s.%03ld job=%llu device=%s %s ", stamp, static_cast<long>(now.tv_usec / 1000), jobId_,
            device.c_str(), hostLogLevelName(level).c_str());
    if (!context.empty()) fprintf(file_, "[%s] ", context.c_str());
    fprintf(file_, "%s\n", text.c_str());
    fflush(file_);
}
