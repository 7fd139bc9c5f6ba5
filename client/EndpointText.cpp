#include "client/EndpointText.h"

namespace managehnas {

namespace {

constexpr size_t kMaxLoggedBytes = 1024;
constexpr char kBadHostCharacter[] = "the array's address holds a character a host name cannot hold";

bool isControl(unsigned char c) { return c < 0x20 || c == 0x7f; }

}  // namespace

bool endpointFor(const std::string& address, int port, std::string& endpoint, std::string& cause) {
    if (port < 1 || port > 65535) {
        cause = "port " + std::to_string(port) + " is outside 1..65535";
        return false;
    }
    std::string host = address;
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    if (host.empty()) {
        cause = "the array's address is empty";
        return false;
    }
    for (unsigned char c : host) {
        if (isControl(c) || c == ' ' || std::string("/?#@\\[]").find(static_cast<char>(c)) != std::string::npos) {
            cause = kBadHostCharacter;
            return false;
        }
    }
    const bool ipv6 = host.find(':') != std::string::npos;
    if (!ipv6 && host.find('%') != std::string::npos) {
        cause = kBadHostCharacter;
        return false;
    }
    if (ipv6) {
        std::string bracketed = "[";
        for (char c : host) bracketed += c == '%' ? std::string("%25") : std::string(1, c);
        host = bracketed + "]";
    }
    endpoint = "https://" + host + ":" + std::to_string(port);
    return true;
}

std::string percentEncode(const std::string& value) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(value.size());
    for (unsigned char c : value) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                           c == '-' || c == '.' || c == '_' || c == '~';
        if (plain) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 0x0f];
        }
    }
    return out;
}

std::string loggable(const std::string& text, const std::string& secret) {
    std::string out = text;
    if (!secret.empty()) {
        const std::string mask = "********";
        for (size_t at = out.find(secret); at != std::string::npos; at = out.find(secret, at + mask.size()))
            out.replace(at, secret.size(), mask);
    }
    for (char& c : out)
        if (isControl(static_cast<unsigned char>(c))) c = '?';
    if (out.size() > kMaxLoggedBytes) {
        out.resize(kMaxLoggedBytes);
        out += "...";
    }
    return out;
}

}  // namespace managehnas
