// Fixed texts the snap device writes from more than one place.
// The log and failure texts of this file are a contract with the host and
// its log readers: keep them character for character, typos included.
#pragma once

constexpr char kNoMountRequestInitiator[] = "Unable to get the mount request initiator.";
constexpr char kNoSnapSourceDevice[] = "Unable to get snap source device.";
constexpr char kSnapSourceDeviceFormat[] = "Snap source device: [%s]";
constexpr char kNoFilerInfoFromSource[] = "Unable to fetch filer info from snap source device:";
constexpr char kDeviceTypeNotSupported[] = "Device type not supported.";
constexpr char kUnableToSetCredentialsPrefix[] = "Error:Unable to set the login credentials for array [";
constexpr char kUnableToParseArrayInfo[] = "Error:Unable to parse array info.";

