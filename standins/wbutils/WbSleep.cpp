// Blocking-sleep stand-in: sleeps the whole time even when signals interrupt
// it, unless a test hook takes the wait (WbSleepHook.h).
#include <cerrno>
#include <ctime>
#include <mutex>

#include "host/WbUtils.h"
#include "standins/wbutils/WbSleepHook.h"

namespace {

std::mutex& hookMutex() {
    static std::mutex mutex;
    return mutex;
}

WbSleepHook& installedHook() {
    static WbSleepHook hook;
    return hook;
}

}  // namespace

void WbSleepSetHook(WbSleepHook hook) {
    std::lock_guard<std::mutex> lock(hookMutex());
    installedHook() = std::move(hook);
}

extern "C" void WBSLEEP_InTeRnAl(int milliseconds, const char*, int) {
    {
        std::lock_guard<std::mutex> lock(hookMutex());
        if (installedHook()) {
            installedHook()(milliseconds);
            return;
        }
    }
    if (milliseconds <= 0) return;
    struct timespec left;
    left.tv_sec = milliseconds / 1000;
    left.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}
