#include "engine/DirectRegister.h"

#include "engine/EngineError.h"
#include "engine/Text.h"

#include <algorithm>
#include <filesystem>
#include <libpq-fe.h>
#include <memory>

namespace engine {
namespace {

namespace fs = std::filesystem;

constexpr const char* kPlace = "the command line";

struct OptionsFreer {
    void operator()(PQconninfoOption* options) const { PQconninfoFree(options); }
};

constexpr const char* kHidden = "...";

// The parts of a URI that may hold a password, as they stand in it, longest first: what stands between "//"
// and the last "@" (the user and the password), and the value of every parameter named password. Found without
// parsing, so that a URI libpq cannot read is hidden as well.
std::vector<std::string> secretsOf(const std::string& uri) {
    std::vector<std::string> secrets;
    const std::size_t start = uri.find("//");
    const std::size_t at = uri.rfind('@');
    if (start != std::string::npos && at != std::string::npos && at > start + 2)
        secrets.push_back(uri.substr(start + 2, at - start - 2));
    const std::string lower = toLower(uri);
    for (std::size_t key = lower.find("password="); key != std::string::npos; key = lower.find("password=", key + 1)) {
        const std::size_t value = key + 9;
        const std::size_t end = uri.find('&', value);
        if (const std::string secret = uri.substr(value, end == std::string::npos ? end : end - value); !secret.empty())
            secrets.push_back(secret);
    }
    std::sort(secrets.begin(), secrets.end(), [](const auto& a, const auto& b) { return a.size() > b.size(); });
    return secrets;
}

// A text about the URI (the URI itself, or libpq's message quoting it) with every secret part replaced by "...".
std::string hidingSecrets(std::string text, const std::vector<std::string>& secrets) {
    for (const auto& secret : secrets)
        for (std::size_t at = text.find(secret); at != std::string::npos; at = text.find(secret, at + 3))
            text.replace(at, secret.size(), kHidden);
    return text;
}

AliasDefinition postgresRegister(const std::string& uri) {
    const std::vector<std::string> secrets = secretsOf(uri);
    char* error = nullptr;
    const std::unique_ptr<PQconninfoOption, OptionsFreer> options(PQconninfoParse(uri.c_str(), &error));
    if (!options) {
        const std::string reason = trimmed(error ? error : "out of memory");
        PQfreemem(error);
        throw EngineError("Cannot read the connection URI " + hidingSecrets(uri, secrets) + ": " +
                          hidingSecrets(reason, secrets));
    }
    AliasDefinition alias{uri, "postgresql", {}, kPlace};
    for (const PQconninfoOption* option = options.get(); option->keyword != nullptr; ++option) {
        if (option->val == nullptr)
            continue;
        if (std::string(option->keyword) == "password")
            throw EngineError("The connection URI " + hidingSecrets(uri, secrets) +
                              " holds a password: give it in ~/.pgpass or PGPASSWORD instead, where other users "
                              "cannot see it");
        alias.entries[option->keyword] = option->val;
    }
    return alias;
}

} // namespace

std::optional<AliasDefinition> directRegister(const std::string& name) {
    if (name.starts_with("postgresql://") || name.starts_with("postgres://"))
        return postgresRegister(name);
    if (name.find('/') == std::string::npos && !name.ends_with(".sqlite"))
        return std::nullopt;
    std::error_code ec;
    const std::string path = fs::absolute(name, ec).lexically_normal().string();
    const bool folder = fs::is_directory(path, ec);
    AliasDefinition alias{name, folder ? "paradox" : "sqlite", {{"path", path}}, kPlace};
    return alias;
}

} // namespace engine
