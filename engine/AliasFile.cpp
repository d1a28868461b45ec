#include "engine/AliasFile.h"

#include "engine/EngineError.h"
#include "engine/ReadOnlyFile.h"
#include "engine/Text.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace engine {
namespace fs = std::filesystem;

namespace {

std::string envOrEmpty(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

// Removes a comment that starts at a ';' or '#' which begins the text or follows white space.
std::string withoutComment(const std::string& line) {
    for (std::size_t i = 0; i < line.size(); ++i) {
        if ((line[i] == ';' || line[i] == '#') && (i == 0 || line[i - 1] == ' ' || line[i - 1] == '\t'))
            return line.substr(0, i);
    }
    return line;
}

} // namespace

std::string AliasDefinition::entry(const std::string& key, const std::string& fallback) const {
    const auto it = entries.find(key);
    return it == entries.end() ? fallback : it->second;
}

std::string AliasDefinition::resolvedPath() const {
    const fs::path path = entry("path");
    if (path.empty() || path.is_absolute())
        return path.string();
    return (fs::path(sourceFile).parent_path() / path).lexically_normal().string();
}

std::string AliasDefinition::password() const {
    const std::string given = entry("password");
    if (!given.empty() && fileOpenToOthers)
        throw EngineError("The alias file " + sourceFile + " gives a password for alias '" + name +
                          "' but other users may read it, so the password is not used: make the file readable by "
                          "its owner alone (chmod 600 " +
                          sourceFile + "), or remove its 'password' entry");
    return given;
}

std::vector<std::string> AliasFile::searchPath() {
    if (const std::string explicitFile = envOrEmpty("PELMAROT_ALIASES"); !explicitFile.empty())
        return {explicitFile};
    std::string configHome = envOrEmpty("XDG_CONFIG_HOME");
    if (configHome.empty())
        configHome = envOrEmpty("HOME") + "/.config";
    return {configHome + "/pelmarot/aliases.ini", "/etc/pelmarot/aliases.ini"};
}

AliasFile AliasFile::locate() {
    const std::vector<std::string> places = searchPath();
    for (const auto& place : places) {
        std::error_code ec;
        if (fs::exists(place, ec))
            return load(place);
    }
    std::string looked;
    for (const auto& place : places)
        looked += (looked.empty() ? "" : ", ") + place;
    if (places.size() == 1)
        throw EngineError("Alias file " + places.front() + " (named by PELMAROT_ALIASES) does not exist");
    throw EngineError("No alias file found; looked for " + looked);
}

AliasFile AliasFile::load(const std::string& path) {
    // A FIFO would block the open for ever, and a folder reads as an empty file that defines nothing.
    if (const std::string kind = nonRegularFileKind(path); !kind.empty())
        throw EngineError("The alias file " + path + " is " + kind + ", not a file of aliases");
    std::ifstream in(path);
    if (!in)
        throw EngineError("Cannot read the alias file " + path);
    AliasFile file;
    file.path_ = path;
    std::error_code ec;
    const fs::perms permissions = fs::status(path, ec).permissions();
    const bool openToOthers = ec || (permissions & (fs::perms::group_all | fs::perms::others_all)) != fs::perms::none;
    std::string line;
    int lineNumber = 0;
    AliasDefinition* current = nullptr;
    while (std::getline(in, line)) {
        ++lineNumber;
        // Editors on other systems start a UTF-8 file with a byte-order mark; it is not part of the text.
        if (lineNumber == 1 && line.starts_with("\xEF\xBB\xBF"))
            line.erase(0, 3);
        const std::string text = trimmed(withoutComment(line));
        if (text.empty())
            continue;
        if (text.front() == '[') {
            if (text.back() != ']' || text.size() < 3)
                throw EngineError(path + ", line " + std::to_string(lineNumber) + ": malformed section header");
            const std::string name = trimmed(text.substr(1, text.size() - 2));
            current = &file.aliases_[toLower(name)];
            current->name = name;
            current->sourceFile = path;
            current->fileOpenToOthers = openToOthers;
            continue;
        }
        const auto eq = text.find('=');
        if (eq == std::string::npos || current == nullptr)
            throw EngineError(path + ", line " + std::to_string(lineNumber) +
                              (current ? ": expected 'key = value'" : ": entry outside of an alias section"));
        const std::string key = toLower(trimmed(text.substr(0, eq)));
        std::string value = trimmed(text.substr(eq + 1));
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        if (key == "driver")
            current->driver = toLower(value);
        else
            current->entries[key] = value;
    }
    return file;
}

bool AliasFile::defines(const std::string& name) const { return aliases_.contains(toLower(name)); }

AliasDefinition AliasFile::alias(const std::string& name) const {
    const auto it = aliases_.find(toLower(name));
    if (it == aliases_.end())
        throw EngineError("Alias '" + name + "' is not defined in the alias file " + path_);
    if (it->second.driver.empty())
        throw EngineError("Alias '" + name + "' in the alias file " + path_ + " names no driver");
    return it->second;
}

} // namespace engine
