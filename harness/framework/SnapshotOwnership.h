// Which snapshots a store made. Every snap UUID a job hands out is a random
// UUID whose last group (the 12 hex digits RFC 4122 calls the node) is the
// store's identity, e.g. "3f2a9c1e-7b4d-4e21-9a55-5e0c2a7b91d4" from the store
// "5e0c2a7b91d4"; the plug-in names the snapshot after it,
// "QZHNAS-3f2a9c1e-7b4d-4e21-9a55-5e0c2a7b91d4-fs1". A snapshot of another
// store, of an administrator ("QZHNAS-keep-me") or of a store made before
// identities does not carry it. A copy of the store carries it too: the
// store's record of the snap UUIDs it handed out (HostStore.h) tells its
// snapshots from a copy's.
#pragma once

#include <cstddef>
#include <string>

// Bytes of a store identity: 12 hex digits.
constexpr size_t kStoreIdentityBytes = 6;

// True for 12 lower-case hex digits.
bool isStoreIdentity(const std::string& text);

// A fresh random snap UUID (version 4 but for its last group, which is
// `storeIdentity`).
std::string newSnapUuid(const std::string& storeIdentity);

// True when `snapshotName` is "QZHNAS-" + a snap UUID ending in
// `storeIdentity` + "-" + a file system name.
bool madeByStore(const std::string& snapshotName, const std::string& storeIdentity);

// The snap UUID in `text`: a snap UUID itself, as a snap job hands it out,
// or the name of a snapshot made after one ("QZHNAS-<snap UUID>-fs1"), as
// the plug-in stores it once the snapshot is made; "" for anything else.
std::string snapUuidIn(const std::string& text);

// True when `snapUuid` ends in `storeIdentity`.
bool uuidOfStore(const std::string& snapUuid, const std::string& storeIdentity);
