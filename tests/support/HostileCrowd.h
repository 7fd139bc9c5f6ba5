// Hostile connections to a loopback TLS server, for tests and the bench of
// hnas-arraysim under attack: raw TLS links that send what a test chooses,
// and a crowd that keeps many connections open and busy the way an
// attacker without credentials can: some finish TLS and then send their
// request one byte at a time, the others never start TLS and send one byte
// now and then. Each one the server closes is opened again ("topped up").
#pragma once

#include <openssl/ssl.h>

#include <cstddef>
#include <string>
#include <vector>

namespace testsupport {

// A TCP connection to 127.0.0.1:port; -1 when it cannot be made.
int connectLoopback(int port);

// Raises this process's soft limit on open descriptors to at least `wanted`
// (up to the hard limit); false when the hard limit is lower.
bool raiseDescriptorLimit(size_t wanted);

// One TLS connection (the server's certificate is not checked). Blocking.
class TlsLink {
public:
    TlsLink() = default;
    ~TlsLink() { close(); }
    // Connects and finishes the handshake.
    bool open(int port);
    // Writes all of `bytes`; false once the connection is gone.
    bool send(const std::string& bytes);
    // Whether something (an answer, or the server's close) can be read now
    // or within `ms`.
    bool readable(int ms);
    // Reads until the server closes the connection or `ms` pass.
    std::string readAll(int ms);
    // Reads until what was read holds `marker`, the server closes, or `ms` pass.
    std::string readUntil(const std::string& marker, int ms);
    void close();
    bool isOpen() const { return ssl_ != nullptr; }

    TlsLink(const TlsLink&) = delete;
    TlsLink& operator=(const TlsLink&) = delete;

private:
    int fd_ = -1;
    SSL_CTX* context_ = nullptr;
    SSL* ssl_ = nullptr;
};

class HostileCrowd {
public:
    HostileCrowd(int port, size_t slowTls, size_t idlePlain) : port_(port), slow_(slowTls), idle_(idlePlain) {}
    ~HostileCrowd();

    // Opens every connection not open (the first call opens them all).
    void topUp();
    // Sends the next byte on each connection; those the server closed are
    // counted and opened again.
    void tick();
    size_t open() const;
    // Connections the server closed, of each kind, since the start.
    size_t slowClosed() const { return slowClosed_; }
    size_t idleClosed() const { return idleClosed_; }

    HostileCrowd(const HostileCrowd&) = delete;
    HostileCrowd& operator=(const HostileCrowd&) = delete;

private:
    struct Slow {
        TlsLink link;
        size_t sent = 0;   // bytes of the request sent so far
    };

    struct Idle {
        int fd = -1;
        size_t sent = 0;
    };

    int port_;
    std::vector<Slow> slow_;
    std::vector<Idle> idle_;
    size_t slowClosed_ = 0;
    size_t idleClosed_ = 0;
};

}  // namespace testsupport
