// Fixed texts of the operation drivers used in more than one place.
#pragma once

#include <string>

// Prefix of every snapshot the plug-in creates: "QZHNAS-<snapUUID>-<fs>".
constexpr char kSnapshotPrefix[] = "QZHNAS";
constexpr char kSettingSnapDeviceFormat[] = "Setting Snap Device: [%s] ";

// The failure of a metadata write that every later job would need.
inline std::string metadataNotStoredMessage(int type, const std::string& sourceDevice) {
    return "Failed to store the snap metadata of type [" + std::to_string(type) + "] for Source Device [" +
           sourceDevice + "].";
}
