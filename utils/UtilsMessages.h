// Fixed log texts that more than one HNASUtils source file writes.
// The log and failure texts of this file are a contract with the host and
// its log readers: keep them character for character, typos included.
#pragma once

// A missing "type" key (source-device strings) or "Type" key (permission entries).
constexpr char kTypeNotPresent[] = "Type is not present.";
