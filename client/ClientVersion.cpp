#include "client/ClientVersion.h"

#include "hnas/BuildVersion.h"

const char* QzManageHNAS_versionText(void) { return HNAS_VERSION_TEXT; }
