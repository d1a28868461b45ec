#pragma once

// Paradox fixture tables for the tests. pxlib writes them: an implementation of the format independent of
// ours, so reading its files back checks our reader against someone else's understanding of the format.
// pxlib is used only to create files, never to open one (it loops for ever on a damaged block chain) and
// never to read values back (its long and date decoding is wrong on 64-bit machines).

#include "support/FixtureRegister.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct px_doc;

namespace testsupport {

// A table written by pxlib, one record at a time: begin a record, set its fields, append it.
class PxlibTable {
public:
    // pxlib's field type codes (pxfAlpha, ...) and sizes; decimals are a BCD field's digits after the point.
    struct Field {
        std::string name;
        int type = 0;
        int size = 0;
        int decimals = 0;
    };

    // Creates the file. encoding: the iconv name of the table's code page (texts are given in UTF-8).
    PxlibTable(const std::string& path, std::vector<Field> fields, const std::string& encoding = "CP1251");
    ~PxlibTable();
    PxlibTable(const PxlibTable&) = delete;
    PxlibTable& operator=(const PxlibTable&) = delete;

    // Encrypts the table with a password; only before the first record.
    void setPassword(const std::string& password);

    void beginRecord();
    void alpha(std::size_t field, const std::string& utf8);
    void bytes(std::size_t field, const std::string& raw);
    void shortInt(std::size_t field, int value);
    void longInt(std::size_t field, int value);
    void number(std::size_t field, double value);
    void logical(std::size_t field, bool value);
    void date(std::size_t field, int year, int month, int day);
    void time(std::size_t field, int millisecond);
    void timestamp(std::size_t field, int year, int month, int day, int millisecond);
    void bcd(std::size_t field, const std::string& text);
    void appendRecord();

    // Removes a record (counted from 0 over the records written so far).
    void deleteRecord(int position);
    // Writes the header and closes the file; the destructor does it when not done before.
    void close();

private:
    char* at(std::size_t field);
    long dayOf(int year, int month, int day) const;

    px_doc* px_ = nullptr;
    std::vector<Field> fields_;
    std::vector<int> offsets_;
    std::vector<char> record_;
};

// The passwords of a register's two tables; an empty one leaves its table unprotected.
struct TablePasswords {
    std::string doctors;
    std::string insured;
};

// The register of writeSqliteRegister as the Paradox tables Lekari.DB and Osigurenici.DB in a folder, with
// texts in the code page named by encoding.
void writeParadoxRegister(const std::string& folder, const std::vector<DoctorRow>& doctors,
                          const std::vector<PersonRow>& persons, const std::string& encoding = "CP1251",
                          const TablePasswords& passwords = {});

// One field of every type pxlib writes, in the order A (alpha), D, S, I, C, M (memo), N, L, T, TS, AI, BCD, Y
// (bytes), the alpha, memo and bytes fields of the sizes given.
std::vector<PxlibTable::Field> everyFieldType(int alphaSize, int memoSize, int bytesSize);

// An alias file naming a folder of Paradox tables.
std::string paradoxAlias(const std::string& folder, const std::string& aliasName = "kapitacija");

// Byte-level access for damaging files on purpose (readFile of support/FixtureRegister.h reads them).
void writeBytes(const std::string& path, const std::string& bytes);
void patchBytes(const std::string& path, std::size_t offset, const std::string& bytes);
std::string littleEndian16(unsigned value);

} // namespace testsupport
