#pragma once

#include "engine/Database.h"
#include "engine/Engine.h"

#include <memory>
#include <string>

namespace data {

// The name of the program's connection, which it adds as an alias of its own for the run.
inline constexpr const char* kConnectionName = "KDB";
// The alias of the register, fixed in the program.
inline constexpr const char* kRegisterAlias = "kapitacija";

// The program's database connection: for the run it adds an alias of its own name (KDB) with the driver
// and entries of the alias it is given, and opens the database through it, read-only and shared.
class Connection {
public:
    explicit Connection(std::string name = kConnectionName, std::string aliasName = kRegisterAlias);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    const std::string& name() const { return name_; }

    // Asked during open() when the database wants a password that the configuration does not give.
    void setPasswordPrompt(engine::PasswordPrompt prompt) { passwordPrompt_ = std::move(prompt); }

    // Makes an engine of its own, which reads the alias file; reads the alias, adds this connection's alias
    // for the run and opens the database. Throws engine::EngineError with the engine's messages when any step
    // fails; the connection then stays closed and the engine it made is dropped. Does nothing when connected.
    void open();
    // Closes the database and drops the engine with the run's alias, so that the next open() reads the alias
    // file again. Safe to call when closed.
    void close();
    bool connected() const { return database_ != nullptr; }

    // REQUIRES: connected(); otherwise throws DataError "<name>: Database is not connected".
    engine::Database& database();
    const engine::CodePage& codePage();

private:
    std::string name_;
    std::string aliasName_;
    engine::PasswordPrompt passwordPrompt_;
    std::unique_ptr<engine::Engine> engine_;
    std::unique_ptr<engine::Database> database_;
};

} // namespace data
