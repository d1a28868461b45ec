#include "support/FrozenServer.h"

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

} // namespace testsupport
