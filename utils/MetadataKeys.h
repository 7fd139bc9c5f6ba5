// Keys and markers of the snap metadata texts, shared by the writer
// (HNASSnapDevice::setMetadata) and the readers (HNASUtils::parseMetaData).
// The text form is "{Key:value,Key:value}" without quoting or escaping.
// The texts of this file are a contract with the metadata the host stores
// and with its log readers: keep them character for character, typos included.
#pragma once

// SM_MDT_SNAP_UUID (type 6): identity of the file system, share and snapshot.
constexpr char kMdFileSystemName[] = "FileSystemName";
constexpr char kMdFileSystemId[] = "FileSystemID";
constexpr char kMdPath[] = "Path";
constexpr char kMdSubDirectory[] = "SubDirectory";
constexpr char kMdSnapshotObjectId[] = "SnapshotObjectID";
constexpr char kMdVirtualServerId[] = "VirtualServerID";
constexpr char kMdVirtualServerObjectId[] = "VirtualServerObjectID";
constexpr char kMdTargetHostName[] = "TargetHostName";
constexpr char kMdSnapshotName[] = "SnapshotName";
// Written last, only when a value the later operations act on had to be
// stored cut: the keys of those values joined by "|", e.g.
// "CutValues:SubDirectory" closing the text. Those operations refuse to act
// on them. It is read only where it is written, as the closing pair.
constexpr char kMdCutValues[] = "CutValues";
constexpr char kMdCutValuesSeparator[] = "|";
// The identity values later jobs act on; entry i is bit (1 << i) of
// _HNASDeviceInfo::cutMetadataValues. Path, TargetHostName and SnapshotName
// are only logged.
constexpr const char* kMdActedOnKeys[] = {
    kMdFileSystemName, kMdFileSystemId,    kMdSubDirectory,
    kMdSnapshotObjectId, kMdVirtualServerId, kMdVirtualServerObjectId,
};

// SM_MDT_FS_INFO (type 16): settings of the CIFS share or NFS export.
constexpr char kMdAbeEnabled[] = "ABEEnabled";
constexpr char kMdFollowGlobalSymLinks[] = "FollowGlobalSymLinks";
constexpr char kMdFollowSymLinks[] = "FollowSymLinks";
constexpr char kMdForceFileNameToLowercase[] = "ForceFileNameToLowercase";
constexpr char kMdScanForVirusesEnabled[] = "ScanForVirusesEnabled";
constexpr char kMdMaxConcurrentUsers[] = "MaxConcurrentUsers";
constexpr char kMdAccessConfig[] = "AccessConfig";
constexpr char kMdCacheOption[] = "CacheOption";
constexpr char kMdComment[] = "Comment";
constexpr char kMdLocalReadCacheOption[] = "LocalReadCacheOption";
constexpr char kMdSnapshotOption[] = "SnapshotOption";
constexpr char kMdTransferToReplicationTarget[] = "TransferToReplicationTarget";
constexpr char kMdUserHomeDirectoryMode[] = "UserHomeDirectoryMode";
constexpr char kMdUserHomeDirectoryPath[] = "UserHomeDirectoryPath";
constexpr char kMdPermissions[] = "Permissions";

// Flags are written as these words; only kMdTrue reads back as true.
constexpr char kMdTrue[] = "true";
constexpr char kMdFalse[] = "false";

// The permissions block: "s[" entry "|" entry "]e"; each entry is
// "{Permission:56,EncodedName:...,Name:...,Type:...}".
constexpr char kMdPermissionsOpen[] = "s[";
constexpr char kMdPermissionsClose[] = "]e";
constexpr char kMdPermissionsSeparator[] = "|";
constexpr char kMdPermission[] = "Permission";
constexpr char kMdEncodedName[] = "EncodedName";
constexpr char kMdName[] = "Name";
constexpr char kMdType[] = "Type";
