#include "harness/demo/Simulator.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>

#include <httplib.h>

#include "harness/demo/Subprocess.h"
#include "harness/framework/PrivateFiles.h"
#include "harness/framework/RandomText.h"

namespace {

const char kAdminTokenVariable[] = "HNAS_ARRAYSIM_ADMIN_TOKEN";
const char kAdminTokenHeader[] = "X-Admin-Token";
const char kLoopback[] = "127.0.0.1";
const int kStartWaitMs = 15000;
const int kStopGraceMs = 5000;
const int kAdminTimeoutSecs = 10;

void sleepMs(int ms) {
    struct timespec pause = {ms / 1000, (ms % 1000) * 1000000L};
    nanosleep(&pause, nullptr);
}

int portIn(const std::string& text) {
    int port = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') break;
        port = port * 10 + (c - '0');
        if (port > 65535) return 0;
    }
    return port;
}

}  // namespace

std::string readWholeFile(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    std::string text;
    if (fd < 0) return text;
    char buffer[8192];
    ssize_t n;
    while ((n = read(fd, buffer, sizeof(buffer))) > 0) text.append(buffer, static_cast<size_t>(n));
    close(fd);
    return text;
}

bool writeWholeFile(const std::string& path, const std::string& text) {
    std::string ignored;
    return replaceFileAtomically(path, text, ignored);
}

std::string randomToken() {
    const RandomBlock bytes = randomBlock();
    return hexText(bytes.data(), bytes.size());
}

bool Simulator::start(const SimulatorOptions& options, std::string& error) {
    stop();
    options_ = options;
    return launch(error);
}

bool Simulator::restart(std::string& error) {
    stop();
    // The same port, so that the host's array configuration stays right.
    const int samePort = port_;
    options_.port = samePort;
    // A port just released may need a moment before it can be bound again.
    for (int attempt = 0; attempt < 20; ++attempt) {
        if (launch(error)) return true;
        sleepMs(250);
    }
    return false;
}

bool Simulator::launch(std::string& error) {
    unlink(options_.readyFile.c_str());
    std::vector<std::string> argv = {options_.binary, "--address", kLoopback, "--port", std::to_string(options_.port),
                                     "--cert", options_.certFile, "--key", options_.keyFile,
                                     "--state", options_.stateFile, "--ready-file", options_.readyFile};
    if (!options_.seedFile.empty()) {
        argv.push_back("--seed");
        argv.push_back(options_.seedFile);
    }
    if (options_.strictSnapshotPaths) argv.push_back("--strict-snapshot-paths");
    setenv(kAdminTokenVariable, options_.adminToken.c_str(), 1);
    pid_ = startProcess(argv, options_.logFile);
    unsetenv(kAdminTokenVariable);
    if (pid_ < 0) {
        error = "cannot start " + options_.binary;
        return false;
    }
    for (int waited = 0; waited < kStartWaitMs; waited += 20) {
        const int port = portIn(readWholeFile(options_.readyFile));
        if (port > 0) {
            port_ = port;
            return true;
        }
        if (!processRunning(pid_)) {
            pid_ = -1;
            error = "hnas-arraysim ended at start; see " + options_.logFile;
            return false;
        }
        sleepMs(20);
    }
    stop();
    error = "hnas-arraysim did not start within 15 s; see " + options_.logFile;
    return false;
}

void Simulator::stop() {
    if (pid_ > 0) stopProcess(pid_, SIGTERM, kStopGraceMs);
    pid_ = -1;
}

bool Simulator::admin(const std::string& method, const std::string& path, const std::string& body,
                      std::string& answer, std::string& error) const {
    try {
        httplib::SSLClient client(kLoopback, port_);
        client.set_ca_cert_path(options_.caFile.c_str());
        client.enable_server_certificate_verification(true);
        client.set_connection_timeout(kAdminTimeoutSecs, 0);
        client.set_read_timeout(kAdminTimeoutSecs, 0);
        client.set_write_timeout(kAdminTimeoutSecs, 0);
        const httplib::Headers headers = {{kAdminTokenHeader, options_.adminToken}};
        if (method != "GET" && method != "POST" && method != "DELETE") {
            error = "unknown method " + method;
            return false;
        }
        httplib::Result result = method == "GET"    ? client.Get(path.c_str(), headers)
                                 : method == "POST" ? client.Post(path.c_str(), headers, body, "application/json")
                                                    : client.Delete(path.c_str(), headers);
        if (!result) {
            error = method + " " + path + ": " + httplib::to_string(result.error());
            return false;
        }
        answer = result->body;
        if (result->status < 200 || result->status > 299) {
            error = method + " " + path + ": HTTP " + std::to_string(result->status) + " " + answer;
            return false;
        }
        return true;
    } catch (...) {
        error = method + " " + path + ": the admin call failed";
        return false;
    }
}
