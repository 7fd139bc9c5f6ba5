// `hnas-host check-array NAME`: will the plug-in reach this array? Checked
// in the order a job meets them, each step timed, stopping at the first
// that fails with the cause and a hint:
//   1 the endpoint address resolves        (getaddrinfo)
//   2 a TCP connection opens               (nConnectTimeoutSecs)
//   3 the TLS certificate verifies         (against sCAFile, $HNAS_CA_FILE or the system's CAs)
//   4 the API version answers              (steps 4 to 6: one request of
//   5 the array accepts the credentials     libQzManageHNAS.so,
//   6 the virtual server of the array ID    getVirtualServerInfo(array ID))
// Steps 4 and 5 come in this order because an array answers a path of a
// version it does not serve with 404 before it looks at the credentials.
// Steps 1 to 3 are probed by hnas-host itself with the client's settings,
// since the client does them inside every request.
#pragma once

#include <string>

#include "harness/framework/HostStore.h"

// Prints one line per step to standard output; returns kExitOk when every
// step passed, kExitCheckFailed at the first failure, another exit code
// when the store or the array name is wrong (with `error`).
int checkArray(HostStore& store, const std::string& arrayName, std::string& error);
