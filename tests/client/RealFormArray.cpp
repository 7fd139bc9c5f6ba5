#include "tests/client/RealFormArray.h"

#include <strings.h>

#include "arraysim/server/UrlText.h"

namespace clienttest {

using nlohmann::json;

namespace {

constexpr char kIdTail[] = "::::::0:::OID_$#!@%_V";

// The segments of a request target after "/v7/storage/", each decoded:
// "/v7/storage/filesystem-snapshots/a%2Fb/rollback?x=1" -> {"filesystem-snapshots", "a/b", "rollback"}.
std::vector<std::string> segmentsOf(const std::string& target) {
    std::string path = target.substr(0, target.find('?'));
    const std::string storage = "/storage/";
    path = path.substr(path.find(storage) + storage.size());
    std::vector<std::string> segments;
    size_t start = 0;
    for (;;) {
        const size_t slash = path.find('/', start);
        segments.push_back(arraysim::percentDecoded(path.substr(start, slash - start), false));
        if (slash == std::string::npos) return segments;
        start = slash + 1;
    }
}

void error(LocalResponse& response, int status, const std::string& message) {
    answerJson(response, status, json({{"errorMsg", message}}).dump());
}

json snapshotJson(const RealSnapshot& s) {
    return {{"objectId", s.objectId},         {"displayName", s.displayName},
            {"filesystemId", s.filesystemId}, {"state", s.state},
            {"creationReason", s.appSearchId.empty() ? "SNAPSHOT_CREATED_BY_SCHEDULE" : "SNAPSHOT_CREATED_BY_APPLICATION"},
            {"creationTime", "1765370000"}};
}

}  // namespace

std::string hexOf(const std::string& text) {
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char c : text) {
        hex += digits[c >> 4];
        hex += digits[c & 15];
    }
    return hex;
}

RealFormArray::RealFormArray()
    : fileSystems_(json::array({
          {{"filesystemId", kFs1}, {"label", "fs1"}, {"objectId", hexOf(std::string(kFs1) + ":::0:::OID_$#!@%_V")},
           {"status", "MOUNTED"}, {"virtualServerId", "1"}, {"capacity", "123456789012"},
           {"usedCapacity", "4096"}, {"freeCapacity", "123456784916"}, {"usedSnapshotCapacity", "0"}},
          {{"filesystemId", kFs2}, {"label", "fs2"}, {"objectId", hexOf(std::string(kFs2) + ":::0:::OID_$#!@%_V")},
           {"status", "MOUNTED"}, {"virtualServerId", "1"}, {"capacity", "1"}},
      })),
      shares_({{"cifs", json::array({{{"objectId", hexOf("1:::3f1a2b3c-0001" + std::string(kIdTail))},
                                      {"shareId", "3f1a2b3c-0001"},
                                      {"name", "data"},
                                      {"virtualServerId", "1"},
                                      {"filesystemId", kFs1},
                                      {"path", "\\data"},
                                      {"settings", {{"maxConcurrentUsers", "-1"}, {"comment", "team"}}}}})},
               {"nfs", json::array()}}),
      authentications_({{hexOf("1:::3f1a2b3c-0001" + std::string(kIdTail)),
                         json::array({{{"encodedName", "RXZlcnlvbmU="}, {"name", "Everyone"}, {"permission", "56"},
                                       {"type", "WELLKNOWN"}},
                                      {{"encodedName", "QlVJTFRJTlxBZG1pbmlzdHJhdG9ycw=="},
                                       {"name", "BUILTIN\\Administrators"}, {"permission", "24"},
                                       {"type", "ALIAS"}}})}}),
      server_([this](const LocalRequest& request, LocalResponse& response) { answer(request, response); }) {}

void RealFormArray::addSnapshot(RealSnapshot snapshot) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (snapshot.objectId.empty())
        snapshot.objectId = hexOf(snapshot.filesystemId + ":::" + snapshot.displayName + kIdTail);
    snapshots_.push_back(snapshot);
}

std::string RealFormArray::stateOf(const std::string& displayName) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const RealSnapshot& s : snapshots_)
        if (s.displayName == displayName) return s.state;
    return std::string();
}

void RealFormArray::setMounted(const std::string& fileSystemId, bool mounted) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (json& fs : fileSystems_) {
        if (fs["filesystemId"] == fileSystemId) fs["status"] = mounted ? "MOUNTED" : "NOT_MOUNTED";
    }
}

void RealFormArray::dropAddedPermissions() {
    std::lock_guard<std::mutex> lock(mutex_);
    dropPermissions_ = true;
}

void RealFormArray::answer(const LocalRequest& request, LocalResponse& response) {
    std::lock_guard<std::mutex> lock(mutex_);
    const std::vector<std::string> at = segmentsOf(request.target);
    const std::string& method = request.method;
    const json body = json::parse(request.body.empty() ? "{}" : request.body, nullptr, false);
    auto snapshotById = [&](const std::string& id) -> RealSnapshot* {
        for (RealSnapshot& s : snapshots_)
            if (s.objectId == id) return &s;
        return nullptr;
    };

    if (at[0] == "virtual-servers" && at.size() == 1) {
        answerJson(response, 200, json({{"virtualServers", json::array({{{"virtualServerId", "1"},
                                                                         {"name", "evs1"},
                                                                         {"objectId", hexOf(std::string("1") + kIdTail)},
                                                                         {"ipAddresses", {"192.0.2.10"}},
                                                                         {"type", "File services"}}})}})
                                          .dump());
    } else if (at[0] == "virtual-servers" && at.size() == 3) {
        const std::string wanted = request.param("name");
        json list = json::array();
        for (const json& share : shares_[at[2]])
            if (strcasecmp(share["name"].get<std::string>().c_str(), wanted.c_str()) == 0 ||
                (at[2] == "nfs" && "/" + share["name"].get<std::string>() == wanted))
                list.push_back(share);
        answerJson(response, 200, json({{"filesystemShares", list}}).dump());
    } else if (at[0] == "filesystems" && at.size() == 1) {
        json list = json::array();
        for (const json& fs : fileSystems_)
            if (!request.hasParam("label") || fs["label"] == request.param("label")) list.push_back(fs);
        answerJson(response, 200, json({{"filesystems", list}}).dump());
    } else if (at[0] == "filesystems" && at.size() == 2) {
        for (const json& fs : fileSystems_)
            if (fs["filesystemId"] == at[1]) return answerJson(response, 200, json({{"filesystem", fs}}).dump());
        error(response, 404, "No such file system");
    } else if (at[0] == "filesystem-snapshots" && at.size() == 3 && method == "GET") {
        bool mounted = false;
        for (const json& fs : fileSystems_)
            if (fs["filesystemId"] == at[1]) mounted = fs["status"] == "MOUNTED";
        if (!mounted && at[2] != "null") return error(response, 400, "File system is not mounted");
        json list = json::array();
        for (const RealSnapshot& s : snapshots_)
            if (mounted && s.filesystemId == at[1] && (at[2] == "null" || s.appSearchId == at[2]))
                list.push_back(snapshotJson(s));
        answerJson(response, 200, json({{"snapshots", list}}).dump());
    } else if (at[0] == "filesystem-snapshots" && at.size() == 1 && method == "POST") {
        RealSnapshot made;
        made.filesystemId = body.value("filesystemId", "");
        made.appSearchId = body.value("appSearchId", "");
        made.displayName = made.appSearchId + "-" + body.value("displayName", "");
        made.objectId = hexOf(made.filesystemId + ":::" + made.displayName + kIdTail);
        snapshots_.push_back(made);
        answerJson(response, 201,
                   json({{"snapshot", snapshotJson(made)}, {"uri", "/v7/storage/filesystem-snapshots/" + made.objectId}})
                       .dump());
    } else if (at[0] == "filesystem-snapshots" && at.size() == 2) {
        RealSnapshot* s = snapshotById(at[1]);
        if (s == nullptr) return error(response, 404, "No such snapshot");
        if (method == "GET") return answerJson(response, 200, json({{"snapshot", snapshotJson(*s)}}).dump());
        if (!s->refuseDelete.empty()) {
            if (s->startsDeleting) s->state = "SNAPSHOT_MANAGEMENT_STATE_DELETE_ONGOING";
            return error(response, 400, s->refuseDelete);
        }
        if (s->state != "SNAPSHOT_MANAGEMENT_STATE_USABLE") return error(response, 400, "Snapshot is being deleted");
        s->state = "SNAPSHOT_MANAGEMENT_STATE_DELETE_PENDING";   // stays listed for a while
        response.status = 204;
    } else if (at[0] == "filesystem-snapshots" && at.size() == 3 && at[2] == "rollback") {
        RealSnapshot* s = snapshotById(at[1]);
        if (s == nullptr) return error(response, 404, "No such snapshot");
        const std::string fs = s->filesystemId;
        std::vector<RealSnapshot> kept;
        for (const RealSnapshot& other : snapshots_)
            if (other.filesystemId != fs) kept.push_back(other);
        snapshots_.swap(kept);   // every snapshot of the file system goes
        response.status = 204;
    } else if (at[0] == "filesystem-shares" && at.size() == 2 && method == "POST") {
        json share = {{"objectId", hexOf("1:::made-" + body.value("name", "") + kIdTail)},
                      {"shareId", "made-" + body.value("name", "")},
                      {"name", body.value("name", "")},
                      {"virtualServerId", "1"},
                      {"filesystemId", body.value("filesystemId", "")},
                      {"path", body.value("filesystemPath", "")},
                      {"settings", body.value("settings", json::object())}};
        shares_[at[1]].push_back(share);
        authentications_[share["objectId"].get<std::string>()] = json::array();
        answerJson(response, 201,
                   json({{"filesystemShare", share}, {"uri", "/v7/storage/filesystem-shares/" + at[1]}}).dump());
    } else if (at[0] == "filesystem-shares" && at.size() == 3 && method == "DELETE") {
        json& list = shares_[at[1]];
        for (size_t i = 0; i < list.size(); ++i)
            if (list[i]["objectId"] == at[2]) {
                list.erase(i);
                response.status = 204;
                return;
            }
        error(response, 404, "No such share");
    } else if (at[0] == "filesystem-shares" && at.size() == 4 && at[3] == "authentications") {
        if (!authentications_.contains(at[2])) return error(response, 404, "No such share");
        json& stored = authentications_[at[2]];
        if (method == "GET") return answerJson(response, 200, json({{"cifsAuthentications", stored}}).dump());
        for (json entry : body.value("cifsAuthentications", json::array())) {
            if (dropPermissions_) continue;
            if (entry.value("name", "") == "Administrators") {   // the array's own form of the name
                entry["name"] = "BUILTIN\\Administrators";
                entry["type"] = "ALIAS";
            }
            entry["permission"] = std::to_string(entry.value("permission", 0));
            entry["encodedName"] = hexOf(entry.value("name", ""));
            stored.push_back(entry);
        }
        response.status = 201;   // and no body
    } else {
        error(response, 404, "No such resource");
    }
}

}  // namespace clienttest
