#include "tests/fakes/FakeArray.h"

#include <cstddef>
#include <cstdlib>

namespace fakearray {
namespace {

FakeArrayScope* g_active = nullptr;

}  // namespace

FakeArrayScope* activeScope() { return g_active; }

FakeArrayScope::FakeArrayScope() : previous_(g_active) {
    g_active = this;
    if (const char* text = std::getenv("HNAS_TEST_REQUESTS_IN_FLIGHT")) {
        const int value = std::atoi(text);
        if (value >= 1 && value <= 64) requestsInFlight = value;
    }
}

FakeArrayScope::~FakeArrayScope() { g_active = previous_; }

arraymodel::Array& FakeArrayScope::addArray(const std::string& name, const std::string& user,
                                            const std::string& password) {
    arraymodel::Array array;
    array.name = name;
    array.user = user;
    array.password = password;
    state_.arrays.push_back(array);
    return state_.arrays.back();
}

arraymodel::Array* FakeArrayScope::array(const std::string& name) {
    for (arraymodel::Array& a : state_.arrays) {
        if (a.name == name) return &a;
    }
    return nullptr;
}

void FakeArrayScope::failNext(const std::string& operation, int count) {
    failNext_[operation] += count;
}

void FakeArrayScope::failCall(const std::string& operation, int callNumber) {
    failCalls_.insert({operation, callNumber});
}

std::vector<std::string> FakeArrayScope::operations() const {
    std::vector<std::string> names;
    for (const CallRecord& call : calls_) names.push_back(call.operation);
    return names;
}

int FakeArrayScope::count(const std::string& operation) const {
    int n = 0;
    for (const CallRecord& call : calls_) {
        if (call.operation == operation) ++n;
    }
    return n;
}

std::vector<CallRecord> FakeArrayScope::callsOf(const std::string& operation) const {
    std::vector<CallRecord> found;
    for (const CallRecord& call : calls_) {
        if (call.operation == operation) found.push_back(call);
    }
    return found;
}

void FakeArrayScope::answerEmptyNext(const std::string& operation, int count) {
    emptyNext_[operation] += count;
}

bool FakeArrayScope::takeEmptyAnswer(const std::string& operation) {
    auto pending = emptyNext_.find(operation);
    if (pending == emptyNext_.end() || pending->second <= 0) return false;
    --pending->second;
    return true;
}

bool FakeArrayScope::beginCall(const std::string& operation, std::vector<std::string> arguments,
                               size_t& index) {
    if (beforeCall) beforeCall(operation);
    CallRecord record;
    record.operation = operation;
    if (keepArguments) record.arguments = std::move(arguments);
    calls_.push_back(std::move(record));
    index = calls_.size() - 1;
    const int number = ++callNumbers_[operation];
    if (failCalls_.count({operation, number}) != 0) return false;
    auto pending = failNext_.find(operation);
    if (pending != failNext_.end() && pending->second > 0) {
        --pending->second;
        return false;
    }
    return true;
}

void FakeArrayScope::endCall(size_t index, bool succeeded) {
    if (index < calls_.size()) calls_[index].succeeded = succeeded;
}

}  // namespace fakearray
