#pragma once

#include "engine/AliasFile.h"

#include <optional>
#include <string>

namespace engine {

// A register named directly where an alias is expected, as `sqlite3 FILE` or `pg_dump -d URI` take theirs: a
// "postgresql://" (or "postgres://") connection URI, or a path (a name holding "/", or ending in ".sqlite") to
// a folder of Paradox tables or else an SQLite file. The definition is that of an alias of the name with the
// default code page, read from "the command line". A URI that carries a password is refused: the password
// comes from ~/.pgpass or PGPASSWORD, never from a command line that other users may see. nullopt for a name
// of neither form, which only an alias can give. Throws EngineError for a URI that libpq cannot read.
std::optional<AliasDefinition> directRegister(const std::string& name);

} // namespace engine
