#pragma once

// Reads all a Paradox table file holds the way the SQL layer reads it: the header, every record in chain
// order with every field decoded, each alpha field's index with a lookup of every value it holds, and each
// record again by its position. Shared by the damaged-file tests and the fuzzer: for any file whatever, this
// either succeeds or throws EngineError; anything else (a crash, a hang, a sanitizer report, an index that
// misses a record it was built from, a scan that succeeds with fewer or more records than the header
// promises) is a fault.

#include "engine/CodePage.h"
#include "engine/ParadoxIndex.h"
#include "engine/ParadoxPasswords.h"
#include "engine/ParadoxTable.h"

#include <algorithm>
#include <cstddef>
#include <stdexcept>
#include <string>
#include <vector>

namespace testsupport {

// The password of the protected tables among the fuzzer's seeds and the damaged-file tests' tables.
inline constexpr const char* kExercisePassword = "Lozinka7";

// Returns the number of records. Throws EngineError.
inline std::size_t exerciseParadoxTable(const std::string& path) {
    engine::ParadoxPasswords passwords(kExercisePassword, {});
    const engine::ParadoxTable table(path, &passwords);
    const engine::CodePage& stored = table.codePage() ? *table.codePage() : engine::CodePage::named("1251");
    std::vector<std::uint32_t> positions;
    std::size_t sink = 0;
    const auto decode = [&](const engine::ParadoxRecord& record) {
        for (const auto& field : table.fields()) {
            if (record.isBlank(field))
                continue;
            switch (field.type) {
            case engine::ParadoxFieldType::Alpha:
                sink += stored.toUtf8(record.alpha(field)).size();
                break;
            case engine::ParadoxFieldType::Short:
            case engine::ParadoxFieldType::Long:
            case engine::ParadoxFieldType::AutoIncrement:
                sink += static_cast<std::size_t>(record.integer(field) & 1);
                break;
            case engine::ParadoxFieldType::Number:
            case engine::ParadoxFieldType::Currency:
                sink += record.number(field) > 0 ? 1 : 0;
                break;
            case engine::ParadoxFieldType::Logical:
                sink += record.logical(field) ? 1 : 0;
                break;
            case engine::ParadoxFieldType::Date:
                sink += engine::civilDateOf(record.date(field)).month;
                break;
            case engine::ParadoxFieldType::Time:
                sink += static_cast<std::size_t>(record.time(field) & 1);
                break;
            case engine::ParadoxFieldType::Timestamp:
                sink += engine::civilDateOf(record.timestamp(field).day).day;
                break;
            case engine::ParadoxFieldType::Bcd:
                sink += record.bcdText(field).size();
                break;
            case engine::ParadoxFieldType::Bytes:
                sink += record.bytes(field).size();
                break;
            default:
                break;
            }
        }
    };
    for (engine::ParadoxScan scan(table); scan.next();) {
        decode(scan.record());
        positions.push_back(scan.record().position());
    }
    // A scan that ends without an error has read every record the header promises.
    if (positions.size() != table.recordCountInHeader())
        throw std::logic_error(path + ": a scan ended after " + std::to_string(positions.size()) + " of the " +
                               std::to_string(table.recordCountInHeader()) + " records the header promises");
    std::vector<unsigned char> buffer;
    for (const auto position : positions)
        decode(table.readRecord(position, buffer));
    for (const auto& field : table.fields()) {
        if (field.type != engine::ParadoxFieldType::Alpha)
            continue;
        const engine::ParadoxAlphaIndex index(table, field, [&](std::string_view text) { return stored.toUtf8(text); });
        for (const auto position : positions) {
            const engine::ParadoxRecord record = table.readRecord(position, buffer);
            if (record.isBlank(field))
                continue;
            // The index must lead back to every record it was built from.
            const auto found = index.find(stored.toUtf8(record.alpha(field)));
            if (std::find(found.begin(), found.end(), position) == found.end())
                throw std::logic_error(path + ": the index of field " + field.name + " misses a record");
            sink += found.size();
        }
    }
    return positions.size() + (sink & 0);
}

} // namespace testsupport
