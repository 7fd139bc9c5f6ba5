// The API key the client sends as X-Api-Key, read from the file that the
// setting sApiKeyFile names. The key is a secret: it goes into the request
// header and nowhere else (no cause below holds it).
#pragma once

#include <string>

namespace managehnas {

// Keys longer than this are refused: a key is a short token, and a large
// file named by mistake should not end up in a header.
constexpr std::size_t kMaxApiKeyBytes = 4096;

// Reads the key from `path`, e.g. "/etc/hnas/api.key" holding "3f9c...\n":
// blanks and line breaks around it are dropped. False, with a cause naming
// the file, when it cannot be read, is a symbolic link, is not a regular
// file (a FIFO would block every job), is larger than kMaxApiKeyBytes, holds no
// key, or holds a control character or blank inside the key (which would
// forge further headers or be a file of several lines).
// `othersMayRead` tells whether the file's mode lets its group or other
// users read it (a key anyone on the host can read is worth a warning).
// hnas-host links its own copy (hnas_client_settings), so that it checks a
// key file as the client reads it.
bool readApiKeyFile(const std::string& path, std::string& key, bool& othersMayRead, std::string& cause);

}  // namespace managehnas
