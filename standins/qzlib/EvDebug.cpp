// Logging stand-in: one line per call, appended to the file named by
// $QZ_LOG_FILE, in the form
//   2026-12-10 00:31:07.512 pid=4242 job=17 ERROR [context] message
// with the level by name, as the host log names its own: -1 failure
// ("ERROR"), 0 flow ("INFO"), 1 details ("DETAIL"), 3 and 5 the most verbose
// ("VERBOSE", "TRACE"), any other "LEVEL<n>". Each line is also handed to
// the installed sink, with the level as a number.
#include "host/EvDebug.h"

#include <fcntl.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <string>

#include "standins/qzlib/EvDebugSink.h"

namespace {

std::mutex& logMutex() {
    static std::mutex mutex;
    return mutex;
}

EvLogSink& installedSink() {
    static EvLogSink sink;
    return sink;
}

// The open log file and the path it was opened for; reopened when
// $QZ_LOG_FILE changes.
struct LogFile {
    std::string path;
    FILE* file = nullptr;
    ~LogFile() {
        if (file != nullptr) fclose(file);
    }
};

LogFile& logFile() {
    static LogFile log;
    return log;
}

// A line formatted on the stack; only a line of 512 bytes or more goes to
// the heap (every call of the plug-in logs many lines per device).
class FormattedText {
public:
    FormattedText(const char* format, va_list args) {
        small_[0] = '\0';
        if (format == nullptr) return;
        va_list copy;
        va_copy(copy, args);
        const int needed = vsnprintf(small_, sizeof(small_), format, copy);
        va_end(copy);
        if (needed < 0) {
            small_[0] = '\0';
            return;
        }
        if (static_cast<size_t>(needed) < sizeof(small_)) return;
        large_.assign(static_cast<size_t>(needed) + 1, '\0');
        vsnprintf(&large_[0], large_.size(), format, args);
        large_.resize(static_cast<size_t>(needed));
        text_ = large_.c_str();
    }
    const char* c_str() const { return text_; }

    FormattedText(const FormattedText&) = delete;
    FormattedText& operator=(const FormattedText&) = delete;

private:
    char small_[512];
    std::string large_;
    const char* text_ = small_;
};

// Opens the log for appending, never through a symbolic link and never
// inherited by a child: an existing file as it is, a missing one created
// exclusively with mode 0600, so a link planted under the name is refused.
FILE* openLogFile(const char* path) {
    const int flags = O_WRONLY | O_APPEND | O_NOFOLLOW | O_CLOEXEC;
    int fd = open(path, flags);
    if (fd < 0 && errno == ENOENT) fd = open(path, flags | O_CREAT | O_EXCL, 0600);
    if (fd < 0 && errno == EEXIST) fd = open(path, flags);   // created meanwhile by another process
    if (fd < 0) return nullptr;
    FILE* file = fdopen(fd, "a");
    if (file == nullptr) close(fd);
    return file;
}

std::string timestamp() {
    struct timeval now;
    gettimeofday(&now, nullptr);
    struct tm local;
    localtime_r(&now.tv_sec, &local);
    char text[64];
    const size_t n = strftime(text, sizeof(text), "%Y-%m-%d %H:%M:%S", &local);
    snprintf(text + n, sizeof(text) - n, ".%03ld", static_cast<long>(now.tv_usec / 1000));
    return text;
}

// The name of a level in the log file, e.g. "ERROR" for -1, "LEVEL7" for 7.
std::string levelName(int level) {
    switch (level) {
        case -1: return "ERROR";
        case 0: return "INFO";
        case 1: return "DETAIL";
        case 3: return "VERBOSE";
        case 5: return "TRACE";
        default: return "LEVEL" + std::to_string(level);
    }
}

void writeLine(int level, unsigned long long jobId, const char* context, const char* message) {
    const char* contextText = context != nullptr ? context : "";
    std::lock_guard<std::mutex> lock(logMutex());
    if (installedSink()) installedSink()(EvLogLine{level, jobId, contextText, message});

    const char* path = getenv(kQzLogFileVariable);
    LogFile& log = logFile();
    if (path == nullptr || *path == '\0') return;
    if (log.file == nullptr || log.path != path) {
        if (log.file != nullptr) fclose(log.file);
        log.file = openLogFile(path);
        log.path = path;
        if (log.file == nullptr) return;
    }
    fprintf(log.file, "%s pid=%ld job=%llu %s [%s] %s\n", timestamp().c_str(), static_cast<long>(getpid()), jobId,
            levelName(level).c_str(), contextText, message);
    fflush(log.file);
}

}  // namespace

void EvDebugSetSink(EvLogSink sink) {
    std::lock_guard<std::mutex> lock(logMutex());
    installedSink() = std::move(sink);
}

EvDebug::EvDebug() {}
EvDebug::EvDebug(const char*) {}
EvDebug::~EvDebug() {}

void EvDebug::DebugLvl(const char* context, int level, unsigned long long jobId, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const FormattedText message(format, args);
    va_end(args);
    writeLine(level, jobId, context, message.c_str());
}

void EvDebug::DebugLvl(const char* context, int level, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const FormattedText message(format, args);
    va_end(args);
    writeLine(level, 0, context, message.c_str());
}

void EvDebug::DebugJob(const char* context, unsigned long long jobId, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const FormattedText message(format, args);
    va_end(args);
    writeLine(0, jobId, context, message.c_str());
}

void EvDebug::Debug(const char* context, const char* text) {
    writeLine(0, 0, context, text != nullptr ? text : "");
}

EvEvent::EvEvent() {}
EvEvent::~EvEvent() {}
