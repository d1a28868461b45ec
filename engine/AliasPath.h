#pragma once

#include <string>

namespace engine {

struct AliasDefinition;

// The path an alias's 'path' entry names, for a driver that reads a file or a folder there, and where the alias
// is, as the driver's messages name it: "alias 'kapitacija' in /etc/pelmarot/aliases.ini".
struct AliasPath {
    std::string path;
    std::string where;
};

// The alias's path, required to be there. `naming` says what the entry names ("the database file"); a missing
// entry throws EngineError "The alias ... has no 'path' entry naming <naming>", and a path where nothing is
// throws "<before><path><after> does not exist (<where>)".
AliasPath existingAliasPath(const AliasDefinition& alias, const std::string& naming, const std::string& before,
                            const std::string& after = "");

} // namespace engine
