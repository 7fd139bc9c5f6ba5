// The array client's own failures during one job, by array. The client logs
// through the platform's debug log (EvDebug), not through the host: while a
// ArrayClientFailures lives, every failure line the client logs (level -1,
// context "QzManageHNAS::...") is caught from that log's sink and held until
// the plug-in next touches a device's descriptor, which is the device the
// failed call was made for; the line then counts for the array attached to
// that device. So a refused login, an endpoint that cannot be reached, an
// untrusted certificate or a time-out reaches the terminal as the client
// said it, once per array, instead of the plug-in's generic text per device.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class ArrayClientFailures {
public:
    ArrayClientFailures();
    ~ArrayClientFailures();

    // The plug-in touched the descriptor of a device attached to `arrayName`
    // ("" when none is attached yet): the client failures caught since the
    // last touch count for that array.
    void deviceTouched(const std::string& arrayName);
    // The first client failure of `arrayName`, "" when it had none, e.g.
    // "getVirtualServerInfo failed: HTTP status 401 on GET virtual-servers
    // (the array refused the credentials): ...".
    std::string firstFailure(const std::string& arrayName) const;
    // Failures no touch claimed, or claimed by a device with no array yet.
    std::string unattributed() const;

    ArrayClientFailures(const ArrayClientFailures&) = delete;
    ArrayClientFailures& operator=(const ArrayClientFailures&) = delete;

private:
    struct Caught {
        std::mutex lock;   // the client may log from a thread of its own
        std::vector<std::string> pending;
    };
    std::shared_ptr<Caught> caught_;
    std::map<std::string, std::string> firstByArray_;
};

// What the terminal says for an array whose client failed:
// "array hnas1: <the client's failure>; check it with: hnas-host check-array hnas1".
std::string arrayClientFailureLine(const std::string& arrayName, const std::string& failure);

// What the terminal says for an array an answering operation (is-mapped)
// could not reach: "array hnas1 not reached: <the client's failure>; the
// answer was given without it; check it with: hnas-host check-array hnas1".
std::string arrayNotReachedLine(const std::string& arrayName, const std::string& failure);
