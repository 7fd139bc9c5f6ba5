// What an in-memory host keeps: a descriptor's state, the arrays it knows and
// what one job shares. Plain values; the host objects of MemHost.h work over
// them, and a host that keeps them elsewhere (a store) builds on them.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace hostkit {

// One snap descriptor: its source device and everything the plug-in reported.
struct SnapState {
    std::string sourceDevice;        // e.g. "{type:native_hnas,path:/__VOLUME__/fs3/home,targethostname:hnas2}"
    int status = 0;                  // QZSO::SnapStatus value; 0 before the first operation
    int errorCode = 0;               // 0 = none
    std::string errorMessage;
    std::string snapUUID;
    std::string snapDevice;
    std::string arrayName;           // the array attached by setArrayName, "" = none
    std::map<int, std::string> metadata;  // by metadata type (6, 16)
};

// One array as the host's array management keeps it.
struct HostArray {
    std::string name;                // what setArrayName and listArrays use, e.g. "hnas1"
    std::string vendor;              // "Hitachi NAS"
    std::string arrayInfo;           // "{arrayId:evs1,hostName:...,hostPassword:...,hostid:1}"
    int controlHostId = 0;
    std::map<std::string, std::string> configs;  // e.g. SMCONFIG_NAME_METRO_SERVER_PORT -> "8444"
};

using HostArrays = std::vector<HostArray>;   // in the order the host added them

// What every host object of one job shares.
struct HostJob {
    unsigned long long jobId = 0;
    HostArrays arrays;
    // Answer to GET_VALUE_VOLSNAP_OP_SOURCE (2 = a request from the GUI);
    // 0 means the host has no value for it.
    int mountRequestSource = 0;
};

// The array called `name`, or null.
const HostArray* findArray(const HostArrays& arrays, const std::string& name);

// An array configuration value as an int: the whole text must be a decimal
// integer in range, e.g. "8444"; false otherwise.
bool parseConfigInt(const std::string& text, int& value);

}  // namespace hostkit
