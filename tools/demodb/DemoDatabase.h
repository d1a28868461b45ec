#pragma once

#include "demodb/Register.h"
#include "engine/SqliteHandles.h"

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

namespace demodb {

// A failure to write the demo database; the text is what the user is shown.
class DemoDatabaseError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Writes a new SQLite register with the tables Lekari and Osigurenici as the engine expects them. All rows go
// into one transaction without a journal, since the file is thrown away if writing fails; the index on
// Osigurenici(LEKAR_S) is built after the rows, which is much faster than keeping it up to date row by row.
class DemoDatabase {
public:
    // Creates the database file, which must not exist yet, with its empty tables.
    explicit DemoDatabase(const std::filesystem::path& file);
    ~DemoDatabase();
    DemoDatabase(const DemoDatabase&) = delete;
    DemoDatabase& operator=(const DemoDatabase&) = delete;

    void addDoctor(const Doctor& doctor);
    void addPerson(const Person& person);

    // Builds the index, commits and closes the file. Without it the file is closed incomplete.
    void finish();

private:
    class Statement;

    void execute(const std::string& sql);
    [[noreturn]] void fail() const;

    std::string fileName_;
    engine::SqliteConnection connection_;
    std::unique_ptr<Statement> insertDoctor_;
    std::unique_ptr<Statement> insertPerson_;
};

} // namespace demodb
