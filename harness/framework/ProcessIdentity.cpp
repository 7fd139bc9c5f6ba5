#include "harness/framework/ProcessIdentity.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

namespace {

enum class StatRead { Read, Zombie, Unreadable };

// The start time of process `pid` from /proc/<pid>/stat ("self" for this
// one). Zombie: it ended and only waits to be reaped. Unreadable: /proc does
// not show it, whether it ended or /proc hides it.
StatRead readStartTicks(const std::string& pid, unsigned long long& ticks) {
    const std::string path = "/proc/" + pid + "/stat";
    FILE* file = fopen(path.c_str(), "re");
    if (file == nullptr) return StatRead::Unreadable;
    char text[1024];
    const size_t read = fread(text, 1, sizeof(text) - 1, file);
    fclose(file);
    text[read] = '\0';
    // "pid (comm) state ppid ...": the command may hold blanks and ")", so
    // the fields are counted from the last ")". The state is field 3, the
    // start time field 22.
    const std::string stat(text);
    const size_t nameEnd = stat.rfind(')');
    if (nameEnd == std::string::npos || nameEnd + 2 >= stat.size()) return StatRead::Unreadable;
    const char state = stat[nameEnd + 2];
    if (state == 'Z' || state == 'X' || state == 'x') return StatRead::Zombie;
    size_t at = nameEnd + 2;
    for (int field = 3; field < 22; ++field) {
        at = stat.find(' ', at);
        if (at == std::string::npos) return StatRead::Unreadable;
        ++at;
    }
    char* end = nullptr;
    ticks = strtoull(stat.c_str() + at, &end, 10);
    return end != stat.c_str() + at ? StatRead::Read : StatRead::Unreadable;
}

// The first line of `path`, "" when it cannot be read.
std::string firstLine(const char* path) {
    FILE* file = fopen(path, "re");
    if (file == nullptr) return std::string();
    char text[128] = {0};
    const bool read = fgets(text, sizeof(text), file) != nullptr;
    fclose(file);
    std::string line = read ? text : "";
    while (!line.empty() && (line.back() == '\n' || line.back() == ' ')) line.pop_back();
    return line;
}

std::string readView() {
    const std::string boot = firstLine("/proc/sys/kernel/random/boot_id");
    char ns[PATH_MAX];
    const ssize_t length = readlink("/proc/self/ns/pid", ns, sizeof(ns) - 1);
    if (boot.empty() || length <= 0) return std::string();
    return boot + " " + std::string(ns, static_cast<size_t>(length));
}

}  // namespace

unsigned long long ownStartTicks() {
    unsigned long long ticks = 0;
    return readStartTicks("self", ticks) == StatRead::Read ? ticks : 0;
}

std::string processView() {
    static const std::string view = readView();
    return view;
}

Liveness processLiveness(long long pid, unsigned long long ticks, const std::string& view) {
    if (pid <= 0 || pid > INT_MAX || ticks == 0 || view.empty() || view != processView()) return Liveness::Unknown;
    // No such process, whatever /proc may hide.
    if (kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) return Liveness::Ended;
    // It exists: /proc tells whether it is the job's process, unless /proc
    // hides it (or it ended just now: the caller asks the job's locks).
    unsigned long long now = 0;
    switch (readStartTicks(std::to_string(pid), now)) {
        case StatRead::Read:
            return now == ticks ? Liveness::Running : Liveness::Ended;
        case StatRead::Zombie:
            return Liveness::Ended;
        case StatRead::Unreadable:
            break;
    }
    return Liveness::Unknown;
}
