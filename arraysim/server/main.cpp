// hnas-arraysim: serves simulated HNAS arrays over HTTPS (docs/arraysim.md).
#include <malloc.h>
#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

#include "arraysim/model/ArraySeed.h"
#include "arraysim/server/AdminRoutes.h"
#include "arraysim/server/BodyGate.h"
#include "arraysim/server/BoundedBody.h"
#include "arraysim/server/HttpReplies.h"
#include "arraysim/server/HttpsServer.h"
#include "arraysim/server/SimContext.h"
#include "arraysim/server/StorageRoutes.h"
#include "arraysim/store/PrivatePlace.h"
#include "arraysim/store/SqliteStore.h"
#include "arraysim/server/StateJson.h"
#include "hnas/BuildVersion.h"

namespace {

const char kUsage[] =
    "usage: hnas-arraysim --cert FILE --key FILE [--address A] [--port P] [--state FILE]\n"
    "                     [--seed FILE] [--admin-token T] [--ready-file FILE]\n"
    "                     [--keep-alive-requests N] [--calls-kept N] [--state-limit-bytes N]\n"
    "                     [--max-allowed-connections N] [--max-connections N]\n"
    "                     [--bodies-in-flight-bytes N] [--answers-in-flight-bytes N]\n"
    "                     [--strict-snapshot-paths] [--ignore-no-default-security]\n"
    "       hnas-arraysim --version\n"
    "       hnas-arraysim --help | -h\n"
    "Give the admin token as $HNAS_ARRAYSIM_ADMIN_TOKEN: on the command line\n"
    "(--admin-token) every user of the host sees it in the process list.\n"
    "See man hnas-arraysim, and arraysim.md (/usr/share/doc/qzsnapenginehnas-harness when installed,\n"
    "docs/ in the source tree) for the options, the seed format and the admin interface.\n";
const char kTokenVariable[] = "HNAS_ARRAYSIM_ADMIN_TOKEN";
const char kTokenOnCommandLine[] =
    "hnas-arraysim: warning: --admin-token shows the token to every user of the host (ps, "
    "/proc/PID/cmdline); set HNAS_ARRAYSIM_ADMIN_TOKEN instead\n";

struct Options {
    std::string address = "127.0.0.1";
    int port = 8444;
    std::string cert;
    std::string key;
    std::string statePath;
    std::string seedPath;
    std::string adminToken;
    std::string readyFile;
    // Requests one kept-alive connection serves before the server closes it;
    // enough for a whole operation call on 32767 devices (map makes about 110000).
    int keepAliveRequests = 1000000;
    int callsKept = static_cast<int>(arraysim::kDefaultCallsKept);
    int maxAllowedConnections = 20;   // as the array's REST access settings report it
    int stateLimitBytes = 0;   // 0: no cap on the state file (tests of a full disk set one)
    // Bounds on what all clients together may make the server hold.
    int maxConnections = static_cast<int>(arraysim::HttpsLimits{}.connections);
    int bodiesBytes = static_cast<int>(arraysim::HttpsLimits{}.bodiesBytes);
    int answersBytes = static_cast<int>(arraysim::HttpsLimits{}.answersBytes);
    bool strictSnapshotPaths = false;   // shares created over the API only inside snapshots
    bool ignoreNoDefaultSecurity = false;   // act as an array that does not know noDefaultSecurity
    bool help = false;                      // --help or -h: print the usage and stop
};

// A decimal number from 1 to `most`.
bool parseCount(const std::string& text, int most, int& count) {
    if (text.empty() || text.size() > 9) return false;
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    if (value < 1 || value > most) return false;
    count = value;
    return true;
}

// An option that takes a count from 1 to `most`.
struct CountOption {
    const char* name;
    int most;
    const char* refusal;   // "bad <refusal> <value>"
    int Options::*field;
};

const CountOption kCountOptions[] = {
    {"--keep-alive-requests", 100000000, "request count", &Options::keepAliveRequests},
    {"--max-allowed-connections", static_cast<int>(arraysim::HttpsLimits{}.mostHandlers), "connection count",
     &Options::maxAllowedConnections},
    {"--max-connections", 1000000, "connection count", &Options::maxConnections},
    {"--calls-kept", 100000000, "call count", &Options::callsKept},
    {"--state-limit-bytes", 2000000000, "size", &Options::stateLimitBytes},
    {"--bodies-in-flight-bytes", 2000000000, "size", &Options::bodiesBytes},
    {"--answers-in-flight-bytes", 2000000000, "size", &Options::answersBytes},
};

// Reads the count option `name` when it is one; false with the refusal for
// a bad value. `known` tells whether `name` is a count option.
bool parseCountOption(const std::string& name, const std::string& value, Options& o, bool& known,
                      std::string& error) {
    known = false;
    for (const CountOption& option : kCountOptions) {
        if (name != option.name) continue;
        known = true;
        if (parseCount(value, option.most, o.*option.field)) return true;
        error = std::string("bad ") + option.refusal + " " + value;
        return false;
    }
    return true;
}

// A port, or 0 for any free one.
bool parsePort(const std::string& text, int& port) {
    if (text == "0") {
        port = 0;
        return true;
    }
    return parseCount(text, 65535, port);
}

bool parseOptions(int argc, char** argv, Options& o, std::string& error) {
    const char* token = std::getenv(kTokenVariable);
    if (token != nullptr) o.adminToken = token;
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        // The usage is asked for: the rest of the line does not matter.
        if (name == "--help" || name == "-h") {
            o.help = true;
            return true;
        }
        if (name == "--strict-snapshot-paths") {
            o.strictSnapshotPaths = true;
            continue;
        }
        if (name == "--ignore-no-default-security") {
            o.ignoreNoDefaultSecurity = true;
            continue;
        }
        if (i + 1 >= argc) {
            error = "missing value for " + name;
            return false;
        }
        const std::string value = argv[++i];
        bool counted = false;
        if (!parseCountOption(name, value, o, counted, error)) return false;
        if (counted) continue;
        if (name == "--address") o.address = value;
        else if (name == "--port") {
            if (!parsePort(value, o.port)) {
                error = "bad port " + value;
                return false;
            }
        } else if (name == "--cert") o.cert = value;
        else if (name == "--key") o.key = value;
        else if (name == "--state") o.statePath = value;
        else if (name == "--seed") o.seedPath = value;
        else if (name == "--admin-token") {
            o.adminToken = value;
            std::fputs(kTokenOnCommandLine, stderr);
        }
        else if (name == "--ready-file") o.readyFile = value;
        else {
            error = "unknown option " + name;
            return false;
        }
    }
    if (o.cert.empty() || o.key.empty()) {
        error = "--cert and --key are required";
        return false;
    }
    return true;
}

// Applies the seed file when the state holds no array yet.
bool applySeedFile(const std::string& path, arraysim::SimContext& context, std::string& error) {
    if (path.empty() || !context.state.arrays.empty()) return true;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot read seed file " + path;
        return false;
    }
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    arraysim::Json seed;
    std::vector<arraymodel::Array> arrays;
    if (!arraysim::parseJson(text, seed)) {
        error = "seed file is not JSON";
        return false;
    }
    if (!arraysim::arraysFromJson(seed, static_cast<uint64_t>(std::time(nullptr)), arrays, error)) return false;
    arraymodel::State next;
    const arraymodel::Result r = arraymodel::replaceArrays(next, arrays);
    if (!r.ok()) {
        error = r.message;
        return false;
    }
    if (context.store != nullptr && !context.store->replaceAll(next, error)) return false;
    context.state = next;
    return true;
}

// Each open connection takes a descriptor: the soft limit (often 1024) is
// raised to the hard one so that thousands of idle clients do not lock out
// the next one.
void raiseDescriptorLimit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= limit.rlim_max) return;
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
}

// Large blocks (request bodies, long answers) are mapped on their own and
// unmapped when freed, so that what a crowd of clients made the server take
// goes back to the system when it leaves; by default glibc raises this
// threshold as such blocks are freed, and then keeps them in its heap.
void returnLargeBlocks() { mallopt(M_MMAP_THRESHOLD, 128 * 1024); }

// The context the options ask for, with the state file's arrays (or the
// seed's, when it holds none).
bool setUp(const Options& options, arraysim::SimContext& context, std::unique_ptr<arraysim::SqliteStore>& store,
           std::string& error) {
    context.adminToken = options.adminToken;
    context.calls.kept = static_cast<size_t>(options.callsKept);
    context.maxAllowedConnections = options.maxAllowedConnections;
    // The requests it serves at once: one handler each.
    context.maxSupportedConnections = static_cast<int>(arraysim::HttpsLimits{}.mostHandlers);
    context.shareCreate.strictSnapshotPaths = options.strictSnapshotPaths;
    context.shareCreate.ignoreNoDefaultSecurity = options.ignoreNoDefaultSecurity;
    if (!options.statePath.empty()) {
        store = arraysim::SqliteStore::open(options.statePath, error);
        if (store == nullptr || !store->load(context.state, error) ||
            (options.stateLimitBytes > 0 && !store->limitSize(static_cast<uint64_t>(options.stateLimitBytes), error))) {
            return false;
        }
        context.store = store.get();
    }
    return applySeedFile(options.seedPath, context, error);
}

arraysim::HttpsLimits limitsOf(const Options& options, const arraysim::SimContext& context) {
    arraysim::HttpsLimits limits;
    limits.bodyBytes = context.maxBodyBytes;
    limits.keepAliveRequests = static_cast<size_t>(options.keepAliveRequests);
    limits.connections = static_cast<size_t>(options.maxConnections);
    limits.bodiesBytes = static_cast<size_t>(options.bodiesBytes);
    limits.answersBytes = static_cast<size_t>(options.answersBytes);
    return limits;
}

void addRoutes(arraysim::HttpsServer& server, arraysim::SimContext& context) {
    arraysim::addStorageRoutes(server, context);
    arraysim::addAdminRoutes(server, context);
    arraysim::addBodyBound(server, context.maxBodyBytes);
    arraysim::addBodyGate(server, context);
    // A request no route takes gets 404 with the error body of the API.
    server.setNotFound([](const arraysim::Request&, arraysim::Reply& reply) {
        arraysim::sendError(reply, reply.status(), arraysim::kNoSuchResource);
    });
}

int fail(const std::string& message) {
    std::fprintf(stderr, "hnas-arraysim: %s\n", message.c_str());
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::string(argv[1]) == "--version") {
        std::printf("hnas-arraysim %s\n", HNAS_VERSION_TEXT);
        return 0;
    }
    returnLargeBlocks();
    Options options;
    std::string error;
    if (!parseOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "hnas-arraysim: %s\n%s", error.c_str(), kUsage);
        return 2;
    }
    if (options.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    // A client that goes away must not kill the server; SIGINT and SIGTERM
    // are taken by one thread that stops the server.
    signal(SIGPIPE, SIG_IGN);
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    arraysim::SimContext context;
    std::unique_ptr<arraysim::SqliteStore> store;
    if (!setUp(options, context, store, error)) return fail(error);
    arraysim::HttpsServer server(limitsOf(options, context));
    if (!server.useCertificate(options.cert, options.key, error)) return fail(error);
    addRoutes(server, context);
    raiseDescriptorLimit();
    const int port = server.listen(options.address, options.port, error);
    if (port <= 0) {
        return fail("cannot listen on " + options.address + ":" + std::to_string(options.port) + ": " + error);
    }

    if (!options.readyFile.empty() &&
        !arraysim::writeFileWithoutLinks(options.readyFile, std::to_string(port) + "\n", error)) {
        return fail("cannot write ready file " + options.readyFile + ": " + error);
    }
    // Joined before the server goes: run() returns while stop() may still
    // be running on this thread.
    std::thread stopper([&server, &context, stopSignals] {
        int signalNumber = 0;
        sigwait(&stopSignals, &signalNumber);
        context.stop();
        server.stop();
    });
    const bool v6 = options.address.find(':') != std::string::npos;
    std::printf("hnas-arraysim listening on https://%s%s%s:%d\n", v6 ? "[" : "", options.address.c_str(),
                v6 ? "]" : "", port);
    std::fflush(stdout);
    server.run();
    stopper.join();
    return 0;
}
