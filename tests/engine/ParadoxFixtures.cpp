#include "engine/ParadoxFixtures.h"

#include "engine/RegisterSchema.h"

extern "C" {
#include <paradox.h>
}

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <stdexcept>

namespace testsupport {
namespace {

// pxlib numbers days by the Julian day number; the table counts from 1 January of year 1 as day 1.
constexpr long kJulianDayBeforeDayOne = 1721425;
constexpr double kMillisecondsPerDay = 86'400'000.0;

int widthOf(const PxlibTable::Field& field) { return field.type == pxfBCD ? 17 : field.size; }

} // namespace

PxlibTable::PxlibTable(const std::string& path, std::vector<Field> fields, const std::string& encoding)
    : fields_(std::move(fields)) {
    px_ = PX_new();
    // pxlib takes ownership of the descriptors (and frees them with its own allocator).
    auto* descriptors = static_cast<pxfield_t*>(std::calloc(fields_.size(), sizeof(pxfield_t)));
    int offset = 0;
    for (std::size_t i = 0; i < fields_.size(); ++i) {
        descriptors[i].px_fname = strdup(fields_[i].name.c_str());
        descriptors[i].px_ftype = static_cast<char>(fields_[i].type);
        descriptors[i].px_flen = widthOf(fields_[i]);
        descriptors[i].px_fdc = fields_[i].decimals;
        offsets_.push_back(offset);
        offset += widthOf(fields_[i]);
    }
    if (PX_create_file(px_, descriptors, static_cast<int>(fields_.size()), path.c_str(), pxfFileTypNonIndexDB) < 0) {
        PX_delete(px_);
        throw std::runtime_error("pxlib cannot create " + path);
    }
    // Both are needed, and only after the file exists: otherwise every text is written empty.
    PX_set_parameter(px_, "targetencoding", encoding.c_str());
    PX_set_parameter(px_, "inputencoding", "UTF-8");
    record_.assign(static_cast<std::size_t>(PX_get_recordsize(px_)), '\0');
}

PxlibTable::~PxlibTable() { close(); }

void PxlibTable::close() {
    if (px_ == nullptr)
        return;
    PX_close(px_);
    PX_delete(px_);
    px_ = nullptr;
}

char* PxlibTable::at(std::size_t field) { return record_.data() + offsets_.at(field); }

long PxlibTable::dayOf(int year, int month, int day) const {
    return PX_GregorianToSdn(year, month, day) - kJulianDayBeforeDayOne;
}

void PxlibTable::setPassword(const std::string& password) { PX_set_parameter(px_, "password", password.c_str()); }

void PxlibTable::beginRecord() { std::fill(record_.begin(), record_.end(), '\0'); }

void PxlibTable::alpha(std::size_t field, const std::string& utf8) {
    PX_put_data_alpha(px_, at(field), fields_[field].size, const_cast<char*>(utf8.c_str()));
}

void PxlibTable::bytes(std::size_t field, const std::string& raw) {
    std::string padded = raw;
    padded.resize(static_cast<std::size_t>(fields_[field].size), '\0');
    PX_put_data_bytes(px_, at(field), fields_[field].size, padded.data());
}

void PxlibTable::shortInt(std::size_t field, int value) {
    PX_put_data_short(px_, at(field), 2, static_cast<short>(value));
}

void PxlibTable::longInt(std::size_t field, int value) { PX_put_data_long(px_, at(field), 4, value); }

void PxlibTable::number(std::size_t field, double value) { PX_put_data_double(px_, at(field), 8, value); }

void PxlibTable::logical(std::size_t field, bool value) { PX_put_data_byte(px_, at(field), 1, value ? 1 : 0); }

void PxlibTable::date(std::size_t field, int year, int month, int day) {
    PX_put_data_long(px_, at(field), 4, static_cast<int>(dayOf(year, month, day)));
}

void PxlibTable::time(std::size_t field, int millisecond) { PX_put_data_long(px_, at(field), 4, millisecond); }

void PxlibTable::timestamp(std::size_t field, int year, int month, int day, int millisecond) {
    const double value = static_cast<double>(dayOf(year, month, day)) * kMillisecondsPerDay + millisecond;
    PX_put_data_double(px_, at(field), 8, value);
}

void PxlibTable::bcd(std::size_t field, const std::string& text) {
    PX_put_data_bcd(px_, at(field), fields_[field].decimals, const_cast<char*>(text.c_str()));
}

void PxlibTable::appendRecord() {
    if (PX_put_record(px_, record_.data()) < 0)
        throw std::runtime_error("pxlib cannot append a record");
}

void PxlibTable::deleteRecord(int position) {
    if (PX_delete_record(px_, position) < 0)
        throw std::runtime_error("pxlib cannot delete record " + std::to_string(position));
}

namespace {

// The register's table as the legacy Paradox tables lay it out.
std::vector<PxlibTable::Field> paradoxFields(const engine::RegisterTable& table) {
    std::vector<PxlibTable::Field> fields;
    for (const auto& column : table.columns) {
        switch (column.kind) {
        case engine::ColumnKind::Text:
            fields.push_back({std::string(column.name), pxfAlpha, column.paradoxWidth});
            break;
        case engine::ColumnKind::Boolean:
            fields.push_back({std::string(column.name), pxfLogical, 1});
            break;
        case engine::ColumnKind::Date:
            fields.push_back({std::string(column.name), pxfDate, 4});
            break;
        }
    }
    return fields;
}

} // namespace

void writeParadoxRegister(const std::string& folder, const std::vector<DoctorRow>& doctors,
                          const std::vector<PersonRow>& persons, const std::string& encoding,
                          const TablePasswords& passwords) {
    {
        PxlibTable lekari(folder + "/Lekari.DB", paradoxFields(engine::doctorTable()), encoding);
        if (!passwords.doctors.empty())
            lekari.setPassword(passwords.doctors);
        for (const auto& d : doctors) {
            lekari.beginRecord();
            lekari.alpha(0, d.code);
            lekari.alpha(1, d.surname);
            lekari.alpha(2, d.firstName);
            lekari.alpha(3, d.municipality);
            lekari.logical(4, d.active);
            lekari.appendRecord();
        }
    }
    PxlibTable osigurenici(folder + "/Osigurenici.DB", paradoxFields(engine::insuredTable()), encoding);
    if (!passwords.insured.empty())
        osigurenici.setPassword(passwords.insured);
    for (const auto& p : persons) {
        osigurenici.beginRecord();
        osigurenici.alpha(0, p.mb);
        osigurenici.alpha(1, p.surname);
        osigurenici.alpha(2, p.fathersName);
        osigurenici.alpha(3, p.firstName);
        osigurenici.alpha(4, p.doctorCode);
        osigurenici.alpha(5, p.registrationNumber);
        osigurenici.logical(6, p.ucen30);
        osigurenici.logical(7, p.ucen70);
        if (p.registrationDate) {
            const std::string& iso = *p.registrationDate;
            osigurenici.date(8, std::stoi(iso.substr(0, 4)), std::stoi(iso.substr(5, 2)), std::stoi(iso.substr(8, 2)));
        }
        if (p.deregistrationNumber)
            osigurenici.alpha(9, *p.deregistrationNumber);
        osigurenici.appendRecord();
    }
}

std::vector<PxlibTable::Field> everyFieldType(int alphaSize, int memoSize, int bytesSize) {
    return {{"A", pxfAlpha, alphaSize}, {"D", pxfDate, 4},     {"S", pxfShort, 2},
            {"I", pxfLong, 4},          {"C", pxfCurrency, 8}, {"M", pxfMemoBLOb, memoSize},
            {"N", pxfNumber, 8},        {"L", pxfLogical, 1},  {"T", pxfTime, 4},
            {"TS", pxfTimestamp, 8},    {"AI", pxfAutoInc, 4}, {"BCD", pxfBCD, 17, 2},
            {"Y", pxfBytes, bytesSize}};
}

std::string paradoxAlias(const std::string& folder, const std::string& aliasName) {
    return "[" + aliasName + "]\ndriver = paradox\npath = " + folder + "\n";
}

void writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void patchBytes(const std::string& path, std::size_t offset, const std::string& bytes) {
    std::string content = readFile(path);
    if (offset + bytes.size() > content.size())
        throw std::logic_error("patch past the end of " + path);
    content.replace(offset, bytes.size(), bytes);
    writeBytes(path, content);
}

std::string littleEndian16(unsigned value) {
    return std::string{static_cast<char>(value & 0xFF), static_cast<char>((value >> 8) & 0xFF)};
}

} // namespace testsupport
