#include "harness/framework/ProcessIdentity.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

bool processStartTicks(long long pid, unsigned long long& ticks) {
    if (pid <= 0) return false;
    const std::string path = "/proc/" + std::to_string(pid) + "/stat";
    FILE* file = fopen(path.c_str(), "re");
    if (file == nullptr) return false;
    char text[1024];
    const size_t read = fread(text, 1, sizeof(text) - 1, file);
    fclose(file);
    text[read] = '\0';
    // "pid (comm) state ppid ...": the command may hold blanks and ")", so
    // the fields are counted from the last ")". The state is field 3, the
    // start time field 22.
    const std::string stat(text);
    const size_t nameEnd = stat.rfind(')');
    if (nameEnd == std::string::npos || nameEnd + 2 >= stat.size()) return false;
    const char state = stat[nameEnd + 2];
    if (state == 'Z' || state == 'X' || state == 'x') return false;
    size_t at = nameEnd + 2;
    for (int field = 3; field < 22; ++field) {
        at = stat.find(' ', at);
        if (at == std::string::npos) return false;
        ++at;
    }
    char* end = nullptr;
    ticks = strtoull(stat.c_str() + at, &end, 10);
    return end != stat.c_str() + at;
}

unsigned long long ownStartTicks() {
    unsigned long long ticks = 0;
    return processStartTicks(static_cast<long long>(getpid()), ticks) ? ticks : 0;
}

bool sameProcessRuns(long long pid, unsigned long long ticks) {
    unsigned long long now = 0;
    return processStartTicks(pid, now) && now == ticks;
}
