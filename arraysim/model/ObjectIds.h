// Object IDs in the array's own form: the lower-case hex encoding of an ASCII
// string of parts joined by ":::", e.g. the virtual server 3 has the ID
// hexEncode("3::::::0:::OID_$#!@%_V"). Also the minting of file system IDs
// and UUIDs from an array's counter, so that they are stable and unique.
#pragma once

#include <cstdint>
#include <string>

namespace arraymodel {

// "ab" -> "6162".
std::string hexEncode(const std::string& text);
// "6162" -> "ab"; false (text untouched) for odd length or a non-hex digit.
bool hexDecode(const std::string& hex, std::string& text);

// hexEncode("<evsId>::::::0:::OID_$#!@%_V").
std::string virtualServerObjectId(uint64_t virtualServerId);
// hexEncode("<fileSystemId>:::0:::OID_$#!@%_V").
std::string fileSystemObjectId(const std::string& fileSystemId);
// hexEncode("<evsId>:::<shareId>:::0:::OID_$#!@%_V").
std::string shareObjectId(uint64_t virtualServerId, const std::string& shareId);
// hexEncode("<fileSystemId>:::<storedName>::::::0:::OID_$#!@%_V"), the form the
// array's own get answers show. Only minted, never parsed: IDs already stored in
// a state file stay as they were minted.
std::string snapshotObjectId(const std::string& fileSystemId, const std::string& storedName);

// 32 upper-case hex characters derived from the array name and a serial,
// e.g. "7A0C4E1B93D25F6847B1C0E9A3D45F12".
std::string mintFileSystemId(const std::string& arrayName, uint64_t serial);
// A version-4 shaped UUID derived from the array name and a serial,
// e.g. "5f0c8a2e-91b3-4d6e-8a17-3c2b9e4f1d07".
std::string mintUuid(const std::string& arrayName, uint64_t serial);

// True when `id` is exactly 32 hex digits.
bool isFileSystemIdForm(const std::string& id);

}  // namespace arraymodel
