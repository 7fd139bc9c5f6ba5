// The fake array behind the fake QzManageHNAS (FakeQzManageHNAS.cpp): while a
// FakeArrayScope lives, every QzManageHNAS talks to its in-memory arrays.
// Tests seed the arrays with the model's functions, script failures per
// operation and read the log of calls:
//
//   fakearray::FakeArrayScope fake;
//   arraymodel::Array& array = fake.addArray("hnas1", "admin", "pw");
//   arraymodel::VirtualServer evs; evs.id = 1; evs.name = "evs1";
//   evs.ipAddresses = {"192.0.2.10"};
//   ASSERT_TRUE(arraymodel::addVirtualServer(array, evs).ok());
//   fake.failNext("createFileSystemSnapshot");     // the next one returns false
//   ... run the plug-in ...
//   EXPECT_EQ(fake.count("createFileSystemSnapshot"), 2);
//
// Operation names are the QzManageHNAS member names ("init",
// "getVirtualServerInfo", "getFileSystemID" and "getAllSnapshots" for both
// forms, ...; the getAllSnapshots that reports unlisted file systems records
// the argument "unlisted"). The client behaves as the real one does: init
// only keeps the credentials, and every later call fails when they do not
// log in to an array; deleting a share or snapshot that is absent counts as
// done; the snapshots of a file system whose status is not MOUNTED are never
// listed (the list without unlisted file systems fails). Single-threaded,
// like the plug-in.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "arraysim/model/ArraySeed.h"
#include "arraysim/model/ArrayTypes.h"

namespace fakearray {

// One call to the fake client, with its key arguments (never a password).
struct CallRecord {
    std::string operation;                 // e.g. "createFileSystemSnapshot"
    std::vector<std::string> arguments;    // e.g. {"u1-fs1", "0A1B...", "QZHNAS"}
    bool succeeded = false;
};

class FakeArrayScope {
public:
    FakeArrayScope();    // becomes the array every client talks to
    ~FakeArrayScope();   // the scope active before it is restored

    arraymodel::State& state() { return state_; }
    // Adds an empty array; the reference holds until the next addArray.
    arraymodel::Array& addArray(const std::string& name, const std::string& user,
                                const std::string& password);
    // The array named `name`, or null.
    arraymodel::Array* array(const std::string& name);

    // The creation time of the next snapshot (Unix seconds); each snapshot
    // created through the client advances it by one second.
    uint64_t now = 1767225600;

    // The next `count` calls of `operation` return false and change nothing.
    void failNext(const std::string& operation, int count = 1);
    // Call number `callNumber` (1 = the first since the scope began) of
    // `operation` returns false and changes nothing.
    void failCall(const std::string& operation, int callNumber);

    // The next `count` calls of a list operation (getFileSystemsInfo,
    // getFilesystemShares) report success with an empty list.
    void answerEmptyNext(const std::string& operation, int count = 1);
    // Used by the fake client: true (and one spent) when such an answer is due.
    bool takeEmptyAnswer(const std::string& operation);

    // When set, runs as each call of the fake client begins, before anything
    // else, with the operation's name. It may throw: a client whose own code
    // throws (bad_alloc, a library's exception).
    std::function<void(const std::string& operation)> beforeCall;

    // What QzManageHNAS::requestsInFlight() answers: the environment
    // variable HNAS_TEST_REQUESTS_IN_FLIGHT when it holds a number from 1 to
    // 64 (so that whole suites run with calls made ahead), else 1.
    int requestsInFlight = 1;

    // False: calls are recorded without their arguments (a benchmark that
    // only counts calls keeps the record small).
    bool keepArguments = true;
    // Seconds spent inside the fake client's calls: the simulated array's
    // work, which a benchmark tells apart from the plug-in's.
    double arraySeconds = 0;

    const std::vector<CallRecord>& calls() const { return calls_; }
    // Operation names of the calls, in order.
    std::vector<std::string> operations() const;
    int count(const std::string& operation) const;
    // The calls of one operation, in order.
    std::vector<CallRecord> callsOf(const std::string& operation) const;
    void clearCalls() { calls_.clear(); }
    // Each runConcurrently of a fake client: the records of the calls its
    // workers made, in the order made (the fake makes them one by one; they
    // are in calls() too).
    const std::vector<std::vector<CallRecord>>& batches() const { return batches_; }
    void recordBatch(std::vector<CallRecord> batch) { batches_.push_back(std::move(batch)); }

    // Used by the fake client: logs a call and tells whether it may go on
    // (false when a failure is scripted for it). `index` locates its record.
    bool beginCall(const std::string& operation, std::vector<std::string> arguments,
                   size_t& index);
    void endCall(size_t index, bool succeeded);

    FakeArrayScope(const FakeArrayScope&) = delete;
    FakeArrayScope& operator=(const FakeArrayScope&) = delete;

private:
    arraymodel::State state_;
    std::vector<CallRecord> calls_;
    std::vector<std::vector<CallRecord>> batches_;
    std::map<std::string, int> failNext_;
    std::map<std::string, int> emptyNext_;
    std::set<std::pair<std::string, int>> failCalls_;
    std::map<std::string, int> callNumbers_;   // calls so far, per operation
    FakeArrayScope* previous_;
};

// The scope every fake client talks to now, or null.
FakeArrayScope* activeScope();

}  // namespace fakearray
