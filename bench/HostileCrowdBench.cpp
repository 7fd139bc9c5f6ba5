// hnas-arraysim under hostile connections without credentials: half of them
// finish TLS and then send their request one byte at a time, the other half
// never finish TLS and send a byte now and then; every one the simulator
// closes at its deadline is opened again at once, so the count stays up.
// Meanwhile a real client sends a storage GET, on a new connection each time
// (handshake included) and on one kept-alive connection. Prints the
// simulator's peak memory (VmHWM) before and under the crowd, and the times
// of the real client's requests.
//
//   hnas_bench_hostile [connections] [seconds]   (default 2500 and 30)
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
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

long peakKiB(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.compare(0, 6, "VmHWM:") == 0) return std::atol(line.c_str() + 6);
    }
    return 0;
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

int main(int argc, char** argv) {
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
