#pragma once

#include <map>
#include <string>
#include <vector>

namespace engine {

// One alias: a driver name and the driver's entries (path, host, codepage, ...). Entry keys are lower case.
struct AliasDefinition {
    std::string name;
    std::string driver;
    std::map<std::string, std::string> entries;
    // The alias file it came from; a relative path entry is taken relative to its folder.
    std::string sourceFile;
    // Whether users other than the alias file's owner may read or change it (then its passwords are refused).
    bool fileOpenToOthers = false;

    // The entry's value, or fallback when the alias has none.
    std::string entry(const std::string& key, const std::string& fallback = {}) const;
    // The "path" entry made absolute against the folder of the alias file.
    std::string resolvedPath() const;
    // The "password" entry, or "" when there is none. Throws EngineError saying how to mend it when the alias
    // file that gives it is open to other users, as libpq refuses a ~/.pgpass that others can read.
    std::string password() const;
};

// The engine's INI file of aliases:
//
//   [kapitacija]
//   driver = sqlite          ; a comment
//   path = data/kapitacija.sqlite
//
// Section and key names match without regard to case; ';' or '#' starts a comment at the start of a line
// or after white space.
class AliasFile {
public:
    // The places searched, in order: $PELMAROT_ALIASES when set (and then only it), else
    // $XDG_CONFIG_HOME/pelmarot/aliases.ini (default ~/.config/pelmarot/aliases.ini), else
    // /etc/pelmarot/aliases.ini.
    static std::vector<std::string> searchPath();

    // Loads the first file of searchPath() that exists. Throws EngineError naming every place searched
    // when there is none, and naming the file and line when it cannot be read or parsed.
    static AliasFile locate();
    static AliasFile load(const std::string& path);

    const std::string& path() const { return path_; }

    // Throws EngineError naming the alias file when the alias is not defined or has no driver.
    AliasDefinition alias(const std::string& name) const;
    bool defines(const std::string& name) const;

private:
    std::string path_;
    std::map<std::string, AliasDefinition> aliases_; // keyed by lower-case name
};

} // namespace engine
