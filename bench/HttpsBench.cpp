// The same lifecycle over HTTPS: the plug-in's entry points with the fake
// host and the real array client, against hnas-arraysim on loopback. A
// counting TCP relay between client and simulator tells how many
// connections each operation call opened; the simulator's call record tells
// how many requests it served. Target: one connection per array per call.
//
//   hnas_bench_https [devices]    (default 48; a table on standard output)
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "bench/Lifecycle.h"
#include "engine/QzSnapEngineHNAS.h"
#include "host/ArrayConfigNames.h"
#include "tests/client/Simulator.h"
#include "tests/client/TestCerts.h"
#include "tests/fakes/FakeOSUtil.h"
#include "tests/fakes/FakeSnapInfo.h"
#include "tests/support/TempSettings.h"

namespace {

// Relays every connection made to its port to the simulator's, counting them.
class CountingRelay {
public:
    explicit CountingRelay(int targetPort) : target_(targetPort) {
        listener_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof(address);
        if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
            listen(listener_, 64) != 0 || getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
            return;
        }
        port_ = ntohs(address.sin_port);
        acceptor_ = std::thread([this] { acceptLoop(); });
    }
    ~CountingRelay() {
        stopping_ = true;
        shutdown(listener_, SHUT_RDWR);
        close(listener_);
        if (acceptor_.joinable()) acceptor_.join();
        std::lock_guard<std::mutex> lock(mutex_);
        for (std::thread& t : pumps_) t.join();
    }
    int port() const { return port_; }
    int takeCount() { return connections_.exchange(0); }

private:
    void acceptLoop() {
        while (!stopping_) {
            pollfd p{listener_, POLLIN, 0};
            if (poll(&p, 1, 100) <= 0) continue;
            const int client = accept(listener_, nullptr, nullptr);
            if (client < 0) continue;
            ++connections_;
            std::lock_guard<std::mutex> lock(mutex_);
            pumps_.emplace_back([this, client] { pump(client); });
        }
    }
    // Copies bytes both ways until either side closes (or the relay stops).
    // Both sides pass each piece on at once, as a direct connection would.
    void pump(int client) {
        const int server = socket(AF_INET, SOCK_STREAM, 0);
        const int on = 1;
        setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on));
        if (server >= 0) setsockopt(server, IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on));
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<uint16_t>(target_));
        if (server >= 0 && connect(server, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0) {
            char buffer[16384];
            pollfd fds[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
            bool open = true;
            while (open && !stopping_) {
                if (poll(fds, 2, 100) <= 0) continue;
                for (int i = 0; i < 2 && open; ++i) {
                    if ((fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
                    const ssize_t n = read(fds[i].fd, buffer, sizeof(buffer));
                    if (n <= 0) {
                        open = false;
                        break;
                    }
                    ssize_t sent = 0;
                    while (sent < n) {
                        const ssize_t w = write(fds[1 - i].fd, buffer + sent, static_cast<size_t>(n - sent));
                        if (w <= 0) {
                            open = false;
                            break;
                        }
                        sent += w;
                    }
                }
            }
        }
        if (server >= 0) close(server);
        close(client);
    }

    int target_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<int> connections_{0};
    std::thread acceptor_;
    std::mutex mutex_;
    std::vector<std::thread> pumps_;
};

using bench::kLifecycle;
using bench::Operation;

// One array, evs1; device i is a CIFS share, an NFS export or a native path
// (i % 3) on file system fs<i>.
nlohmann::json seedFor(int count) {
    nlohmann::json fileSystems = nlohmann::json::array();
    nlohmann::json shares = nlohmann::json::array();
    for (int i = 0; i < count; ++i) {
        const std::string n = std::to_string(i);
        fileSystems.push_back({{"label", "fs" + n}, {"virtualServerId", 1}});
        if (i % 3 == 0) {
            shares.push_back({{"protocol", "CIFS"}, {"name", "s" + n}, {"virtualServerId", 1}, {"filesystem", "fs" + n},
                              {"path", "\\s" + n},
                              {"authentications", {{{"name", "Everyone"}, {"permission", 8}, {"type", "WELLKNOWN"}}}}});
        } else if (i % 3 == 1) {
            shares.push_back({{"protocol", "NFS"}, {"name", "/e" + n}, {"virtualServerId", 1}, {"filesystem", "fs" + n},
                              {"path", "/e" + n}, {"settings", {{"accessConfig", "*(rw)"}}}});
        }
    }
    return {{"arrays",
             {{{"name", "hnas1"},
               {"user", clienttest::kSimUser},
               {"password", clienttest::kSimPassword},
               {"virtualServers", {{{"virtualServerId", 1}, {"name", "evs1"}, {"ipAddresses", {"192.0.2.10"}}}}},
               {"filesystems", fileSystems},
               {"shares", shares}}}}};
}

std::string sourceOf(int i) {
    const std::string n = std::to_string(i);
    switch (i % 3) {
        case 0: return "{vortype:cifs,vendor:Hitachi HNAS,type:unc,lunuuid:\\\\filer1\\\\s" + n + "\\\\dir,targethostname:filer1}";
        case 1: return "{vortype:,vendor:Hitachi HNAS,type:nfs,lunuuid:\\/e" + n + ",targethostname:filer1}";
        default: return "{type:native_hnas,path:/__VOLUME__/fs" + n + "/d" + n + ",targethostname:filer1}";
    }
}

}  // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 48;
    if (count < 1 || count > 32767) return 1;
    testsupport::TempSettings settings("[~Vorlane]\nnRevertMountPathRefreshWaitInSecs=0\n" +
                                       clienttest::clientSettings(clienttest::serverCerts().ca));
    clienttest::Simulator sim(seedFor(count));
    if (!sim.started()) {
        std::fprintf(stderr, "hnas-arraysim did not start\n");
        return 1;
    }
    CountingRelay relay(sim.port());
    if (relay.port() == 0) return 1;

    const std::string info = std::string("{arrayId:evs1,hostName:127.0.0.1,hostUserName:") + clienttest::kSimUser +
                             ",hostPassword:" + clienttest::kSimPassword + ",hostid:3}";
    fakehost::FakeOSUtil util(91);
    std::vector<std::unique_ptr<fakehost::FakeSnapInfo>> snaps;
    std::vector<QZSO::SnapInfo*> pointers;
    for (int i = 0; i < count; ++i) {
        snaps.emplace_back(new fakehost::FakeSnapInfo);
        fakehost::FakeSnapInfo& s = *snaps.back();
        s.sourceDevice.value = sourceOf(i);
        s.snapUUID.value = "u" + std::to_string(i);
        s.knownArrays["filer1"] = info;
        s.arrayConfigStrings[QZSO::kMetroServerIpConfig].value = "127.0.0.1";
        s.arrayConfigInts[QZSO::kMetroServerPortConfig] = relay.port();
        s.valueInts[QZSO::GET_VALUE_VOLSNAP_OP_SOURCE] = 1;
        pointers.push_back(&s);
    }

    std::printf("| operation | devices | return code | requests | connections | requests per connection | ms |\n");
    std::printf("|---|---|---|---|---|---|---|\n");
    bool oneConnectionEach = true;
    for (const Operation& op : kLifecycle) {
        sim.admin("DELETE", "/admin/calls", nlohmann::json::object());
        relay.takeCount();
        const auto start = std::chrono::steady_clock::now();
        const int code = op.entry(pointers.data(), static_cast<short>(count), &util);
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        // The client closes its connection when the call's client object goes.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        const int connections = relay.takeCount();
        nlohmann::json calls;
        sim.admin("GET", "/admin/calls", nlohmann::json::object(), &calls);
        const size_t requests = calls.contains("calls") ? calls["calls"].size() : 0;
        oneConnectionEach = oneConnectionEach && connections == 1;
        std::printf("| %s | %d | %d | %zu | %d | %.1f | %.0f |\n", op.name, count, code, requests, connections,
                    connections > 0 ? static_cast<double>(requests) / connections : 0.0, ms);
    }
    return oneConnectionEach ? 0 : 2;
}
