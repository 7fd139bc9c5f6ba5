// Plain-text tables for the terminal.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "harness/framework/HostRecords.h"

// Columns padded to their widest cell, two spaces apart, a rule under the
// header. Every row has as many cells as `header`.
std::string formatTable(const std::vector<std::string>& header, const std::vector<std::vector<std::string>>& rows);

// The compact state of devices: device, status name, error code, snap UUID,
// the last job that worked on it with that job's outcome, then the snap
// device and the error message on lines of their own under the row when
// present, e.g.
//   device     status   error  snap UUID           last job
//   cifs-data  MAPPED   -      QZHNAS-3f2a...-fs1  4 done
//     snap device: {vortype:,vendor:Hitachi HNAS,type:unc,...}
std::string deviceStateTable(const std::vector<DeviceRecord>& devices);

// The devices' state as one job left it (`history --job N`): the columns of
// deviceStateTable but the last job, which is that job.
std::string jobResultsTable(const std::vector<JobResultRecord>& results);

// How many devices are in each status, by status number, e.g.
// "250 SNAPPED, 6 SNAP_FAILED"; "-" when there are none.
std::string statusTotalsText(const std::map<int, int>& devicesByStatus);

// The devices of `devices` counted by status, for statusTotalsText.
std::map<int, int> devicesByStatus(const std::vector<DeviceRecord>& devices);

// The first `shown` of `names` and how many more there are, for a message
// that may name thousands: "dev-1, dev-2, dev-3, dev-4, dev-5 and 95 more";
// all of them when there are no more than `shown`.
std::string someNames(const std::vector<std::string>& names, size_t shown = 5);
