#include "support/FrozenServer.h"

#include "support/FixtureRegister.h"

#include <csignal>
#include <stdexcept>
#include <thread>

namespace testsupport {

FrozenServerRun runWithServerFrozen(ChildProcess& tool, const std::string& database, std::chrono::seconds limit) {
    FrozenServerRun run;
    ::kill(tool.pid(), SIGSTOP);
    const pid_t session = sessionProcess(database);
    StoppedProcess server(serverProcess(), limit + std::chrono::seconds(5));
    StoppedProcess frozenSession(session, limit + std::chrono::seconds(5));
    const auto frozen = std::chrono::steady_clock::now();
    ::kill(tool.pid(), SIGCONT);
    run.status = tool.wait(limit);
    run.took = std::chrono::steady_clock::now() - frozen;
    run.waitedForTheServer = server.resumedByWatchdog() || frozenSession.resumedByWatchdog();
    return run;
}

CopyGate::CopyGate(const std::string& database, Column column)
    : database_(database), column_(std::move(column)), locker_(std::make_unique<HeldSession>(database)) {
    locker_->run("BEGIN; LOCK TABLE osigurenici IN ACCESS EXCLUSIVE MODE");
    // The lock's record goes to a replica with the next commit's flush.
    runPostgresSql("postgres", "SELECT pg_current_xact_id()");
    const std::string locked =
        "SELECT 1 FROM pg_locks WHERE mode = 'AccessExclusiveLock' AND relation = 'osigurenici'::regclass";
    for (int i = 0; i < 600 && column_(locked).empty(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (column_(locked).empty())
        throw std::runtime_error("the lock of the persons' table never reached the server the tool reads");
}

CopyGate::~CopyGate() = default;

bool CopyGate::holdMidCopy(ChildProcess& tool) {
    using namespace std::chrono_literals;
    const std::string session = " AND datname = " + sqlText(database_);
    if (!waitFor("SELECT pid FROM pg_stat_activity WHERE wait_event_type = 'Lock' AND backend_xmin IS NOT NULL" +
                     session,
                 tool, 30s))
        return false;
    ::kill(tool.pid(), SIGSTOP);
    locker_->run("COMMIT");
    locker_.reset(); // the tool's session is then the only one on the database
    // The tool goes on a millisecond at a time until its COPY is under way: stopped, it takes in no more of it,
    // and the server soon waits to send more.
    const std::string copyWaits =
        "SELECT pid FROM pg_stat_activity WHERE wait_event = 'ClientWrite' AND query LIKE 'COPY%'" + session;
    for (int step = 0; step < 1000 && tool.running(); ++step) {
        if (waitFor(copyWaits, tool, 50ms))
            return true;
        ::kill(tool.pid(), SIGCONT);
        std::this_thread::sleep_for(1ms);
        ::kill(tool.pid(), SIGSTOP);
    }
    return false;
}

bool CopyGate::waitFor(const std::string& sql, ChildProcess& tool, std::chrono::milliseconds limit) const {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (tool.running()) {
        if (!column_(sql).empty())
            return true;
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

} // namespace testsupport
