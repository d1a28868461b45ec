#include "RegisterCheck.h"

#include "engine/CellText.h"
#include "engine/EngineError.h"

#include <new>
#include <optional>

namespace registercheck {
namespace {

constexpr std::int64_t kProgressEvery = 65536;

std::size_t columnIndex(const engine::RegisterTable& table, std::string_view name) {
    return static_cast<std::size_t>(&table.column(name) - table.columns.data());
}

// A stored value in quotes, as a message can show it.
std::string quoted(std::string_view stored) { return "'" + engine::printableValue(stored) + "'"; }

// What the engine's boolean reader makes of a flag: its value, or the message of its failure.
struct FlagReading {
    std::optional<bool> value;
    std::string failure;
};

FlagReading readFlag(engine::Cursor& cursor, std::size_t column) {
    try {
        return FlagReading{cursor.boolean(column), {}};
    } catch (const engine::EngineError& e) {
        return FlagReading{std::nullopt, e.what()};
    }
}

std::string describe(const FlagReading& reading) {
    if (reading.value)
        return std::string("the engine reads it as ") + (*reading.value ? "true" : "false");
    return "the engine cannot read it (" + reading.failure + ")";
}

std::string tableFailureEffect(bool doctors, std::int64_t rowsRead) {
    std::string effect = doctors
                             ? "the doctor list cannot be opened: the window and pelmarot-export stop with this "
                               "error; the persons' doctors are not checked"
                             : "no doctor's list can be opened: the window and pelmarot-export stop with this error";
    if (rowsRead > 0)
        effect += "; the " + std::to_string(rowsRead) + " rows read before the failure were checked";
    return effect;
}

} // namespace

FlagTexts flagTextsOfDriver(std::string_view driver) {
    if (driver == "postgresql")
        return FlagTexts{"t", "f"};
    return FlagTexts{"1", "0"};
}

RegisterCheck::RegisterCheck(const engine::CodePage& codePage, FlagTexts flags, std::size_t keptPerKind)
    : codePage_(codePage), flags_(flags), doctorCode_(columnIndex(engine::doctorTable(), "LEKAR_S")),
      doctorActive_(columnIndex(engine::doctorTable(), "AKTIVEN")),
      personMb_(columnIndex(engine::insuredTable(), "MB")), personCode_(columnIndex(engine::insuredTable(), "LEKAR_S")),
      personUcen30_(columnIndex(engine::insuredTable(), "UCEN_30")),
      personUcen70_(columnIndex(engine::insuredTable(), "UCEN_70")),
      personBrOdj_(columnIndex(engine::insuredTable(), "BR_ODJ")), findings_(keptPerKind) {}

void RegisterCheck::run(engine::Database& database, const Progress& progress) {
    for (const engine::RegisterTable* table : engine::registerTables()) {
        const bool read = checkTable(database, *table, progress);
        if (table == &engine::doctorTable())
            counts_.doctorsRead = read;
    }
    // Also over the rows read before a failure of the table.
    try {
        reportRepeatedPersons();
    } catch (const std::bad_alloc&) {
        throw OutOfMemory("Out of memory while looking for persons listed twice with one doctor, after reading " +
                          std::to_string(counts_.persons) + " persons: the check needs more memory for this register");
    }
}

std::vector<std::string> RegisterCheck::nothingReadMessages() const {
    if (unreadTables_.size() == engine::registerTables().size())
        return unreadTables_;
    return {};
}

bool RegisterCheck::checkTable(engine::Database& database, const engine::RegisterTable& table,
                               const Progress& progress) {
    const bool doctors = &table == &engine::doctorTable();
    std::int64_t rows = 0;
    std::int64_t rowsChecked = 0;
    try {
        const auto cursor = database.execute(engine::selectAllStatement(table), {});
        while (cursor->next()) {
            ++rows;
            if (doctors)
                checkDoctorRow(*cursor, rows);
            else
                checkPersonRow(*cursor, rows);
            rowsChecked = rows;
            if (progress && rows % kProgressEvery == 0)
                progress(table.name, rows);
        }
    } catch (const std::bad_alloc&) {
        // What was kept of the rows before is still held; the row itself is freed, which leaves room for the
        // message.
        throw OutOfMemory("Out of memory while reading the table " + std::string(table.name) + " at row " +
                          std::to_string(rowsChecked + 1) + ": the check needs more memory for this register");
    } catch (const engine::EngineError& e) {
        if (rows == 0)
            unreadTables_.emplace_back(e.what());
        findings_.add(ProblemKind::UnreadableTable, [&] {
            return Finding{table.name, {}, {}, e.what(), tableFailureEffect(doctors, rows)};
        });
        if (progress)
            progress(table.name, rows);
        return false;
    }
    if (progress)
        progress(table.name, rows);
    return true;
}

std::string RegisterCheck::rowKey(engine::Cursor& cursor, const engine::RegisterTable& table, std::int64_t row) const {
    std::string key = "row " + std::to_string(row);
    const auto add = [&](std::size_t column) {
        key += ", " + std::string(table.columns[column].name) +
               (cursor.isBlank(column) ? std::string(" blank") : " " + quoted(cursor.storedText(column)));
    };
    if (&table == &engine::doctorTable()) {
        add(doctorCode_);
    } else {
        add(personMb_);
        add(personCode_);
    }
    return key;
}

RegisterCheck::DoctorState& RegisterCheck::doctorOf(const std::string& code) {
    const auto [entry, added] = doctors_.try_emplace(code);
    if (added) {
        entry->second.id = static_cast<std::uint32_t>(doctorsById_.size());
        doctorsById_.push_back(&*entry);
    }
    return entry->second;
}

const RegisterCheck::DoctorState* RegisterCheck::doctorInLekari(const std::string& code) const {
    const auto found = doctors_.find(code);
    return found == doctors_.end() || found->second.row == 0 ? nullptr : &found->second;
}

template <typename Effect>
void RegisterCheck::checkTexts(engine::Cursor& cursor, const engine::RegisterTable& table, std::int64_t row,
                               const Effect& effect) {
    for (std::size_t c = 0; c < table.columns.size(); ++c) {
        const engine::RegisterColumn& column = table.columns[c];
        if (column.kind != engine::ColumnKind::Text || cursor.isBlank(c))
            continue;
        const std::string_view text = cursor.text(c);
        if (cursor.textIsExact(c))
            continue;
        findings_.add(ProblemKind::UnheldText, [&] {
            const std::string shown = codePage_.toUtf8(text);
            return Finding{table.name, rowKey(cursor, table, row), std::string(column.name),
                           quoted(cursor.storedText(c)) + " cannot be held by the code page " + codePage_.name() +
                               ", which reads it as " + quoted(shown),
                           effect(column.name, shown)};
        });
    }
}

template <typename Effect>
void RegisterCheck::checkFlags(engine::Cursor& cursor, const engine::RegisterTable& table, std::int64_t row,
                               const Effect& effect) {
    for (std::size_t c = 0; c < table.columns.size(); ++c) {
        const engine::RegisterColumn& column = table.columns[c];
        if (column.kind != engine::ColumnKind::Boolean || cursor.isBlank(c))
            continue;
        const std::string stored = cursor.storedText(c);
        if (stored == flags_.trueText || stored == flags_.falseText)
            continue;
        findings_.add(ProblemKind::FlagSpelling, [&] {
            return Finding{table.name, rowKey(cursor, table, row), std::string(column.name),
                           quoted(stored) + " is stored where " + std::string(flags_.trueText) + " or " +
                               std::string(flags_.falseText) + " is expected",
                           effect(column.name, readFlag(cursor, c))};
        });
    }
}

void RegisterCheck::checkDoctorRow(engine::Cursor& cursor, std::int64_t row) {
    ++counts_.doctors;
    const std::string code = cursor.storedText(doctorCode_);
    // The doctor list's condition aktiven=true holds for the driver's true and nothing else.
    const bool active = !cursor.isBlank(doctorActive_) && cursor.storedText(doctorActive_) == flags_.trueText;
    if (active)
        ++counts_.activeDoctors;

    checkTexts(cursor, engine::doctorTable(), row, [&](std::string_view column, const std::string& shown) {
        if (column == "LEKAR_S")
            return "the window refuses the doctor's list and pelmarot-export fails for the code: as " + quoted(shown) +
                   " it would select another doctor's list and file";
        return "the doctor box shows " + quoted(shown);
    });
    checkFlags(cursor, engine::doctorTable(), row, [](std::string_view, const FlagReading& reading) {
        return describe(reading) + "; the doctor list's condition aktiven=true does not hold for it, so the doctor box "
                                   "and pelmarot-export --all leave the doctor out";
    });
    checkDoctorCode(cursor, row, code, active);
}

void RegisterCheck::checkDoctorCode(engine::Cursor& cursor, std::int64_t row, const std::string& stored, bool active) {
    // The code as the lists bind it and the export names its file.
    const std::string_view inPage = cursor.text(doctorCode_);
    const auto fileName = [&] { return quoted(codePage_.toUtf8(inPage) + ".txt"); };
    const auto codeFinding = [&](ProblemKind kind, std::string problem, std::string effect) {
        findings_.add(kind, [&] {
            return Finding{engine::doctorTable().name, rowKey(cursor, engine::doctorTable(), row), "LEKAR_S",
                           std::move(problem), std::move(effect)};
        });
    };

    if (inPage.empty()) {
        codeFinding(ProblemKind::CodeNoFileName,
                    cursor.isBlank(doctorCode_) ? "the code is blank" : "the code is an empty text",
                    "its export file would be named '.txt', a hidden file that names no doctor");
    } else if (const bool slash = inPage.find('/') != std::string_view::npos;
               slash || inPage.find('\0') != std::string_view::npos) {
        codeFinding(ProblemKind::CodeNoFileName,
                    "the code " + quoted(stored) + " holds " + (slash ? "\"/\"" : "a NUL byte"),
                    "the window's export and pelmarot-export refuse it: a file name cannot hold \"/\" or a NUL byte");
    }

    DoctorState& doctor = doctorOf(stored);
    if (doctor.row == 0)
        doctor.row = row;
    else
        codeFinding(ProblemKind::DuplicateDoctor,
                    "the code " + quoted(stored) + " is also in row " + std::to_string(doctor.row),
                    "both rows share one list and one export file, " + fileName());
    doctor.active = doctor.active || active;

    const auto [twin, newInPage] = codesInPage_.try_emplace(std::string(inPage), CodeInPage{stored, row});
    if (!newInPage && twin->second.stored != stored)
        codeFinding(ProblemKind::CollidingCode,
                    "in the code page " + codePage_.name() + " the code is " + quoted(codePage_.toUtf8(inPage)) +
                        ", as is the code " + quoted(twin->second.stored) + " of row " +
                        std::to_string(twin->second.row),
                    "the two doctors would share one list and one export file, " + fileName());
}

std::string RegisterCheck::whyNoList(bool codeBlank, const std::string& code, const DoctorState* doctor) const {
    if (codeBlank)
        return "the person has no doctor";
    return "the doctor " + quoted(code) + (doctor ? " is inactive" : " is not in Lekari");
}

void RegisterCheck::checkPersonRow(engine::Cursor& cursor, std::int64_t row) {
    const engine::RegisterTable& table = engine::insuredTable();
    ++counts_.persons;
    const bool deregistered = !cursor.isBlank(personBrOdj_);
    const bool codeBlank = cursor.isBlank(personCode_);
    const std::string code = cursor.storedText(personCode_);
    const DoctorState* doctor = doctorInLekari(code);
    const bool mayBeListed = !deregistered && listReads(doctor);

    const auto listOf = [&] { return "the list of doctor " + (codeBlank ? std::string("blank") : quoted(code)); };
    const auto whyUnlisted = [&] {
        return deregistered ? std::string("the person is deregistered") : whyNoList(codeBlank, code, doctor);
    };

    const FlagReading ucen30 = readFlag(cursor, personUcen30_);
    const FlagReading ucen70 = readFlag(cursor, personUcen70_);
    std::optional<std::int32_t> percent;
    if (ucen30.value && ucen70.value)
        percent = engine::capitationPercent(*ucen30.value, *ucen70.value);

    checkTexts(cursor, table, row, [&](std::string_view column, const std::string& shown) {
        if (column == "LEKAR_S")
            return "the person is in no list: no doctor code the code page holds selects " + quoted(code);
        if (mayBeListed)
            return listOf() + " and its export show " + quoted(shown) +
                   "; pelmarot-export warns and ends with status 1 unless --accept-transliterated";
        return "no list shows it: " + whyUnlisted();
    });

    for (std::size_t c = 0; c < table.columns.size(); ++c) {
        if (table.columns[c].kind != engine::ColumnKind::Date || cursor.isBlank(c))
            continue;
        try {
            cursor.date(c);
        } catch (const engine::EngineError& e) {
            findings_.add(ProblemKind::UnreadableDate, [&] {
                return Finding{table.name, rowKey(cursor, table, row), std::string(table.columns[c].name), e.what(),
                               mayBeListed ? listOf() + " cannot be opened: the window shows this error and "
                                                        "pelmarot-export fails for the doctor"
                                           : "no list reads it: " + whyUnlisted()};
            });
        }
    }

    checkFlags(cursor, table, row, [&](std::string_view, const FlagReading& reading) {
        if (!mayBeListed)
            return describe(reading) + "; no list reads it: " + whyUnlisted();
        if (!reading.value)
            return describe(reading) + ": " + listOf() + " cannot be opened, in the window or by pelmarot-export";
        if (percent && counts_.doctorsRead)
            return describe(reading) + ", and " + listOf() + " shows the person at " + std::to_string(*percent) + "%";
        return describe(reading);
    });

    if (deregistered) {
        const std::string_view number = cursor.text(personBrOdj_);
        if (number.find_first_not_of(' ') == std::string_view::npos)
            findings_.add(ProblemKind::EmptyDeregistration, [&] {
                return Finding{table.name, rowKey(cursor, table, row), "BR_ODJ",
                               number.empty() ? "an empty text is stored instead of NULL"
                                              : "only spaces " + quoted(cursor.storedText(personBrOdj_)) +
                                                    " are stored instead of NULL",
                               "the lists' condition br_odj is null does not hold: the person counts as "
                               "deregistered and is left out of " +
                                   (listReads(doctor) ? listOf() + " and its export" : std::string("every list"))};
            });
        return;
    }

    if (counts_.doctorsRead) {
        if (!doctor) {
            findings_.add(ProblemKind::UnknownDoctor, [&] {
                return Finding{table.name, rowKey(cursor, table, row), "LEKAR_S",
                               codeBlank ? std::string("the person has no doctor code")
                                         : "the doctor code " + quoted(code) + " is in no row of Lekari",
                               "the person is in no list and no export"};
            });
        } else if (!doctor->active) {
            findings_.add(ProblemKind::InactiveDoctor, [&] {
                return Finding{table.name, rowKey(cursor, table, row), "LEKAR_S",
                               "the doctor " + quoted(code) + " (Lekari, row " + std::to_string(doctor->row) +
                                   ") is inactive",
                               "the person is in no list and no export: the doctor box does not offer the doctor, "
                               "and pelmarot-export refuses the code"};
            });
        } else {
            ++counts_.listed;
            if (!percent)
                ++counts_.listedWithoutPercent;
            else
                ++(*percent == 70 ? counts_.listedAt70 : *percent == 30 ? counts_.listedAt30 : counts_.listedAt100);
        }
    }

    if (!codeBlank && !cursor.isBlank(personMb_))
        personsByDoctor_.add(doctorOf(code).id, cursor.storedText(personMb_), row);
}

void RegisterCheck::reportRepeatedPersons() {
    const engine::RegisterTable& table = engine::insuredTable();
    for (const RepeatedPairs::Repeat& repeat : personsByDoctor_.repeats()) {
        const auto& [code, state] = *doctorsById_[repeat.number];
        const DoctorState* doctor = state.row > 0 ? &state : nullptr;
        findings_.add(ProblemKind::DuplicatePerson, [&] {
            const std::string person = quoted(repeat.text);
            return Finding{
                table.name, "row " + std::to_string(repeat.row) + ", MB " + person + ", LEKAR_S " + quoted(code), "MB",
                "the person " + person + " is listed with the doctor " + quoted(code) + " in row " +
                    std::to_string(repeat.firstRow) + " too",
                listReads(doctor) ? "the list of doctor " + quoted(code) + " and its export show the person twice"
                                  : "no list shows either row: " + whyNoList(false, code, doctor)};
        });
    }
}

} // namespace registercheck
