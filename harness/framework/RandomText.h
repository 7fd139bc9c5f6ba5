// Random texts of the host and the demo: a job's fresh snap UUIDs, the
// simulator's admin token and the demo arrays' passwords.
#pragma once

#include <array>
#include <cstddef>
#include <string>

using RandomBlock = std::array<unsigned char, 16>;

// 16 bytes from /dev/urandom. Without it, bytes drawn from the time and the
// process ID: not secret, but names made by different processes or at
// different times still stay apart.
RandomBlock randomBlock();

// `count` bytes as lower-case hex, two characters a byte, e.g. "3f2a".
std::string hexText(const unsigned char* bytes, size_t count);
