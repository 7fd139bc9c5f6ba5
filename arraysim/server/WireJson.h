// The storage API's objects in their wire form (docs/array-api.md), as the
// simulator answers them and reads them from request bodies.
#pragma once

#include <string>

#include "arraysim/model/ArrayTypes.h"
#include "arraysim/server/JsonValues.h"

namespace arraysim {

Json settingsToJson(const arraymodel::ShareSettings& settings);
// Reads the wire keys present in `object` over `settings`; false (with
// `error` naming the key) when one has the wrong type.
bool settingsFromJson(const Json& object, arraymodel::ShareSettings& settings, std::string& error);
Json virtualServerToJson(const arraymodel::VirtualServer& server);
Json fileSystemToJson(const arraymodel::FileSystem& fileSystem);
Json shareToJson(const arraymodel::Share& share);
Json authenticationToJson(const arraymodel::Authentication& entry);
Json snapshotToJson(const arraymodel::Snapshot& snapshot);

}  // namespace arraysim
