#pragma once

#include "demodb/NameLists.h"
#include "demodb/SplitMix64.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace demodb {

// One row of the table Lekari.
struct Doctor {
    std::string code;         // LEKAR_S: up to 6 characters, unique
    std::string surname;      // PRE
    std::string firstName;    // IME
    std::string municipality; // OPS_S: 3 digits
    bool active = true;       // AKTIVEN
    bool takesPersons = true; // false for the active doctors kept without persons
    std::uint64_t weight = 0; // relative share of the persons registered with this doctor
};

// The doctors of the register. About a tenth are inactive, and (from two doctors on) a few active doctors get
// no persons, so that the program's empty list can be seen; the others get persons in very unequal shares.
class DoctorRoster {
public:
    DoctorRoster(std::size_t count, const NameLists& names, SplitMix64& random);

    const std::vector<Doctor>& doctors() const { return doctors_; }
    std::size_t inactiveCount() const;
    std::size_t withoutPersonsCount() const;

    // A doctor for the next insured person, drawn by the doctors' weights.
    const Doctor& drawForPerson(SplitMix64& random) const;

private:
    std::string uniqueCode(SplitMix64& random);

    std::vector<Doctor> doctors_;
    std::unordered_set<std::string> codes_;
    std::vector<std::size_t> takingPersons_;      // indexes into doctors_
    std::vector<std::uint64_t> cumulativeWeight_; // running sum of the weights of takingPersons_
};

// One row of the table Osigurenici. The views point into the generator that made the row and stay valid until
// it makes the next one.
struct Person {
    std::string_view identityNumber;     // MB: 13 digits
    std::string_view surname;            // PRE
    std::string_view fathersName;        // TIME
    std::string_view firstName;          // IME
    std::string_view doctorCode;         // LEKAR_S
    std::string_view registrationNumber; // BR_PRI
    bool ucen30 = false;
    bool ucen70 = false;
    std::optional<std::string_view> registrationDate;     // DATA_PRI as YYYY-MM-DD
    std::optional<std::string_view> deregistrationNumber; // BR_ODJ; empty while registered
};

// Makes insured persons one after another. The identity number follows the rules of the Macedonian EMBG:
// DDMMYYY birth date, a region 41..49, a serial number below 500 for men and from 500 for women, and a check
// digit; no number is given twice. Surnames and first names agree with the gender in the number.
class PersonGenerator {
public:
    PersonGenerator(const DoctorRoster& doctors, const NameLists& names, SplitMix64& random);

    const Person& next();

private:
    std::int64_t drawBirthDay();
    void drawIdentityNumber(std::int64_t birthDay, Gender gender);
    std::string_view drawName(const std::vector<std::string>& names, std::uint64_t emptyOneIn);
    void drawRegistrationDate(std::int64_t birthDay);
    void drawRegistrationNumber();
    void drawDeregistration();

    const DoctorRoster& doctors_;
    const NameLists& names_;
    SplitMix64& random_;
    // One bit per possible birth day, region and serial number: about 40 MB, but less than a hash set of
    // millions of numbers, and independent of how many persons are made.
    std::vector<bool> issuedIdentityNumbers_;
    Person person_;
    char identityNumber_[13] = {};
    char registrationDate_[10] = {};
    char registrationNumber_[8] = {};
    char deregistrationNumber_[8] = {};
};

} // namespace demodb
