#include "ParadoxRegister.h"

#include "engine/Date.h"
#include "engine/ParadoxTestWriter.h"
#include "engine/RegisterSchema.h"
#include "engine/SqliteHandles.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sqlite3.h>
#include <stdexcept>
#include <string>
#include <vector>

namespace bench {
namespace {

namespace fs = std::filesystem;
using engine::ColumnKind;

std::string_view textOf(sqlite3_stmt* row, int index) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(row, index));
    return {text, static_cast<std::size_t>(sqlite3_column_bytes(row, index))};
}

// Stores one SQLite value in its field; NULL (and the empty text, which Paradox cannot tell from it) stays blank.
void storeValue(const testsupport::ParadoxTestWriter& writer, std::string& record, std::size_t field,
                const engine::RegisterColumn& column, sqlite3_stmt* row) {
    const int index = static_cast<int>(field);
    if (sqlite3_column_type(row, index) == SQLITE_NULL)
        return;
    if (column.kind == ColumnKind::Boolean) {
        writer.logical(record, field, sqlite3_column_int(row, index) != 0);
        return;
    }
    const std::string_view text = textOf(row, index);
    if (column.kind == ColumnKind::Date) {
        const auto day = engine::parseIsoDate(text);
        if (!day)
            throw std::runtime_error("the date '" + std::string(text) + "' is not YYYY-MM-DD");
        writer.date(record, field, *day);
        return;
    }
    if (text.size() > static_cast<std::size_t>(column.paradoxWidth))
        throw std::runtime_error("the text '" + std::string(text) + "' is wider than the field's " +
                                 std::to_string(column.paradoxWidth) + " characters");
    writer.alpha(record, field, text);
}

void copyTable(sqlite3* db, const engine::RegisterTable& table, const fs::path& file) {
    testsupport::ParadoxTestWriter writer(file.string(), testsupport::registerFields(table),
                                          {.versionId = 12, .blockSizeCode = 4, .codePage = 1251});
    const std::string sql = engine::selectAllStatement(table) + " ORDER BY rowid";
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &raw, nullptr) != SQLITE_OK)
        throw std::runtime_error(sqlite3_errmsg(db));
    const engine::SqliteStatement rows(raw);
    for (long long rowNumber = 1; sqlite3_step(rows.get()) == SQLITE_ROW; ++rowNumber) {
        std::string record = writer.blankRecord();
        for (std::size_t field = 0; field < table.columns.size(); ++field) {
            try {
                storeValue(writer, record, field, table.columns[field], rows.get());
            } catch (const std::exception& e) {
                throw std::runtime_error(std::string(table.name) + ", row " + std::to_string(rowNumber) + ", " +
                                         std::string(table.columns[field].name) + ": " + e.what());
            }
        }
        writer.append(record);
    }
    writer.finish();
}

// The source's size and modification time: a register made again gets a new Paradox copy.
std::string sourceStamp(const fs::path& sqliteRegister) {
    const auto modified = std::chrono::file_clock::to_sys(fs::last_write_time(sqliteRegister));
    return sqliteRegister.filename().string() + " " + std::to_string(fs::file_size(sqliteRegister)) + " bytes, " +
           std::to_string(std::chrono::duration_cast<std::chrono::nanoseconds>(modified.time_since_epoch()).count()) +
           " ns";
}

void writeCopy(const fs::path& sqliteRegister, const fs::path& folder) {
    sqlite3* raw = nullptr;
    sqlite3_open_v2(sqliteRegister.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
    const engine::SqliteConnection db(raw);
    fs::create_directories(folder);
    copyTable(db.get(), engine::doctorTable(), folder / "Lekari.DB");
    copyTable(db.get(), engine::insuredTable(), folder / "Osigurenici.DB");
}

} // namespace

fs::path paradoxCopy(const fs::path& sqliteRegister, const fs::path& folder) {
    const std::string stamp = sourceStamp(sqliteRegister);
    std::string written;
    std::getline(std::ifstream(folder / "SOURCE"), written);
    if (written == stamp)
        return folder;
    fs::path building = folder;
    building += ".building";
    fs::remove_all(building);
    try {
        writeCopy(sqliteRegister, building);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench: cannot write the Paradox copy of %s: %s\n", sqliteRegister.c_str(), e.what());
        std::exit(1);
    }
    std::ofstream(building / "SOURCE") << stamp << "\n";
    fs::remove_all(folder);
    fs::rename(building, folder);
    return folder;
}

} // namespace bench
