// Building arrays from seed data: each add* call checks one object against
// what the array already holds, fills in the IDs it lacks (minted from the
// array's counter) and appends it. Also the state-wide rules: which array a
// user name reaches, and replacing arrays by name.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "arraysim/model/ArrayTypes.h"

namespace arraymodel {

// Refused: ID 0 or taken, a name with a control character. Mints objectId
// and UUID when empty.
Result addVirtualServer(Array& array, VirtualServer& server);
// Refused: empty or taken label, a label with a control character, unknown
// virtual server, a given ID that is not 32 hex digits or is taken. Mints
// the ID and objectId when empty.
Result addFileSystem(Array& array, FileSystem& fileSystem);
// `share.fileSystemId` may hold the file system's label ("fs1"). Refused: bad
// or taken name, a principal with a control character, unknown server or
// file system. The path is not checked (a
// seeded share may point anywhere). Mints shareId and objectId when empty;
// permission names are normalised and encoded.
Result addShare(Array& array, Share& share);
// `snapshot.fileSystemId` may hold the label. Refused: unknown file system,
// a name checkSnapshotName refuses or that is taken, a control character in
// appSearchId. A creationTime of 0 becomes `now`, a sequence of 0 the
// next one; the objectId is minted.
Result addSnapshot(Array& array, Snapshot& snapshot, uint64_t now);

// The array whose user is `user`, or null.
Array* arrayForUser(State& state, const std::string& user);
// The array the API key `key` opens, and whether the key is read-only;
// Unauthorized for an unknown key.
Result authenticateKey(State& state, const std::string& key, Array*& array, bool& readOnly);
// The array `user` and `password` log in to; Unauthorized otherwise.
Result authenticate(State& state, const std::string& user, const std::string& password,
                    Array*& array);
// Puts each array in place of the one of the same name (or adds it).
// Refused, with nothing changed: an empty name, user or password, a control
// character in the name or user, a name twice in `arrays`, or a user that
// another array of the result also has.
Result replaceArrays(State& state, const std::vector<Array>& arrays);

}  // namespace arraymodel
