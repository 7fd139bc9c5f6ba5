#include "tests/support/HostileCrowd.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

namespace testsupport {
namespace {

// The request a slow sender never finishes: its header lines never end.
const std::string kEndlessHead = "GET /v7/storage/virtual-servers HTTP/1.1\r\nHost: x\r\nX-Slow: " + std::string(4096, 'z');
// What a connection that never finishes its handshake sends, a byte at a
// time: a TLS record header announcing a 512-byte handshake record, then
// the record's bytes (zeros), which never reach its end.
const std::string kEndlessHello = std::string("\x16\x03\x01\x02\x00", 5) + std::string(511, '\0');

}  // namespace

int connectLoopback(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool raiseDescriptorLimit(size_t wanted) {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return false;
    if (limit.rlim_cur >= wanted) return true;
    if (limit.rlim_max < wanted) return false;
    limit.rlim_cur = wanted;
    return setrlimit(RLIMIT_NOFILE, &limit) == 0;
}

bool TlsLink::open(int port) {
    close();
    fd_ = connectLoopback(port);
    if (fd_ < 0) return false;
    context_ = SSL_CTX_new(TLS_client_method());
    // TLS 1.3 servers send session tickets after the handshake, unasked:
    // with 1.2 the link is readable only once the server answers or closes.
    if (context_ != nullptr) SSL_CTX_set_max_proto_version(context_, TLS1_2_VERSION);
    ssl_ = context_ == nullptr ? nullptr : SSL_new(context_);
    if (ssl_ == nullptr || SSL_set_fd(ssl_, fd_) != 1 || SSL_connect(ssl_) != 1) {
        close();
        return false;
    }
    return true;
}

bool TlsLink::send(const std::string& bytes) {
    if (ssl_ == nullptr) return false;
    size_t done = 0;
    while (done < bytes.size()) {
        const int n = SSL_write(ssl_, bytes.data() + done, static_cast<int>(bytes.size() - done));
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

bool TlsLink::readable(int ms) {
    if (ssl_ == nullptr) return true;
    if (SSL_pending(ssl_) > 0) return true;
    pollfd p{fd_, POLLIN, 0};
    return poll(&p, 1, ms) > 0;
}

std::string TlsLink::readAll(int ms) { return readUntil("", ms); }

std::string TlsLink::readUntil(const std::string& marker, int ms) {
    std::string text;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    char piece[16384];
    while (ssl_ != nullptr && (marker.empty() || text.find(marker) == std::string::npos)) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !readable(static_cast<int>(left.count()))) break;
        const int n = SSL_read(ssl_, piece, sizeof(piece));
        if (n <= 0) break;
        text.append(piece, static_cast<size_t>(n));
    }
    return text;
}

void TlsLink::close() {
    if (ssl_ != nullptr) SSL_free(ssl_);
    if (context_ != nullptr) SSL_CTX_free(context_);
    if (fd_ >= 0) ::close(fd_);
    ssl_ = nullptr;
    context_ = nullptr;
    fd_ = -1;
}

HostileCrowd::~HostileCrowd() {
    for (Idle& i : idle_) {
        if (i.fd >= 0) ::close(i.fd);
    }
}

void HostileCrowd::topUp() {
    for (Slow& s : slow_) {
        if (s.link.isOpen()) continue;
        s.sent = 0;
        s.link.open(port_);
    }
    for (Idle& i : idle_) {
        if (i.fd >= 0) continue;
        i.sent = 0;
        i.fd = connectLoopback(port_);
    }
}

void HostileCrowd::tick() {
    for (Slow& s : slow_) {
        if (!s.link.isOpen()) continue;
        // A closed connection shows as readable (its end, or an answer).
        if (s.link.readable(0) || !s.link.send(kEndlessHead.substr(s.sent % kEndlessHead.size(), 1))) {
            s.link.close();
            ++slowClosed_;
            continue;
        }
        ++s.sent;
    }
    for (Idle& i : idle_) {
        if (i.fd < 0) continue;
        pollfd p{i.fd, POLLIN, 0};
        const char byte = kEndlessHello[i.sent % kEndlessHello.size()];
        if (poll(&p, 1, 0) > 0 || ::send(i.fd, &byte, 1, MSG_NOSIGNAL) != 1) {
            ::close(i.fd);
            i.fd = -1;
            ++idleClosed_;
            continue;
        }
        ++i.sent;
    }
    topUp();
}

size_t HostileCrowd::open() const {
    size_t count = 0;
    for (const Slow& s : slow_) count += s.link.isOpen() ? 1 : 0;
    for (const Idle& i : idle_) count += i.fd >= 0 ? 1 : 0;
    return count;
}

}  // namespace testsupport
