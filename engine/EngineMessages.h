// Fixed texts of the operation drivers used in more than one place.
// The log and failure texts of this file are a contract with the host and
// its log readers: keep them character for character, typos included.
#pragma once

#include <string>

#include "device/HNASSnapDevice.h"
#include "host/QzSnapEngineApi.h"

// Prefix of every snapshot the plug-in creates: "QZHNAS-<snapUUID>-<fs>".
using QZSO::kSnapshotPrefix;

// True when `name` is one of the plug-in's snapshot names, e.g.
// "QZHNAS-u1-fs1" (the prefix and "-", then something).
inline bool isPluginSnapshotName(const std::string& name) {
    const std::string start = std::string(kSnapshotPrefix) + "-";
    return name.size() > start.size() && name.compare(0, start.size(), start) == 0;
}
constexpr char kSettingSnapDeviceFormat[] = "Setting Snap Device: [%s] ";

// The failure of a metadata write that the host refused (its store is full
// or broken), e.g. "Failed to store the snap metadata of type [6] for Source
// Device [...]: the host refused it." What a value holds never fails a write.
inline std::string metadataNotStoredMessage(int type, const _HNASDeviceInfo& info) {
    return "Failed to store the snap metadata of type [" + std::to_string(type) + "] for Source Device [" +
           info.sourceDevice + "]: the host refused it.";
}
