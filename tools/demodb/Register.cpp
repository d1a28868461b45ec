#include "demodb/Register.h"

#include "engine/Date.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <numeric>

namespace demodb {
namespace {

const std::int64_t firstBirthDay = engine::dayNumberOf(1930, 1, 1);
const std::int64_t lastBirthDay = engine::dayNumberOf(2024, 12, 31);
const std::int64_t firstRegistrationDay = engine::dayNumberOf(1995, 1, 1);
const std::int64_t lastRegistrationDay = engine::dayNumberOf(2026, 12, 31);
constexpr int firstRegion = 41;
constexpr int lastRegion = 49;
constexpr int serialsPerRegion = 1000;
constexpr std::size_t identityNumbersPerDay = (lastRegion - firstRegion + 1) * serialsPerRegion;

// Writes value as exactly width decimal digits, with leading zeros.
void writeDigits(char* out, std::uint64_t value, int width) {
    for (int position = width - 1; position >= 0; --position) {
        out[position] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
}

// Writes value in decimal without leading zeros and returns the number of characters written; the buffer is
// large enough for every value the generator draws.
template <std::size_t size>
std::size_t writeNumber(char (&out)[size], std::uint64_t value) {
    return static_cast<std::size_t>(std::to_chars(out, out + size, value).ptr - out);
}

std::uint64_t powerOfTen(int exponent) {
    std::uint64_t power = 1;
    while (exponent-- > 0)
        power *= 10;
    return power;
}

// The EMBG check digit of the first twelve digits, or 10 for a combination that is never issued.
int identityCheckDigit(const char* digits) {
    int sum = 0;
    for (int position = 0; position < 6; ++position)
        sum += (7 - position) * ((digits[position] - '0') + (digits[position + 6] - '0'));
    const int check = 11 - sum % 11;
    return check == 11 ? 0 : check;
}

Gender drawGender(SplitMix64& random) { return random.chance(1, 2) ? Gender::Male : Gender::Female; }

const std::string& drawFrom(const std::vector<std::string>& names, SplitMix64& random) {
    return names[random.below(names.size())];
}

} // namespace

DoctorRoster::DoctorRoster(std::size_t count, const NameLists& names, SplitMix64& random) {
    doctors_.reserve(count);
    for (std::size_t index = 0; index < count; ++index) {
        Doctor doctor;
        const Gender gender = drawGender(random);
        doctor.code = uniqueCode(random);
        doctor.surname = drawFrom(names.surnames(gender), random);
        doctor.firstName = drawFrom(names.firstNames(gender), random);
        char municipality[3];
        writeDigits(municipality, static_cast<std::uint64_t>(random.between(1, 85)), 3);
        doctor.municipality.assign(municipality, 3);
        // A cubed uniform number gives most doctors a modest share and a few a share up to a hundred times it.
        const std::uint64_t spread = random.below(1000);
        doctor.weight = 10 + spread * spread * spread / 1'000'000;
        doctors_.push_back(std::move(doctor));
    }

    // Roles go to doctors in a shuffled order, so that inactive and empty doctors are spread through the table.
    std::vector<std::size_t> order(count);
    std::iota(order.begin(), order.end(), std::size_t{0});
    for (std::size_t index = count; index > 1; --index)
        std::swap(order[index - 1], order[random.below(index)]);
    const std::size_t inactive = count >= 3 ? std::max<std::size_t>(1, (count + 5) / 10) : 0;
    const std::size_t withoutPersons = count >= 2 ? std::max<std::size_t>(1, count / 50) : 0;
    for (std::size_t position = 0; position < inactive; ++position)
        doctors_[order[position]].active = false;
    for (std::size_t position = inactive; position < inactive + withoutPersons; ++position)
        doctors_[order[position]].takesPersons = false;

    std::uint64_t total = 0;
    for (std::size_t index = 0; index < count; ++index) {
        if (!doctors_[index].takesPersons)
            continue;
        total += doctors_[index].weight;
        takingPersons_.push_back(index);
        cumulativeWeight_.push_back(total);
    }
}

std::size_t DoctorRoster::inactiveCount() const {
    return static_cast<std::size_t>(
        std::count_if(doctors_.begin(), doctors_.end(), [](const Doctor& doctor) { return !doctor.active; }));
}

std::size_t DoctorRoster::withoutPersonsCount() const { return doctors_.size() - takingPersons_.size(); }

const Doctor& DoctorRoster::drawForPerson(SplitMix64& random) const {
    const std::uint64_t point = random.below(cumulativeWeight_.back());
    const auto found = std::upper_bound(cumulativeWeight_.begin(), cumulativeWeight_.end(), point);
    return doctors_[takingPersons_[static_cast<std::size_t>(found - cumulativeWeight_.begin())]];
}

std::string DoctorRoster::uniqueCode(SplitMix64& random) {
    // Most codes are six digits; some older ones are four digits, and a few a letter and a number.
    static constexpr std::string_view letters = "ABVGDEKMNPST";
    for (;;) {
        const std::uint64_t kind = random.below(100);
        std::string code;
        if (kind < 84) {
            code = std::to_string(random.between(100000, 999999));
        } else if (kind < 94) {
            code = std::to_string(random.between(1000, 9999));
        } else {
            code = letters[random.below(letters.size())];
            code += std::to_string(random.between(1, 99));
        }
        if (codes_.insert(code).second)
            return code;
    }
}

PersonGenerator::PersonGenerator(const DoctorRoster& doctors, const NameLists& names, SplitMix64& random)
    : doctors_(doctors), names_(names), random_(random),
      issuedIdentityNumbers_(static_cast<std::size_t>(lastBirthDay - firstBirthDay + 1) * identityNumbersPerDay) {}

const Person& PersonGenerator::next() {
    const Gender gender = drawGender(random_);
    const std::int64_t birthDay = drawBirthDay();
    drawIdentityNumber(birthDay, gender);
    person_.surname = drawName(names_.surnames(gender), 5000);
    person_.fathersName = drawName(names_.fathersNames(), 400);
    person_.firstName = drawName(names_.firstNames(gender), 2000);
    person_.doctorCode = doctors_.drawForPerson(random_).code;
    drawRegistrationNumber();

    // Most persons pay in full; the reduced rates are rarer, and both flags together rarer still.
    const std::uint64_t rate = random_.below(100);
    person_.ucen30 = (rate >= 68 && rate < 83) || rate >= 95;
    person_.ucen70 = rate >= 83;

    drawRegistrationDate(birthDay);
    drawDeregistration();
    return person_;
}

std::int64_t PersonGenerator::drawBirthDay() { return random_.between(firstBirthDay, lastBirthDay); }

void PersonGenerator::drawIdentityNumber(std::int64_t birthDay, Gender gender) {
    const engine::CivilDate birth = engine::civilDateOf(static_cast<engine::DayNumber>(birthDay));
    writeDigits(identityNumber_, static_cast<std::uint64_t>(birth.day), 2);
    writeDigits(identityNumber_ + 2, static_cast<std::uint64_t>(birth.month), 2);
    writeDigits(identityNumber_ + 4, static_cast<std::uint64_t>(birth.year % 1000), 3);
    for (;;) {
        const int region = static_cast<int>(random_.between(firstRegion, lastRegion));
        const int serial = static_cast<int>(random_.between(0, 499)) + (gender == Gender::Female ? 500 : 0);
        writeDigits(identityNumber_ + 7, static_cast<std::uint64_t>(region), 2);
        writeDigits(identityNumber_ + 9, static_cast<std::uint64_t>(serial), 3);
        const int check = identityCheckDigit(identityNumber_);
        if (check == 10)
            continue;
        const std::size_t issued = static_cast<std::size_t>(birthDay - firstBirthDay) * identityNumbersPerDay +
                                   static_cast<std::size_t>((region - firstRegion) * serialsPerRegion + serial);
        if (issuedIdentityNumbers_[issued])
            continue;
        issuedIdentityNumbers_[issued] = true;
        identityNumber_[12] = static_cast<char>('0' + check);
        person_.identityNumber = std::string_view(identityNumber_, 13);
        return;
    }
}

std::string_view PersonGenerator::drawName(const std::vector<std::string>& names, std::uint64_t emptyOneIn) {
    // A few records of a real register miss a name; they are stored as empty strings, not as nulls.
    if (random_.chance(1, emptyOneIn))
        return std::string_view("", 0);
    return drawFrom(names, random_);
}

void PersonGenerator::drawRegistrationNumber() {
    const int digits = static_cast<int>(random_.between(5, 8));
    const std::uint64_t low = powerOfTen(digits - 1);
    const std::uint64_t value = low + random_.below(powerOfTen(digits) - low);
    const std::size_t length = writeNumber(registrationNumber_, value);
    person_.registrationNumber = std::string_view(registrationNumber_, length);
}

void PersonGenerator::drawRegistrationDate(std::int64_t birthDay) {
    if (random_.chance(3, 100)) {
        person_.registrationDate.reset();
        return;
    }
    const engine::CivilDate date = engine::civilDateOf(
        static_cast<engine::DayNumber>(random_.between(std::max(birthDay, firstRegistrationDay), lastRegistrationDay)));
    writeDigits(registrationDate_, static_cast<std::uint64_t>(date.year), 4);
    registrationDate_[4] = '-';
    writeDigits(registrationDate_ + 5, static_cast<std::uint64_t>(date.month), 2);
    registrationDate_[7] = '-';
    writeDigits(registrationDate_ + 8, static_cast<std::uint64_t>(date.day), 2);
    person_.registrationDate = std::string_view(registrationDate_, 10);
}

void PersonGenerator::drawDeregistration() {
    if (!random_.chance(5, 100)) {
        person_.deregistrationNumber.reset();
        return;
    }
    const std::size_t length = writeNumber(deregistrationNumber_, random_.below(999999) + 1);
    person_.deregistrationNumber = std::string_view(deregistrationNumber_, length);
}

} // namespace demodb
