// Whether the plug-in could ever parse a source device string, judged by the
// plug-in's own parsers (not a copy of them), so that hnas-host can refuse a
// string that every job would fail on before it is stored. The header uses
// plain standard types only: the harness, which may not reach the plug-in's
// folders, includes it and nothing behind it.
#pragma once

#include <string>

// True when the plug-in reads `sourceDevice` as a CIFS share, an NFS export
// or a native path of a device type it supports. Otherwise `reason` is the
// plug-in's own reason: the last failure line its parser logged (e.g.
// "Error: Unknown Device type." for "garbage", "{}" or ""), or what the
// plug-in would say of the string before or after parsing it.
bool sourceDeviceParses(const std::string& sourceDevice, std::string& reason);
