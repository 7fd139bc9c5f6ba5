// Test hook of the sleep stand-in: while a hook is installed, every
// WBSLEEP_InTeRnAl call hands its milliseconds to the hook instead of
// sleeping, so that a test sees each wait without waiting. Not part of the
// real utility library.
#pragma once

#include <functional>

#include "host/QzExport.h"

using WbSleepHook = std::function<void(int milliseconds)>;

// Installs `hook` (an empty function removes it). Thread-safe.
QZ_API void WbSleepSetHook(WbSleepHook hook);
