#pragma once

#include <functional>
#include <optional>
#include <string>

namespace engine {

// Asked when a database or a table wants a password that the configuration does not give; `name` says which
// (a server's database, or a Paradox table's file). Returns the password, or nullopt when the user cancels. It
// may be asked again for the same name after a wrong answer; a prompt that cannot ask (no terminal) throws
// EngineError saying how else a password can be given.
using PasswordPrompt = std::function<std::optional<std::string>(const std::string& name)>;

// Overwrites a text that held a password, so that it does not stay in freed memory.
void wipePassword(std::string& password) noexcept;

} // namespace engine
