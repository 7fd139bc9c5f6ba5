// hnas-arraysim under crowds, with a real client timed meanwhile. Prints the
// simulator's peak memory (VmHWM) and, where a crowd leaves, its memory
// (VmRSS) after, and the times of the real client's requests.
//
//   hnas_bench_hostile [connections] [seconds]   (default 2500 and 30)
//     without credentials: half of the connections finish TLS and then send
//     their request one byte at a time, the other half never finish TLS and
//     send a byte now and then; each one the simulator closes at its
//     deadline is opened again at once. The real client sends a storage GET
//     on a new connection each time (handshake included) and on one
//     kept-alive connection.
//   hnas_bench_hostile bodies N       N clients with credentials each stall
//     just short of the end of a body of 1 MiB
//   hnas_bench_hostile idle N         N TCP connections that never start TLS
//   hnas_bench_hostile answers N      N clients ask for a list of 20,000
//     snapshots (about 9 MB) and read nothing
//   (each held for 10 s, then the crowd leaves and the memory is read 6 s later)
#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/HostileCrowd.h"
#include "tests/support/SimProcess.h"
#include "tests/support/TempDirectory.h"

namespace {

const char kSeed[] = R"json({"arrays": [
  {"name": "hnas1", "user": "supervisor", "password": "pw1",
   "virtualServers": [{"virtualServerId": 1, "name": "evs1", "ipAddresses": ["192.0.2.10"]}],
   "filesystems": [{"label": "fs1", "virtualServerId": 1}]}]})json";
const simkit::HttpHeaders kUser{{"X-Subsystem-User", "supervisor"}, {"X-Subsystem-Password", "pw1"}};

// A memory figure of /proc/PID/status ("VmHWM:", "VmRSS:") in KiB.
long statusKiB(pid_t pid, const char* field) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    const size_t length = std::char_traits<char>::length(field);
    while (std::getline(status, line)) {
        if (line.compare(0, length, field) == 0) return std::atol(line.c_str() + length);
    }
    return 0;
}

long peakKiB(pid_t pid) { return statusKiB(pid, "VmHWM:"); }

// Descriptors the process holds.
size_t openDescriptors(pid_t pid) {
    DIR* dir = opendir(("/proc/" + std::to_string(pid) + "/fd").c_str());
    if (dir == nullptr) return 0;
    size_t count = 0;
    while (readdir(dir) != nullptr) ++count;
    closedir(dir);
    return count > 2 ? count - 2 : 0;
}

struct Times {
    std::vector<double> ms;
    int failed = 0;
    void print(const char* what) {
        std::sort(ms.begin(), ms.end());
        if (ms.empty()) {
            std::printf("| %s | 0 | | | | %d |\n", what, failed);
            return;
        }
        auto at = [&](double q) { return ms[std::min(ms.size() - 1, static_cast<size_t>(q * static_cast<double>(ms.size())))]; };
        std::printf("| %s | %zu | %.1f | %.1f | %.1f | %d |\n", what, ms.size(), at(0.5), at(0.95), ms.back(), failed);
    }
};

// One GET's time in ms, or a failure noted.
void timeGet(simkit::SimClient& client, Times& times) {
    const auto start = std::chrono::steady_clock::now();
    const auto r = client.get("/v7/storage/virtual-servers", kUser);
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    if (r.status == 200)
        times.ms.push_back(ms);
    else
        ++times.failed;
}

}  // namespace

const char kUserLines[] = "X-Subsystem-User: supervisor\r\nX-Subsystem-Password: pw1\r\n";

// One crowd of the named kind, held open.
struct Crowd {
    std::vector<std::unique_ptr<testsupport::TlsLink>> links;
    std::vector<int> sockets;
    size_t refused = 0;   // members the simulator answered 503 or closed

    ~Crowd() { leave(); }
    void leave() {
        links.clear();
        for (int fd : sockets) close(fd);
        sockets.clear();
    }

    void bodies(int port, size_t count) {
        const size_t length = (1 << 20) - 1;
        const std::string head = std::string("POST /v7/storage/filesystem-snapshots HTTP/1.1\r\nHost: sim\r\n") +
                                 kUserLines + "Content-Length: " + std::to_string(length) +
                                 "\r\nExpect: 100-continue\r\n\r\n";
        const std::string body(length - 1, ' ');
        for (size_t i = 0; i < count; ++i) {
            auto link = std::make_unique<testsupport::TlsLink>();
            if (!link->open(port) || !link->send(head) ||
                link->readUntil("\r\n\r\n", 5000).compare(0, 12, "HTTP/1.1 100") != 0 || !link->send(body)) {
                ++refused;
                continue;
            }
            links.push_back(std::move(link));
        }
    }

    void idle(int port, size_t count) {
        for (size_t i = 0; i < count; ++i) {
            const int fd = testsupport::connectLoopback(port);
            if (fd >= 0) sockets.push_back(fd);
        }
    }

    void answers(int port, size_t count, const std::string& path) {
        const std::string get = "GET " + path + " HTTP/1.1\r\nHost: sim\r\n" + kUserLines + "\r\n";
        for (size_t i = 0; i < count; ++i) {
            auto link = std::make_unique<testsupport::TlsLink>();
            if (!link->open(port) || !link->send(get)) {
                ++refused;
                continue;
            }
            links.push_back(std::move(link));
        }
        // Those told to come back later read a short answer and are counted.
        for (auto& link : links) {
            if (link->readable(2000) && link->readUntil("\r\n", 100).compare(0, 12, "HTTP/1.1 503") == 0) ++refused;
        }
    }
};

// The seed with `snapshots` snapshots on fs1.
std::string seedWithSnapshots(int snapshots) {
    std::string list;
    for (int i = 0; i < snapshots; ++i) {
        if (i > 0) list += ",";
        list += R"({"filesystem": "fs1", "appSearchId": "QZHNAS", "displayName": "QZHNAS-)" +
                std::to_string(100000000 + i) + R"(-fs1", "creationTime": 1700000000})";
    }
    std::string seed = kSeed;
    const std::string fileSystems = R"("filesystems": [{"label": "fs1", "virtualServerId": 1}])";
    seed.replace(seed.find(fileSystems), fileSystems.size(), fileSystems + R"(, "snapshots": [)" + list + "]");
    return seed;
}

// Holds one crowd for 10 s while the real client is timed, then lets it go.
int crowdBench(const std::string& kind, size_t count) {
    if (!testsupport::raiseDescriptorLimit(count + 1024)) {
        std::fprintf(stderr, "the descriptor limit is too low for %zu connections\n", count);
        return 1;
    }
    testsupport::TempDirectory dir;
    testsupport::writeFile(dir.file("seed.json"), kind == "answers" ? seedWithSnapshots(20000) : kSeed);
    simkit::SimProcess sim;
    if (!testsupport::startSim(sim, {"--seed", dir.file("seed.json")})) {
        std::fprintf(stderr, "the simulator did not start\n");
        return 1;
    }
    std::string list;
    if (kind == "answers") {
        simkit::SimClient client = sim.client();
        const auto r = client.get("/v7/storage/filesystems?label=fs1", kUser);
        const std::string key = "\"filesystemId\":\"";
        const size_t at = r.body.find(key);
        if (at == std::string::npos) return 1;
        list = "/v7/storage/filesystems/" + r.body.substr(at + key.size(), 32) + "/snapshots";
    }
    const long before = statusKiB(sim.pid(), "VmRSS:");
    Crowd crowd;
    const auto started = std::chrono::steady_clock::now();
    if (kind == "bodies") crowd.bodies(sim.port(), count);
    else if (kind == "idle") crowd.idle(sim.port(), count);
    else crowd.answers(sim.port(), count, list);
    const double opening = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const size_t descriptors = openDescriptors(sim.pid());
    Times fresh;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < end) {
        simkit::SimClient client = sim.client();
        timeGet(client, fresh);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    const long peak = peakKiB(sim.pid());
    crowd.leave();
    std::this_thread::sleep_for(std::chrono::seconds(6));
    std::printf("crowd: %s, %zu members (%zu refused or told to come back), opened in %.1f s; simulator's "
                "descriptors with it: %zu\n", kind.c_str(), count, crowd.refused, opening, descriptors);
    std::printf("simulator memory: %ld KiB before (VmRSS), %ld KiB peak (VmHWM), %ld KiB 6 s after the crowd left "
                "(VmRSS)\n\n", before, peak, statusKiB(sim.pid(), "VmRSS:"));
    std::printf("| real client's GET | requests | median ms | 95th ms | max ms | failed |\n|---|---|---|---|---|---|\n");
    fresh.print("new connection, under the crowd");
    return 0;
}

int main(int argc, char** argv) {
    if (argc == 3 && !std::isdigit(static_cast<unsigned char>(argv[1][0]))) {
        const std::string kind = argv[1];
        if (kind != "bodies" && kind != "idle" && kind != "answers") {
            std::fprintf(stderr, "usage: hnas_bench_hostile [connections] [seconds] | bodies|idle|answers N\n");
            return 2;
        }
        return crowdBench(kind, std::strtoul(argv[2], nullptr, 10));
    }
    const size_t connections = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 2500;
    const int seconds = argc > 2 ? std::atoi(argv[2]) : 30;
    if (!testsupport::raiseDescriptorLimit(connections + 1024)) {
        std::fprintf(stderr, "the descriptor limit is too low for %zu connections\n", connections);
        return 1;
    }
    testsupport::TempDirectory dir;
    testsupport::writeFile(dir.file("seed.json"), kSeed);
    simkit::SimProcess sim;
    if (!testsupport::startSim(sim, {"--state", dir.file("state.db"), "--seed", dir.file("seed.json")})) {
        std::fprintf(stderr, "the simulator did not start\n");
        return 1;
    }
    Times quiet;
    for (int i = 0; i < 20; ++i) {
        simkit::SimClient client = sim.client();
        timeGet(client, quiet);
    }
    const long idlePeak = peakKiB(sim.pid());

    testsupport::HostileCrowd crowd(sim.port(), connections / 2, connections - connections / 2);
    crowd.topUp();
    const size_t opened = crowd.open();
    std::atomic<bool> done{false};
    // The fewest connections open after a round of sending and reopening.
    size_t fewestOpen = opened;
    std::thread attacker([&] {
        while (!done) {
            crowd.tick();
            fewestOpen = std::min(fewestOpen, crowd.open());
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
        }
    });
    Times fresh, kept;
    simkit::SimClient keptClient = sim.client();   // one connection, kept alive
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < end) {
        simkit::SimClient client = sim.client();
        timeGet(client, fresh);
        timeGet(keptClient, kept);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    done = true;
    attacker.join();

    std::printf("hostile connections: %zu opened at the start, at least %zu open after each round of reopening; "
                "closed at their deadline and opened again in %d s: %zu slow TLS senders, %zu never past TLS\n",
                opened, fewestOpen, seconds, crowd.slowClosed(), crowd.idleClosed());
    std::printf("simulator peak memory (VmHWM): %ld KiB before the crowd, %ld KiB with it\n\n", idlePeak,
                peakKiB(sim.pid()));
    std::printf("| real client's GET | requests | median ms | 95th ms | max ms | failed |\n|---|---|---|---|---|---|\n");
    quiet.print("new connection, no crowd");
    fresh.print("new connection, under the crowd");
    kept.print("kept-alive connection, under the crowd");
    return 0;
}
