// Blocking-sleep stand-in: sleeps the whole time even when signals interrupt it.
#include <cerrno>
#include <ctime>

#include "host/WbUtils.h"

extern "C" void WBSLEEP_InTeRnAl(int milliseconds, const char*, int) {
    if (milliseconds <= 0) return;
    struct timespec left;
    left.tv_sec = milliseconds / 1000;
    left.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}
