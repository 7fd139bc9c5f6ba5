// Texts the client builds from values it is handed: the endpoint URL, path
// and query parameters, and the one form every logged value takes.
#pragma once

#include <string>

namespace managehnas {

// "https://" + address + ":" + port, with an IPv6 address in brackets and its
// zone's "%" written "%25": ("192.0.2.10", 8444) -> "https://192.0.2.10:8444",
// ("fe80::1%eth0", 8444) -> "https://[fe80::1%25eth0]:8444". False, with the
// cause, for an empty address, one holding blanks, control characters or any
// of "/?#@\", or a port outside 1..65535.
bool endpointFor(const std::string& address, int port, std::string& endpoint, std::string& cause);

// Percent-encodes everything but letters, digits and "-._~", so that a value
// stays one path segment or one query value: "/exp 1" -> "%2Fexp%201".
std::string percentEncode(const std::string& value);

// The form a text takes in a log line: every occurrence of `secret` (when not
// empty) becomes "********", control characters become "?", and a text over
// 1024 bytes is cut there and marked "...". E.g. ("bad pw\nx", "pw") ->
// "bad ********?x".
std::string loggable(const std::string& text, const std::string& secret);

}  // namespace managehnas
