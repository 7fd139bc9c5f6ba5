// A scripted array that answers in the form public references show for the
// real HNAS REST API, where it differs from the simulator's: numbers as
// quoted texts, object IDs of the real form (hex of
// "<filesystemId>:::<displayName>::::::0:::OID_$#!@%_V"), a "uri" beside a
// created object, no appSearchId in a snapshot, deleted snapshots that stay
// listed in a delete state, snapshot lists by appSearchId that fail on a
// file system that is not mounted, permissions stored under the array's own
// names and a 201 without a body when they are added. It serves over a
// LocalArray, which records every request.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "tests/client/LocalArray.h"

namespace clienttest {

// "<id>" hex-encoded in lower case, as the array writes object IDs.
std::string hexOf(const std::string& text);

struct RealSnapshot {
    std::string objectId;
    std::string displayName;
    std::string filesystemId;
    std::string appSearchId;   // kept by the array, never sent
    std::string state = "SNAPSHOT_MANAGEMENT_STATE_USABLE";
    // A DELETE of it is refused with 400 and this message; with
    // `startsDeleting` the snapshot is found being deleted right after.
    std::string refuseDelete;
    bool startsDeleting = false;
};

class RealFormArray {
public:
    // Virtual server "evs1" (ID 1); file systems "fs1" (ID kFs1) and "fs2"
    // (ID kFs2), both mounted; CIFS share "data" on fs1 with two
    // permissions; no snapshots.
    RealFormArray();

    int port() const { return server_.port(); }
    std::vector<LocalRequest> seen() const { return server_.seen(); }

    // Adds a snapshot; an empty objectId gets the real form.
    void addSnapshot(RealSnapshot snapshot);
    // The state of the snapshot with that name ("" when there is none).
    std::string stateOf(const std::string& displayName);
    // Mounts or unmounts a file system (its status MOUNTED or NOT_MOUNTED).
    void setMounted(const std::string& fileSystemId, bool mounted);
    // From now on, permissions added to a share are not stored.
    void dropAddedPermissions();

    static constexpr const char* kFs1 = "0A1B2C3D4E5F60718293A4B5C6D7E8F9";
    static constexpr const char* kFs2 = "1B2C3D4E5F60718293A4B5C6D7E8F90A";

    RealFormArray(const RealFormArray&) = delete;
    RealFormArray& operator=(const RealFormArray&) = delete;

private:
    void answer(const LocalRequest& request, LocalResponse& response);

    std::mutex mutex_;
    nlohmann::json fileSystems_;
    std::vector<RealSnapshot> snapshots_;
    nlohmann::json shares_;           // by protocol: "cifs", "nfs"
    nlohmann::json authentications_;  // by share object ID
    bool dropPermissions_ = false;
    LocalArray server_;
};

}  // namespace clienttest
