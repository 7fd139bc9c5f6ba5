// Arrays as an operator keeps them, against hnas-arraysim: each array
// reached with its own API key or password, and no other; check-array naming
// the credential it sent; key files others may read warned about on the
// terminal; update-array rotating a key and a password for the next job;
// remove-array refused while a device is attached; and the messages of the
// command line (help, --store, a store of another user).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <set>

#include "syskit/ChildProcess.h"
#include "harness/demo/WorkspaceFiles.h"
#include "harness/framework/ExitCodes.h"
#include "simkit/SimAdmin.h"
#include "tests/e2e/E2eSupport.h"
#include "tests/support/TempDirectory.h"

namespace {

// Two arrays on one simulator, each with its own key; their users' passwords
// are never given to the host except where a test rotates one in.
const char kSeed[] = R"JSON({"arrays": [
  {"name": "hnasa", "user": "admin-a", "password": "Pw-a-1", "apiKeys": [{"key": "key-a-good"}],
   "virtualServers": [{"virtualServerId": 1, "name": "evs-a", "ipAddresses": ["127.0.1.61"]}],
   "filesystems": [{"label": "fa", "virtualServerId": 1}]},
  {"name": "hnasb", "user": "admin-b", "password": "Pw-b-1", "apiKeys": [{"key": "key-b-good"}],
   "virtualServers": [{"virtualServerId": 1, "name": "evs-b", "ipAddresses": ["127.0.1.62"]}],
   "filesystems": [{"label": "fb", "virtualServerId": 1}]}
]})JSON";

const char kReadableWarning[] = "is readable by other users of this host";

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::string privateFile(const std::string& path, const std::string& text, mode_t mode) {
    writeWholeFile(path, text);
    chmod(path.c_str(), mode);
    return path;
}

// Everyone who made a storage call since the record was cleared: the
// simulator names the array's user for a call made with a key.
std::set<std::string> callers(const simkit::SimProcess& sim) {
    std::set<std::string> users;
    const nlohmann::json calls = simkit::adminJson(sim, "GET", "/admin/calls");
    if (calls.is_object() && calls.contains("calls"))
        for (const auto& call : calls["calls"]) users.insert(call.value("user", std::string()));
    return users;
}

std::vector<std::string> addWithKey(const std::string& name, const std::string& arrayId, const std::string& host,
                                    int id, const std::string& keyFile, int port) {
    return {"add-array", name, "--array-id", arrayId, "--control-host", host, "--control-host-id", std::to_string(id),
            "--api-key-file", keyFile, "--address", "127.0.0.1", "--port", std::to_string(port)};
}

TEST(ArrayAdmin, EachArrayIsReachedWithItsOwnCredentialAndChangesTakeEffectAtTheNextJob) {
    e2e::World world(kSeed);
    ASSERT_TRUE(world.ok()) << world.error();
    const std::string dir = world.directory();
    const int port = world.simulator().port();
    const std::string staleKey = privateFile(dir + "/a-stale.key", "key-a-old\n", 0600);
    const std::string keyA = privateFile(dir + "/a.key", "key-a-good\n", 0600);
    const std::string keyB = privateFile(dir + "/b.key", "key-b-good\n", 0644);

    // Added with keys, no user or password; b's key file others may read.
    e2e::HostRun run = world.host(addWithKey("hnasa", "evs-a", "hnas-a.test", 1, staleKey, port));
    ASSERT_EQ(kExitOk, run.exitCode) << run.output;
    EXPECT_FALSE(has(run.output, kReadableWarning)) << run.output;
    run = world.host(addWithKey("hnasb", "evs-b", "hnas-b.test", 2, keyB, port));
    ASSERT_EQ(kExitOk, run.exitCode) << run.output;
    EXPECT_TRUE(has(run.output, "hnas-host: warning: the API key file [" + keyB + "] of array hnasb " +
                                    kReadableWarning))
        << run.output;

    // One control host and port cannot carry two credentials.
    writeWholeFile(dir + "/pw", "Pw-a-1\n");
    run = world.host({"add-array", "hnasc", "--array-id", "evs-a", "--control-host", "hnas-a.test",
                      "--control-host-id", "3", "--user", "admin-a", "--password-file", dir + "/pw", "--address",
                      "127.0.0.1", "--port", std::to_string(port)});
    EXPECT_EQ(kExitBadInput, run.exitCode) << run.output;
    EXPECT_TRUE(has(run.output, "array hnasa has the same control host and port (hnas-a.test:" +
                                    std::to_string(port) + ")"))
        << run.output;

    // check-array names the credential it sent, for each array.
    run = world.host({"check-array", "hnasa"});
    EXPECT_EQ(kExitCheckFailed, run.exitCode) << run.output;
    EXPECT_TRUE(has(run.output, "API key from " + staleKey)) << run.output;
    EXPECT_TRUE(has(run.output, "FAIL  credentials accepted")) << run.output;
    EXPECT_TRUE(has(run.output, "update-array hnasa --api-key-file")) << run.output;
    run = world.host({"check-array", "hnasb"});
    EXPECT_EQ(kExitOk, run.exitCode) << run.output;
    EXPECT_TRUE(has(run.output, "API key from " + keyB)) << run.output;
    EXPECT_TRUE(has(run.output, kReadableWarning)) << run.output;

    // The key rotated by update-array is the one the next job sends.
    ASSERT_EQ(kExitOk, world.addDevice("dev-a", "{type:native_hnas,path:/__VOLUME__/fa/data,targethostname:hnasa}")
                           .exitCode);
    ASSERT_EQ(kExitOk, world.addDevice("dev-b", "{type:native_hnas,path:/__VOLUME__/fb/data,targethostname:hnasb}")
                           .exitCode);
    EXPECT_EQ(kExitAllFailed, world.job("prepare", {"dev-a"}).exitCode);
    run = world.host({"update-array", "hnasa", "--api-key-file", keyA});
    ASSERT_EQ(kExitOk, run.exitCode) << run.output;
    EXPECT_TRUE(has(run.output, "updated array hnasa (control host ID 1, API key from " + keyA + ")")) << run.output;

    // Both arrays work in one job, each with its own key: a key sent to the
    // other array would select the array it belongs to, which has no such
    // file system. The job warns about b's key file on the terminal.
    world.clearCalls();
    run = world.job("prepare", {"dev-a", "dev-b"});
    EXPECT_EQ(kExitOk, run.exitCode) << run.output;
    EXPECT_TRUE(has(run.output, "hnas-host: warning: the API key file [" + keyB + "]")) << run.output;
    EXPECT_EQ(kExitOk, world.job("snap", {"dev-a", "dev-b"}).exitCode);
    EXPECT_EQ((std::set<std::string>{"admin-a", "admin-b"}), callers(world.simulator()));

    // A password rotated in: wrong, the next job fails; right, it succeeds.
    writeWholeFile(dir + "/pw-wrong", "Pw-b-wrong\n");
    writeWholeFile(dir + "/pw-b", "Pw-b-1\n");
    run = world.host({"update-array", "hnasb", "--password-file", dir + "/pw-b"});
    EXPECT_EQ(kExitUsage, run.exitCode) << "an array reached with a key has no user to take";
    EXPECT_TRUE(has(run.output, "has no user")) << run.output;
    ASSERT_EQ(kExitOk, world.host({"update-array", "hnasb", "--user", "admin-b", "--password-file", dir + "/pw-wrong"})
                           .exitCode);
    EXPECT_EQ(kExitAllFailed, world.job("snap", {"dev-b"}).exitCode);
    ASSERT_EQ(kExitOk, world.host({"update-array", "hnasb", "--password-file", dir + "/pw-b"}).exitCode);
    run = world.host({"check-array", "hnasb"});
    EXPECT_EQ(kExitOk, run.exitCode) << run.output;
    EXPECT_TRUE(has(run.output, ", user admin-b\n")) << run.output;
    EXPECT_FALSE(has(run.output, kReadableWarning)) << "the key file is not used any more";
    EXPECT_EQ(kExitOk, world.job("snap", {"dev-b"}).exitCode);

    // An endpoint and configuration changed, then put back.
    run = world.host({"update-array", "hnasb", "--port", std::to_string(port == 65535 ? 1 : port + 1)});
    ASSERT_EQ(kExitOk, run.exitCode) << run.output;
    EXPECT_EQ(kExitCheckFailed, world.host({"check-array", "hnasb"}).exitCode);
    run = world.host({"update-array", "hnasb", "--unset-config", "SMCONFIG_NAME_METRO_SERVER_PORT", "--config",
                      "SMCONFIG_NAME_METRO_SERVER_PORT=" + std::to_string(port)});
    ASSERT_EQ(kExitOk, run.exitCode) << run.output;
    EXPECT_EQ(kExitBadInput, world.host({"update-array", "hnasb", "--unset-config", "NO_SUCH_CONFIG"}).exitCode);
    EXPECT_EQ(kExitOk, world.host({"check-array", "hnasb"}).exitCode);

    // remove-array: refused while a device is attached, done for one without.
    run = world.host({"remove-array", "hnasa"});
    EXPECT_EQ(kExitBadInput, run.exitCode) << run.output;
    EXPECT_TRUE(has(run.output, "array hnasa is attached to 1 device (dev-a)")) << run.output;
    ASSERT_EQ(kExitOk, world.host(addWithKey("spare", "evs-a", "hnas-spare.test", 9, keyA, port)).exitCode);
    EXPECT_EQ(kExitOk, world.host({"remove-array", "spare"}).exitCode);
    EXPECT_EQ(kExitBadInput, world.host({"remove-array", "spare"}).exitCode);
    run = world.host({"list-arrays"});
    EXPECT_TRUE(has(run.output, "hnasa") && !has(run.output, "spare")) << run.output;
    // Scripts see the kind of credential and the key file, never the key.
    run = world.host({"list-arrays", "--json"});
    EXPECT_TRUE(has(run.output, "\"credential\": \"apiKey\",\n      \"apiKeyFile\": \"" + keyA + "\"")) << run.output;
    EXPECT_FALSE(has(run.output, "key-a-good")) << run.output;
    EXPECT_EQ(kExitOk, world.job("delete", {"dev-a", "dev-b"}).exitCode);
}

// hnasa is reached with its user and password, hnasb with its key. A key
// for the client section is refused by set-setting; one a store holds all
// the same (an earlier version stored it) reaches no array that has a
// credential of its own: hnasa's jobs and check-array still use its user.
TEST(ArrayAdmin, AKeyForEveryArrayNeverReachesAnArrayWithItsOwnPassword) {
    e2e::World world(kSeed);
    ASSERT_TRUE(world.ok()) << world.error();
    const int port = world.simulator().port();
    const std::string keyB = privateFile(world.directory() + "/b.key", "key-b-good\n", 0600);
    ASSERT_EQ(kExitOk, world.addArray("hnasa", "evs-a", 1, "admin-a", "Pw-a-1").exitCode);
    ASSERT_EQ(kExitOk, world.host(addWithKey("hnasb", "evs-b", "hnas-b.test", 2, keyB, port)).exitCode);
    ASSERT_EQ(kExitOk, world.addDevice("dev-a", "{type:native_hnas,path:/__VOLUME__/fa/data,targethostname:hnasa}")
                           .exitCode);
    ASSERT_EQ(kExitOk, world.addDevice("dev-b", "{type:native_hnas,path:/__VOLUME__/fb/data,targethostname:hnasb}")
                           .exitCode);

    e2e::HostRun run = world.host({"set-setting", "~Vorlane/HNASClient", "sApiKeyFile", keyB});
    EXPECT_EQ(kExitBadInput, run.exitCode) << run.output;
    EXPECT_TRUE(has(run.output, "update-array NAME --api-key-file FILE")) << run.output;
    ASSERT_TRUE(world.storeSettingUnchecked({"~Vorlane/HNASClient", "sApiKeyFile", keyB}));

    run = world.host({"check-array", "hnasa"});
    EXPECT_EQ(kExitOk, run.exitCode) << run.output;
    EXPECT_TRUE(has(run.output, ", user admin-a\n")) << run.output;
    EXPECT_FALSE(has(run.output, "API key from")) << run.output;
    EXPECT_TRUE(has(run.output, "note  setting ignored: [~Vorlane/HNASClient] sApiKeyFile=" + keyB)) << run.output;
    world.clearCalls();
    run = world.job("prepare", {"dev-a", "dev-b"});
    EXPECT_EQ(kExitOk, run.exitCode) << run.output;
    EXPECT_EQ((std::set<std::string>{"admin-a", "admin-b"}), callers(world.simulator()));
    world.clearCalls();
    EXPECT_EQ(kExitOk, world.job("snap", {"dev-a"}).exitCode);
    EXPECT_EQ((std::set<std::string>{"admin-a"}), callers(world.simulator()));
}

// A key file the client would refuse is refused when the array is added,
// with the client's reason and never the key.
TEST(ArrayAdmin, AnUnusableKeyFileOrCredentialChoiceIsRefusedAtOnce) {
    testsupport::TempDirectory dir;
    const std::string store = dir.file("store");
    const std::string fifo = dir.file("fifo.key");
    ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
    ASSERT_EQ(0, symlink(privateFile(dir.file("real.key"), "Real-Key-1\n", 0600).c_str(), dir.file("link.key").c_str()));
    privateFile(dir.file("empty.key"), "\n", 0600);
    privateFile(dir.file("pw"), "pw\n", 0600);
    ASSERT_EQ(0, syskit::runProcess({HNAS_HOST_BINARY, "--store", store, "init"}, dir.file("init.out"), 20000).exitCode);
    const std::vector<std::string> add = {HNAS_HOST_BINARY, "--store", store, "add-array", "a", "--array-id", "evs1",
                                          "--control-host", "h", "--control-host-id", "1"};
    const struct {
        std::vector<std::string> options;
        int exitCode;
        const char* reason;
    } cases[] = {
        {{"--api-key-file", fifo}, kExitBadInput, "it is a FIFO, not a regular file"},
        {{"--api-key-file", dir.file("link.key")}, kExitBadInput, "it is a symbolic link"},
        {{"--api-key-file", dir.file("empty.key")}, kExitBadInput, "holds no key"},
        {{"--api-key-file", dir.file("real.key"), "--user", "u"}, kExitUsage, "--user goes with a password"},
        {{"--api-key-file", dir.file("real.key"), "--password-file", dir.file("pw")}, kExitUsage,
         "not --password-file and --api-key-file"},
        {{"--password-file", dir.file("pw")}, kExitUsage, "add-array needs --user with a password"},
        {{}, kExitUsage, "or --api-key-file"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> argv = add;
        argv.insert(argv.end(), c.options.begin(), c.options.end());
        SCOPED_TRACE(c.reason);
        const std::string output = dir.file("add.out");
        EXPECT_EQ(c.exitCode, syskit::runProcess(argv, output, 20000).exitCode);
        const std::string text = readWholeFile(output);
        EXPECT_TRUE(has(text, c.reason)) << text;
        EXPECT_FALSE(has(text, "Real-Key-1")) << text;
    }
}

// What runAsNobody returns when user 65534 cannot run the program at all, e.g.
// a build tree under a private directory; hnas-host never exits with it.
constexpr int kNobodyCannotRun = 126;

// hnas-host run as another user (uid 65534), for a store that user may not
// enter; the exit code, with the output in `output`.

int runAsNobody(const std::vector<std::string>& argv, const std::string& outputPath) {
    const pid_t child = fork();
    if (child == 0) {
        const int out = open(outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        if (out < 0 || dup2(out, 1) < 0 || dup2(out, 2) < 0 || setgid(65534) != 0 || setuid(65534) != 0) _exit(127);
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(kNobodyCannotRun);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

// The messages of the command line, each with its exit code.
TEST(CommandLineMessages, SayWhatIsWrongWithTheCommandOrTheStore) {
    testsupport::TempDirectory dir;
    const std::string store = dir.file("store");
    ASSERT_EQ(0, syskit::runProcess({HNAS_HOST_BINARY, "--store", store, "init"}, dir.file("init.out"), 20000).exitCode);
    const struct {
        std::vector<std::string> args;
        int exitCode;
        const char* says;
    } cases[] = {
        {{"-h"}, kExitOk, "usage: hnas-host [--store DIR]"},
        {{"add-array", "-h"}, kExitOk, "--api-key-file FILE"},
        {{"update-array", "-h"}, kExitOk, "--unset-config NAME"},
        {{"--store"}, kExitUsage, "--store needs a directory"},
        {{"--store="}, kExitUsage, "--store needs a directory"},
        {{"--store", "list-arrays"}, kExitUsage, "--store needs a directory"},
        {{"list-arrays", "--store"}, kExitUsage, "--store needs a value (DIR)"},
        {{"--store", dir.file("none"), "list-arrays"}, kExitNoStore, "no store in"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.says);
        std::vector<std::string> argv = {HNAS_HOST_BINARY};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        const std::string output = dir.file("run.out");
        EXPECT_EQ(c.exitCode, syskit::runProcess(argv, output, 20000).exitCode);
        EXPECT_TRUE(has(readWholeFile(output), c.says)) << readWholeFile(output);
    }

    if (geteuid() != 0) GTEST_SKIP() << "a store of another user needs root to make";
    // Another user sees this store's directory but may not enter it.
    ASSERT_EQ(0, chmod(dir.path().c_str(), 0755));
    const std::string output = dir.file("nobody.out");
    const int nobody = runAsNobody({HNAS_HOST_BINARY, "--store", store, "list-arrays"}, output);
    if (nobody != kNobodyCannotRun) {
        EXPECT_EQ(kExitHostError, nobody);
        EXPECT_TRUE(has(readWholeFile(output), "it belongs to user 0, not to you (user 65534)"))
            << readWholeFile(output);
    }

    // A database of another user in one's own store.
    ASSERT_EQ(0, chown((store + "/host.db").c_str(), 4242, 4242));
    EXPECT_EQ(kExitHostError, syskit::runProcess({HNAS_HOST_BINARY, "--store", store, "list-arrays"}, output, 20000).exitCode);
    EXPECT_TRUE(has(readWholeFile(output), "refusing the store database " + store + "/host.db: it belongs to user 4242"))
        << readWholeFile(output);
}

}  // namespace
