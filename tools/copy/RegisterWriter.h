#pragma once

#include "ContentDigest.h"
#include "engine/RegisterSchema.h"

#include <memory>
#include <vector>

namespace engine {
struct AliasDefinition;
}

namespace registercopy {

// Where a copied register goes: an SQLite file or an empty PostgreSQL database. Everything is written in
// one transaction: nothing of the copy is visible, and nothing else in the target changes, until finish();
// a writer destroyed before that (a failure, an exception) leaves the target exactly as it was. Throws
// std::runtime_error with a message naming the target on any failure.
class RegisterWriter {
public:
    virtual ~RegisterWriter() = default;

    // Creates the table; refuses when a table of that name exists already.
    virtual void beginTable(const engine::RegisterTable& table) = 0;
    // Values in the table's column order.
    virtual void addRow(const std::vector<Value>& row) = 0;
    // Ends the table's rows and reads the table back from the target: the digest of what it now holds.
    virtual ContentDigest endTable(const engine::RegisterTable& table) = 0;
    // Creates the index on Osigurenici.LEKAR_S and makes the copy durable and visible; only after every table.
    virtual void finish() = 0;

    // The writer for a target alias (driver sqlite or postgresql).
    static std::unique_ptr<RegisterWriter> forAlias(const engine::AliasDefinition& target);
};

// A new SQLite file is written under a hidden temporary name in the same folder and takes its name only in
// finish(), never replacing a file that appeared meanwhile; until then a signal or failure leaves no file at
// `path`. An existing SQLite file is written inside one transaction with its rollback journal (or its
// write-ahead log), so that a failure or a killed copy is rolled back and the file's other tables never change.
std::unique_ptr<RegisterWriter> sqliteRegisterWriter(const std::string& path);
// An empty PostgreSQL database, filled with COPY in one transaction that is rolled back on any failure.
std::unique_ptr<RegisterWriter> postgresRegisterWriter(const engine::AliasDefinition& target);

} // namespace registercopy
