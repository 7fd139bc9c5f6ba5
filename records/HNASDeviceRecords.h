// Per-device records, array groups and the enums of the plug-in.
// Plain values: default construction calls clear(); copies are memberwise.
// These keys and values are a contract with the host's device strings and
// the snap device names it keeps: keep them character for character.
#pragma once

#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

#include "host/QzSnapEngineApi.h"
#include "records/HNASArrayRecords.h"

class HNASSnapDevice;

// The operation a device is prepared for, e.g. HNAS_SNAP_OP_SNAP = 2: one
// for each row of QZSO_OPERATIONS (host/QzSnapEngineApi.h), numbered as
// there; HNAS_SNAP_OP_INVALID = 0 is none.
enum _HNASSnapOpType : int {
#define HNAS_SNAP_OP_ENUMERATOR(entry, type, number, ...) HNAS_SNAP_OP_##type = number,
    QZSO_OPERATIONS(HNAS_SNAP_OP_ENUMERATOR)
#undef HNAS_SNAP_OP_ENUMERATOR
};

// Whether `type` is one of the operation types, e.g. true for 2 (snap) and
// false for 9; HNAS_SNAP_OP_INVALID counts as one.
constexpr bool isSnapOpType(int type) {
#define HNAS_SNAP_OP_IS(entry, operation, number, ...) number == type ||
    return QZSO_OPERATIONS(HNAS_SNAP_OP_IS) false;
#undef HNAS_SNAP_OP_IS
}

// The kind of source device, derived from the "type" text.
enum _HNASDeviceType : int {
    HNAS_DEVICE_NONE = 0,
    HNAS_DEVICE_NFS = 2,
    HNAS_DEVICE_UNC = 4,
    HNAS_DEVICE_NATIVE = 8
};

// The "type" texts of source-device strings.
constexpr char kDeviceTypeUnc[] = "unc";
constexpr char kDeviceTypeNfs[] = "nfs";
constexpr char kDeviceTypeNative[] = "native_hnas";

// Snap metadata type codes (the host's metadata "type" argument).
const short SM_MDT_SNAP_UUID = 6;   // file system and snapshot identity
const short SM_MDT_FS_INFO = 16;    // share settings and permissions

// The seven fields that log in to an array, which a device record and its
// array group both carry, as one tuple of references: the one list for
// copying them (arrayLogin(group) = arrayLogin(info)) and clearing them.
template <typename Record>
auto arrayLogin(Record& record) {
    return std::tie(record.arrayId, record.hostName, record.hostUserName, record.hostPassword, record.hostId,
                    record.metroServerIP, record.metroServerPort);
}
// Empties the texts and zeroes the numbers of arrayLogin(record).
template <typename Record>
void clearArrayLogin(Record& record) {
    std::apply([](auto&... field) { ((field = {}), ...); }, arrayLogin(record));
}

// Everything known about one source device during one operation.
struct _HNASDeviceInfo {
    std::string arrayId;
    std::string hostName;              // control host
    std::string hostUserName;
    std::string hostPassword;
    std::string metroServerIP;         // management endpoint address
    std::string fileSystemName;
    std::string share;                 // e.g. "data" (CIFS) or "/exp1" (NFS)
    std::string sharePath;             // share's path on the file system
    std::string subDirectory;
    std::string deviceType;            // "unc", "nfs" or "native_hnas"
    std::string fileSystemId;
    std::string snapUUID;              // host snap UUID, later the snapshot name
    std::string snapshotObjectId;
    std::string virtualServerId;       // decimal text
    std::string virtualServerObjectId;
    std::string vorType;
    std::string sourceDevice;
    std::string targetHostName;        // the filer named by the source device
    std::string mountPath;
    std::string path;                  // raw native path
    __HNASFileSystemShareSettings shareSettings;
    int32_t hostId;                    // control host ID: the grouping key
    int32_t metroServerPort;           // management endpoint port
    bool fileSystemSnapped;
    bool shareSettingsSaved;
    // The identity values that were stored cut, one bit per entry of
    // kMdActedOnKeys (utils/MetadataKeys.h): read back with the metadata and
    // written again with it, so that no later job acts on them.
    uint8_t cutMetadataValues;

    _HNASDeviceInfo() { clear(); }
    // Resets every field except `shareSettings`, which keeps what it holds.
    void clear() {
        clearArrayLogin(*this);
        fileSystemName.clear();
        share.clear();
        sharePath.clear();
        subDirectory.clear();
        deviceType.clear();
        fileSystemId.clear();
        snapUUID.clear();
        snapshotObjectId.clear();
        virtualServerId.clear();
        virtualServerObjectId.clear();
        vorType.clear();
        sourceDevice.clear();
        targetHostName.clear();
        mountPath.clear();
        path.clear();
        cutMetadataValues = 0;
        fileSystemSnapped = false;
        shareSettingsSaved = false;
    }
};

// One array group: the devices served by one control host.
struct _HNASArrayToDeviceMap {
    std::string arrayId;
    std::string hostName;
    std::string hostUserName;
    std::string hostPassword;
    int32_t hostId;
    std::string metroServerIP;
    int32_t metroServerPort;
    std::vector<HNASSnapDevice*> devices;   // not owned

    _HNASArrayToDeviceMap() { clear(); }
    void clear() {
        clearArrayLogin(*this);
        devices.clear();
    }
};

// The parts of one parsed source-device string.
struct _HNASDeviceIdentifier {
    std::string vorType;
    std::string deviceType;
    std::string filer;
    std::string share;
    std::string subDirectory;
    std::string fileSystem;
    std::string path;

    _HNASDeviceIdentifier() { clear(); }
    void clear() {
        vorType.clear();
        deviceType.clear();
        filer.clear();
        share.clear();
        subDirectory.clear();
        fileSystem.clear();
        path.clear();
    }
};

// The array configuration values that locate the management endpoint.
struct _HNASArrayConfigs {
    int32_t metroServerPort;
    std::string metroServerIP;

    _HNASArrayConfigs() { clear(); }
    void clear() {
        metroServerPort = 0;
        metroServerIP.clear();
    }
};
