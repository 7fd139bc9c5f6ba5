// Parsing of source-device strings into _HNASDeviceIdentifier: CIFS shares
// named by UNC paths, NFS exports and native HNAS paths.
// The log and failure texts of this file are a contract with the host and
// its log readers: keep them character for character, typos included.
#include <boost/tokenizer.hpp>

#include "host/EvDebug.h"
#include "utils/DeviceStringKeys.h"
#include "utils/HNASUtils.h"
#include "utils/UtilsMessages.h"

namespace {
const char kGetFilerInfoContext[] = "HNASUtils::getFilerInfo";
const char kUncContext[] = "HNASUtils::getFilerInfoUNC";
const char kNfsContext[] = "HNASUtils::getFilerInfoNFS";
const char kNasContext[] = "HNASUtils::getFilerInfoNAS";
const char kParseUncContext[] = "HNASUtils::parseUNCPath";
const char kShareTypeContext[] = "HNASUtils::getNetworkShareType";

const char kThisIsNfs[] = "GetFilerInfo: This is NFS.";
const char kThisIsUnc[] = "GetFilerInfo: This is UNC.";
const char kThisIsNas[] = "GetFilerInfo: This is NAS.";
const char kUnknownDeviceKind[] = "Error: Unknown Device type.";
const char kDeviceLog[] = "Device [%s]";
const char kVorTypeNotPresent[] = "VOR Type is not present.";
const char kTypeLog[] = "Type [%s].";
const char kLunUuidNotPresent[] = "lunuuid is not present.";
const char kUncPathLog[] = "UNC Path [%s].";
const char kUncSplitFailed[] = "Failed to get filer and share name for UNC path[%s]";
const char kUncSummary[] = "File server[%s], Share[%s], Type[%s], SubDir[%s]";
const char kEmpty[] = "EMPTY";
const char kInvalidUncInput[] = "Invalid input parameter: [%s]";
const char kUncPathParseLog[] = "UNC Path [%s]";
const char kFilerHostNotPresent[] = "Filer hostname not present.";
const char kNfsPathLog[] = "NFS Path [%s]";
const char kNfsNoExport[] = "No export name in NFS path [%s].";
const char kNfsSummary[] = "ArrayId [%s] Share [%s].";
const char kFilerNotPresent[] = "filer is not present.";
const char kFileSystemNotPresent[] = "filesystem is not present.";
const char kNasNoFileSystem[] = "No file system name in native path [%s].";
const char kNasSummary[] =
    "File server[%s], File System[%s], Device Type[%s] Path[%s] Sub-Directory[%s]";
const char kEmptyDeviceType[] = "Invalid arguements. Empty device.";
const char kUnknownDeviceType[] = "Unknown device type.";

// "type:nfs" and its siblings: a kind marker anywhere in the string.
std::string kindMarker(const char* deviceType) {
    return std::string(kDsType) + ":" + deviceType;
}
}  // namespace

bool HNASUtils::getDeviceInfo(std::string& device, _HNASDeviceIdentifier& id) {
    EvDebug log;
    if (device.find(kindMarker(kDeviceTypeNfs)) != std::string::npos) {
        log.DebugLvl(kGetFilerInfoContext, DebugLevel::kFlow, jobId, "%s", kThisIsNfs);
        return getFilerInfoNFS(device, id);
    }
    if (device.find(kindMarker(kDeviceTypeUnc)) != std::string::npos) {
        log.DebugLvl(kGetFilerInfoContext, DebugLevel::kFlow, jobId, "%s", kThisIsUnc);
        return getFilerInfoUNC(device, id);
    }
    if (device.find(kindMarker(kDeviceTypeNative)) != std::string::npos) {
        log.DebugLvl(kGetFilerInfoContext, DebugLevel::kFlow, jobId, "%s", kThisIsNas);
        return getFilerInfoNAS(device, id);
    }
    log.DebugLvl(kGetFilerInfoContext, DebugLevel::kFailure, jobId, "%s", kUnknownDeviceKind);
    return false;
}

bool HNASUtils::getFilerInfoUNC(std::string& device, _HNASDeviceIdentifier& id) {
    EvDebug log;
    log.DebugLvl(kUncContext, DebugLevel::kFlow, jobId, kDeviceLog, device.c_str());
    if (!getJsonVal(device, kDsVorType, id.vorType)) {
        log.DebugLvl(kUncContext, DebugLevel::kFailure, jobId, "%s", kVorTypeNotPresent);
        return false;
    }
    if (!getJsonVal(device, kDsType, id.deviceType)) {
        log.DebugLvl(kUncContext, DebugLevel::kFailure, jobId, "%s", kTypeNotPresent);
        return false;
    }
    log.DebugLvl(kUncContext, DebugLevel::kFlow, jobId, kTypeLog, id.deviceType.c_str());
    std::string uncPath;
    if (!getJsonVal(device, kDsLunUuid, uncPath)) {
        log.DebugLvl(kUncContext, DebugLevel::kFailure, jobId, "%s", kLunUuidNotPresent);
        return false;
    }
    log.DebugLvl(kUncContext, DebugLevel::kFlow, jobId, kUncPathLog, uncPath.c_str());
    if (!parseUNCPath(uncPath, id.filer, id.share, id.subDirectory)) {
        log.DebugLvl(kUncContext, DebugLevel::kFailure, jobId, kUncSplitFailed, uncPath.c_str());
        return false;
    }
    log.DebugLvl(kUncContext, DebugLevel::kFlow, jobId, kUncSummary, id.filer.c_str(), id.share.c_str(),
                 id.deviceType.c_str(), id.subDirectory.empty() ? kEmpty : id.subDirectory.c_str());
    return true;
}

bool HNASUtils::parseUNCPath(const std::string& path, std::string& server, std::string& share,
                             std::string& subDirectory) {
    server.clear();
    share.clear();
    subDirectory.clear();
    EvDebug log;
    if (path.compare(0, 2, kUncSeparator) != 0) {
        log.DebugLvl(kParseUncContext, DebugLevel::kFailure, jobId, kInvalidUncInput,
                     path.empty() ? kEmpty : path.c_str());
        return false;
    }
    log.DebugLvl(kParseUncContext, DebugLevel::kFlow, jobId, kUncPathParseLog, path.c_str());

    std::string rest = path.substr(2);
    const std::string marker = kUncServerMarker;
    if (rest.compare(0, marker.size(), marker) == 0) rest.erase(0, marker.size());

    const std::string separator = kUncSeparator;
    const std::size_t first = rest.find(separator);
    if (first != std::string::npos) {
        server = rest.substr(0, first);
        const std::size_t shareStart = first + separator.size();
        const std::size_t second = rest.find(separator, shareStart);
        if (second == std::string::npos) {
            share = rest.substr(shareStart);
        } else {
            share = rest.substr(shareStart, second - shareStart);
            subDirectory = rest.substr(second + separator.size());
        }
    }
    return !server.empty() && !share.empty();
}

bool HNASUtils::getFilerInfoNFS(std::string& device, _HNASDeviceIdentifier& id) {
    EvDebug log;
    log.DebugLvl(kNfsContext, DebugLevel::kFlow, jobId, kDeviceLog, device.c_str());
    getJsonVal(device, kDsVorType, id.vorType);
    getJsonVal(device, kDsType, id.deviceType);
    if (!getJsonVal(device, kDsTargetHostName, id.filer)) {
        log.DebugLvl(kNfsContext, DebugLevel::kFailure, jobId, "%s", kFilerHostNotPresent);
        return false;
    }
    std::string exportPath;
    if (!getJsonVal(device, kDsLunUuid, exportPath)) {
        log.DebugLvl(kNfsContext, DebugLevel::kFailure, jobId, "%s", kLunUuidNotPresent);
        return false;
    }
    removeEscapeChar(exportPath, exportPath);
    log.DebugLvl(kNfsContext, DebugLevel::kFlow, jobId, kNfsPathLog, exportPath.c_str());

    // The first character (normally "/") is skipped; a path of one character
    // or none holds no export name, and an identifier without a share is of
    // no use to any caller.
    if (exportPath.size() < 2) {
        log.DebugLvl(kNfsContext, DebugLevel::kFailure, jobId, kNfsNoExport, exportPath.c_str());
        return false;
    }
    const std::size_t end = exportPath.find('/', 1);
    id.share = end == std::string::npos ? exportPath.substr(1) : exportPath.substr(1, end - 1);
    log.DebugLvl(kNfsContext, DebugLevel::kFlow, jobId, kNfsSummary, id.filer.c_str(), id.share.c_str());
    return true;
}

bool HNASUtils::getFilerInfoNAS(std::string& device, _HNASDeviceIdentifier& id) {
    EvDebug log;
    log.DebugLvl(kNasContext, DebugLevel::kFlow, jobId, kDeviceLog, device.c_str());
    if (!getJsonVal(device, kDsType, id.deviceType)) {
        log.DebugLvl(kNasContext, DebugLevel::kFailure, jobId, "%s", kTypeNotPresent);
        return false;
    }
    if (!getJsonVal(device, kDsTargetHostName, id.filer)) {
        log.DebugLvl(kNasContext, DebugLevel::kFailure, jobId, "%s", kFilerNotPresent);
        return false;
    }
    if (!getJsonVal(device, kDsPath, id.path)) {
        log.DebugLvl(kNasContext, DebugLevel::kFailure, jobId, "%s", kFileSystemNotPresent);
        return false;
    }

    // "/__VOLUME__/fs1/d1/d2": piece 1 marks the volume, piece 2 is the file
    // system, the rest is the sub-directory.
    std::vector<std::string> pieces;
    const boost::char_separator<char> separators("\\/");
    const boost::tokenizer<boost::char_separator<char>> tokens(id.path, separators);
    for (const std::string& piece : tokens) pieces.push_back(piece);
    if (pieces.size() < 2) {
        log.DebugLvl(kNasContext, DebugLevel::kFailure, jobId, kNasNoFileSystem, id.path.c_str());
        return false;
    }

    id.subDirectory.clear();
    for (std::size_t i = 2; i < pieces.size(); ++i) id.subDirectory += "/" + pieces[i];
    id.fileSystem = pieces[1];
    log.DebugLvl(kNasContext, DebugLevel::kFlow, jobId, kNasSummary, id.filer.c_str(), id.fileSystem.c_str(),
                 id.deviceType.c_str(), id.path.c_str(), id.subDirectory.c_str());
    return true;
}

void HNASUtils::removeEscapeChar(const std::string& in, std::string& out) {
    std::string result;
    result.reserve(in.size());
    for (std::size_t i = 0; i < in.size(); ++i) {
        if (in[i] == '\\' && i + 1 < in.size() && in[i + 1] == '/') continue;
        result += in[i];
    }
    out = result;
}

bool HNASUtils::shareTypeOf(const std::string& deviceType, std::string& protocol) {
    if (deviceType == kDeviceTypeNative || deviceType == kDeviceTypeNfs) {
        protocol = kProtocolNfs;
        return true;
    }
    if (deviceType == kDeviceTypeUnc) {
        protocol = kProtocolCifs;
        return true;
    }
    return false;
}

bool HNASUtils::getNetworkShareType(const std::string& deviceType,
                                    const std::string& /*mountPath*/, std::string& protocol) {
    if (shareTypeOf(deviceType, protocol)) return true;
    EvDebug log;
    log.DebugLvl(kShareTypeContext, DebugLevel::kFailure, jobId, "%s",
                 deviceType.empty() ? kEmptyDeviceType : kUnknownDeviceType);
    return false;
}
