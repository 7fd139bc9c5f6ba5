// The array's JSON objects and the client's records, in both directions.
// The share settings keys of the wire and the record's field names meet in
// one table (WireRecords.cpp).
#pragma once

#include <string>

#include "client/JsonFields.h"
#include "records/HNASArrayRecords.h"

namespace managehnas {

enum class ShareProtocol { Cifs, Nfs };

// "CIFS" or "NFS", in any case, e.g. "nfs" -> Nfs. False for anything else.
bool protocolOf(const std::string& shareType, ShareProtocol& protocol);
// "CIFS" or "NFS".
const char* protocolName(ShareProtocol protocol);
// The path segment of the protocol: "cifs" or "nfs".
const char* protocolSegment(ShareProtocol protocol);

// Each reader fills the record from one object of the array's answer and
// fails, with the cause, on a missing required field or a wrong type.
// Required: virtual server virtualServerId, name, objectId.
bool virtualServerFromWire(const Json& object, __HNASVirtualServers& server, std::string& cause);
// Required: filesystemId, label.
bool fileSystemFromWire(const Json& object, __HNASFileSystemInfo& fileSystem, std::string& cause);
// Required: objectId, name, filesystemId, path. Settings absent from the
// wire keep the record's defaults; permissions are not part of a share.
bool shareFromWire(const Json& object, ShareProtocol protocol, __HNASFileSystemShares& share,
                   std::string& cause);
bool settingsFromWire(const Json& object, __HNASFileSystemShareSettings& settings,
                      std::string& cause);
// Required: name, permission.
bool authenticationFromWire(const Json& object, __HNASCIFSAuthentication& entry,
                            std::string& cause);
// Required: objectId, displayName (the stored name, e.g. "QZHNAS-u1-fs1").
bool snapshotFromWire(const Json& object, __HNASFileSystemSnapshot& snapshot, std::string& cause);

// True for a snapshot state of one being deleted or dead, e.g.
// "SNAPSHOT_MANAGEMENT_STATE_DELETE_PENDING", "..._DELETE_ONGOING",
// "..._DELETE_ROOT_ONODE_PASS", "..._DEAD": such a snapshot is gone, even
// while the array still lists it.
bool isGoingState(const std::string& state);

// The settings keys that a share of the protocol takes on creation.
Json settingsToWire(const __HNASFileSystemShareSettings& settings, ShareProtocol protocol);
// {name, permission, type}; type left out when empty.
Json authenticationToWire(const __HNASCIFSAuthentication& entry);

}  // namespace managehnas
