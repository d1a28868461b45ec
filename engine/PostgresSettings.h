#pragma once

#include "engine/AliasFile.h"

#include <chrono>
#include <string>
#include <vector>

namespace engine {

// How a postgresql alias connects: the libpq keywords with their values, in the order libpq is given them, and
// how long the program waits for the server.
struct PostgresSettings {
    std::vector<std::string> keys;
    std::vector<std::string> values;
    // The longest wait for any answer of the server: the connection, a statement's first result, each further
    // row. Past it the statement is cancelled and the connection dropped.
    std::chrono::seconds timeout{30};
    // How messages name the database: "kapitacija (alias 'kapitacija' in /etc/pelmarot/aliases.ini)".
    std::string name;
};

// The alias's entries become libpq keywords, except the engine's own: "path", "codepage" and "timeout" (whole
// seconds, 30 when absent). Every keyword the alias gives is passed on unchanged, with two exceptions that keep
// the session what the engine needs: the settings "-c default_transaction_read_only=on -c DateStyle=ISO" are
// appended to the alias's "options" (or to $PGOPTIONS when the alias has none), so they win over the user's
// own, and "client_encoding" is always UTF8. Absent keywords get defaults that keep a frozen server from
// freezing the program: connect_timeout (the timeout), TCP keepalives, and the application name "pelmarot".
// Throws EngineError naming the alias when "timeout" is not a whole number from 1 to 86400 or
// "client_encoding" names another encoding than UTF8.
PostgresSettings postgresSettings(const AliasDefinition& alias);

} // namespace engine
