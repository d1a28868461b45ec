#include "RegisterWriter.h"

#include "engine/AliasFile.h"

#include <stdexcept>

namespace registercopy {

std::unique_ptr<RegisterWriter> RegisterWriter::forAlias(const engine::AliasDefinition& target) {
    if (target.driver == "sqlite") {
        const std::string path = target.resolvedPath();
        if (path.empty())
            throw std::runtime_error("the target alias '" + target.name + "' has no path");
        return sqliteRegisterWriter(path);
    }
    if (target.driver == "postgresql")
        return postgresRegisterWriter(target);
    throw std::runtime_error("cannot copy into the driver '" + target.driver + "' of alias '" + target.name +
                             "': only sqlite and postgresql registers can be written");
}

} // namespace registercopy
