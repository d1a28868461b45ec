#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

// A temporary folder, removed with everything in it when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

struct DoctorRow {
    std::string code;
    std::string surname;
    std::string firstName;
    std::string municipality = "001";
    bool active = true;
};

struct PersonRow {
    std::string mb;
    std::string surname;
    std::string fathersName;
    std::string firstName;
    std::string doctorCode;
    std::string registrationNumber;
    bool ucen30 = false;
    bool ucen70 = false;
    std::optional<std::string> registrationDate; // ISO text; nullopt stores NULL
    std::optional<std::string> deregistrationNumber;
};

// Writes an SQLite register with the tables Lekari and Osigurenici (UTF-8 text, 0/1 booleans, ISO dates).
void writeSqliteRegister(const std::string& path, const std::vector<DoctorRow>& doctors,
                         const std::vector<PersonRow>& persons);

// Runs raw SQL on an SQLite file (for registers with unusual schemas). Throws std::runtime_error.
void runSql(const std::string& path, const std::string& sql);

// Writes an alias file with the alias kapitacija (and any extra lines), readable by its owner alone, and points
// PELMAROT_ALIASES at it for the life of the object; the previous value comes back afterwards.
class AliasFileScope {
public:
    AliasFileScope(const std::string& aliasFilePath, const std::string& contents);
    ~AliasFileScope();
    AliasFileScope(const AliasFileScope&) = delete;
    AliasFileScope& operator=(const AliasFileScope&) = delete;

    // An alias file naming an SQLite database file.
    static std::string sqliteAlias(const std::string& databasePath, const std::string& aliasName = "kapitacija");

private:
    std::optional<std::string> previous_;
};

std::string readFile(const std::string& path);

// The names in a folder, sorted.
std::vector<std::string> folderEntries(const std::string& folder);
// Every file of a folder by name, with its bytes.
std::map<std::string, std::string> filesIn(const std::string& folder);

// A text as an SQL string literal (quotes doubled), or NULL for nullopt.
std::string sqlText(const std::string& text);
std::string sqlTextOrNull(const std::optional<std::string>& text);

} // namespace testsupport
