// Resolver stand-in over gethostbyname_r. The host entry and the resolver's
// work area both live in the caller's buffer: the entry at its (aligned)
// start, the work area after it.
#include <netdb.h>

#include <cstdint>
#include <memory>

#include "host/WbNetwork.h"

extern "C" struct hostent* _QZ_gethostbyname_(const char* name, char* workBuffer, int) {
    if (name == nullptr || workBuffer == nullptr) return nullptr;
    void* start = workBuffer;
    size_t space = QZ_GETHOSTBYNAME_BUFFER_SIZE;
    if (std::align(alignof(struct hostent), sizeof(struct hostent), start, space) == nullptr)
        return nullptr;
    struct hostent* entry = static_cast<struct hostent*>(start);
    char* work = static_cast<char*>(start) + sizeof(struct hostent);
    const size_t workSize = space - sizeof(struct hostent);
    struct hostent* result = nullptr;
    int hostError = 0;
    if (gethostbyname_r(name, entry, work, workSize, &result, &hostError) != 0) return nullptr;
    return result;
}
