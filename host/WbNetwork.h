// Host-name resolution of the network library (libWbNetwork).
#pragma once

#include <netdb.h>

#include "host/QzExport.h"

// Size of the caller-owned work buffer that _QZ_gethostbyname_ fills; the
// returned host entry lives inside it.
const int QZ_GETHOSTBYNAME_BUFFER_SIZE = 4128;

extern "C" {
// Resolves `name` into the caller's work buffer of QZ_GETHOSTBYNAME_BUFFER_SIZE
// bytes. Returns the host entry (inside the buffer) or null when the name
// cannot be resolved. `flags` is 0.
QZ_API struct hostent* _QZ_gethostbyname_(const char* name, char* workBuffer, int flags);
}
