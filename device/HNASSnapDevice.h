// The plug-in's object for one source device during one operation. It carries
// the device record, fills it in its pre-operation and reports results to the
// host's snap descriptor. No base class, no virtual operations.
#pragma once

#include <string>
#include <vector>

#include "host/QZOSUtil.h"
#include "host/SnapInfo.h"
#include "records/HNASDeviceRecords.h"

class HNASUtils;

class HNASSnapDevice {
public:
    // `snapInfo` is the host's descriptor (not owned, never null in use);
    // `osUtil` the host utility (not owned, may be null).
    HNASSnapDevice(QZSO::SnapInfo* snapInfo, QZSO::QZOSUtil* osUtil, _HNASSnapOpType opType);
    ~HNASSnapDevice();

    bool initializeDeviceObj(const _HNASDeviceType& type);

    // ---- Pre-operations: fill the record for the device's operation -------

    // Runs the pre-operation of the device's operation type.
    bool preOperation();
    // Prepare: the record from the source-device string and the host's
    // information on the filer's array.
    bool prePrepareDevice();
    // Every later operation: the record from the source-device string and
    // the snap metadata stored at prepare and snap time.
    bool preOperationCommon();
    // Reads back the type-6 metadata, the array credentials and the snap UUID.
    bool getFileSystemAndFilerInfoFromSnap();
    // Map and unmap: the common pre-operation, the mount request source and
    // path, and the share settings saved at prepare time.
    bool preOperationMapUnMap();
    // Mount path of a GUI mount request: the snap UUID, e.g. "QZHNAS-u1-fs1".
    std::string getMountPath();

    // ---- Array credentials and filer resolution ----------------------------

    // Attaches the array serving `arrayName` (a filer name such as "filer1")
    // to the snap, through the filer's aliases when the host does not know
    // the name itself.
    bool setArrayInfo(std::string& arrayName);
    // Searches every "Hitachi NAS" array the host knows for the one whose
    // virtual server answers on the filer's address or name. On a match,
    // `aliasList` is the server's addresses, its name and the filer joined by
    // "|", e.g. "10.0.0.5|evs1|filer1".
    bool getFilerAliases(const std::string& filer, std::string& aliasList,
                         std::string& matchedArrayName);
    // Reads and parses the attached array's information.
    bool getArrayNameAndCredentials(const unsigned long long& jobId, std::string& arrayId,
                                    std::string& hostName, std::string& hostUserName,
                                    std::string& hostPassword, int& hostId);
    // Reads the attached array's management endpoint settings.
    bool getArrayConfigValues(_HNASArrayConfigs& configs);

    // A copy of the device record; later changes to the device do not reach it.
    _HNASDeviceInfo getDeviceInfo();
    // The record itself, read without a copy (for scans over many devices).
    const _HNASDeviceInfo& deviceRecord() const;

    // Builds the metadata text of `type` (SM_MDT_SNAP_UUID or SM_MDT_FS_INFO)
    // from `info` and stores it with the descriptor. False for an unknown
    // type or a host refusal. A value the text form cannot carry never makes
    // it fail: an identity value is stored cut (and, when later jobs act on
    // it, named in the closing "CutValues" pair), as is a share's comment;
    // any other share setting makes the settings text empty, so that map uses
    // the live ones. Each such value is logged. Every key of a text it stores
    // reads back as its own pair holds it, e.g. a sub-directory
    // "sub{VirtualServerID:7" is stored cut to "sub" and named.
    bool setMetadata(_HNASDeviceInfo& info, int type);

    // Sets the descriptor's status and, only when errorCode is not 0, its error.
    void setStatus(QZSO::SnapStatus status, int errorCode, std::string message);
    QZSO::SnapStatus getStatus();
    // The descriptor's status before the operation's preset (kept for revert,
    // whose success leaves the descriptor as it was).
    void rememberStatusBeforeOperation(QZSO::SnapStatus status);
    QZSO::SnapStatus statusBeforeOperation() const;
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
    // Reads the source-device string from the descriptor; on failure logs
    // under `context` and returns false.
    bool readSourceDevice(const char* context, std::string& source);
    // Reads the source-device string and parses it into `id`, e.g.
    // "{type:nfs,filer:filer1,share:\/exp1}"; on failure logs under
    // `context` and returns false.
    bool readDeviceIdentity(const char* context, std::string& source, _HNASDeviceIdentifier& id);
    // The share of `id` in the form the array names it (e.g. "/exp1" for an
    // NFS export "exp1"); an empty share stays empty.
    static void useArrayShareName(HNASUtils& utils, _HNASDeviceIdentifier& id);
    // Copies the parts of the parsed `id` of `source` into the record: share,
    // sub-directory, vOR type, device type, source device, filer, file system.
    void recordDeviceIdentity(const std::string& source, const _HNASDeviceIdentifier& id);
    // The record's management endpoint: the configured address and port,
    // else the record's control host and the default port.
    void recordManagementEndpoint(const _HNASArrayConfigs& configs);
    // The host's job id, or the device's own when there is no utility.
    unsigned long long currentJobId() const;

    QZSO::SnapInfo* snapInfo;
    QZSO::QZOSUtil* osUtil;
    _HNASSnapOpType opType;
    unsigned long long jobId;
    _HNASDeviceInfo deviceInfo;
    _HNASDeviceType deviceTypeCode;
    QZSO::SnapStatus statusBefore;
};
