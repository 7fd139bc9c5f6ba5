// The same lifecycle over HTTPS: the plug-in's entry points with the fake
// host and the real array client, against hnas-arraysim on loopback with its
// state in SQLite, all devices on one array. A counting TCP relay between
// client and simulator tells how many connections each operation call
// opened; the simulator's call record tells how many requests it served and
// how long it spent on them, which splits the time per request into the
// simulator's share and the rest (client, plug-in, TLS and the relay).
// Targets: one connection per array per call, a time per request that does
// not grow with the number of devices, and no more requests than each
// operation needs (the "fewest" column, derived per device kind below).
//
// With --latency-ms N the simulator holds every storage request N ms before
// it handles it (a latency fault on every operation, set through the admin
// interface), as a real array takes 5 to 200 ms per management request: the
// wall time of an operation is then about its requests times N, and a second
// table shows that, with the spread of snap (the time from the first
// snapshot made to the last, from the simulator's call record).
//
// With --in-flight N the client may have N requests in flight to the array
// (nRequestsInFlight): an operation's independent calls are then made
// together, each on a connection of its own (so a call opens up to N + 1).
//
//   hnas_bench_https [--latency-ms N] [--in-flight N] [devices ...]   (default 48; tables on standard output)
//   hnas_bench_https 1024 4096 32767                  (the scale run of README.md)
//   hnas_bench_https --latency-ms 5 1024 64           (at a real array's latency)
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "bench/Lifecycle.h"
#include "engine/QzSnapEngineHNAS.h"
#include "host/ArrayConfigNames.h"
#include "simkit/SimAdmin.h"
#include "tests/support/SimProcess.h"
#include "tests/support/TestCertificates.h"
#include "tests/fakes/FakeOSUtil.h"
#include "tests/fakes/FakeSnapInfo.h"
#include "tests/support/TempDirectory.h"
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

const char kAdminToken[] = "bench-admin-token";

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
               {"user", testsupport::kSimUser},
               {"password", testsupport::kSimPassword},
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

// CPU time (user and system) the process `pid` has used so far, in ms: fields
// 14 and 15 of /proc/<pid>/stat, in clock ticks.
double processCpuMs(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text;
    std::getline(stat, text);
    const size_t end = text.rfind(')');   // the command name may hold spaces
    if (end == std::string::npos) return 0;
    std::istringstream fields(text.substr(end + 2));
    std::string field;
    double ticks = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i >= 14) ticks += std::atof(field.c_str());
    }
    return ticks * 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// The most memory the process has held, in MiB (VmHWM), or 0.
double peakMemoryMiB(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.compare(0, 6, "VmHWM:") == 0) return std::atof(line.c_str() + 6) / 1024.0;
    }
    return 0;
}

// The fewest requests each operation needs for the seed above (one array, one
// virtual server, device i on file system fs<i>; a CIFS share with one
// permission entry, an NFS export or a native path by i % 3), from what it
// must ask of the array:
// - prepare: per group the virtual server list; per native path its file
//   system by label; per share or export the share by name (its file system
//   ID, path and settings) and its file system by ID (the label); per CIFS
//   share also its permissions;
// - snap, revert, delete: per file system one create, roll-back or delete
//   (the snapshot's object ID is in the device's metadata);
// - isMapped: per device the share by name;
// - map: per device the share by name (an existing one is handed over again,
//   or refused for a GUI mount: there is no "create unless present") and the
//   create; per share or export the source's current path and settings; per
//   CIFS copy one add per permission entry and the read-back of what the
//   array stored (the settings and permissions saved at prepare are used, so
//   the source's permissions need not be read again);
// - unmap: per device the share by name (its object ID, which the delete
//   needs and no metadata keeps) and the delete;
// - reconcile: the file system list, then the snapshots of each mounted file
//   system (there is no call that lists every snapshot of an array).
uint64_t fewestRequests(const std::string& op, int count) {
    const uint64_t cifs = static_cast<uint64_t>((count + 2) / 3);
    const uint64_t nfs = static_cast<uint64_t>((count + 1) / 3);
    const uint64_t native = static_cast<uint64_t>(count) - cifs - nfs;
    const uint64_t devices = static_cast<uint64_t>(count);
    if (op == "prepare") return 1 + native + 2 * nfs + 3 * cifs;
    if (op == "map") return 2 * native + 3 * nfs + 5 * cifs;
    if (op == "unmap") return 2 * devices;
    if (op == "reconcile") return 1 + devices;
    return devices;   // snap, isMapped, revert, delete
}

struct Measure {
    int code = 0;
    uint64_t requests = 0;
    uint64_t fewest = 0;
    int connections = 0;
    double ms = 0;
    double simulatorMs = 0;      // the simulator's own time in its handlers
    double benchCpuMs = 0;       // CPU time of this process: plug-in, client, relay, fake host
    double simulatorCpuMs = 0;   // CPU time of the simulator: TLS, HTTP, handlers, SQLite

    double each(double total) const { return requests > 0 ? total / static_cast<double>(requests) : 0; }
    double perRequest() const { return each(ms); }
    double cpuPerRequest() const { return each(benchCpuMs + simulatorCpuMs); }
};

struct Run {
    int devices = 0;
    int latencyMs = 0;
    int inFlight = 1;
    double snapSpreadMs = -1;   // first snapshot made to the last; -1: not known
    bool ok = false;
    double peakMiB = 0;
    double seconds = 0;
    std::vector<Measure> operations;   // in kLifecycle order
};

// The time from the first snapshot made to the last, in ms, from the call
// record of one snap call (each entry's endMicros); -1 when fewer than two
// were made or the record lacks them.
double snapSpreadMs(const nlohmann::json& calls) {
    if (!calls.is_object() || !calls.contains("calls") || !calls["calls"].is_array()) return -1;
    uint64_t first = UINT64_MAX;
    uint64_t last = 0;
    int made = 0;
    for (const nlohmann::json& call : calls["calls"]) {
        if (call.value("operation", std::string()) != "createSnapshot" || call.value("status", 0) != 201) continue;
        const uint64_t end = call.value("endMicros", uint64_t{0});
        first = std::min(first, end);
        last = std::max(last, end);
        ++made;
    }
    return made >= 2 ? static_cast<double>(last - first) / 1000.0 : -1;
}

Run runLifecycle(int count, int latencyMs, int inFlight) {
    Run run;
    run.devices = count;
    run.latencyMs = latencyMs;
    run.inFlight = inFlight;
    testsupport::TempDirectory dir;
    const std::string seedFile = dir.file("seed.json");
    testsupport::writeFile(seedFile, seedFor(count).dump());
    simkit::SimProcess sim;
    simkit::SimOptions options =
        testsupport::simOptions({"--state", dir.file("state.db"), "--seed", seedFile, "--strict-snapshot-paths"});
    options.adminToken = kAdminToken;
    options.adminTimeoutSecs = 120;   // the state of 32767 devices takes a while to read
    std::string error;
    if (!sim.start(options, error)) {
        std::fprintf(stderr, "hnas-arraysim did not start: %s\n", error.c_str());
        return run;
    }
    CountingRelay relay(sim.port());
    if (relay.port() == 0) return run;

    const std::string info = std::string("{arrayId:evs1,hostName:127.0.0.1,hostUserName:") + testsupport::kSimUser +
                             ",hostPassword:" + testsupport::kSimPassword + ",hostid:3}";
    fakehost::FakeOSUtil util(91);
    std::vector<std::unique_ptr<fakehost::FakeSnapInfo>> snaps;
    std::vector<QZSO::SnapInfo*> pointers;
    for (int i = 0; i < count; ++i) {
        snaps.emplace_back(new fakehost::FakeSnapInfo);
        fakehost::FakeSnapInfo& s = *snaps.back();
        s.sourceDevice = sourceOf(i);
        s.snapUUID = "u" + std::to_string(i);
        s.knowArray("filer1", info);
        s.arrayConfigStrings[QZSO::kMetroServerIpConfig].value = "127.0.0.1";
        s.arrayConfigInts[QZSO::kMetroServerPortConfig] = relay.port();
        s.valueInts[QZSO::GET_VALUE_VOLSNAP_OP_SOURCE] = 1;
        pointers.push_back(&s);
    }

    run.ok = true;
    const auto begin = std::chrono::steady_clock::now();
    for (const Operation& op : kLifecycle) {
        simkit::adminJson(sim, "DELETE", "/admin/calls");
        if (latencyMs > 0) {
            // Every storage request of the call meets the delay (at most
            // 1000000 of them; the fault is set afresh for each call).
            simkit::adminJson(sim, "DELETE", "/admin/faults");
            const nlohmann::json fault = {{"operation", "*"}, {"count", 1000000}, {"latencyMs", latencyMs}};
            if (simkit::adminJson(sim, "POST", "/admin/faults", fault).is_null()) {
                std::fprintf(stderr, "the latency fault was not accepted\n");
                run.ok = false;
            }
        }
        relay.takeCount();
        Measure m;
        m.fewest = fewestRequests(op.name, count);
        const double benchCpu = processCpuMs(getpid());
        const double simulatorCpu = processCpuMs(sim.pid());
        const auto start = std::chrono::steady_clock::now();
        m.code = op.entry(pointers.data(), static_cast<short>(count), &util);
        m.ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        m.benchCpuMs = processCpuMs(getpid()) - benchCpu;
        m.simulatorCpuMs = processCpuMs(sim.pid()) - simulatorCpu;
        // The client closes its connection when the call's client object goes.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        m.connections = relay.takeCount();
        const nlohmann::json calls = simkit::adminJson(sim, "GET", "/admin/calls");
        if (calls.is_object()) {
            m.requests = calls.value("total", uint64_t{0});
            m.simulatorMs = static_cast<double>(calls.value("totalMicros", uint64_t{0})) / 1000.0;
        }
        if (op.entry == qzso_snapDevices) run.snapSpreadMs = snapSpreadMs(calls);
        // One connection per call; with requests in flight, one more per
        // request in flight at most.
        run.ok = run.ok && m.code == 0 && m.connections >= 1 && m.connections <= 1 + (inFlight > 1 ? inFlight : 0);
        run.operations.push_back(m);
    }
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    run.peakMiB = peakMemoryMiB(sim.pid());
    return run;
}

void printRun(const Run& run) {
    std::printf("\n%d devices, %d in flight: lifecycle %.1f s, simulator peak memory %.0f MiB\n\n", run.devices,
                run.inFlight, run.seconds, run.peakMiB);
    std::printf("| operation | return code | requests | fewest | connections | ms | ms per request |"
                " simulator ms per request | the rest, ms per request | CPU ms per request: simulator |"
                " client and plug-in |\n");
    std::printf("|---|---|---|---|---|---|---|---|---|---|---|\n");
    for (size_t i = 0; i < run.operations.size(); ++i) {
        const Measure& m = run.operations[i];
        std::printf("| %s | %d | %llu | %llu | %d | %.0f | %.3f | %.3f | %.3f | %.3f | %.3f |\n", kLifecycle[i].name,
                    m.code, static_cast<unsigned long long>(m.requests), static_cast<unsigned long long>(m.fewest),
                    m.connections, m.ms, m.perRequest(),
                    m.each(m.simulatorMs), m.perRequest() - m.each(m.simulatorMs), m.each(m.simulatorCpuMs),
                    m.each(m.benchCpuMs));
    }
    if (run.latencyMs > 0) {
        std::printf("\nAt %d ms per request:\n\n", run.latencyMs);
        std::printf("| operation | requests | fewest | requests per device | wall ms | requests x latency, ms |"
                    " wall / (requests x latency) |\n");
        std::printf("|---|---|---|---|---|---|---|\n");
        for (size_t i = 0; i < run.operations.size(); ++i) {
            const Measure& m = run.operations[i];
            const double floor = static_cast<double>(m.requests) * run.latencyMs;
            std::printf("| %s | %llu | %llu | %.2f | %.0f | %.0f | %.2f |\n", kLifecycle[i].name,
                        static_cast<unsigned long long>(m.requests), static_cast<unsigned long long>(m.fewest),
                        static_cast<double>(m.requests) / run.devices, m.ms, floor, floor > 0 ? m.ms / floor : 0.0);
        }
    }
    if (run.snapSpreadMs >= 0)
        std::printf("\nsnap spread (first snapshot made to the last, %d file systems): %.0f ms\n", run.devices,
                    run.snapSpreadMs);
    std::fflush(stdout);
}

// Time per request at the largest size against the smallest: wall clock,
// the simulator's own share, and CPU time of both processes (which a
// machine busy with other work disturbs less than the wall clock).
void printRatios(const Run& small, const Run& large) {
    std::printf("\n| operation | ms per request at %d | at %d | ratio | simulator ms per request at %d | at %d | ratio |"
                " CPU ms per request at %d | at %d | ratio |\n",
                small.devices, large.devices, small.devices, large.devices, small.devices, large.devices);
    std::printf("|---|---|---|---|---|---|---|---|---|---|\n");
    auto ratio = [](double a, double b) { return a > 0 ? b / a : 0.0; };
    for (size_t i = 0; i < small.operations.size() && i < large.operations.size(); ++i) {
        const Measure& a = small.operations[i];
        const Measure& b = large.operations[i];
        std::printf("| %s | %.3f | %.3f | %.2f | %.3f | %.3f | %.2f | %.3f | %.3f | %.2f |\n", kLifecycle[i].name,
                    a.perRequest(), b.perRequest(), ratio(a.perRequest(), b.perRequest()), a.each(a.simulatorMs),
                    b.each(b.simulatorMs), ratio(a.each(a.simulatorMs), b.each(b.simulatorMs)), a.cpuPerRequest(),
                    b.cpuPerRequest(), ratio(a.cpuPerRequest(), b.cpuPerRequest()));
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<int> sizes;
    int latencyMs = 0;
    int inFlight = 1;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--in-flight" && i + 1 < argc) {
            inFlight = std::atoi(argv[++i]);
            if (inFlight < 1 || inFlight > 64) return 1;
            continue;
        }
        if (std::string(argv[i]) == "--latency-ms" && i + 1 < argc) {
            latencyMs = std::atoi(argv[++i]);
            if (latencyMs < 1 || latencyMs > 600000) return 1;
            continue;
        }
        sizes.push_back(std::atoi(argv[i]));
    }
    if (sizes.empty()) sizes.push_back(48);
    for (int count : sizes) {
        if (count < 1 || count > 32767) return 1;
    }
    testsupport::TempSettings settings(
        "[~Vorlane]\nnRevertMountPathRefreshWaitInSecs=0\n" +
        testsupport::clientSettings(testsupport::serverCerts().ca,
                                   "nRequestsInFlight=" + std::to_string(inFlight) + "\n"));
    std::vector<Run> runs;
    bool ok = true;
    for (int count : sizes) {
        runs.push_back(runLifecycle(count, latencyMs, inFlight));
        printRun(runs.back());
        ok = ok && runs.back().ok;
    }
    if (runs.size() > 1) printRatios(runs.front(), runs.back());
    return ok ? 0 : 2;
}
