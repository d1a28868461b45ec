#pragma once

#include "engine/AliasFile.h"
#include "engine/Database.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace engine {

// Asked when a server wants a password that neither the alias nor ~/.pgpass gives; `databaseName` says
// which database it is for. Returns the password, or nullopt when the user cancels.
using PasswordPrompt = std::function<std::optional<std::string>(const std::string& databaseName)>;

// Opens a PostgreSQL database through libpq with the alias's libpq keywords (host, port, dbname, user and
// any other keyword libpq knows; "driver", "path" and "codepage" are the engine's own). Every session is
// read-only on the server, so no statement can write. A lost connection is made again before the next
// statement; when the server is down, that statement fails with the server's message.
std::unique_ptr<Database> openPostgresDatabase(const AliasDefinition& alias, const CodePage& codePage,
                                               const PasswordPrompt& askPassword);

} // namespace engine
