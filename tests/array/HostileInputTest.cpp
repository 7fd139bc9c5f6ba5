// hnas-arraysim under hostile or careless input: each case gets a clear
// answer and the process stays up and keeps serving. Deep JSON, bodies over
// the limit however framed, header blocks too long or with too many lines,
// connections that never start TLS or send their request a byte at a time,
// a second simulator on one state file, names with control characters, an
// empty password, a full disk, and a call record that does not grow without end.
#include <arpa/inet.h>
#include <poll.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "arraysim/model/ArrayOps.h"
#include "arraysim/server/JsonValues.h"
#include "tests/support/HostileCrowd.h"
#include "tests/support/SimProcess.h"
#include "tests/support/TempDirectory.h"
#include "tests/support/TestCertificates.h"

using arraysim::Json;

namespace {

const char kToken[] = "admin-secret";
const char kSeed[] = R"json({"arrays": [
  {"name": "hnas1", "user": "supervisor", "password": "pw1",
   "virtualServers": [{"virtualServerId": 1, "name": "evs1", "ipAddresses": ["192.0.2.10"]}],
   "filesystems": [{"label": "fs1", "virtualServerId": 1}]}]})json";
const simkit::HttpHeaders kStorageUser{{"X-Subsystem-User", "supervisor"}, {"X-Subsystem-Password", "pw1"}};
const simkit::HttpHeaders kAdmin{{"X-Admin-Token", kToken}};

// The most memory the process has held (VmHWM), in KiB; 0 when unknown.
long peakKiB(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.compare(0, 6, "VmHWM:") == 0) return std::atol(line.c_str() + 6);
    }
    return 0;
}

// Sends `prefix`, `piece` `count` times and `suffix` on a new TLS
// connection, and stops sending once the simulator answers (or closes); the
// answer read then.
std::string answerTo(int port, const std::string& prefix, const std::string& piece, size_t count,
                     const std::string& suffix) {
    testsupport::TlsLink link;
    if (!link.open(port) || !link.send(prefix)) return "";
    bool answered = false;
    for (size_t i = 0; i < count && !answered; ++i) {
        answered = link.readable(0) || !link.send(piece);
    }
    if (!answered) link.send(suffix);
    return link.readAll(5000);
}

class HostileInputTest : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::writeFile(dir.file("seed.json"), kSeed);
        ASSERT_TRUE(start());
        const auto r = sim.client().get("/v7/storage/filesystems?label=fs1", kStorageUser);
        ASSERT_TRUE(r) << r.error;
        Json body;
        ASSERT_TRUE(arraysim::parseJson(r.body, body));
        fs1 = body["filesystems"][0]["filesystemId"].get<std::string>();
    }

    bool start(const std::vector<std::string>& extra = {}) {
        std::vector<std::string> args = {"--state", dir.file("state.db"), "--seed", dir.file("seed.json"),
                                         "--admin-token", kToken};
        args.insert(args.end(), extra.begin(), extra.end());
        return testsupport::startSim(sim, args);
    }

    // Status of a POST of `body` to a storage path (0: no answer).
    int post(const std::string& resource, const std::string& body, const simkit::HttpHeaders& headers = kStorageUser) {
        return sim.client().post("/v7/storage/" + resource, headers, body).status;
    }

    int createSnapshot(const std::string& name) {
        return post("filesystem-snapshots", Json{{"filesystemId", fs1}, {"displayName", name}}.dump());
    }

    // Whether the simulator still answers a plain read.
    bool serving() {
        return sim.client().get("/v7/storage/virtual-servers", kStorageUser).status == 200;
    }

    Json adminGet(const std::string& path) {
        const auto r = sim.client().get("/admin/" + path, kAdmin);
        Json body;
        if (r) arraysim::parseJson(r.body, body);
        return body;
    }

    testsupport::TempDirectory dir;
    simkit::SimProcess sim;
    std::string fs1;
};

}  // namespace

TEST_F(HostileInputTest, DeepJsonIsRefusedWithoutHarm) {
    const std::string deep = std::string(100000, '[') + std::string(100000, ']');
    const std::string nested = "{\"filesystemId\":\"" + fs1 + "\",\"displayName\":\"d\",\"x\":" + deep + "}";
    EXPECT_EQ(post("filesystem-snapshots", nested), 400);
    EXPECT_EQ(post("filesystem-shares/cifs", deep), 400);
    const auto seed = sim.client().post("/admin/seed", kAdmin, deep);
    ASSERT_TRUE(seed) << seed.error;
    EXPECT_EQ(seed.status, 400);
    // Nesting up to the limit is still read; brackets inside strings do not count.
    const std::string within = std::string(arraysim::kMaxJsonDepth - 1, '[') + std::string(arraysim::kMaxJsonDepth - 1, ']');
    EXPECT_EQ(post("filesystem-snapshots",
                   "{\"filesystemId\":\"" + fs1 + "\",\"displayName\":\"[[[\",\"x\":" + within + "}"),
              201);
    EXPECT_TRUE(arraysim::nestingWithin("\"" + std::string(1000, '{') + "\"", 1));
    EXPECT_FALSE(arraysim::nestingWithin("[[]]", 1));
    EXPECT_TRUE(serving());
}

TEST_F(HostileInputTest, BodiesOverTheLimitGet413HoweverFramedAndMultipartOnes415) {
    // Chunked in pieces of 64 KiB: refused once the limit is passed, not
    // after the whole body was read.
    auto chunked = [](size_t total) {
        return [total, sent = size_t(0)](std::string& bytes) mutable {
            if (sent >= total) return false;
            bytes.assign(64 * 1024, 'x');
            sent += bytes.size();
            return true;
        };
    };
    auto r = sim.client().postChunked("/v7/storage/filesystem-snapshots", kStorageUser, chunked(4 << 20));
    ASSERT_TRUE(r) << r.error;
    EXPECT_EQ(r.status, 413);
    // The same on an admin path and on a storage path no route takes.
    for (const auto& [path, headers] : {std::make_pair("/admin/seed", kAdmin),
                                         std::make_pair("/v7/storage/no-such-thing", kStorageUser)}) {
        SCOPED_TRACE(path);
        r = sim.client().postChunked(path, headers, chunked(4 << 20));
        ASSERT_TRUE(r) << r.error;
        EXPECT_EQ(r.status, 413);
    }
    // A declared length over the limit is refused before the body is read.
    r = sim.client().post("/v7/storage/filesystem-snapshots", kStorageUser, std::string((1 << 20) + 1, ' '));
    ASSERT_TRUE(r) << r.error;
    EXPECT_EQ(r.status, 413);
    // A chunked body within the limit is read.
    const std::string small = Json{{"filesystemId", fs1}, {"displayName", "chunked"}}.dump();
    r = sim.client().postChunked("/v7/storage/filesystem-snapshots", kStorageUser,
                                 [&small, given = false](std::string& bytes) mutable {
                                     if (given) return false;
                                     bytes = small;
                                     given = true;
                                     return true;
                                 });
    ASSERT_TRUE(r) << r.error;
    EXPECT_EQ(r.status, 201);
    // A multipart body is refused whatever its size.
    r = sim.client().post("/v7/storage/filesystem-snapshots", kStorageUser, "--b\r\n\r\n{}\r\n--b--\r\n",
                          "multipart/form-data; boundary=b");
    ASSERT_TRUE(r) << r.error;
    EXPECT_EQ(r.status, 415);

    // A large chunked body leaves the simulator's memory where it was: the
    // client may see the connection end before it finished sending.
    const long before = peakKiB(sim.pid());
    sim.client().postChunked("/v7/storage/filesystem-snapshots", kStorageUser, chunked(256 << 20));
    EXPECT_LT(peakKiB(sim.pid()) - before, 32 * 1024);
    EXPECT_TRUE(serving());
}

namespace {

// The resident memory of the process (VmRSS), in KiB; 0 when unknown.
long residentKiB(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.compare(0, 6, "VmRSS:") == 0) return std::atol(line.c_str() + 6);
    }
    return 0;
}

// The head of a POST that announces a body of `length` bytes.
std::string postHead(const std::string& path, const std::string& headers, size_t length, bool expectContinue) {
    return "POST " + path + " HTTP/1.1\r\nHost: sim\r\n" + headers + "Content-Type: application/json\r\n" +
           "Content-Length: " + std::to_string(length) + "\r\n" + (expectContinue ? "Expect: 100-continue\r\n" : "") +
           "\r\n";
}

const char kGoodUser[] = "X-Subsystem-User: supervisor\r\nX-Subsystem-Password: pw1\r\n";

// A client invited to send a body, which sends all of it but the last byte
// and then stalls.
struct StalledBody {
    testsupport::TlsLink link;
    bool start(int port, size_t length) {
        const char invited[] = "HTTP/1.1 100 Continue\r\n\r\n";
        return link.open(port) && link.send(postHead("/v7/storage/filesystem-snapshots", kGoodUser, length, true)) &&
               link.readUntil(invited, 5000) == invited && link.send(std::string(length - 1, ' '));
    }
};

}  // namespace

TEST_F(HostileInputTest, ABodyIsInvitedAndReadOnlyForAHeadWithCredentials) {
    // Each head announces 1,000,000 bytes and asks to be invited; none of
    // the body is sent. Without credentials the answer comes from the head
    // alone, and no 100 Continue goes out first.
    struct Case {
        const char* path;
        std::string headers;
        const char* answer;
    };
    const Case cases[] = {
        {"/v7/storage/filesystem-snapshots", "", "HTTP/1.1 401"},
        {"/v7/storage/filesystem-snapshots", "X-Subsystem-User: supervisor\r\nX-Subsystem-Password: no\r\n",
         "HTTP/1.1 401"},
        {"/v7/storage/filesystem-snapshots", "X-Api-Key: not-a-key\r\n", "HTTP/1.1 401"},
        {"/admin/seed", "X-Admin-Token: wrong\r\n", "HTTP/1.1 401"},
        {"/elsewhere", "", "HTTP/1.1 404"},
        {"/v7/storage/filesystem-snapshots", kGoodUser, "HTTP/1.1 100 Continue"},
        {"/admin/seed", std::string("X-Admin-Token: ") + kToken + "\r\n", "HTTP/1.1 100 Continue"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.path) + " " + c.headers);
        for (bool expectContinue : {true, false}) {
            testsupport::TlsLink link;
            ASSERT_TRUE(link.open(sim.port()));
            ASSERT_TRUE(link.send(postHead(c.path, c.headers, 1000000, expectContinue)));
            const std::string answer = link.readAll(1000);
            if (!expectContinue && std::string(c.answer).find("100") != std::string::npos) {
                EXPECT_EQ(answer, "");   // the body is awaited
            } else {
                EXPECT_EQ(answer.compare(0, std::strlen(c.answer), c.answer), 0) << answer.substr(0, 200);
            }
        }
    }
    EXPECT_TRUE(serving());
}

TEST_F(HostileInputTest, BodiesInFlightShareOneBudgetAndGiveTheirMemoryBack) {
    sim.stop();
    ASSERT_TRUE(start({"--bodies-in-flight-bytes", "40000000"}));
    const long before = residentKiB(sim.pid());
    // Two crowds in turn, as memory once freed is kept for the next one: 40
    // clients with credentials each stall just short of the end of a body
    // of 1,000,000 bytes, and together they fill the budget.
    for (int wave = 0; wave < 2; ++wave) {
        SCOPED_TRACE(wave);
        std::vector<std::unique_ptr<StalledBody>> crowd;
        for (int i = 0; i < 40; ++i) {
            // The room of the last crowd's bodies may take a moment to come back.
            bool started = false;
            for (int attempt = 0; attempt < 30 && !started; ++attempt) {
                if (attempt > 0) std::this_thread::sleep_for(std::chrono::milliseconds(100));
                crowd.push_back(std::make_unique<StalledBody>());
                started = crowd.back()->start(sim.port(), 1000000);
                if (!started) crowd.pop_back();
            }
            ASSERT_TRUE(started) << i;
        }
        // One more is told to come back later, from its head alone.
        testsupport::TlsLink late;
        ASSERT_TRUE(late.open(sim.port()));
        ASSERT_TRUE(late.send(postHead("/v7/storage/filesystem-snapshots", kGoodUser, 1000000, true)));
        const std::string busy = late.readAll(2000);
        EXPECT_EQ(busy.compare(0, 12, "HTTP/1.1 503"), 0) << busy.substr(0, 200);
        EXPECT_NE(busy.find("Retry-After: 1"), std::string::npos);
        // Reads need no body and are served meanwhile.
        EXPECT_TRUE(serving());
        EXPECT_GT(residentKiB(sim.pid()) - before, 30 * 1024);
        // The crowd leaves: its bodies' room comes back.
        crowd.clear();
        int status = 0;
        for (int i = 0; i < 50 && status != 201; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            status = createSnapshot("after-crowd-" + std::to_string(wave) + "-" + std::to_string(i));
        }
        EXPECT_EQ(status, 201);
    }
    // And so does its memory.
#if defined(__SANITIZE_ADDRESS__)
    // AddressSanitizer's allocator keeps freed blocks in quarantine and
    // ignores the allocator settings the simulator makes.
    GTEST_SKIP() << "memory given back is not measured under AddressSanitizer";
#endif
    long after = residentKiB(sim.pid());
    for (int i = 0; i < 20 && after - before > 16 * 1024; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        after = residentKiB(sim.pid());
    }
    EXPECT_LT(after - before, 16 * 1024) << "before " << before << " KiB, after " << after << " KiB";
}

TEST_F(HostileInputTest, ConnectionsPastTheCapPushOutTheOldestHandshakeOrAreRefused) {
    sim.stop();
    ASSERT_TRUE(start({"--max-connections", "50"}));
    // 200 connections that never start TLS.
    std::vector<int> idle;
    for (int i = 0; i < 200; ++i) {
        const int fd = testsupport::connectLoopback(sim.port());
        ASSERT_GE(fd, 0);
        idle.push_back(fd);
    }
    // A real client gets in: the oldest connection still in its handshake
    // makes room for it.
    const auto r = sim.client().get("/v7/storage/virtual-servers", kStorageUser);
    ASSERT_TRUE(r) << r.error;
    EXPECT_EQ(r.status, 200);
    // The simulator holds no more than the cap: the others were closed at
    // once, long before their handshake deadline (5 s).
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    size_t closed = 0;
    for (int fd : idle) {
        pollfd p{fd, POLLIN, 0};
        char byte = 0;
        if (poll(&p, 1, 0) == 1 && read(fd, &byte, 1) <= 0) ++closed;
        close(fd);
    }
    EXPECT_GE(closed, 150u);
}

TEST_F(HostileInputTest, LongAnswersNotReadShareOneBudgetAndShortOnesAreAlwaysSent) {
    // 20,000 snapshots: a list of about 7 MB, far more than the sockets of
    // a reader that reads nothing take.
    Json snapshots = Json::array();
    for (int i = 0; i < 20000; ++i) {
        snapshots.push_back({{"filesystem", "fs1"}, {"appSearchId", "QZHNAS"},
                             {"displayName", "QZHNAS-" + std::to_string(100000 + i) + "-fs1"}, {"creationTime", 1700000000}});
    }
    Json seed;
    ASSERT_TRUE(arraysim::parseJson(kSeed, seed));
    seed["arrays"][0]["snapshots"] = snapshots;
    testsupport::writeFile(dir.file("big.json"), seed.dump());
    sim.stop();
    ASSERT_TRUE(testsupport::startSim(sim, {"--seed", dir.file("big.json"), "--answers-in-flight-bytes", "10000000"}));
    const auto fs = sim.client().get("/v7/storage/filesystems?label=fs1", kStorageUser);
    Json body;
    ASSERT_TRUE(arraysim::parseJson(fs.body, body));
    const std::string list = "/v7/storage/filesystems/" + body["filesystems"][0]["filesystemId"].get<std::string>() +
                             "/snapshots";
    const std::string get = "GET " + list + " HTTP/1.1\r\nHost: sim\r\n" + kGoodUser + "\r\n";
    // The first long answer takes the budget while its reader reads nothing.
    testsupport::TlsLink first;
    ASSERT_TRUE(first.open(sim.port()) && first.send(get));
    ASSERT_TRUE(first.readable(5000));
    // The next one is not sent: the reader is told to ask again.
    testsupport::TlsLink second;
    ASSERT_TRUE(second.open(sim.port()) && second.send(get));
    const std::string busy = second.readAll(1000);
    EXPECT_EQ(busy.compare(0, 12, "HTTP/1.1 503"), 0) << busy.substr(0, 200);
    EXPECT_NE(busy.find("Retry-After: 1"), std::string::npos);
    // A short answer is always sent.
    EXPECT_TRUE(serving());
    // Once the first reader goes, a long answer is sent whole.
    first.close();
    int status = 0;
    for (int i = 0; i < 50 && status != 200; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const auto r = sim.client().get(list, kStorageUser);
        status = r.status;
        if (status == 200) {
            EXPECT_GT(r.body.size(), 7000000u);
        }
    }
    EXPECT_EQ(status, 200);
}

TEST_F(HostileInputTest, ConnectionsThatNeverStartTlsDoNotHoldOthersUp) {
    std::vector<int> idle;
    for (int i = 0; i < 200; ++i) {
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<uint16_t>(sim.port()));
        ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
        idle.push_back(fd);
    }
    // The legitimate client is served within a second while all 200 are
    // open; with a pool of workers held by the idle ones it waited for their
    // time-out.
    simkit::SimClient client = sim.client();
    client.setConnectTimeout(1);
    client.setStallTimeout(1);
    const auto r = client.get("/v7/storage/virtual-servers", kStorageUser);
    ASSERT_TRUE(r) << r.error;
    EXPECT_EQ(r.status, 200);
    for (int fd : idle) close(fd);
}

TEST_F(HostileInputTest, HeaderBlocksAreBoundedInBytesAndLinesBeforeTheyAreHeld) {
    const std::string credentials = "X-Subsystem-User: supervisor\r\nX-Subsystem-Password: pw1\r\n";
    const std::string get =
        "GET /v7/storage/virtual-servers HTTP/1.1\r\nHost: x\r\nConnection: close\r\n" + credentials;
    const std::string big(64 * 1024, 'b');
    struct Case {
        const char* what;
        std::string prefix, piece;
        size_t count;
        const char* status;
    } cases[] = {
        // Host, Connection and the two credentials make four lines.
        {"100 header lines", get, "X-A: b\r\n", 96, "HTTP/1.1 200"},
        {"101 header lines", get, "X-A: b\r\n", 97, "HTTP/1.1 431"},
        {"60,000 lines of 4 KiB", get, "X-Pad: " + std::string(4096, 'p') + "\r\n", 60000, "HTTP/1.1 431"},
        {"one header line of 100 MiB", get + "X-Big: ", big, 1600, "HTTP/1.1 431"},
        {"a request line of 100 MiB", "GET /", big, 1600, "HTTP/1.1 431"},
        {"lines within the bytes but 20 KiB in all", get, "X-Pad: " + std::string(1000, 'p') + "\r\n", 20,
         "HTTP/1.1 431"},
    };
    const long before = peakKiB(sim.pid());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string answer = answerTo(sim.port(), c.prefix, c.piece, c.count, "\r\n");
        EXPECT_EQ(answer.substr(0, 12), c.status) << answer.substr(0, 200);
    }
    // Nothing was held whole: the peak grew by far less than one such header.
    EXPECT_LT(peakKiB(sim.pid()) - before, 16 * 1024);
    EXPECT_TRUE(serving());
}

TEST_F(HostileInputTest, SlowAndIdleConnectionsAreClosedAtTheirDeadlineAndDoNotStarveRealClients) {
    const size_t slow = 1250, idle = 1250;
    if (!testsupport::raiseDescriptorLimit(slow + idle + 1024)) GTEST_SKIP() << "too few descriptors allowed";
    testsupport::HostileCrowd crowd(sim.port(), slow, idle);
    crowd.topUp();
    ASSERT_EQ(crowd.open(), slow + idle);
    // The crowd sends a byte on each connection every half second and opens
    // again at once each connection the simulator closed.
    std::atomic<bool> done{false};
    std::thread attacker([&] {
        while (!done) {
            crowd.tick();
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
        }
    });
    // Past every deadline (5 s each for the handshake and the request), a
    // real client on a new connection is served each time.
    int served = 0, refused = 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(13);
    while (std::chrono::steady_clock::now() < end) {
        simkit::SimClient client = sim.client();
        client.setConnectTimeout(3);
        client.setStallTimeout(3);
        (client.get("/v7/storage/virtual-servers", kStorageUser).status == 200 ? served : refused) += 1;
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
    done = true;
    attacker.join();
    EXPECT_EQ(refused, 0);
    EXPECT_GT(served, 10);
    // Every slow sender and every connection that never finished TLS was
    // closed at its deadline although it kept sending (a time-out per read
    // would have kept them all).
    EXPECT_GE(crowd.slowClosed(), slow);
    EXPECT_GE(crowd.idleClosed(), idle);
    EXPECT_GT(crowd.open(), (slow + idle) * 9 / 10);
}

// A share on a path of 12,000 pieces once recorded each parent as its full
// path: 414 MB of memory and a 443 MB state file, kept after the share went.
TEST_F(HostileInputTest, ADeepShareDirectoryCostsItsPathOnceAndGoesWithTheShare) {
    std::string deep;
    for (int i = 0; i < 12000; ++i) deep += "\\d";
    const long before = peakKiB(sim.pid());
    ASSERT_EQ(post("filesystem-shares/cifs", Json{{"virtualServerId", 1}, {"name", "deep"}, {"filesystemId", fs1},
                                                 {"filesystemPath", deep}, {"ensurePathExists", true}}
                                                .dump()),
              201);
    EXPECT_LT(peakKiB(sim.pid()) - before, 16 * 1024);
    auto stateBytes = [&] {
        struct stat main {}, wal {};
        stat(dir.file("state.db").c_str(), &main);
        stat(dir.file("state.db-wal").c_str(), &wal);
        return main.st_size + wal.st_size;
    };
    EXPECT_LT(stateBytes(), 4 << 20);
    Json state = adminGet("state");
    ASSERT_EQ(state["arrays"][0]["filesystems"][0]["directories"].size(), 1u);
    EXPECT_EQ(state["arrays"][0]["filesystems"][0]["directories"][0].get<std::string>().size(), deep.size());

    const auto found = sim.client().get("/v7/storage/virtual-servers/1/cifs?name=deep", kStorageUser);
    ASSERT_TRUE(found) << found.error;
    Json list;
    ASSERT_TRUE(arraysim::parseJson(found.body, list));
    const std::string objectId = list["filesystemShares"][0]["objectId"].get<std::string>();
    const auto deleted = sim.client().del("/v7/storage/filesystem-shares/cifs/" + objectId, kStorageUser);
    ASSERT_TRUE(deleted) << deleted.error;
    EXPECT_EQ(deleted.status, 204);
    EXPECT_EQ(adminGet("state")["arrays"][0]["filesystems"][0].count("directories"), 0u);
}

TEST_F(HostileInputTest, ASecondSimulatorOnTheStateFileRefusesToStart) {
    simkit::SimProcess second;
    EXPECT_FALSE(testsupport::startSim(second, {"--state", dir.file("state.db"), "--admin-token", kToken}));
    EXPECT_TRUE(serving());
    struct stat info {};
    ASSERT_EQ(stat(dir.file("state.db").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(HostileInputTest, ASecondSimulatorOnABusyPortRefusesToStart) {
    // The second one gets its own state: only the port is shared.
    const std::string port = std::to_string(sim.port());
    std::string out, err;
    EXPECT_EQ(testsupport::runSimulatorOnce({"--cert", testsupport::certDir() + "/server.pem", "--key",
                                             testsupport::certDir() + "/server.key", "--port", port,
                                             "--state", dir.file("second.db")},
                                            out, err),
              2);
    EXPECT_EQ(out, "");
    EXPECT_NE(err.find("cannot listen on 127.0.0.1:" + port + ": Address already in use"), std::string::npos) << err;
    // Every request still reaches the first one: its call record sees them all.
    sim.client().del("/admin/calls", kAdmin);
    for (int i = 0; i < 20; ++i) ASSERT_TRUE(serving());
    EXPECT_EQ(adminGet("calls")["total"], 20);
}

std::string readText(const std::string& path) {
    std::ifstream in(path);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// A co-tenant plants files where the state would go; the simulator refuses
// to start, says why, and writes nothing through a link. Files of another
// user are made by chown, so those cases need root (as the tests run).
TEST_F(HostileInputTest, TheStateIsKeptOnlyInPrivatePlacesAndNeverThroughALink) {
    const uid_t other = 4242;
    int n = 0;
    // A fresh directory of this user, mode 0700, for one case.
    auto place = [&](mode_t mode = 0700) {
        const std::string d = dir.file("place" + std::to_string(++n));
        mkdir(d.c_str(), 0700);
        chmod(d.c_str(), mode);
        return d;
    };
    auto plant = [&](const std::string& path, mode_t mode, uid_t owner) {
        testsupport::writeFile(path, "planted");
        chmod(path.c_str(), mode);
        return chown(path.c_str(), owner, owner) == 0;
    };
    struct Case {
        const char* what;
        bool needsRoot;
        std::function<std::string()> setUp;   // the state path
        const char* reason;
    } cases[] = {
        {"a directory others may write", false, [&] { return place(0777) + "/sim.db"; }, "is writable by other users"},
        {"a sticky shared directory, as /tmp", false, [&] { return place(01777) + "/sim.db"; },
         "is writable by other users"},
        {"a directory of another user", true,
         [&] {
             const std::string d = place(0755);
             chown(d.c_str(), other, other);
             return d + "/sim.db";
         },
         "belongs to another user"},
        {"a state file of another user", true,
         [&] {
             const std::string path = place() + "/sim.db";
             plant(path, 0600, other);
             return path;
         },
         "belongs to another user"},
        {"a state file others may write", false,
         [&] {
             const std::string path = place() + "/sim.db";
             plant(path, 0666, geteuid());
             return path;
         },
         "is writable by other users"},
        {"a -wal of another user, held open or not", true,
         [&] {
             const std::string path = place() + "/sim.db";
             plant(path + "-wal", 0666, other);
             return path;
         },
         "belongs to another user"},
        {"a link as the state file", false,
         [&] {
             const std::string d = place();
             testsupport::writeFile(d + "/victim", "victim");
             symlink((d + "/victim").c_str(), (d + "/sim.db").c_str());
             return d + "/sim.db";
         },
         "is a symbolic link"},
        {"a dangling link as the state file", false,
         [&] {
             const std::string d = place();
             symlink((d + "/victim").c_str(), (d + "/sim.db").c_str());
             return d + "/sim.db";
         },
         "is a symbolic link"},
        {"a link as the -shm", false,
         [&] {
             const std::string d = place();
             testsupport::writeFile(d + "/victim", "victim");
             symlink((d + "/victim").c_str(), (d + "/sim.db-shm").c_str());
             return d + "/sim.db";
         },
         "is a symbolic link"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.needsRoot && geteuid() != 0) continue;
        const std::string state = c.setUp();
        std::string out, err;
        EXPECT_EQ(testsupport::runSimulatorOnce({"--cert", testsupport::certDir() + "/server.pem", "--key",
                                                 testsupport::certDir() + "/server.key", "--port", "0", "--state",
                                                 state},
                                                out, err),
                  2);
        EXPECT_NE(err.find(c.reason), std::string::npos) << err;
        // What a link names is untouched (or still absent).
        const std::string victim = readText(state.substr(0, state.rfind('/')) + "/victim");
        EXPECT_TRUE(victim.empty() || victim == "victim") << victim;
    }

    // The ready file and its .tmp planted as links: the links are replaced,
    // what they name is left alone.
    const std::string d = place();
    testsupport::writeFile(d + "/victim", "victim");
    symlink((d + "/victim").c_str(), (d + "/ready").c_str());
    symlink((d + "/victim").c_str(), (d + "/ready.tmp").c_str());
    simkit::SimProcess ready;
    ASSERT_TRUE(testsupport::startSim(ready, {"--ready-file", d + "/ready"}));
    EXPECT_EQ(readText(d + "/victim"), "victim");
    EXPECT_EQ(readText(d + "/ready"), std::to_string(ready.port()) + "\n");
    struct stat info {};
    ASSERT_EQ(lstat((d + "/ready").c_str(), &info), 0);
    EXPECT_TRUE(S_ISREG(info.st_mode));
    EXPECT_NE(lstat((d + "/ready.tmp").c_str(), &info), 0);
}

// A command line is visible to every user of the host: the token given
// there is warned about, the one from the environment is not, and works.
TEST_F(HostileInputTest, TheAdminTokenOnTheCommandLineIsWarnedAboutAndTheEnvironmentIsTheWay) {
    const std::string warning = "--admin-token shows the token to every user of the host";
    // Both runs stop at a missing certificate, after the options were read.
    const std::vector<std::string> failing = {"--cert", dir.file("none.pem"), "--key", dir.file("none.key")};
    std::vector<std::string> onCommandLine = failing;
    onCommandLine.insert(onCommandLine.end(), {"--admin-token", "visible"});
    std::string out, err;
    EXPECT_EQ(testsupport::runSimulatorOnce(onCommandLine, out, err), 2);
    EXPECT_NE(err.find(warning), std::string::npos) << err;
    EXPECT_EQ(err.find("visible"), std::string::npos) << err;

    ASSERT_EQ(setenv("HNAS_ARRAYSIM_ADMIN_TOKEN", "from-environment", 1), 0);
    EXPECT_EQ(testsupport::runSimulatorOnce(failing, out, err), 2);
    EXPECT_EQ(err.find(warning), std::string::npos) << err;
    simkit::SimProcess quiet;
    const bool started = testsupport::startSim(quiet, {});
    unsetenv("HNAS_ARRAYSIM_ADMIN_TOKEN");
    ASSERT_TRUE(started);
    const auto r = quiet.client().get("/admin/state", {{"X-Admin-Token", "from-environment"}});
    ASSERT_TRUE(r) << r.error;
    EXPECT_EQ(r.status, 200);
}

TEST_F(HostileInputTest, NamesWithControlCharactersAndEmptyPasswordsAreRefused) {
    const std::string good = R"("name":"x","user":"ux","password":"p")";
    struct Case {
        const char* what;
        std::string array;   // the members of one array in a seed
    } cases[] = {
        {"NUL in the array name", R"("name":"hn\u0000as","user":"ux","password":"p")"},
        {"control character in the user", R"("name":"x","user":"u\nx","password":"p")"},
        {"empty password", R"("name":"x","user":"ux","password":"")"},
        {"control character in a server name",
         good + R"(,"virtualServers":[{"virtualServerId":1,"name":"e\tvs"}])"},
        {"control character in a label",
         good + R"(,"virtualServers":[{"virtualServerId":1}],"filesystems":[{"label":"f\u0001","virtualServerId":1}])"},
        {"control character in a snapshot name",
         good + R"(,"virtualServers":[{"virtualServerId":1}],"filesystems":[{"label":"f","virtualServerId":1}],)"
                R"("snapshots":[{"filesystem":"f","displayName":"s\u007f"}])"},
        {"control character in a principal",
         good + R"(,"virtualServers":[{"virtualServerId":1}],"filesystems":[{"label":"f","virtualServerId":1}],)"
                R"("shares":[{"protocol":"CIFS","name":"s","virtualServerId":1,"filesystem":"f","path":"\\s",)"
                R"("authentications":[{"name":"Every\u0000one","permission":8}]}])"},
    };
    const Json before = adminGet("state");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto r = sim.client().post("/admin/seed", kAdmin, "{\"arrays\":[{" + c.array + "}]}");
        ASSERT_TRUE(r) << r.error;
        EXPECT_EQ(r.status, 400) << r.body;
    }
    EXPECT_EQ(adminGet("state"), before);
    // A request with no password header does not reach an array.
    EXPECT_EQ(post("filesystem-snapshots", "{}", {{"X-Subsystem-User", "ux"}}), 401);
}

TEST_F(HostileInputTest, SnapshotNamesHaveALengthAndCharacterLimit) {
    // The stored name is "QZHNAS-" + displayName: 7 bytes more.
    auto create = [&](const std::string& name) {
        return post("filesystem-snapshots", Json{{"filesystemId", fs1}, {"displayName", name}, {"appSearchId", "QZHNAS"}}.dump());
    };
    EXPECT_EQ(create(std::string(arraymodel::kMaxSnapshotNameBytes - 7, 'a')), 201);
    EXPECT_EQ(create(std::string(arraymodel::kMaxSnapshotNameBytes - 6, 'b')), 400);
    for (const char* bad : {"a/b", "a\\b", "a\tb", "a\x7f"}) {
        SCOPED_TRACE(bad);
        EXPECT_EQ(create(bad), 400);
    }
    EXPECT_EQ(post("filesystem-snapshots", Json{{"filesystemId", fs1}, {"displayName", "x"}, {"appSearchId", "Q\nZ"}}.dump()), 400);
}

TEST_F(HostileInputTest, AFullDiskRefusesTheChangeAndKeepsMemoryAndFileInStep) {
    sim.stop();
    ASSERT_TRUE(start({"--state-limit-bytes", "1"}));
    Json before;
    int status = 201;
    for (int i = 0; i < 2000 && status == 201; ++i) {
        before = adminGet("state");
        status = createSnapshot(std::string(200, 'n') + std::to_string(i));
    }
    EXPECT_EQ(status, 500);
    EXPECT_EQ(adminGet("state"), before);
    sim.stop();
    ASSERT_TRUE(start());
    EXPECT_EQ(adminGet("state"), before);
}

TEST_F(HostileInputTest, TheCallRecordKeepsTheLastCallsAndShortHeaders) {
    sim.stop();
    ASSERT_TRUE(start({"--calls-kept", "3"}));
    const std::string longUser(1000, 'u');
    for (int i = 0; i < 5; ++i) sim.client().get("/v7/storage/virtual-servers", {{"X-Subsystem-User", longUser}});
    const Json calls = adminGet("calls");
    ASSERT_EQ(calls["calls"].size(), 3u);
    EXPECT_EQ(calls["total"], 5);
    EXPECT_EQ(calls["calls"][0]["user"].get<std::string>().size(), 64u);
    EXPECT_EQ(calls["calls"][0]["status"], 401);
    for (const char* bad : {"0", "x"}) {
        simkit::SimProcess refused;
        EXPECT_FALSE(testsupport::startSim(refused, {"--calls-kept", bad}));
    }
}
