#include "support/PostgresRegister.h"

#include "engine/RegisterSchema.h"

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <libpq-fe.h>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <unistd.h>

namespace testsupport {
namespace {

constexpr const char* kPort = "54329";
constexpr const char* kReplicaPort = "54330";

} // namespace

std::optional<std::string> testServerFolder() {
    const char* folder = std::getenv("PELMAROT_PG_SOCKET");
    if (folder == nullptr || *folder == '\0')
        return std::nullopt;
    return std::string(folder);
}

void controlTestServer(const std::string& action) {
    const char* script = std::getenv("PELMAROT_PG_SCRIPT");
    if (script == nullptr || !testServerFolder())
        throw std::runtime_error("no test server to control");
    const std::string command = std::string(script) + " " + action + " " + *testServerFolder();
    if (std::system(command.c_str()) != 0)
        throw std::runtime_error("failed: " + command);
}

namespace {

// Runs SQL as the superuser on a server (the test server unless named) and hands the result to `read` before the
// connection closes.
PGconn* connectAsSuperuser(const std::string& database, const std::string& host, const char* port) {
    const std::string conninfo = "host=" + host + " port=" + port + " user=postgres dbname=" + database;
    PGconn* connection = PQconnectdb(conninfo.c_str());
    if (PQstatus(connection) != CONNECTION_OK) {
        const std::string message = PQerrorMessage(connection);
        PQfinish(connection);
        throw std::runtime_error("cannot connect to the test server: " + message);
    }
    return connection;
}

template <class Read>
void withPostgresResult(const std::string& database, const std::string& sql, Read read, std::string host = {},
                        const char* port = kPort) {
    if (host.empty())
        host = testServerFolder().value();
    PGconn* connection = connectAsSuperuser(database, host, port);
    PGresult* result = PQexec(connection, sql.c_str());
    const ExecStatusType status = PQresultStatus(result);
    const std::string message = PQresultErrorMessage(result);
    if (status == PGRES_TUPLES_OK)
        read(result);
    PQclear(result);
    PQfinish(connection);
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
        throw std::runtime_error("SQL failed on the test server: " + message);
}

} // namespace

TestReplica::TestReplica(std::string folder) : folder_(std::move(folder)) {
    const char* script = std::getenv("PELMAROT_PG_SCRIPT");
    if (script == nullptr || !testServerFolder())
        throw std::runtime_error("no test server to replicate");
    const std::string command = std::string(script) + " replica " + *testServerFolder() + " " + folder_;
    if (std::system(command.c_str()) != 0)
        throw std::runtime_error("failed: " + command);
}

TestReplica::~TestReplica() {
    const std::string command =
        std::string(std::getenv("PELMAROT_PG_SCRIPT")) + " unreplica " + *testServerFolder() + " " + folder_;
    const int stopped = std::system(command.c_str());
    static_cast<void>(stopped); // a replica that will not stop is removed with its folder all the same
}

std::vector<std::string> TestReplica::column(const std::string& database, const std::string& sql) const {
    for (int attempt = 1;; ++attempt) {
        std::vector<std::string> values;
        try {
            withPostgresResult(
                database, sql,
                [&](PGresult* result) {
                    for (int row = 0; row < PQntuples(result); ++row)
                        values.emplace_back(PQgetvalue(result, row, 0));
                },
                folder_, kReplicaPort);
            return values;
        } catch (const std::runtime_error& e) {
            // A replica allowed no delay cancels any query whose snapshot its replay conflicts with, this one too.
            if (attempt == 10 || std::string(e.what()).find("conflict with recovery") == std::string::npos)
                throw;
        }
    }
}

void TestReplica::run(const std::string& sql) const {
    withPostgresResult(
        "postgres", sql, [](PGresult*) {}, folder_, kReplicaPort);
}

void TestReplica::catchUp(const std::string& database) const {
    const std::string written = postgresColumn(database, "SELECT pg_current_wal_lsn()").at(0);
    for (int i = 0; i < 600; ++i) {
        if (column(database, "SELECT pg_last_wal_replay_lsn() >= '" + written + "'") == std::vector<std::string>{"t"})
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    throw std::runtime_error("the replica did not catch up with the primary in 30 seconds");
}

std::string TestReplica::alias(const std::string& database) const {
    return "[kapitacija]\ndriver = postgresql\nhost = " + folder_ + "\nport = " + kReplicaPort +
           "\ndbname = " + database + "\nuser = postgres\n";
}

bool TestReplica::replayWaitsForARead(const std::string& database) const {
    const std::vector<std::string> startup =
        column(database, "SELECT pid FROM pg_stat_activity WHERE backend_type = 'startup'");
    if (startup.size() != 1)
        return false;
    std::ifstream file("/proc/" + startup.front() + "/cmdline");
    const std::string title((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    return title.find("waiting") != std::string::npos;
}

HeldSession::HeldSession(const std::string& database)
    : connection_(connectAsSuperuser(database, testServerFolder().value(), kPort)) {}

HeldSession::~HeldSession() { PQfinish(connection_); }

void HeldSession::run(const std::string& sql) {
    PGresult* result = PQexec(connection_, sql.c_str());
    const ExecStatusType status = PQresultStatus(result);
    const std::string message = PQresultErrorMessage(result);
    PQclear(result);
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
        throw std::runtime_error("SQL failed on the test server: " + message);
}

std::string writeUniformPostgresRegister(int doctors, int personsEach) {
    std::vector<DoctorRow> doctorRows;
    std::vector<PersonRow> persons;
    for (int d = 0; d < doctors; ++d) {
        doctorRows.push_back({"D" + std::to_string(d), "Lekar", "X"});
        for (int p = 0; p < personsEach; ++p)
            persons.push_back({std::to_string(d * 10000 + p), "P", "T", "I", doctorRows.back().code, "1", false, false,
                               "2001-02-03", std::nullopt});
    }
    return writePostgresRegister(doctorRows, persons);
}

void runPostgresSql(const std::string& database, const std::string& sql) {
    withPostgresResult(database, sql, [](PGresult*) {});
}

std::vector<std::string> postgresColumn(const std::string& database, const std::string& sql) {
    std::vector<std::string> values;
    withPostgresResult(database, sql, [&](PGresult* result) {
        for (int row = 0; row < PQntuples(result); ++row)
            values.emplace_back(PQgetvalue(result, row, 0));
    });
    return values;
}

pid_t sessionProcess(const std::string& database) {
    // A session that has just been closed (the one that wrote the register) may still be listed for a moment.
    std::vector<std::string> pids;
    for (int attempt = 0; attempt < 100; ++attempt) {
        pids = postgresColumn("postgres", "SELECT pid FROM pg_stat_activity WHERE backend_type = 'client backend' "
                                          "AND datname = " +
                                              sqlText(database));
        if (pids.size() == 1)
            return static_cast<pid_t>(std::stol(pids.front()));
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    throw std::runtime_error(std::to_string(pids.size()) + " sessions on the database " + database +
                             " where one was expected");
}

pid_t serverProcess() {
    // The first line of the data folder's postmaster.pid is the main process's id.
    std::ifstream file(testServerFolder().value() + "/data/postmaster.pid");
    long pid = 0;
    if (!(file >> pid) || pid <= 0)
        throw std::runtime_error("cannot read the test server's postmaster.pid");
    return static_cast<pid_t>(pid);
}

StoppedProcess::StoppedProcess(pid_t process, std::chrono::seconds limit) : process_(process) {
    if (kill(process_, SIGSTOP) != 0)
        throw std::runtime_error("cannot stop the process " + std::to_string(process_));
    watchdog_ = std::thread([this, limit] {
        std::unique_lock lock(mutex_);
        if (!released_.wait_for(lock, limit, [this] { return done_; })) {
            watchdogFired_ = true;
            kill(process_, SIGCONT);
        }
    });
}

StoppedProcess::~StoppedProcess() {
    {
        std::lock_guard lock(mutex_);
        done_ = true;
    }
    released_.notify_one();
    watchdog_.join();
    kill(process_, SIGCONT);
}

bool StoppedProcess::resumedByWatchdog() const {
    std::lock_guard lock(mutex_);
    return watchdogFired_;
}

std::string writePostgresRegister(const std::vector<DoctorRow>& doctors, const std::vector<PersonRow>& persons) {
    static std::atomic<int> counter{0};
    const std::string database = "register_" + std::to_string(getpid()) + "_" + std::to_string(counter++);
    runPostgresSql("postgres", "CREATE DATABASE " + database);
    std::ostringstream sql;
    for (const engine::RegisterTable* table : engine::registerTables())
        sql << engine::createTableStatement(*table, engine::SqlStore::Postgres) << ';';
    sql << engine::createIndexStatement() << ";GRANT SELECT ON Lekari, Osigurenici TO clerk;";
    for (const auto& d : doctors)
        sql << "INSERT INTO Lekari VALUES (" << sqlText(d.code) << ',' << sqlText(d.surname) << ','
            << sqlText(d.firstName) << ',' << sqlText(d.municipality) << ',' << (d.active ? "true" : "false") << ");";
    for (const auto& p : persons)
        sql << "INSERT INTO Osigurenici VALUES (" << sqlText(p.mb) << ',' << sqlText(p.surname) << ','
            << sqlText(p.fathersName) << ',' << sqlText(p.firstName) << ',' << sqlText(p.doctorCode) << ','
            << sqlText(p.registrationNumber) << ',' << (p.ucen30 ? "true" : "false") << ','
            << (p.ucen70 ? "true" : "false") << ',' << sqlTextOrNull(p.registrationDate) << ','
            << sqlTextOrNull(p.deregistrationNumber) << ");";
    runPostgresSql(database, sql.str());
    return database;
}

std::string postgresAlias(const std::string& database, const std::string& user, const std::string& aliasName) {
    return "[" + aliasName + "]\ndriver = postgresql\nhost = " + testServerFolder().value() + "\nport = " + kPort +
           "\ndbname = " + database + "\nuser = " + user + "\n";
}

} // namespace testsupport
