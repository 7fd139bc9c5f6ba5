// The plug-in's object for one source device during one operation. It carries
// the device record, fills it in its pre-operation and reports results to the
// host's snap descriptor. No base class, no virtual operations.
#pragma once

#include <string>
#include <vector>

#include "host/QZOSUtil.h"
#include "host/SnapInfo.h"
#include "records/HNASDeviceRecords.h"

class HNASSnapDevice {
public:
    // `snapInfo` is the host's descriptor (not owned, never null in use);
    // `osUtil` the host utility (not owned, may be null).
    HNASSnapDevice(QZSO::SnapInfo* snapInfo, QZSO::QZOSUtil* osUtil, _HNASSnapOpType opType);
    ~HNASSnapDevice();

    bool initializeDeviceObj(const _HNASDeviceType& type);

    // A copy of the device record; later changes to the device do not reach it.
    _HNASDeviceInfo getDeviceInfo();
    // The record itself, read without a copy (for scans over many devices).
    const _HNASDeviceInfo& deviceRecord() const;

    // Builds the metadata text of `type` (SM_MDT_SNAP_UUID or SM_MDT_FS_INFO)
    // from `info` and stores it with the descriptor. False for an unknown
    // type, a value the text form cannot carry back, or a host refusal.
    bool setMetadata(_HNASDeviceInfo& info, int type);

    // Sets the descriptor's status and, only when errorCode is not 0, its error.
    void setStatus(QZSO::SnapStatus status, int errorCode, std::string message);
    QZSO::SnapStatus getStatus();
    // Stores the UUID in the record and hands it to the host as the snap's UUID.
    void resetSnapUUID(const std::string& uuid);
    void setSnapshotObjectId(const std::string& id);
    void markFileSystemSnapped();
    void setSnapDevice(const std::string& name);

    // Host value of `key`; 0 when the host cannot give it.
    int getValueInt(const int& key);
    // Host text of `key`; "" when it cannot be read.
    std::string getValueString(const int& key);

    // Destroys every device of the list and empties it; null entries are skipped.
    static void clean(std::vector<HNASSnapDevice*>& devices);

    HNASSnapDevice(const HNASSnapDevice&) = delete;
    HNASSnapDevice& operator=(const HNASSnapDevice&) = delete;

private:
    QZSO::SnapInfo* snapInfo;
    QZSO::QZOSUtil* osUtil;
    _HNASSnapOpType opType;
    unsigned long long jobId;
    _HNASDeviceInfo deviceInfo;
    _HNASDeviceType deviceTypeCode;
};
