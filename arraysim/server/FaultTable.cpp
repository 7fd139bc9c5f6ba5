#include "arraysim/server/FaultTable.h"

#include <algorithm>

#include "arraysim/server/OperationNames.h"

namespace arraysim {

bool isFaultOperation(const std::string& operation) {
    return operation == kAnyOperation || isStorageOperation(operation);
}

FaultDecision FaultTable::take(const std::string& operation, const std::string& request) {
    FaultDecision decision;
    for (Fault& fault : faults_) {
        if (fault.count <= 0 || (fault.operation != operation && fault.operation != kAnyOperation)) continue;
        if (!fault.matching.empty() && request.find(fault.matching) == std::string::npos) continue;
        if (fault.after > 0) {
            --fault.after;
            continue;
        }
        if (fault.action == FaultAction::Latency) {
            if (decision.latencyMs != 0) continue;
            decision.latencyMs = fault.latencyMs;
        } else {
            if (decision.action != FaultAction::None) continue;
            decision.action = fault.action;
            decision.status = fault.status;
            decision.body = fault.body;
            decision.message = fault.message;
            decision.retryAfter = fault.retryAfter;
        }
        --fault.count;
    }
    faults_.erase(std::remove_if(faults_.begin(), faults_.end(), [](const Fault& f) { return f.count <= 0; }),
                  faults_.end());
    return decision;
}

}  // namespace arraysim
