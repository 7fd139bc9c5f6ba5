#include "tests/support/SnapStatusNames.h"

namespace {

using namespace QZSO;

// The numbers the host framework stores and reads back: the tests assert the
// names, so the numbers are held here.
static_assert(SNAP_STATUS_PREPARED == 1 && SNAP_STATUS_PREPARE_FAILED == 2, "prepare statuses");
static_assert(SNAP_STATUS_SNAPPED == 5 && SNAP_STATUS_SNAP_FAILED == 6, "snap statuses");
static_assert(SNAP_STATUS_MAP_FAILED == 11 && SNAP_STATUS_MAPPED == 12 && SNAP_STATUS_NOT_MAPPED == 13,
              "map statuses");
static_assert(SNAP_STATUS_UNMAPPED == 14 && SNAP_STATUS_UNMAP_FAILED == 15, "unmap statuses");
static_assert(SNAP_STATUS_DELETED == 20 && SNAP_STATUS_DELETE_FAILED == 21, "delete statuses");
static_assert(SNAP_STATUS_REVERT_FAILED == 23 && SNAP_STATUS_EXTERNALLY_DELETED == 24, "revert and reconcile");
static_assert(ERROR_PREPARE_FAILED == 62008 && ERROR_SNAP_FAILED == 60001 && ERROR_MAP_FAILED == 60002 &&
                  ERROR_UNMAP_FAILED == 60003 && ERROR_DELETE_FAILED == 60004 && ERROR_REVERT_FAILED == 60005,
              "error codes");

}  // namespace

namespace QZSO {

void PrintTo(SnapStatus status, std::ostream* os) { *os << testsupport::statusName(status); }

}  // namespace QZSO

namespace testsupport {

std::string statusName(int status) {
    const char* name = QZSO::snapStatusName(status);
    return name != nullptr ? std::string("SNAP_STATUS_") + name + " (" + std::to_string(status) + ")"
                           : "status " + std::to_string(status);
}

}  // namespace testsupport
