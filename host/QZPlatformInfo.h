// Settings store of the base library (libQzLib): integer settings addressed
// by section and key, e.g. section "~Vorlane", key "nHideCIFSShareOnSnapMount".
#pragma once

#include <string>

#include "host/QzExport.h"

class QZ_API QZPlatformInfo {
public:
    QZPlatformInfo();
    ~QZPlatformInfo();

    // True and *value set when the key exists in the section with an integer
    // value; otherwise *value is left as the caller set it.
    bool getRegInt(const char* section, const char* key, int* value);
    // True and `value` set when the key exists in the section.
    bool getRegString(const char* section, const char* key, std::string& value);

    QZPlatformInfo(const QZPlatformInfo&) = delete;
    QZPlatformInfo& operator=(const QZPlatformInfo&) = delete;
};
