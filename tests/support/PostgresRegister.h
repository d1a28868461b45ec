#pragma once

#include "support/FixtureRegister.h"

#include <optional>
#include <string>

namespace testsupport {

// The throwaway PostgreSQL server that the test command starts (tests/pg/pg_server.sh): the folder of its unix
// socket, from PELMAROT_PG_SOCKET; nullopt when the tests run without one.
std::optional<std::string> testServerFolder();

// Runs tests/pg/pg_server.sh with an action (restart, halt, resume) on the test server.
void controlTestServer(const std::string& action);

// Creates a new database on the test server holding the register's tables and rows, readable by the role
// "clerk"; returns the database's name.
std::string writePostgresRegister(const std::vector<DoctorRow>& doctors, const std::vector<PersonRow>& persons);

// Runs SQL as the superuser in a database of the test server. Throws std::runtime_error.
void runPostgresSql(const std::string& database, const std::string& sql);

// An alias file's text naming a database of the test server.
std::string postgresAlias(const std::string& database, const std::string& user = "postgres",
                          const std::string& aliasName = "kapitacija");

} // namespace testsupport
