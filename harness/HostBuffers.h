// How the host answers the plug-in's text reads: honestly, never writing past
// the size it was told, always with a terminating NUL.
#pragma once

#include <string>

// A read whose size travels as a short (getSnapUUID, getMetadata, ...):
// 0 with the text and its NUL in `buffer` when text + NUL fits `*size`
// bytes; otherwise 2 with the size needed written into `*size`. 1 when the
// text is longer than any short size can announce, or `size` is null.
int answerShortRead(const std::string& text, char* buffer, short* size);

// The same where the size travels as an int (getArrayConfigString of a
// descriptor).
int answerIntRead(const std::string& text, char* buffer, int* size);

// The convention of listArrays and getArrayInfoByName: 0 with the text in a
// buffer of `capacity` bytes, or the size needed (greater than 0) when it
// does not fit.
int answerSizedRead(const std::string& text, char* buffer, int capacity);
