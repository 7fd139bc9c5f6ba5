#include "engine/CallsAhead.h"

#include "utils/DeviceStringKeys.h"

bool makesCallsAhead(OperationState& state) { return state.client.requestsInFlight() > 1; }

bool AheadCalls::add(const QzAheadCall& call) {
    if (!keys.insert(qzAheadKey(call)).second) return false;
    calls.push_back(call);
    return true;
}

bool plannedShare(const HNASUtils& utils, const _HNASDeviceInfo& info, std::string& candidate,
                  std::string& shareName, std::string& shareType) {
    bool hidden = false;
    candidate = utils.uniqueShareName(info, hidden);
    if (candidate.empty()) return false;
    if (info.deviceType == kDeviceTypeUnc) {
        shareName = candidate;
        shareType = kProtocolCifs;
        return true;
    }
    if (info.deviceType == kDeviceTypeNfs || info.deviceType == kDeviceTypeNative) {
        shareName = "/" + candidate;
        shareType = kProtocolNfs;
        return true;
    }
    return false;
}
