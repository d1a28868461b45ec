#pragma once

#include "support/ChildProcess.h"

#include <chrono>
#include <string>

namespace testsupport {

// How a tool ended after the test server froze under it.
struct FrozenServerRun {
    int status = -1;                    // the tool's wait status
    std::chrono::duration<double> took; // from the freeze to the tool's end
    bool waitedForTheServer = false;    // the tool was still running when the freeze had to end
};

// Freezes the test server part-way through the work of a tool that has its one session on `database`: the tool
// is held (SIGSTOP) while the server's main process and that session are frozen, then let go, so the freeze
// falls where the tool stands. Waits up to `limit` for the tool to end, then lets the server go on.
FrozenServerRun runWithServerFrozen(ChildProcess& tool, const std::string& database, std::chrono::seconds limit);

} // namespace testsupport
