#include "support/FixtureRegister.h"

#include "engine/RegisterSchema.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sqlite3.h>
#include <sstream>
#include <stdexcept>

namespace testsupport {

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "pelmarot-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("cannot create a temporary folder");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
}

void runSql(const std::string& path, const std::string& sql) {
    sqlite3* db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) {
        sqlite3_close(db);
        throw std::runtime_error("cannot open " + path);
    }
    char* error = nullptr;
    const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error);
    const std::string message = error ? error : "";
    sqlite3_free(error);
    sqlite3_close(db);
    if (rc != SQLITE_OK)
        throw std::runtime_error("SQL failed on " + path + ": " + message);
}

std::string sqlText(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        out += c;
        if (c == '\'')
            out += '\'';
    }
    return out + "'";
}

std::string sqlTextOrNull(const std::optional<std::string>& text) { return text ? sqlText(*text) : "NULL"; }

std::map<std::string, std::string> filesIn(const std::string& folder) {
    std::map<std::string, std::string> files;
    for (const auto& name : folderEntries(folder))
        files[name] = readFile(folder + "/" + name);
    return files;
}

std::vector<std::string> folderEntries(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

void writeSqliteRegister(const std::string& path, const std::vector<DoctorRow>& doctors,
                         const std::vector<PersonRow>& persons) {
    std::ostringstream sql;
    sql << "BEGIN;";
    for (const engine::RegisterTable* table : engine::registerTables())
        sql << engine::createTableStatement(*table, engine::SqlStore::Sqlite) << ';';
    sql << engine::createIndexStatement() << ';';
    for (const auto& d : doctors)
        sql << "INSERT INTO Lekari VALUES (" << sqlText(d.code) << ',' << sqlText(d.surname) << ','
            << sqlText(d.firstName) << ',' << sqlText(d.municipality) << ',' << (d.active ? 1 : 0) << ");";
    for (const auto& p : persons)
        sql << "INSERT INTO Osigurenici VALUES (" << sqlText(p.mb) << ',' << sqlText(p.surname) << ','
            << sqlText(p.fathersName) << ',' << sqlText(p.firstName) << ',' << sqlText(p.doctorCode) << ','
            << sqlText(p.registrationNumber) << ',' << (p.ucen30 ? 1 : 0) << ',' << (p.ucen70 ? 1 : 0) << ','
            << sqlTextOrNull(p.registrationDate) << ',' << sqlTextOrNull(p.deregistrationNumber) << ");";
    sql << "COMMIT;";
    runSql(path, sql.str());
}

AliasFileScope::AliasFileScope(const std::string& aliasFilePath, const std::string& contents) {
    if (const char* old = std::getenv("PELMAROT_ALIASES"))
        previous_ = old;
    std::ofstream(aliasFilePath) << contents;
    // Readable by its owner alone, as a file that gives a password must be.
    std::filesystem::permissions(aliasFilePath,
                                 std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    setenv("PELMAROT_ALIASES", aliasFilePath.c_str(), 1);
}

AliasFileScope::~AliasFileScope() {
    if (previous_)
        setenv("PELMAROT_ALIASES", previous_->c_str(), 1);
    else
        unsetenv("PELMAROT_ALIASES");
}

std::string AliasFileScope::sqliteAlias(const std::string& databasePath, const std::string& aliasName) {
    return "[" + aliasName + "]\ndriver = sqlite\npath = " + databasePath + "\n";
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

} // namespace testsupport
