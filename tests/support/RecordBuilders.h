// Array records filled for tests that write, copy, clear or send them.
#pragma once

#include <cstdint>
#include <string>

#include "records/HNASArrayRecords.h"

namespace testsupport {

inline __HNASCIFSAuthentication permissionEntry(int32_t permission, const std::string& encodedName,
                                                const std::string& name, const std::string& type) {
    __HNASCIFSAuthentication e;
    e.permission = permission;
    e.encodedName = encodedName;
    e.name = name;
    e.type = type;
    return e;
}

// Share settings with every field away from its default, and two permission
// entries: BUILTIN\Administrators (56, GROUP), then Everyone (8, WELLKNOWN).
inline __HNASFileSystemShareSettings settingsOffTheirDefaults() {
    __HNASFileSystemShareSettings s;
    s.accessConfig = "10.0.0.0/8(rw)";
    s.comment = "home";
    s.userHomeDirectoryPath = "\\home";
    s.cacheOption = "AUTO_CACHING_PROGS";
    s.snapshotOption = "HIDE_AND_DISABLE_ACCESS";
    s.transferToReplicationTarget = "TRANSFER";
    s.userHomeDirectoryMode = "DOMAIN_AND_USER";
    s.localReadCacheOption = "ENABLED_FOR_CVLS";
    s.followSymLinks = s.followGlobalSymLinks = s.abeEnabled = true;
    s.forceFileNameToLowercase = s.scanForVirusesEnabled = true;
    s.maxConcurrentUsers = -1;
    s.permissions.push_back(permissionEntry(56, "S-1-5-32-544", "BUILTIN\\Administrators", "GROUP"));
    s.permissions.push_back(permissionEntry(8, "S-1-1-0", "Everyone", "WELLKNOWN"));
    return s;
}

}  // namespace testsupport
