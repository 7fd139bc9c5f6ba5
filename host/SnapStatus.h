// Snap statuses and error codes the plug-in reports to the host framework.
#pragma once

namespace QZSO {

enum SnapStatus : int {
    SNAP_STATUS_PREPARED = 1,
    SNAP_STATUS_PREPARE_FAILED = 2,
    SNAP_STATUS_SNAPPED = 5,
    SNAP_STATUS_SNAP_FAILED = 6,
    SNAP_STATUS_MAP_FAILED = 11,
    SNAP_STATUS_MAPPED = 12,
    SNAP_STATUS_NOT_MAPPED = 13,
    SNAP_STATUS_UNMAPPED = 14,
    SNAP_STATUS_UNMAP_FAILED = 15,
    SNAP_STATUS_DELETED = 20,
    SNAP_STATUS_DELETE_FAILED = 21,
    SNAP_STATUS_REVERT_FAILED = 23,
    SNAP_STATUS_EXTERNALLY_DELETED = 24
};

// The name of a status without its "SNAP_STATUS_" prefix, e.g. "MAPPED" for
// 12; nullptr for a number that is no status.
constexpr const char* snapStatusName(int status) {
    switch (status) {
        case SNAP_STATUS_PREPARED: return "PREPARED";
        case SNAP_STATUS_PREPARE_FAILED: return "PREPARE_FAILED";
        case SNAP_STATUS_SNAPPED: return "SNAPPED";
        case SNAP_STATUS_SNAP_FAILED: return "SNAP_FAILED";
        case SNAP_STATUS_MAP_FAILED: return "MAP_FAILED";
        case SNAP_STATUS_MAPPED: return "MAPPED";
        case SNAP_STATUS_NOT_MAPPED: return "NOT_MAPPED";
        case SNAP_STATUS_UNMAPPED: return "UNMAPPED";
        case SNAP_STATUS_UNMAP_FAILED: return "UNMAP_FAILED";
        case SNAP_STATUS_DELETED: return "DELETED";
        case SNAP_STATUS_DELETE_FAILED: return "DELETE_FAILED";
        case SNAP_STATUS_REVERT_FAILED: return "REVERT_FAILED";
        case SNAP_STATUS_EXTERNALLY_DELETED: return "EXTERNALLY_DELETED";
        default: return nullptr;
    }
}

// Error codes passed with a failure status.
const int ERROR_PREPARE_FAILED = 62008;
const int ERROR_SNAP_FAILED = 60001;
const int ERROR_MAP_FAILED = 60002;
const int ERROR_UNMAP_FAILED = 60003;
const int ERROR_DELETE_FAILED = 60004;
const int ERROR_REVERT_FAILED = 60005;

// Buffer-protocol answers of the host's text reads.
const int HOST_READ_OK = 0;
const int HOST_READ_TOO_SMALL = 2;

// Host value keys (the host's GET_VALUE_* enumeration, 0 to 33). The plug-in
// reads only the source of a mount request; 2 there means the GUI.
const short GET_VALUE_VOLSNAP_OP_SOURCE = 7;
const int MOUNT_REQUEST_SOURCE_GUI = 2;

}  // namespace QZSO
