#pragma once

#include "Findings.h"
#include "RepeatedPairs.h"
#include "engine/Database.h"
#include "engine/RegisterSchema.h"

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace registercheck {

// How a driver delivers a flag: SQLite and Paradox as 1 and 0, PostgreSQL as t and f.
struct FlagTexts {
    std::string_view trueText;
    std::string_view falseText;
};
FlagTexts flagTextsOfDriver(std::string_view driver);

// What the register holds, as the summary counts it.
struct RegisterCounts {
    std::int64_t doctors = 0;
    std::int64_t activeDoctors = 0; // AKTIVEN stored as the driver's true: the rows the doctor box offers
    std::int64_t persons = 0;
    // Persons not deregistered whose doctor is an active doctor of Lekari, by capitation percentage; a person
    // whose UCEN_30 or UCEN_70 the engine cannot read has no percentage.
    std::int64_t listed = 0;
    std::int64_t listedAt30 = 0;
    std::int64_t listedAt70 = 0;
    std::int64_t listedAt100 = 0;
    std::int64_t listedWithoutPercent = 0;
    // Whether Lekari was read in full; when not, the persons' doctors are not checked and nobody counts as listed.
    bool doctorsRead = false;
};

// Memory ran out while the check read a table or compared its rows: the message says which and where.
class OutOfMemory : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Reads a whole register through the engine and collects what makes a doctor list, an insured-person list or
// an export wrong or impossible. It only runs SELECT statements.
class RegisterCheck {
public:
    // Called every 65,536 rows and at the end of each table with the rows read so far.
    using Progress = std::function<void(std::string_view table, std::int64_t rowsRead)>;

    // codePage: the one the database delivers text in. keptPerKind: how many findings of each kind are kept for
    // the report (all are counted).
    RegisterCheck(const engine::CodePage& codePage, FlagTexts flags, std::size_t keptPerKind);

    // Reads every row of Lekari, then of Osigurenici. A table whose statement or scan fails with an EngineError
    // is a finding of its own, and the check goes on with the other table. Memory running out throws
    // OutOfMemory naming the table and row (or the comparison) where it ran out; other exceptions pass through.
    // REQUIRES: called once.
    void run(engine::Database& database, const Progress& progress);

    const FindingList& findings() const { return findings_; }
    const RegisterCounts& counts() const { return counts_; }
    // The engine's messages when no table delivered a single row because every statement failed: then nothing
    // of the register could be read. Empty otherwise.
    std::vector<std::string> nothingReadMessages() const;

private:
    // What the persons' rows need to know of a doctor code; codes that only persons name get an entry too, so
    // that every code has a number for the index of persons.
    struct DoctorState {
        std::uint32_t id = 0;
        std::int64_t row = 0; // the first row of Lekari with the code; 0 when Lekari has none
        bool active = false;  // some row with the code is active
    };
    struct CodeInPage {
        std::string stored;
        std::int64_t row = 0;
    };

    bool checkTable(engine::Database& database, const engine::RegisterTable& table, const Progress& progress);
    void checkDoctorRow(engine::Cursor& cursor, std::int64_t row);
    void checkPersonRow(engine::Cursor& cursor, std::int64_t row);

    // The checks of every text column and every flag of a row of either table; `effect` says what the program
    // does with a finding in a column: effect(column, what the program reads) gives the consequence.
    template <typename Effect>
    void checkTexts(engine::Cursor& cursor, const engine::RegisterTable& table, std::int64_t row, const Effect& effect);
    template <typename Effect>
    void checkFlags(engine::Cursor& cursor, const engine::RegisterTable& table, std::int64_t row, const Effect& effect);
    // The doctor code's file name, its twin rows and its twin in the code page.
    void checkDoctorCode(engine::Cursor& cursor, std::int64_t row, const std::string& stored, bool active);

    // The persons listed again with the same doctor, once every person is read.
    void reportRepeatedPersons();

    std::string rowKey(engine::Cursor& cursor, const engine::RegisterTable& table, std::int64_t row) const;
    // The state of a doctor code, made for a code seen first.
    DoctorState& doctorOf(const std::string& code);
    // The state of a code that Lekari holds; nullptr for a code no row of Lekari has.
    const DoctorState* doctorInLekari(const std::string& code) const;
    // Whether the list of the doctor (nullptr: not in Lekari) may read a person who is not deregistered: the
    // doctor is active, or Lekari could not be read and nobody knows.
    bool listReads(const DoctorState* doctor) const { return !counts_.doctorsRead || (doctor && doctor->active); }
    // Why no list shows a person who is not deregistered and whose doctor's list does not read it.
    std::string whyNoList(bool codeBlank, const std::string& code, const DoctorState* doctor) const;

    const engine::CodePage& codePage_;
    FlagTexts flags_;
    // Columns of the rows, by their place in the register's schema.
    std::size_t doctorCode_;
    std::size_t doctorActive_;
    std::size_t personMb_;
    std::size_t personCode_;
    std::size_t personUcen30_;
    std::size_t personUcen70_;
    std::size_t personBrOdj_;

    FindingList findings_;
    RegisterCounts counts_;
    std::vector<std::string> unreadTables_; // messages of tables that failed before their first row

    std::unordered_map<std::string, DoctorState> doctors_; // by the code as stored
    std::vector<std::pair<const std::string, DoctorState>*> doctorsById_;
    std::unordered_map<std::string, CodeInPage> codesInPage_; // Lekari's codes by their text in the code page
    RepeatedPairs personsByDoctor_;                           // (doctor id, MB) of persons not deregistered
};

} // namespace registercheck
