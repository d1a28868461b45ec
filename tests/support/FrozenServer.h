#pragma once

#include "support/ChildProcess.h"
#include "support/PostgresRegister.h"

#include <chrono>
#include <functional>
#include <memory>
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

// Holds a tool's one read of the persons (a COPY) at a known point. Made before the tool starts, it locks the
// persons' table on the test server (a lock that replicas replay too), so that the tool's read waits there with
// its snapshot taken (the first statement to wait is the check of the table's columns). holdMidCopy then stops the
// tool (SIGSTOP), lets the lock go and steps the tool on until the server, having filled the connection, waits
// to send more of the COPY: the read is under way, and cannot end while the tool is stopped. The tool is left
// stopped; SIGCONT lets it go on.
class CopyGate {
public:
    // Runs a query where the tool reads (the test server, or a replica) and gives its rows' first column.
    using Column = std::function<std::vector<std::string>(const std::string& sql)>;

    CopyGate(const std::string& database, Column column);
    ~CopyGate();
    CopyGate(const CopyGate&) = delete;
    CopyGate& operator=(const CopyGate&) = delete;

    // False when the tool ends first, or its read does not get under way within about a minute.
    bool holdMidCopy(ChildProcess& tool);

private:
    bool waitFor(const std::string& sql, ChildProcess& tool, std::chrono::milliseconds limit) const;

    std::string database_;
    Column column_;
    std::unique_ptr<HeldSession> locker_;
};

} // namespace testsupport
