// Device strings, paths and settings: parsing of source-device strings,
// clone paths, share names, snap device names, the snap metadata readers,
// host-name resolution and settings lookup. Holds only the job id that tags
// its log lines; keeps no state between calls.
#pragma once

#include <string>
#include <vector>

#include "records/HNASArrayRecords.h"
#include "records/HNASDeviceRecords.h"

class HNASSnapDevice;

class HNASUtils {
public:
    explicit HNASUtils(unsigned long long jobId);
    ~HNASUtils();

    // ---- Host names and settings ------------------------------------------

    // Resolves a host name, e.g. "filer1.example.com", to the dotted form of
    // its first IPv4 address, e.g. "10.0.0.5". `address` is written only on
    // success.
    bool getIPAddressForHost(const std::string& hostName, std::string& address);

    // Reads an integer setting of section "~Vorlane" (subsection null) or
    // "~Vorlane/<subsection>". True when the store delivered a value;
    // otherwise *value keeps the caller's default.
    static bool GetRegInt(const char* subsection, const char* key, int* value);

    // ---- Brace-and-comma texts and the snap metadata ----------------------

    // The one key lookup of "{key:value,key:value}" texts. Finds the first
    // "{" + key + ":", else the first "," + key + ":"; the value runs to the
    // next ",", else to the next "}". E.g. text "{a:1,b:x}", key "b" -> "x".
    // False, with `value` untouched, when the key or the value's end is absent.
    bool getJsonVal(const std::string& text, const std::string& key, std::string& value);

    // Reads a stored metadata text into `info`: type 6 (SM_MDT_SNAP_UUID),
    // e.g. "{FileSystemName:fs1,FileSystemID:42,Path:\\data,...}"; any other
    // type as 16 (SM_MDT_FS_INFO), e.g. "{ABEEnabled:false,...,Permissions:}".
    // False at the first missing required key; fields read before it keep
    // their new values. Type 6 also reads the optional closing pair
    // "CutValues:<Key>|<Key>" into `cutMetadataValues` (0 without it); the
    // text "CutValues:" anywhere else is part of a value and names nothing.
    bool parseMetaData(const int& type, const char* text, _HNASDeviceInfo& info);

    // Reads a bracketed permissions block, e.g.
    // "[{Permission:56,EncodedName:x,Name:BUILTIN\Users,Type:GROUP}|{...}]",
    // appending one entry per "|"-separated piece. False for an empty block.
    bool parsePermissionsMetaData(const std::string& block,
                                  std::vector<__HNASCIFSAuthentication>& entries);

    // Reads the host's array-info text, e.g. "{arrayId:a1,hostName:smu1,
    // hostUserName:admin,hostPassword:secret,hostid:3}". The four texts are
    // emptied first; `hostId` is set only when all five keys read. A "hostid"
    // outside the 32-bit range counts as missing, one without digits reads
    // as 0. `jobId` is not consulted. False at the first missing key.
    bool parseArrayInfo(unsigned long long jobId, const char* text, std::string& arrayId,
                        std::string& hostName, std::string& hostUserName,
                        std::string& hostPassword, int& hostId);

    // ---- Source-device strings --------------------------------------------

    // Recognises the kind of a source-device string and lets its parser fill
    // `id`, e.g. "{vortype:,vendor:Hitachi HNAS,type:nfs,lunuuid:\/exp1,
    // targethostname:host1}" -> filer "host1", share "exp1". `device` is not
    // modified. False for an unknown kind or a failed parse.
    bool getDeviceInfo(std::string& device, _HNASDeviceIdentifier& id);
    // CIFS share, e.g. "{vortype:,type:unc,lunuuid:\\srv1\\share1}".
    bool getFilerInfoUNC(std::string& device, _HNASDeviceIdentifier& id);
    // NFS export, e.g. "{type:nfs,lunuuid:\/exp1,targethostname:host1}".
    bool getFilerInfoNFS(std::string& device, _HNASDeviceIdentifier& id);
    // Native path, e.g. "{type:native_hnas,path:/__VOLUME__/fs1/d1,
    // targethostname:host1}" -> file system "fs1", sub-directory "/d1".
    bool getFilerInfoNAS(std::string& device, _HNASDeviceIdentifier& id);

    // Splits a UNC path whose separators are doubled backslashes, e.g.
    // "\\UNC-NT_srv1\\share1\\dir1" -> "srv1", "share1", "dir1". True when
    // server and share are both non-empty.
    bool parseUNCPath(const std::string& path, std::string& server, std::string& share,
                      std::string& subDirectory);

    // Turns every "\/" into "/", e.g. "\/a\/b" -> "/a/b". `in` and `out` may
    // be the same string.
    void removeEscapeChar(const std::string& in, std::string& out);

    // Share protocol for a device type: "unc" -> "CIFS", "nfs" and
    // "native_hnas" -> "NFS". `mountPath` does not change the result;
    // `protocol` is written only on success.
    bool getNetworkShareType(const std::string& deviceType, const std::string& mountPath,
                             std::string& protocol);
    // The same without a log line: false for an empty or unknown type.
    static bool shareTypeOf(const std::string& deviceType, std::string& protocol);

    // ---- Snap paths, share names, snap device names -----------------------

    // Name of the share or export that exposes a snapshot, a pure function of
    // the record, e.g. snapUUID "QZHNAS-1234-fs1", fileSystemName "fs1",
    // share "data", subDirectory "a\\b" -> "QZHNAS-1234-data-a-b-QZShare"
    // (CIFS, "$" appended when hidden); at most its last 80 characters. The
    // flag and operation type do not change the result.
    std::string getUniqueShareForPath(_HNASDeviceInfo info, bool flag, _HNASSnapOpType opType);
    // The same name without a log line (for planning calls ahead); `hidden`
    // tells whether the hiding setting added its "$".
    std::string uniqueShareName(const _HNASDeviceInfo& info, bool& hidden) const;

    // The name an earlier version gave the same share when the name above
    // was longer than 80 characters: its last 80 characters (never cut
    // inside a UTF-8 character), e.g. "...-a-b-QZShare". Empty when the name
    // was not shortened, so that both versions named it alike.
    std::string earlierUniqueShareName(const _HNASDeviceInfo& info) const;

    // Whether the share path `path`, as the array reports it (e.g.
    // "\\~snapshot\\QZHNAS-u1-fs1\\data" or "/.snapshot/QZHNAS-u1-fs1/exp1"),
    // lies inside the snapshot `snapshotName`: one of its pieces is that name.
    static bool pathIsInSnapshot(const std::string& path, const std::string& snapshotName);

    // Share names as the array compares them: CIFS share names without
    // regard to the case of ASCII letters, NFS export paths exactly; two
    // names name one share when their keys (with the type) are equal, e.g.
    // "CIFS", "Data-SUB1" and "CIFS", "data-sub1".
    static std::string arrayShareNameKey(const std::string& shareType, const std::string& name);

    // The share name in the form the array expects: "exp1" -> "/exp1" for
    // "nfs" and "native_hnas", unchanged for "unc"; other types leave
    // `result` as it was. False for an empty name or type.
    bool getShareName(const std::string& shareName, const std::string& deviceType, bool& flag,
                      std::string& result);
    // The same without a log line.
    static bool shareNameOnArray(const std::string& shareName, const std::string& deviceType, std::string& result);

    // The clone path as getClonePath builds it, without a log line; false
    // for a device type it does not know.
    bool composeClonePath(const std::string& deviceType, const std::string& snapName,
                          const std::string& sharePath, const std::string& subDirectory,
                          const std::string& mountPath, std::string& clonePath) const;
    // Path inside the snapshot that the new share points to, e.g. "unc",
    // "snap1", share path "\\dir1", sub-directory "sub" ->
    // "\\~snapshot\\snap1\\dir1\\sub"; "nfs", "snap1", "/exp1", "" ->
    // "/.snapshot/snap1/exp1". The string inputs are not modified.
    bool getClonePath(const std::string& deviceType, std::string& snapName,
                      std::string& sharePath, std::string& subDirectory,
                      const std::string& mountPath, std::string& clonePath);

    // The device string handed to the host for a mapped snapshot, e.g.
    // "vortype:,", "nfs", "exp1", "host1" -> "{vortype:,vendor:Hitachi HNAS,
    // type:nfs,lunuuid:\/exp1,targethostname:host1}". Empty for an unknown
    // type, or a native device with a protocol other than "CIFS" and "NFS".
    std::string getSnapDeviceName(const std::string& entryPrefix, const std::string& deviceType,
                                  const std::string& shareName, const std::string& filer,
                                  const std::string& fileSystemName,
                                  const std::string& subDirectory, const std::string& protocol);

    // Gives every device of `devices` whose file system ID is `fileSystemId`
    // the new snapshot: marks its file system snapped and sets the snapshot
    // name and object ID. The list is taken by reference (the devices change
    // through their pointers); the snap operation passes only the devices of
    // the snapped file system, so that snapping n devices stays linear.
    void markFileSystemSnapped(const std::string& fileSystemId,
                               const std::vector<HNASSnapDevice*>& devices,
                               const std::string& snapshotName,
                               const std::string& snapshotObjectId);

private:
    unsigned long long jobId;
};
