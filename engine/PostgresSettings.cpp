#include "engine/PostgresSettings.h"

#include "engine/EngineError.h"
#include "engine/Text.h"

#include <algorithm>
#include <cstdlib>
#include <set>

namespace engine {
namespace {

constexpr long kLongestTimeout = 86400;

std::string aliasPlace(const AliasDefinition& alias) { return "Alias '" + alias.name + "' in " + alias.sourceFile; }

std::chrono::seconds timeoutOf(const AliasDefinition& alias) {
    const std::string text = alias.entry("timeout", "30");
    const bool digits = !text.empty() && text.size() <= 5 &&
                        std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
    const long seconds = digits ? std::strtol(text.c_str(), nullptr, 10) : 0;
    if (seconds < 1 || seconds > kLongestTimeout)
        throw EngineError(aliasPlace(alias) + ": 'timeout = " + text + "' is not a number of seconds from 1 to " +
                          std::to_string(kLongestTimeout));
    return std::chrono::seconds(seconds);
}

// The engine converts the server's text from UTF-8 into the alias's code page; another client encoding would
// garble every name, so it is refused rather than quietly replaced.
void requireUtf8(const AliasDefinition& alias) {
    const std::string encoding = alias.entry("client_encoding", "UTF8");
    if (!equalsIgnoreCase(encoding, "UTF8") && !equalsIgnoreCase(encoding, "UTF-8"))
        throw EngineError(aliasPlace(alias) + ": 'client_encoding = " + encoding +
                          "' is not supported; the server's text is read as UTF8 and converted to the code page "
                          "named by 'codepage'");
}

// The user's own server settings first, the engine's after them: of two "-c" settings of one parameter the
// server keeps the later, so the session stays read-only and its dates ISO whatever the user wrote. Scans of a
// whole table start at its first block and run in one process, so that every read delivers the rows of one
// doctor in the order of their places in the table, whether it scans the table or an index (see
// Database::readInKeyOrder).
std::string sessionOptions(const AliasDefinition& alias) {
    const char* fromEnvironment = std::getenv("PGOPTIONS");
    std::string options = trimmed(alias.entry("options", fromEnvironment ? fromEnvironment : ""));
    if (!options.empty())
        options += ' ';
    return options + "-c default_transaction_read_only=on -c DateStyle=ISO -c synchronize_seqscans=off "
                     "-c max_parallel_workers_per_gather=0";
}

void addUnlessGiven(const AliasDefinition& alias, PostgresSettings& settings, const std::string& key,
                    const std::string& value) {
    if (alias.entries.contains(key))
        return;
    settings.keys.push_back(key);
    settings.values.push_back(value);
}

} // namespace

PostgresSettings postgresSettings(const AliasDefinition& alias) {
    static const std::set<std::string> kEngineEntries = {"path", "codepage", "timeout", "options", "client_encoding"};
    requireUtf8(alias);
    alias.password(); // refuses a password from an alias file that others may read
    PostgresSettings settings;
    settings.timeout = timeoutOf(alias);
    for (const auto& [key, value] : alias.entries) {
        if (kEngineEntries.contains(key))
            continue;
        settings.keys.push_back(key);
        settings.values.push_back(value);
    }
    settings.keys.insert(settings.keys.end(), {"client_encoding", "options"});
    settings.values.insert(settings.values.end(), {"UTF8", sessionOptions(alias)});

    // Without these libpq waits for a silent server for ever: connect_timeout bounds the connection, and the
    // keepalives let the system notice a server that vanished from the network while the connection was idle.
    const long seconds = static_cast<long>(settings.timeout.count());
    addUnlessGiven(alias, settings, "connect_timeout", std::to_string(seconds));
    addUnlessGiven(alias, settings, "keepalives", "1");
    addUnlessGiven(alias, settings, "keepalives_idle", std::to_string(seconds));
    addUnlessGiven(alias, settings, "keepalives_interval", std::to_string(std::max(1L, seconds / 3)));
    addUnlessGiven(alias, settings, "keepalives_count", "3");
    // libpq uses the fallback only when neither the alias nor $PGAPPNAME names the application.
    addUnlessGiven(alias, settings, "fallback_application_name", "pelmarot");

    settings.name = alias.entry("dbname", alias.entry("user", "postgres")) + " (alias '" + alias.name + "' in " +
                    alias.sourceFile + ")";
    return settings;
}

} // namespace engine
