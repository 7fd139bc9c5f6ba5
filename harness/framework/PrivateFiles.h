// Files and directories of the host store, made so that nobody else can
// redirect or read them: a directory must be a real directory owned by this
// user that no one else can write to; a file is never opened through a
// symbolic link (O_NOFOLLOW), never inherited by a child the plug-in starts
// (O_CLOEXEC), and a new one is created exclusively (O_EXCL) with mode 0600,
// so a file or link planted under its name in advance is refused, not used.
// (Reading a file the operator names: syskit/SmallFiles.h.)
#pragma once

#include <string>

// True when `dir` is a directory (not a link to one) owned by the
// effective user and not writable by group or others; false with a message
// that says what is wrong and how to mend it.
bool checkPrivateDirectory(const std::string& dir, std::string& error);

// Creates `dir` with mode 0700 unless it exists, then checks it as above.
bool makePrivateDirectory(const std::string& dir, std::string& error);

// Creates the new file `path` for writing (O_EXCL, 0600), with `extraFlags`
// (e.g. O_APPEND) added; the descriptor, or -1 with `error`.
int createPrivateFile(const std::string& path, int extraFlags, std::string& error);

// Opens `path` for reading and writing, creating it (O_EXCL, 0600) when it
// does not exist; refuses a link, a non-regular file and a file of another
// user. For lock files, which outlive the process that made them.
int openPrivateFile(const std::string& path, std::string& error);

// Writes `text` to a new temporary file beside `path` and renames it over
// `path` (which, if a link, is replaced, not followed).
bool replaceFileAtomically(const std::string& path, const std::string& text, std::string& error);

// Fills `bytes` from /dev/urandom; false when it could not be read whole.
bool readRandomBytes(unsigned char* bytes, size_t count);
