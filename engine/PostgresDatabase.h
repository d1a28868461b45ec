#pragma once

#include "engine/AliasFile.h"
#include "engine/Database.h"
#include "engine/PasswordPrompt.h"

#include <memory>

namespace engine {

// Opens a PostgreSQL database through libpq with the alias's libpq keywords (host, port, dbname, user,
// options and any other keyword libpq knows; "driver", "path", "codepage" and "timeout" are the engine's own,
// see postgresSettings()). Every session is read-only on the server, so no statement can write. No wait for the
// server lasts longer than the alias's timeout: past it the statement fails with "The PostgreSQL database ...
// did not answer in N seconds" and the connection is dropped. A lost or dropped connection is made again before
// the next statement; when the server is down, that statement fails with the server's message.
// askPassword is asked when the server wants a password that neither the alias nor ~/.pgpass gives.
std::unique_ptr<Database> openPostgresDatabase(const AliasDefinition& alias, const CodePage& codePage,
                                               const PasswordPrompt& askPassword);

} // namespace engine
