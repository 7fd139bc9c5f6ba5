#include "harness/framework/ArrayClientFailures.h"

#include "host/EvDebug.h"
#include "standins/qzlib/EvDebugSink.h"

namespace {

// The context every line of the array client starts with, e.g.
// "QzManageHNAS::getVirtualServerInfo".
const char kClientContext[] = "QzManageHNAS::";

}  // namespace

ArrayClientFailures::ArrayClientFailures() : caught_(std::make_shared<Caught>()) {
    std::shared_ptr<Caught> caught = caught_;
    EvDebugSetSink([caught](const EvLogLine& line) {
        const bool fromClient = line.context.compare(0, sizeof kClientContext - 1, kClientContext) == 0;
        if (line.level != DebugLevel::kFailure || !fromClient) return;
        std::lock_guard<std::mutex> hold(caught->lock);
        caught->pending.push_back(line.message);
    });
}

ArrayClientFailures::~ArrayClientFailures() { EvDebugSetSink(EvLogSink()); }

void ArrayClientFailures::deviceTouched(const std::string& arrayName) {
    std::vector<std::string> lines;
    {
        std::lock_guard<std::mutex> hold(caught_->lock);
        lines.swap(caught_->pending);
    }
    if (!lines.empty()) firstByArray_.emplace(arrayName, lines.front());
}

std::string ArrayClientFailures::firstFailure(const std::string& arrayName) const {
    const auto found = firstByArray_.find(arrayName);
    return found == firstByArray_.end() ? std::string() : found->second;
}

std::string ArrayClientFailures::unattributed() const {
    std::lock_guard<std::mutex> hold(caught_->lock);
    if (!caught_->pending.empty()) return caught_->pending.front();
    return firstFailure("");
}

namespace {

std::string checkArrayHint(const std::string& arrayName) {
    return "check it with: hnas-host check-array " + arrayName;
}

}  // namespace

std::string arrayClientFailureLine(const std::string& arrayName, const std::string& failure) {
    return "array " + arrayName + ": " + failure + "; " + checkArrayHint(arrayName);
}

std::string arrayNotReachedLine(const std::string& arrayName, const std::string& failure) {
    return "array " + arrayName + " not reached: " + failure + "; the answer was given without it; " +
           checkArrayHint(arrayName);
}
