#pragma once

#include "engine/AliasFile.h"
#include "engine/Database.h"
#include "engine/PasswordPrompt.h"

#include <memory>

namespace engine {

// Opens the folder of Paradox tables named by the alias's "path" entry, read-only. A table name in a
// statement finds the file <name>.DB in the folder without regard to case (osigurenici finds
// Osigurenici.DB); the statements run in SQLite over the tables, read by our own reader. Text is delivered in
// the alias's code page, converted from the code page each table's header records. A table protected by a
// password is opened with the alias's "password" entry, or with one that opened another table of the run, or
// with one that askPassword gives (asked again after a wrong one).
std::unique_ptr<Database> openParadoxDatabase(const AliasDefinition& alias, const CodePage& codePage,
                                              const PasswordPrompt& askPassword);

} // namespace engine
