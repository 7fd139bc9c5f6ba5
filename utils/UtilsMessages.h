// Fixed log texts that more than one HNASUtils source file writes.
#pragma once

// A missing "type" key (source-device strings) or "Type" key (permission entries).
constexpr char kTypeNotPresent[] = "Type is not present.";
