// The one buffer-protocol reader for every variable-length text the plug-in
// reads from the host.
//
// The host is called with a zeroed buffer of size + 1 bytes and told `size`.
// It answers 0 (the text is in the buffer), 2 (too small: the size it needs
// is written back) or anything else (failure). After a 2 the reader regrows
// the buffer to the written-back size + 1 and calls again while retries
// remain. Hosts differ in whether the size they need counts the terminator:
// either way the text read is the bytes before the first NUL within the
// size + 1 bytes, so a text of exactly `size` bytes reads whole; a buffer
// with no NUL at all is no text (the read fails); a buffer the host did not
// fill reads as "".
#pragma once

#include <functional>
#include <string>

// A read that could not go on: the host asked for a size that is not
// positive or too large, left its text unterminated, or no buffer could be
// allocated.
const int kHostReadRefused = -1000;

// Largest size a host may ask for in a read whose size travels as a short:
// size + 1 must still fit.
const int kShortReadMaxSize = 32766;
// Largest size accepted where the size travels as an int (the array lists).
const int kIntReadMaxSize = 16 * 1024 * 1024;

// One call to the host: fill `buffer` (capacity size + 1) and return the
// host's status; on 2, store the needed size in `size`.
using HostBufferCall = std::function<int(char* buffer, int& size)>;

struct HostTextRead {
    int status = kHostReadRefused;   // the host's last answer, or kHostReadRefused
    std::string text;                // the text when status is 0, else ""
    bool ok() const { return status == 0; }
};

// Reads one text. `size` is the first size announced and, on return, the last
// one (a following read may share it); `retries` is the number of further
// calls still allowed after a 2, shared by reads that pass the same variable.
// `maxSize` is kShortReadMaxSize or kIntReadMaxSize. `beforeRetry`, when
// given, is told each new size before the call is repeated. Throws nothing
// of its own; an exception from `call` (the host's code) passes through.
HostTextRead readHostText(int& size, int& retries, int maxSize, const HostBufferCall& call,
                          const std::function<void(int newSize)>& beforeRetry = nullptr);
