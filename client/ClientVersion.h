// The build a loaded libQzManageHNAS.so comes from, for hosts and tools that
// want to tell which client they run (dlsym "QzManageHNAS_versionText").
// It stands beside the QzManageHNAS class, whose members a host relies on
// and which stay as they are.
#pragma once

#include "host/QzExport.h"

extern "C" {
// "<project version> (git <revision>)", e.g. "1.0.0 (git 0123456789ab)":
// static text, never null.
QZ_API const char* QzManageHNAS_versionText(void);
}
