// Reading a small file that someone names (a password file, a key file, a
// list of devices) without being redirected or blocked: opened without
// following a symbolic link (one planted under the name would hand over
// another file) and without blocking (a FIFO would hang every job), and read
// only when it is a regular file of bounded size.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>

namespace syskit {

// Reads the whole of `path`, e.g. "/etc/hnas/hnas1.pw", when it is a regular
// file of at most `maxBytes`; its mode into `mode` when that is not null.
// False with `error` saying why, the file called `name` there, e.g.
// "cannot read the API key file [/tmp/k]: it is a FIFO, not a regular file"
// or "cannot read /tmp/pw: it is a symbolic link (name the file itself)".
bool readSmallRegularFile(const std::string& path, const std::string& name, std::size_t maxBytes,
                          std::string& text, std::string& error, mode_t* mode = nullptr);
// The same, the file called by its path.
bool readSmallRegularFile(const std::string& path, std::size_t maxBytes, std::string& text, std::string& error);

// Reads what the descriptor `fd` gives up to its end (e.g. 0, standard
// input, named "standard input" in `error`), and no more than `maxBytes`:
// one byte more and it stops reading, false with "cannot read standard
// input: it is larger than 67108864 bytes".
bool readAtMost(int fd, const std::string& name, std::size_t maxBytes, std::string& text, std::string& error);

// What a file that is not a regular one is, for a refusal: "a directory",
// "a FIFO", "a socket", "a device" or "of another kind".
const char* fileKind(mode_t mode);

}  // namespace syskit
