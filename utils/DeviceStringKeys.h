// Keys and values of source-device strings and snap device names, e.g.
// "{vortype:,vendor:Hitachi HNAS,type:nfs,lunuuid:\/exp1,targethostname:host1}".
// The parsers read them and the snap device names are written with them.
// These keys and values are a contract with the host's device strings and
// the snap device names it keeps: keep them character for character.
#pragma once

#include "records/HNASDeviceRecords.h"

constexpr char kDsVorType[] = "vortype";
constexpr char kDsVendor[] = "vendor";
constexpr char kDsType[] = "type";
constexpr char kDsLunUuid[] = "lunuuid";
constexpr char kDsTargetHostName[] = "targethostname";
constexpr char kDsPath[] = "path";
constexpr char kDsFsPath[] = "fspath";
constexpr char kDsExportPath[] = "exportpath";

// The vendor named in snap device names.
constexpr char kDsVendorName[] = "Hitachi HNAS";

// The device types ("unc", "nfs", "native_hnas") are kDeviceTypeUnc,
// kDeviceTypeNfs and kDeviceTypeNative of records/HNASDeviceRecords.h.

// Share protocols of the array.
constexpr char kProtocolCifs[] = "CIFS";
constexpr char kProtocolNfs[] = "NFS";

// Marks a server name in UNC paths written for the host: "\\UNC-NT_srv1\\share".
constexpr char kUncServerMarker[] = "UNC-NT_";
// The separator of UNC paths in these strings: two backslash characters.
constexpr char kUncSeparator[] = "\\\\";
// An escaped slash, as NFS paths carry it: backslash, slash.
constexpr char kEscapedSlash[] = "\\/";
