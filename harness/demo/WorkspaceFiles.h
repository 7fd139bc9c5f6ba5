// The files of the demo's workspace: read and written whole (never through
// a link; written with mode 0600), and the random tokens and passwords in them.
#pragma once

#include <string>

// A random token of 32 hex characters.
std::string randomToken();
// Reads a whole file (never through a link); "" when it cannot.
std::string readWholeFile(const std::string& path);
// Writes a whole file with mode 0600; false when it cannot.
bool writeWholeFile(const std::string& path, const std::string& text);
