// The device-type code of a source device's "type" text.
#pragma once

#include <string>

#include "records/HNASDeviceRecords.h"

// "unc" -> HNAS_DEVICE_UNC, "nfs" -> HNAS_DEVICE_NFS, "native_hnas" ->
// HNAS_DEVICE_NATIVE; false for any other text.
bool deviceTypeFromText(const std::string& text, _HNASDeviceType& type);
