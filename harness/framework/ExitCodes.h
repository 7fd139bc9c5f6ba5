// Exit codes of hnas-host, one meaning each.
#pragma once

const int kExitOk = 0;              // done; for a job: the plug-in returned 0
const int kExitHostError = 1;       // the host failed (store, files); demo: a job did not end as expected
const int kExitCheckFailed = 2;     // check-array: a step failed; orphans: an array could not be asked
const int kExitSomeFailed = 3;      // the plug-in returned 2: some devices failed
const int kExitAllFailed = 4;       // the plug-in returned 1: no device succeeded
const int kExitPluginOdd = 5;       // the plug-in returned another value or threw
const int kExitWithoutArray = 6;    // is-mapped, reconcile: the plug-in answered, but without reaching an array
const int kExitUsage = 64;          // bad command line
const int kExitBadInput = 65;       // unknown device, array or value
const int kExitNoStore = 66;        // the store does not exist
const int kExitUnavailable = 69;    // the plug-in (or, for the demo, the simulator) cannot be used
const int kExitBusy = 75;           // a device is held by another job (try again, or --wait), or the store
                                    // stayed busy for the whole busy wait (try again)

// The exit code of a command whose store failed: kExitBusy when the store
// stayed busy for the whole busy wait (HostStore::busy()), else kExitHostError.
inline int exitCodeForStoreFailure(bool busy) { return busy ? kExitBusy : kExitHostError; }

// The exit code of a job whose entry point returned `code`.
inline int exitCodeForPluginResult(int code) {
    switch (code) {
        case 0: return kExitOk;
        case 1: return kExitAllFailed;
        case 2: return kExitSomeFailed;
        default: return kExitPluginOdd;
    }
}
