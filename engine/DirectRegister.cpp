#include "engine/DirectRegister.h"

#include "engine/EngineError.h"

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

// The URI with what stands between "//" and "@" (the user and the password) left out.
std::string withoutUserInfo(const std::string& uri) {
    const std::size_t start = uri.find("//");
    const std::size_t at = uri.find('@');
    if (start == std::string::npos || at == std::string::npos || at < start)
        return uri;
    return uri.substr(0, start + 2) + "..." + uri.substr(at);
}

AliasDefinition postgresRegister(const std::string& uri) {
    char* error = nullptr;
    const std::unique_ptr<PQconninfoOption, OptionsFreer> options(PQconninfoParse(uri.c_str(), &error));
    if (!options) {
        const std::string reason = error ? error : "out of memory";
        PQfreemem(error);
        throw EngineError("Cannot read the connection URI " + uri + ": " + reason);
    }
    AliasDefinition alias{uri, "postgresql", {}, kPlace};
    for (const PQconninfoOption* option = options.get(); option->keyword != nullptr; ++option) {
        if (option->val == nullptr)
            continue;
        if (std::string(option->keyword) == "password")
            throw EngineError("The connection URI " + withoutUserInfo(uri) +
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
