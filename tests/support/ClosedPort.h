// A loopback TCP port that nothing listens on: bound once to learn a free
// port, then closed, so a connection to it is refused.
#pragma once

namespace testsupport {

// 0 when no port could be had.
int closedPort();

}  // namespace testsupport
