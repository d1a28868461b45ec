#include "engine/ParadoxPasswords.h"

#include "engine/EngineError.h"
#include "engine/ParadoxCipher.h"

#include <algorithm>
#include <cstring>

namespace engine {

void wipePassword(std::string& password) noexcept {
    explicit_bzero(password.data(), password.size());
    password.clear();
}

ParadoxPasswords::ParadoxPasswords(std::string aliasPassword, PasswordPrompt prompt) : prompt_(std::move(prompt)) {
    fromAlias_ = !aliasPassword.empty();
    if (fromAlias_)
        known_.push_back(paradoxCheckValue(aliasPassword));
    wipePassword(aliasPassword);
}

bool ParadoxPasswords::knows(std::uint32_t checkValue) const {
    return std::find(known_.begin(), known_.end(), checkValue) != known_.end();
}

void ParadoxPasswords::unlock(const std::string& table, std::uint32_t checkValue) {
    const std::lock_guard lock(mutex_);
    if (fromAlias_ && !knows(checkValue))
        throw EngineError(table + ": the password the alias gives is not the table's password");
    bool wrongGiven = false;
    while (!knows(checkValue)) {
        std::optional<std::string> answer = prompt_ ? prompt_(table) : std::nullopt;
        if (!answer) {
            if (wrongGiven)
                throw EngineError(table + ": the password given is not the table's password");
            throw EngineError(table + ": the table is protected by a password, and none was given");
        }
        const std::uint32_t given = paradoxCheckValue(*answer);
        wipePassword(*answer);
        if (given == checkValue)
            known_.push_back(given);
        else
            wrongGiven = true;
    }
    unlockedAny_ = true;
}

bool ParadoxPasswords::unlockedAny() const {
    const std::lock_guard lock(mutex_);
    return unlockedAny_;
}

} // namespace engine
