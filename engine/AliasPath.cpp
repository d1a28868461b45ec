#include "engine/AliasPath.h"

#include "engine/AliasFile.h"
#include "engine/EngineError.h"

#include <filesystem>
#include <system_error>

namespace engine {

AliasPath existingAliasPath(const AliasDefinition& alias, const std::string& naming, const std::string& before,
                            const std::string& after) {
    AliasPath named{alias.resolvedPath(), "alias '" + alias.name + "' in " + alias.sourceFile};
    if (named.path.empty())
        throw EngineError("The " + named.where + " has no 'path' entry naming " + naming);
    std::error_code ec;
    if (!std::filesystem::exists(named.path, ec))
        throw EngineError(before + named.path + after + " does not exist (" + named.where + ")");
    return named;
}

} // namespace engine
