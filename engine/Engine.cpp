#include "engine/Engine.h"

#include "engine/DirectRegister.h"
#include "engine/EngineError.h"
#include "engine/ParadoxDatabase.h"
#include "engine/PostgresDatabase.h"
#include "engine/SqliteDatabase.h"
#include "engine/Text.h"

#include <functional>

namespace engine {
namespace {

using DriverOpen =
    std::function<std::unique_ptr<Database>(const AliasDefinition&, const CodePage&, const PasswordPrompt&)>;

// An SQLite file has no password of its own: its file's permissions protect it.
std::unique_ptr<Database> openSqlite(const AliasDefinition& alias, const CodePage& codePage, const PasswordPrompt&) {
    return openSqliteDatabase(alias, codePage);
}

const std::map<std::string, DriverOpen>& drivers() {
    static const std::map<std::string, DriverOpen> table = {
        {"paradox", openParadoxDatabase},
        {"postgresql", openPostgresDatabase},
        {"sqlite", openSqlite},
    };
    return table;
}

// The code page the alias delivers text in; a start-up error naming the alias file, the alias and the value
// when it is none the engine can deliver text in.
const CodePage& codePageOf(const AliasDefinition& alias) {
    const std::string name = alias.entry("codepage", CodePage::kDefaultName);
    try {
        return CodePage::named(name);
    } catch (const EngineError& e) {
        throw EngineError("Alias '" + alias.name + "' in " + alias.sourceFile + ": codepage = " + name + ": " +
                          e.what());
    }
}

} // namespace

std::vector<std::string> Engine::driverNames() {
    std::vector<std::string> names;
    for (const auto& [name, open] : drivers())
        names.push_back(name);
    return names;
}

AliasDefinition Engine::aliasDefinition(const std::string& name) {
    if (const auto it = runAliases_.find(toLower(name)); it != runAliases_.end())
        return it->second;
    std::optional<AliasDefinition> direct = directRegister(name);
    if (!direct) {
        if (!aliasFile_)
            aliasFile_ = AliasFile::locate();
        return aliasFile_->alias(name);
    }
    try {
        if (!aliasFile_)
            aliasFile_ = AliasFile::locate();
    } catch (const EngineError&) {
        return *direct; // no alias file, or none that can be read: the name is the register itself
    }
    return aliasFile_->defines(name) ? aliasFile_->alias(name) : *direct;
}

void Engine::addAlias(const std::string& name, AliasDefinition definition) {
    runAliases_[toLower(name)] = std::move(definition);
}

void Engine::removeAlias(const std::string& name) { runAliases_.erase(toLower(name)); }

std::unique_ptr<Database> Engine::openDatabase(const std::string& aliasName) {
    const AliasDefinition alias = aliasDefinition(aliasName);
    const auto driver = drivers().find(alias.driver);
    if (driver == drivers().end()) {
        std::string known;
        for (const auto& name : driverNames())
            known += (known.empty() ? "" : ", ") + name;
        throw EngineError("Unknown driver '" + alias.driver + "' for alias '" + alias.name + "' in " +
                          alias.sourceFile + " (known drivers: " + known + ")");
    }
    return driver->second(alias, codePageOf(alias), passwordPrompt_);
}

} // namespace engine
