#pragma once

#include "engine/AliasFile.h"
#include "engine/Database.h"

#include <memory>

namespace engine {

// Opens the SQLite database file named by the alias's "path" entry, read-only and shared with other
// programs. Text is UTF-8 in the file and delivered in the alias's code page.
std::unique_ptr<Database> openSqliteDatabase(const AliasDefinition& alias, const CodePage& codePage);

} // namespace engine
