#include "engine/EarlierShares.h"

namespace {

const char kEarlierShareElsewhere[] =
    "Share [%s], named as an earlier version named the share of Snap [%s], points to [%s], outside that "
    "snapshot: it is left as it is.";

}  // namespace

bool findEarlierShare(OperationState& state, const OperationSpec& spec, HNASUtils& utils, const _HNASDeviceInfo& info,
                      const std::string& shareType, std::string& candidate, std::string& shareName) {
    candidate = utils.earlierUniqueShareName(info);
    if (candidate.empty() || !HNASUtils::shareNameOnArray(candidate, info.deviceType, shareName)) return false;
    __HNASVirtualServers server;
    server.objectId = info.virtualServerObjectId;
    if (!state.client.isSharePresent(shareName, server, shareType)) return false;
    std::vector<__HNASFileSystemShares> shares(1);
    shares.front().name = shareName;
    if (!state.client.getFilesystemShares(server, shareType, shares, false) || shares.empty()) return false;
    if (HNASUtils::pathIsInSnapshot(shares.front().path, info.snapUUID)) return true;
    state.log.DebugLvl(spec.context, DebugLevel::kFlow, state.jobId, kEarlierShareElsewhere, shareName.c_str(),
                       info.snapUUID.c_str(), shares.front().path.c_str());
    return false;
}
