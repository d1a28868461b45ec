#pragma once

#include "engine/PasswordPrompt.h"

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace engine {

// The passwords of one open folder of Paradox tables, kept as the check values that protected tables record
// (never as the passwords themselves): a password that opened one table is tried first on every other table
// of the run, so a register whose tables share a password asks for it once.
class ParadoxPasswords {
public:
    // aliasPassword: the alias's "password" entry, or empty; it is wiped here. prompt may be empty.
    ParadoxPasswords(std::string aliasPassword, PasswordPrompt prompt);

    // Returns once a password whose check value is checkValue is known: one known already, else one the prompt
    // gives (asked again after each wrong answer). Throws EngineError naming the table when the prompt gives
    // none; the message says whether a wrong password was given. A password the alias gives is the only one
    // tried: when it is wrong, the prompt is not asked.
    void unlock(const std::string& table, std::uint32_t checkValue);

    // Whether any protected table was opened.
    bool unlockedAny() const;

private:
    bool knows(std::uint32_t checkValue) const;

    mutable std::mutex mutex_;
    std::vector<std::uint32_t> known_; // check values of the alias's password and of those that opened a table
    bool fromAlias_ = false;
    bool unlockedAny_ = false;
    PasswordPrompt prompt_;
};

} // namespace engine
