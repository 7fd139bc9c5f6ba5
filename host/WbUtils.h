// Blocking sleep of the utility library (libWbUtils).
#pragma once

#include "host/QzExport.h"

extern "C" {
// Blocks the calling thread for `milliseconds`; zero or less returns at once.
// The source location is for the library's own diagnostics.
QZ_API void WBSLEEP_InTeRnAl(int milliseconds, const char* sourceFile, int sourceLine);
}
