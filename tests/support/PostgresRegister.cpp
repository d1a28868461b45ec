#include "support/PostgresRegister.h"

#include <atomic>
#include <cstdlib>
#include <libpq-fe.h>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

namespace testsupport {
namespace {

constexpr const char* kPort = "54329";

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

void runPostgresSql(const std::string& database, const std::string& sql) {
    const std::string conninfo = "host=" + testServerFolder().value() + " port=" + kPort + " user=postgres dbname=" + database;
    PGconn* connection = PQconnectdb(conninfo.c_str());
    if (PQstatus(connection) != CONNECTION_OK) {
        const std::string message = PQerrorMessage(connection);
        PQfinish(connection);
        throw std::runtime_error("cannot connect to the test server: " + message);
    }
    PGresult* result = PQexec(connection, sql.c_str());
    const ExecStatusType status = PQresultStatus(result);
    const std::string message = PQresultErrorMessage(result);
    PQclear(result);
    PQfinish(connection);
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
        throw std::runtime_error("SQL failed on the test server: " + message);
}

std::string writePostgresRegister(const std::vector<DoctorRow>& doctors, const std::vector<PersonRow>& persons) {
    static std::atomic<int> counter{0};
    const std::string database = "register_" + std::to_string(getpid()) + "_" + std::to_string(counter++);
    runPostgresSql("postgres", "CREATE DATABASE " + database);
    std::ostringstream sql;
    sql << "CREATE TABLE Lekari (LEKAR_S varchar(6), PRE text, IME text, OPS_S char(3), AKTIVEN boolean);"
           "CREATE TABLE Osigurenici (MB varchar(13), PRE varchar(20), TIME varchar(15), IME varchar(15),"
           " LEKAR_S varchar(6), BR_PRI varchar(8), UCEN_30 boolean, UCEN_70 boolean, DATA_PRI date, BR_ODJ text);"
           "CREATE INDEX Osigurenici_LEKAR_S ON Osigurenici (LEKAR_S);"
           "GRANT SELECT ON Lekari, Osigurenici TO clerk;";
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
