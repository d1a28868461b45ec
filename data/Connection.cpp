#include "data/Connection.h"

#include "data/DataError.h"

namespace data {

Connection::Connection(std::string name, std::string aliasName)
    : name_(std::move(name)), aliasName_(std::move(aliasName)) {}

Connection::~Connection() { close(); }

void Connection::open() {
    if (connected())
        return;
    auto engine = std::make_unique<engine::Engine>();
    engine->setPasswordPrompt(passwordPrompt_);
    engine::AliasDefinition definition = engine->aliasDefinition(aliasName_);
    engine->addAlias(name_, definition);
    database_ = engine->openDatabase(name_);
    engine_ = std::move(engine);
}

void Connection::close() {
    database_.reset();
    if (engine_)
        engine_->removeAlias(name_);
    engine_.reset();
}

engine::Database& Connection::database() {
    if (!database_)
        throw DataError(name_, "Database is not connected");
    return *database_;
}

const engine::CodePage& Connection::codePage() { return database().codePage(); }

} // namespace data
