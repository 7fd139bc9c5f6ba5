// Faults the admin interface injects into storage calls: fail the next N
// calls of an operation with a status, close the connection without an
// answer (before or after doing the work), or delay the answer.
#pragma once

#include <string>
#include <vector>

namespace arraysim {

// DoneWithoutBody: the call is done and answered with its status, but its
// answer body is dropped (a 201 of a permission add may come without one).
enum class FaultAction { None, Status, Close, CloseAfter, Latency, DoneWithoutBody };

// The body of a Status fault's answer: the usual JSON error object, none at
// all, or plain text (real arrays answer some refusals in both forms).
enum class FaultBody { Json, Empty, Text };

// Each kind by the name the admin interface reads and shows (docs/arraysim.md).
template <typename Kind>
struct FaultKindName {
    Kind kind;
    const char* name;
};
inline constexpr FaultKindName<FaultAction> kFaultActionNames[] = {
    {FaultAction::Status, "status"},     {FaultAction::Close, "close"},
    {FaultAction::CloseAfter, "closeAfter"}, {FaultAction::Latency, "latency"},
    {FaultAction::DoneWithoutBody, "doneWithoutBody"},
};
inline constexpr FaultKindName<FaultBody> kFaultBodyNames[] = {
    {FaultBody::Json, "json"}, {FaultBody::Empty, "empty"}, {FaultBody::Text, "text"}};

struct Fault {
    std::string operation;   // e.g. "createSnapshot", or "*" for every operation
    FaultAction action = FaultAction::Status;
    int count = 1;           // calls it still hits
    int after = 0;           // matching calls still let through first
    int status = 500;        // for Status
    int latencyMs = 0;       // for Latency
    FaultBody body = FaultBody::Json;     // for Status
    std::string message = "injected fault";   // for Status: errorMsg, or the text
    // Non-empty: only calls whose path, query ("name=value&" each) or body
    // holds this text meet the
    // fault (and count towards `after`), e.g. a file system's name, so that
    // a fault hits one request of several sent at once, whatever their order.
    std::string matching = std::string();
    // For Status: the seconds a Retry-After header of the answer asks the
    // client to wait (a busy 503 or 429); -1: no such header.
    int retryAfter = -1;
};

// What one call meets: a delay, then at most one of status/close/closeAfter/
// doneWithoutBody.
struct FaultDecision {
    int latencyMs = 0;
    FaultAction action = FaultAction::None;
    int status = 0;
    FaultBody body = FaultBody::Json;
    std::string message;
    int retryAfter = -1;
};

// The names faults may use, "*" included.
bool isFaultOperation(const std::string& operation);

class FaultTable {
public:
    void add(const Fault& fault) { faults_.push_back(fault); }
    // Decides what the next call of `operation` meets, using up the counts of
    // the faults it takes; faults are taken in the order they were added.
    // `request` is the call's path and body, for faults with `matching`.
    FaultDecision take(const std::string& operation, const std::string& request = std::string());
    const std::vector<Fault>& faults() const { return faults_; }
    void clear() { faults_.clear(); }

private:
    std::vector<Fault> faults_;
};

}  // namespace arraysim
