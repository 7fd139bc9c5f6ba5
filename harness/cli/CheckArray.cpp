#include "harness/cli/CheckArray.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "harness/framework/ArrayAccess.h"
#include "harness/framework/ExitCodes.h"
#include "host/QzManageHNAS.h"
#include "hostkit/HostState.h"

namespace {

const char kClientSection[] = "~Vorlane/HNASClient";
const char kCaFileKey[] = "sCAFile";
const char kCaFileVariable[] = "HNAS_CA_FILE";
const int kDefaultConnectSecs = 10;

struct Step {
    explicit Step(const char* stepName) : name(stepName) {}
    const char* name;
    bool passed = false;
    std::string detail;      // what was found, or the cause of the failure
    std::string hint;        // on failure: what to do
};

double msSince(const struct timespec& start) {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec - start.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec - start.tv_nsec) / 1e6;
}

// "  ok    address resolves            0.3 ms  127.0.0.1"
bool report(const Step& step, const std::string& time, const std::string& password) {
    printf("  %-4s  %-22s %12s  %s\n", step.passed ? "ok" : "FAIL", step.name, time.c_str(),
           withoutSecret(step.detail, password).c_str());
    if (!step.passed) printf("\nhint: %s\n", withoutSecret(step.hint, password).c_str());
    fflush(stdout);
    return step.passed;
}

std::string msText(double ms) {
    char text[32];
    snprintf(text, sizeof(text), "%.1f ms", ms);
    return text;
}

std::string addressText(const struct sockaddr* address) {
    char text[INET6_ADDRSTRLEN] = "?";
    if (address->sa_family == AF_INET)
        inet_ntop(AF_INET, &reinterpret_cast<const struct sockaddr_in*>(address)->sin_addr, text, sizeof(text));
    else if (address->sa_family == AF_INET6)
        inet_ntop(AF_INET6, &reinterpret_cast<const struct sockaddr_in6*>(address)->sin6_addr, text, sizeof(text));
    return text;
}

using Addresses = std::unique_ptr<struct addrinfo, void (*)(struct addrinfo*)>;

Step resolve(const ArrayEndpoint& endpoint, Addresses& found) {
    Step step("address resolves");
    struct addrinfo hints;
    memset(&hints, 0, sizeof(hints));
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    struct addrinfo* list = nullptr;
    const int status = getaddrinfo(endpoint.address.c_str(), std::to_string(endpoint.port).c_str(), &hints, &list);
    if (status != 0) {
        step.detail = endpoint.address + ": " + gai_strerror(status);
        step.hint = "check the array's address (add-array --address, SMCONFIG_NAME_METRO_SERVER_IP; else its "
                    "control host) and this machine's resolver";
        return step;
    }
    found.reset(list);
    step.passed = true;
    step.detail = endpoint.address + " -> " + addressText(list->ai_addr);
    return step;
}

// Connects within `timeoutSecs`; the socket, or -1 with `cause`.
int connectWithin(const struct addrinfo* address, int timeoutSecs, std::string& cause) {
    const int fd = socket(address->ai_family, address->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, address->ai_protocol);
    if (fd < 0) {
        cause = strerror(errno);
        return -1;
    }
    if (connect(fd, address->ai_addr, address->ai_addrlen) != 0) {
        if (errno != EINPROGRESS) {
            cause = strerror(errno);
            close(fd);
            return -1;
        }
        struct pollfd wait = {fd, POLLOUT, 0};
        const int ready = poll(&wait, 1, timeoutSecs * 1000);
        int failure = 0;
        socklen_t size = sizeof(failure);
        if (ready <= 0 || getsockopt(fd, SOL_SOCKET, SO_ERROR, &failure, &size) != 0 || failure != 0) {
            cause = ready == 0 ? "no answer within " + std::to_string(timeoutSecs) + " s" : strerror(failure != 0 ? failure : errno);
            close(fd);
            return -1;
        }
    }
    // The TLS handshake that follows blocks, bounded by socket time-outs.
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    struct timeval limit = {timeoutSecs, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof(limit));
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof(limit));
    return fd;
}

Step connectTcp(const ArrayEndpoint& endpoint, const struct addrinfo* addresses, int timeoutSecs, int& socketFd) {
    Step step("TCP connects");
    std::string cause;
    for (const struct addrinfo* a = addresses; a != nullptr && socketFd < 0; a = a->ai_next)
        socketFd = connectWithin(a, timeoutSecs, cause);
    if (socketFd < 0) {
        step.detail = endpoint.address + " port " + std::to_string(endpoint.port) + ": " + cause;
        step.hint = "nothing answers there: check the port (add-array --port, SMCONFIG_NAME_METRO_SERVER_PORT, "
                    "default 8444), that the management service runs, and firewalls";
        return step;
    }
    step.passed = true;
    step.detail = endpoint.address + " port " + std::to_string(endpoint.port);
    return step;
}

std::string openSslError() {
    const unsigned long code = ERR_get_error();
    if (code == 0) return "the TLS handshake failed";
    char text[256];
    ERR_error_string_n(code, text, sizeof(text));
    return text;
}

// The TLS handshake over `socketFd`, verifying the certificate and its name
// as the client does.
Step verifyTls(const ArrayEndpoint& endpoint, const std::string& caFile, bool insecure, int socketFd) {
    Step step("TLS verifies");
    const std::string against = caFile.empty() ? "the system's CA store" : "CA file " + caFile;
    if (insecure) {
        step.passed = true;
        step.detail = "NOT checked: nInsecure=1 turns certificate checks off";
        return step;
    }
    std::unique_ptr<SSL_CTX, void (*)(SSL_CTX*)> context(SSL_CTX_new(TLS_client_method()), SSL_CTX_free);
    if (!context) {
        step.detail = openSslError();
        step.hint = "OpenSSL could not start";
        return step;
    }
    const bool loaded = caFile.empty() ? SSL_CTX_set_default_verify_paths(context.get()) == 1
                                       : SSL_CTX_load_verify_locations(context.get(), caFile.c_str(), nullptr) == 1;
    if (!loaded) {
        step.detail = "cannot load " + against + ": " + openSslError();
        step.hint = "CA file unusable: set sCAFile in [~Vorlane/HNASClient] to a readable PEM file";
        return step;
    }
    SSL_CTX_set_verify(context.get(), SSL_VERIFY_PEER, nullptr);
    std::unique_ptr<SSL, void (*)(SSL*)> tls(SSL_new(context.get()), SSL_free);
    X509_VERIFY_PARAM* check = SSL_get0_param(tls.get());
    struct in6_addr ignored;
    const bool literal = inet_pton(AF_INET, endpoint.address.c_str(), &ignored) == 1 ||
                         inet_pton(AF_INET6, endpoint.address.c_str(), &ignored) == 1;
    if (literal)
        X509_VERIFY_PARAM_set1_ip_asc(check, endpoint.address.c_str());
    else {
        X509_VERIFY_PARAM_set1_host(check, endpoint.address.c_str(), 0);
        // OpenSSL's macro casts the name with a C-style cast of its own.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wold-style-cast"
        SSL_set_tlsext_host_name(tls.get(), endpoint.address.c_str());
#pragma GCC diagnostic pop
    }
    SSL_set_fd(tls.get(), socketFd);
    if (SSL_connect(tls.get()) != 1) {
        const long verdict = SSL_get_verify_result(tls.get());
        if (verdict != X509_V_OK) {
            step.detail = std::string("certificate not trusted: ") + X509_verify_cert_error_string(verdict) +
                          " (checked against " + against + ")";
            step.hint = "certificate not trusted: set sCAFile to the CA that signed the array's certificate, e.g. "
                        "hnas-host set-setting '~Vorlane/HNASClient' sCAFile /path/to/ca.pem";
        } else {
            step.detail = "handshake failed: " + openSslError();
            step.hint = "the endpoint does not speak TLS as expected: is this the array's management port?";
        }
        return step;
    }
    SSL_shutdown(tls.get());
    step.passed = true;
    step.detail = "certificate of " + endpoint.address + " trusted by " + against;
    return step;
}

bool has(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

}  // namespace

int checkArray(HostStore& store, const std::string& arrayName, std::string& error) {
    std::vector<ArrayRecord> arrays;
    if (!store.loadArrays(arrays, error)) return kExitHostError;
    const ArrayRecord* array = nullptr;
    for (const ArrayRecord& a : arrays)
        if (a.name == arrayName) array = &a;
    if (array == nullptr) {
        error = "no array \"" + arrayName + "\" in the store (see list-arrays)";
        return kExitBadInput;
    }
    ArrayEndpoint endpoint;
    std::vector<SettingRecord> settings;
    if (!arrayEndpoint(*array, endpoint, error)) return kExitBadInput;
    if (!useStoreSettings(store, settings, error)) return kExitHostError;
    std::string caFile = settingValue(settings, kClientSection, kCaFileKey);
    if (caFile.empty() && getenv(kCaFileVariable) != nullptr) caFile = getenv(kCaFileVariable);
    const bool insecure = settingValue(settings, kClientSection, "nInsecure") == "1";
    int connectSecs = kDefaultConnectSecs;
    if (!hostkit::parseConfigInt(settingValue(settings, kClientSection, "nConnectTimeoutSecs", "10"), connectSecs) ||
        connectSecs < 1 || connectSecs > 3600)
        connectSecs = kDefaultConnectSecs;

    printf("check-array %s: array ID %s, endpoint %s port %d, user %s\n", array->name.c_str(),
           endpoint.arrayId.c_str(), endpoint.address.c_str(), endpoint.port, endpoint.user.c_str());
    const std::string& password = endpoint.password;
    struct timespec start;

    clock_gettime(CLOCK_MONOTONIC, &start);
    Addresses addresses(nullptr, freeaddrinfo);
    if (!report(resolve(endpoint, addresses), msText(msSince(start)), password)) return kExitCheckFailed;

    clock_gettime(CLOCK_MONOTONIC, &start);
    int socketFd = -1;
    const Step tcp = connectTcp(endpoint, addresses.get(), connectSecs, socketFd);
    if (!report(tcp, msText(msSince(start)), password)) return kExitCheckFailed;

    clock_gettime(CLOCK_MONOTONIC, &start);
    const Step tls = verifyTls(endpoint, caFile, insecure, socketFd);
    close(socketFd);
    if (!report(tls, msText(msSince(start)), password)) return kExitCheckFailed;

    // Steps 4 to 6: one request of the client the plug-in uses.
    clock_gettime(CLOCK_MONOTONIC, &start);
    ClientFailures failures;
    std::string cause;
    std::unique_ptr<QzManageHNAS> client = connectClient(endpoint, failures, cause);
    __HNASVirtualServers server;
    const bool found = client != nullptr && client->getVirtualServerInfo(endpoint.arrayId, server);
    if (client != nullptr && !found) cause = failures.take();
    const std::string time = msText(msSince(start));
    const std::string sameRequest = "same request";
    const std::string version = settingValue(settings, kClientSection, "sApiVersion", "v7");

    Step api("API version answers");
    Step credentials("credentials accepted");
    Step virtualServer("virtual server found");
    api.passed = client != nullptr && (found || !has(cause, "HTTP status 404"));
    // An HTTP status, or a list without the server, means the array answered.
    const bool answered = found || has(cause, "HTTP status") || has(cause, "virtual server");
    if (!api.passed || !answered) {
        api.passed = false;
        api.detail = cause;
        api.hint = client == nullptr || !has(cause, "HTTP status 404")
                       ? "the array client could not complete a request: see the message above"
                       : "the array does not serve API version " + version +
                             ": set sApiVersion in [~Vorlane/HNASClient] to one it serves";
        report(api, time, password);
        return kExitCheckFailed;
    }
    api.detail = "version " + version;
    report(api, time, password);

    credentials.passed = found || !has(cause, "HTTP status 401");
    credentials.detail = credentials.passed ? "user " + endpoint.user : cause;
    credentials.hint = "the array refused user " + endpoint.user +
                       ": check the user and the password the array was added with";
    if (!report(credentials, sameRequest, password)) return kExitCheckFailed;

    virtualServer.passed = found;
    if (found) {
        std::string addressesText;
        for (const std::string& a : server.ipAddresses) addressesText += (addressesText.empty() ? "" : ", ") + a;
        virtualServer.detail = endpoint.arrayId + ": virtual server " + server.name + " (" + addressesText + ")";
    } else {
        virtualServer.detail = cause;
        virtualServer.hint = has(cause, "virtual server")
                                 ? "no virtual server of the array is named " + endpoint.arrayId +
                                       " or has that address: add the array with --array-id naming one"
                                 : "the array answered but the lookup failed: see the message above";
    }
    if (!report(virtualServer, sameRequest, password)) return kExitCheckFailed;
    printf("\nall steps passed: the plug-in can reach array %s\n", array->name.c_str());
    return kExitOk;
}
