#include "support/FrozenServer.h"

#include "support/FixtureRegister.h"

#include <thread>

#include "support/PostgresRegister.h"

#include <csignal>

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

bool waitForCopy(ChildProcess& tool, const std::string& database,
                 const std::function<std::vector<std::string>(const std::string&, const std::string&)>& column) {
    const std::string copying = "SELECT pid FROM pg_stat_activity WHERE state = 'active' AND query LIKE 'COPY%' AND "
                                "datname = " +
                                sqlText(database);
    for (int i = 0; i < 6000 && tool.running(); ++i) {
        if (!column(database, copying).empty())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

} // namespace testsupport
