#include "tests/client/Simulator.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

#include <httplib.h>

namespace clienttest {

namespace {

constexpr char kAdminToken[] = "admin-token-for-tests";
constexpr char kListening[] = "listening on https://127.0.0.1:";

// Reads the child's first line from `fd` within `seconds`.
std::string readLine(int fd, int seconds) {
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd watch{fd, POLLIN, 0};
        if (poll(&watch, 1, 100) <= 0) continue;
        char c;
        const ssize_t n = read(fd, &c, 1);
        if (n <= 0) break;
        if (c == '\n') return line;
        line += c;
    }
    return line;
}

}  // namespace

Simulator::Simulator(const nlohmann::json& seed) {
    const std::string seedFile = dir_.file("seed.json");
    std::ofstream(seedFile) << seed.dump(2);
    const CertSet& certs = serverCerts();
    const std::string state = dir_.file("state.db");

    int out[2];
    if (pipe(out) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        close(out[1]);
        const int devNull = open("/dev/null", O_WRONLY);
        if (devNull >= 0) dup2(devNull, STDERR_FILENO);
        execl(HNAS_ARRAYSIM_BINARY, HNAS_ARRAYSIM_BINARY, "--address", "127.0.0.1", "--port", "0", "--cert",
              certs.cert.c_str(), "--key", certs.key.c_str(), "--state", state.c_str(), "--seed",
              seedFile.c_str(), "--admin-token", kAdminToken, static_cast<char*>(nullptr));
        _exit(127);
    }
    close(out[1]);
    if (pid_ < 0) {
        close(out[0]);
        return;
    }
    const std::string line = readLine(out[0], 10);
    close(out[0]);
    const size_t at = line.find(kListening);
    if (at != std::string::npos) port_ = atoi(line.c_str() + at + sizeof(kListening) - 1);
    if (port_ <= 0) {
        port_ = 0;
        stop();
    }
}

Simulator::~Simulator() { stop(); }

void Simulator::stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    for (int i = 0; i < 300; ++i) {
        if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
            pid_ = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

bool Simulator::admin(const std::string& method, const std::string& path, const nlohmann::json& body,
                      nlohmann::json* answer) {
    httplib::SSLClient client("127.0.0.1", port_);
    client.set_ca_cert_path(serverCerts().ca.c_str());
    client.enable_server_certificate_verification(true);
    client.set_connection_timeout(5);
    client.set_read_timeout(10);
    const httplib::Headers headers{{"X-Admin-Token", kAdminToken}};
    const std::string text = body.is_null() ? std::string() : body.dump();
    httplib::Result result = method == "GET"      ? client.Get(path.c_str(), headers)
                             : method == "DELETE" ? client.Delete(path.c_str(), headers)
                                                  : client.Post(path.c_str(), headers, text, "application/json");
    if (!result || result->status != 200) return false;
    if (answer != nullptr)
        *answer = nlohmann::json::parse(result->body, nullptr, false);
    return true;
}

bool Simulator::inject(const nlohmann::json& fault) { return admin("POST", "/admin/faults", fault); }

nlohmann::json Simulator::state() {
    nlohmann::json answer;
    admin("GET", "/admin/state", nullptr, &answer);
    return answer;
}

nlohmann::json Simulator::calls() {
    nlohmann::json answer;
    admin("GET", "/admin/calls", nullptr, &answer);
    return answer.is_object() && answer.contains("calls") ? answer["calls"] : nlohmann::json::array();
}

int Simulator::callCount(const std::string& operation) {
    int count = 0;
    for (const auto& call : calls())
        if (call.value("operation", "") == operation) ++count;
    return count;
}

nlohmann::json standardSeed() {
    return nlohmann::json::parse(R"J({
  "arrays": [{
    "name": "hnas1", "user": "supervisor", "password": "Sup3r-Secret!pw",
    "virtualServers": [
      {"virtualServerId": 1, "name": "evs1", "ipAddresses": ["192.0.2.10", "192.0.2.11"]},
      {"virtualServerId": 2, "name": "hnas1-admin", "ipAddresses": ["192.0.2.1"],
       "type": "Administrative services"}
    ],
    "filesystems": [
      {"label": "fs1", "virtualServerId": 1, "capacity": 1099511627776, "usedCapacity": 1073741824,
       "freeCapacity": 1098437885952, "usedSnapshotCapacity": 4096},
      {"label": "fs2", "virtualServerId": 1}
    ],
    "shares": [
      {"protocol": "CIFS", "name": "data", "virtualServerId": 1, "filesystem": "fs1", "path": "\\data",
       "settings": {"comment": "team data", "maxConcurrentUsers": -1, "cacheOption": "MANUAL_CACHING_DOCS",
                    "isABEEnabled": true, "userHomeDirectoryMode": "ADS"},
       "authentications": [{"name": "Everyone", "permission": 56, "type": "WELLKNOWN"},
                           {"name": "Administrators", "permission": 24, "type": "GROUP"}]},
      {"protocol": "NFS", "name": "/exp1", "virtualServerId": 1, "filesystem": "fs1", "path": "/exp1",
       "settings": {"accessConfig": "*(rw)", "localReadCacheOption": "ENABLED_FOR_ALL_FILES"}}
    ],
    "snapshots": [
      {"filesystem": "fs1", "appSearchId": "QZHNAS", "displayName": "QZHNAS-old-fs1", "creationTime": 1700000000}
    ]
  }]
})J");
}

}  // namespace clienttest
