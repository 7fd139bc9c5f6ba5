// `hnas-host check-array NAME`: will the plug-in reach this array? Checked
// in the order a job meets them, each step timed, stopping at the first
// that fails with the client's message and a hint:
//   1 the endpoint address resolves
//   2 a TCP connection opens               (nConnectTimeoutSecs)
//   3 the TLS certificate verifies         (against sCAFile, $HNAS_CA_FILE or the system's CAs)
//   4 the API version answers              (steps 4 to 6: one answer, to
//   5 the array accepts the credentials     getVirtualServerInfo's request
//   6 the virtual server of the array ID    for the array ID)
// Steps 4 and 5 come in this order because an array answers a path of a
// version it does not serve with 404 before it looks at the credentials.
// All network work is the client's: its probe (QzManageHNAS::probe) sends
// that one request through libcurl and reports each phase with libcurl's
// times and the client's failure class; this prints it, with the hints.
// The settings are read with the client's own reader, and a value it will
// ignore is shown as a note before the steps.
#pragma once

#include <string>

#include "harness/framework/HostStore.h"

// Prints one line per step to standard output; returns kExitOk when every
// step passed, kExitCheckFailed at the first failure, another exit code
// when the store or the array name is wrong (with `error`).
int checkArray(HostStore& store, const std::string& arrayName, std::string& error);
