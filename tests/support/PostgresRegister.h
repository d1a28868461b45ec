#pragma once

#include "support/FixtureRegister.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <sys/types.h>
#include <thread>

struct pg_conn; // libpq's connection (PGconn)

namespace testsupport {

// The throwaway PostgreSQL server that the test command starts (tests/pg/pg_server.sh): the folder of its unix
// socket, from PELMAROT_PG_SOCKET; nullopt when the tests run without one.
std::optional<std::string> testServerFolder();

// Runs tests/pg/pg_server.sh with an action (restart, halt, resume) on the test server.
void controlTestServer(const std::string& action);

// Creates a new database on the test server holding the register's tables and rows, readable by the role
// "clerk"; returns the database's name.
std::string writePostgresRegister(const std::vector<DoctorRow>& doctors, const std::vector<PersonRow>& persons);

// A register of `doctors` active doctors D0, D1, ... with `personsEach` (fewer than 10,000) registered persons each,
// in doctor order, written as writePostgresRegister writes; returns the database's name.
std::string writeUniformPostgresRegister(int doctors, int personsEach);

// Runs SQL as the superuser in a database of the test server. Throws std::runtime_error.
void runPostgresSql(const std::string& database, const std::string& sql);

// The first column of every row a query gives, run as the superuser in a database of the test server.
std::vector<std::string> postgresColumn(const std::string& database, const std::string& sql);

// The server process that serves the one client session open on a database. Throws std::runtime_error when
// there is none, or more than one for longer than a few seconds.
pid_t sessionProcess(const std::string& database);

// The test server's main process (the one that accepts connections and cancel requests).
pid_t serverProcess();

// Freezes a process of the test server (SIGSTOP) for the life of the object and lets it go on (SIGCONT) when the
// object goes, or by itself once `limit` has passed. Code that waits for the frozen process for ever then ends
// instead of hanging the test run, and the test sees it through resumedByWatchdog().
class StoppedProcess {
public:
    StoppedProcess(pid_t process, std::chrono::seconds limit);
    ~StoppedProcess();
    StoppedProcess(const StoppedProcess&) = delete;
    StoppedProcess& operator=(const StoppedProcess&) = delete;

    bool resumedByWatchdog() const;

private:
    pid_t process_;
    mutable std::mutex mutex_;
    std::condition_variable released_;
    bool done_ = false;
    bool watchdogFired_ = false;
    std::thread watchdog_;
};

// A streaming replica of the test server, started by tests/pg/pg_server.sh in `folder` for the life of the object:
// a hot standby whose replay waits for its reads (max_standby_streaming_delay = -1) until told otherwise.
// Throws std::runtime_error when it cannot start.
class TestReplica {
public:
    explicit TestReplica(std::string folder);
    ~TestReplica();
    TestReplica(const TestReplica&) = delete;
    TestReplica& operator=(const TestReplica&) = delete;

    // Runs a statement on the replica (ALTER SYSTEM, say). Throws std::runtime_error.
    void run(const std::string& sql) const;
    // The first column of every row a query gives on the replica.
    std::vector<std::string> column(const std::string& database, const std::string& sql) const;
    // Waits until the replica has replayed all that the primary has written so far (in `database`).
    void catchUp(const std::string& database) const;
    // An alias file's text naming a database of the replica.
    std::string alias(const std::string& database) const;
    // Whether the replica's replay has stood for half a second at a record that conflicts with a read that has not
    // given way (the startup process's title then ends in "waiting"); the read has been told to end by then.
    bool replayWaitsForARead(const std::string& database) const;

private:
    std::string folder_;
};

// A superuser session on a database of the test server, open for the life of the object, so that a transaction
// can span several statements (a lock held while the test does other things).
class HeldSession {
public:
    explicit HeldSession(const std::string& database);
    ~HeldSession();
    HeldSession(const HeldSession&) = delete;
    HeldSession& operator=(const HeldSession&) = delete;

    // Runs SQL in the session. Throws std::runtime_error.
    void run(const std::string& sql);

private:
    ::pg_conn* connection_;
};

// An alias file's text naming a database of the test server.
std::string postgresAlias(const std::string& database, const std::string& user = "postgres",
                          const std::string& aliasName = "kapitacija");

} // namespace testsupport
