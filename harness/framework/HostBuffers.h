// How the host answers the plug-in's text reads: honestly, always with a
// terminating NUL. Hosts count the size a text needs in one of two ways:
// with the NUL (the default: never writing past the size told), or without
// it (HNAS_HOST_SIZE_WITHOUT_NUL=1 in the environment: a text of exactly the
// size told is written with its NUL in the extra byte the plug-in's buffers
// have), so that the plug-in runs against both.
#pragma once

#include <string>

constexpr char kHostSizeWithoutNulVariable[] = "HNAS_HOST_SIZE_WITHOUT_NUL";

// A read whose size travels as a short (getSnapUUID, getMetadata, ...):
// 0 with the text and its NUL in `buffer` when the text fits `*size` as
// this host counts; otherwise 2 with the size needed written into `*size`. 1 when the
// text is longer than any short size can announce, or `size` is null.
int answerShortRead(const std::string& text, char* buffer, short* size);

// The same where the size travels as an int (getArrayConfigString of a
// descriptor).
int answerIntRead(const std::string& text, char* buffer, int* size);

// The convention of listArrays and getArrayInfoByName: 0 with the text in a
// buffer told to hold `capacity`, or the size needed (greater than 0) when it
// does not fit.
int answerSizedRead(const std::string& text, char* buffer, int capacity);
