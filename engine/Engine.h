#pragma once

#include "engine/AliasFile.h"
#include "engine/Database.h"
#include "engine/PostgresDatabase.h"

#include <map>
#include <memory>
#include <optional>
#include <string>

namespace engine {

// The database engine of one connection's life: the aliases it knows and the databases it opens. Aliases
// come from the alias file, which is located and read on first use and kept while the engine lives; aliases
// added with addAlias() live as long as the engine. The backend is chosen by the alias's driver ("sqlite",
// "postgresql", ...; see driverNames()). Nothing is started by construction and nothing needs shutting down.
class Engine {
public:
    Engine() = default;
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    // The definition of an alias added for the run, else of the alias file, else of a register named directly
    // (directRegister: a path or a connection URI; an alias of that name wins). Throws EngineError.
    AliasDefinition aliasDefinition(const std::string& name);

    // Adds an alias for this run; it hides an alias of the same name in the alias file.
    void addAlias(const std::string& name, AliasDefinition definition);
    void removeAlias(const std::string& name);

    // Opens the database an alias names. Throws EngineError naming the alias, the driver and what is
    // missing when it cannot be opened.
    std::unique_ptr<Database> openDatabase(const std::string& aliasName);

    // The driver names this engine knows.
    static std::vector<std::string> driverNames();

    // Asked when a database needs a password that the configuration does not give.
    void setPasswordPrompt(PasswordPrompt prompt) { passwordPrompt_ = std::move(prompt); }

private:
    std::map<std::string, AliasDefinition> runAliases_;
    std::optional<AliasFile> aliasFile_;
    PasswordPrompt passwordPrompt_;
};

} // namespace engine
