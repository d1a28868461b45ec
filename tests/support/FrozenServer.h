#pragma once

#include "support/ChildProcess.h"

#include <chrono>
#include <functional>
#include <string>
#include <vector>

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

// Waits up to 6 seconds until a session on `database` runs a COPY, while `tool` runs; `column` runs a query on the
// server to ask (postgresColumn for the test server, or a replica's). True once it does.
bool waitForCopy(ChildProcess& tool, const std::string& database,
                 const std::function<std::vector<std::string>(const std::string&, const std::string&)>& column);

} // namespace testsupport
