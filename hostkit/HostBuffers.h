// How an in-memory host answers the plug-in's text reads: honestly, always
// with a terminating NUL, never writing past the size it was told plus the
// one byte every buffer of the plug-in has for the NUL.
//
// Hosts count the size a text needs in one of two ways: with the NUL (a text
// of n bytes needs n + 1; the default) or without it (it needs n, and its NUL
// goes into the plug-in's extra byte). The one switch between them is
// process-wide, so that every host object of a run answers alike.
#pragma once

#include <string>

namespace hostkit {

enum class SizeConvention { WithTerminator, WithoutTerminator };

// The convention every answer uses; WithTerminator unless a
// ScopedSizeConvention is alive.
SizeConvention sizeConvention();

// Sets the convention for its lifetime, e.g. for one job of a host that
// counts sizes without the terminator.
class ScopedSizeConvention {
public:
    explicit ScopedSizeConvention(SizeConvention convention);
    ~ScopedSizeConvention();
    ScopedSizeConvention(const ScopedSizeConvention&) = delete;
    ScopedSizeConvention& operator=(const ScopedSizeConvention&) = delete;

private:
    SizeConvention previous_;
};

const char* conventionName(SizeConvention convention);   // e.g. "withTerminator"

// A read whose size travels as a short (getSnapUUID, getMetadata, ...):
// 0 with the text and its NUL in `buffer` when the text fits `*size` as the
// convention counts; otherwise 2 with the size needed written into `*size`
// (also when `buffer` is null). 1 when the text is longer than any short
// size can announce, or `size` is null.
int answerShortRead(const std::string& text, char* buffer, short* size);

// The same where the size travels as an int (getArrayConfigString of a
// descriptor).
int answerIntRead(const std::string& text, char* buffer, int* size);

// The convention of listArrays and getArrayInfoByName: 0 with the text in a
// buffer told to hold `capacity`, or the size needed (greater than 0) when it
// does not fit; -1 when no int can announce it.
int answerSizedRead(const std::string& text, char* buffer, int capacity);

}  // namespace hostkit
