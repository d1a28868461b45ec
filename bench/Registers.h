#pragma once

// The registers the bench reads, made by the demo generator once and kept under the bench's data folder; a
// register is there only once it is complete.

#include <filesystem>
#include <string>
#include <vector>

namespace bench {

namespace fs = std::filesystem;

// 2,000,000 persons and about 1,000 doctors; two more doctors, BIG200 and BIG100, hold 200,000 and 100,000 of
// the generated persons.
fs::path bigRegister(const fs::path& data);
// 10,000 active doctors and 50,000 persons, for the start-up.
fs::path manyDoctorsRegister(const fs::path& data);
// 10,000,000 persons and the same 1,000 doctors as bigRegister (the generator draws the doctors first, from the
// same seed). Takes minutes to make.
fs::path largeRegister(const fs::path& data);

// Writes the alias file `file` with the alias kapitacija: `driver` reading `path`.
fs::path writeAlias(const fs::path& file, const std::string& driver, const fs::path& path);
// The alias file "<register>.ini" beside an SQLite register, naming it.
fs::path sqliteAlias(const fs::path& database);

// The first column of every row of a query on an SQLite file, as text (empty for NULL).
std::vector<std::string> sqlColumn(const fs::path& database, const std::string& sql);
// The first column of the first row; empty when there is none.
std::string sqlScalar(const fs::path& database, const std::string& sql);

// `count` active doctors other than BIG200 and BIG100, those whose registered persons (BR_ODJ IS NULL) number
// closest to `persons` first.
std::vector<std::string> doctorsNear(const fs::path& database, int persons, int count);
// An active doctor without persons, to move the window's list away from a doctor.
std::string doctorWithoutPersons(const fs::path& database);
// The lines of the month-end export below its titles: the registered persons of the active doctors.
long long monthEndRows(const fs::path& database);

} // namespace bench
