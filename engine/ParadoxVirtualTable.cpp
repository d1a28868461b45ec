#include "engine/ParadoxVirtualTable.h"

#include "engine/CellText.h"
#include "engine/EngineError.h"
#include "engine/Text.h"

#include <charconv>
#include <cstdio>
#include <new>
#include <optional>
#include <sqlite3.h>
#include <type_traits>
#include <utility>

namespace engine {

// ---------------------------------------------------------------------------------------------------------
// The table source

namespace {

const char* sqlTypeOf(ParadoxFieldType type) {
    switch (type) {
    case ParadoxFieldType::Alpha:
        return "TEXT";
    case ParadoxFieldType::Logical:
        return "BOOLEAN";
    case ParadoxFieldType::Date:
        return "DATE";
    case ParadoxFieldType::Short:
    case ParadoxFieldType::Long:
    case ParadoxFieldType::AutoIncrement:
        return "INTEGER";
    case ParadoxFieldType::Number:
    case ParadoxFieldType::Currency:
        return "REAL";
    case ParadoxFieldType::Bcd:
        return "DECIMAL";
    case ParadoxFieldType::Time:
        return "TIME";
    case ParadoxFieldType::Timestamp:
        return "DATETIME";
    case ParadoxFieldType::Bytes:
        return "BLOB";
    default:
        return "";
    }
}

} // namespace

bool ParadoxTableSource::Column::operator==(const Column& other) const {
    return field == other.field && name == other.name && std::string_view(sqlType) == other.sqlType;
}

ParadoxTableSource::ParadoxTableSource(std::string path, const CodePage& engineCodePage,
                                       std::shared_ptr<ParadoxPasswords> passwords)
    : path_(std::move(path)), engineCodePage_(engineCodePage), passwords_(std::move(passwords)),
      table_(std::make_shared<ParadoxTable>(path_, passwords_.get())) {
    columns_ = columnsOf(*table_);
    indexes_.resize(columns_.size());
}

std::vector<ParadoxTableSource::Column> ParadoxTableSource::columnsOf(const ParadoxTable& table) const {
    const CodePage& stored = table.codePage() ? *table.codePage() : engineCodePage_;
    std::vector<Column> columns;
    for (const auto& field : table.fields()) {
        if (!field.hasValue())
            continue;
        Column column{field.index, stored.toUtf8(field.name), sqlTypeOf(field.type)};
        for (const auto& earlier : columns)
            if (equalsIgnoreCase(earlier.name, column.name))
                throw EngineError(table.path() + ", header: two fields are named '" + field.name + "'");
        columns.push_back(std::move(column));
    }
    if (columns.empty())
        throw EngineError(table.path() + ", header: the table has no field that holds a value in its records");
    return columns;
}

bool ParadoxTableSource::isAlphaColumn(std::size_t column) const {
    return column < columns_.size() && table_->fields()[columns_[column].field].type == ParadoxFieldType::Alpha;
}

std::string ParadoxTableSource::declaration() const {
    std::string sql = "CREATE TABLE x(";
    for (std::size_t i = 0; i < columns_.size(); ++i)
        sql += (i ? ", " : "") + quotedIdentifier(columns_[i].name) + " " + columns_[i].sqlType;
    return sql + ")";
}

bool ParadoxTableSource::refresh() {
    if (fileIdentityOf(path_) == table_->identity())
        return true;
    auto reopened = std::make_shared<const ParadoxTable>(path_, passwords_.get());
    if (columnsOf(*reopened) != columns_)
        return false;
    table_ = std::move(reopened);
    for (auto& index : indexes_)
        index.reset();
    return true;
}

void ParadoxTableSource::noteChangeWhileRead(std::string message) {
    const std::lock_guard lock(changeMutex_);
    changeWhileRead_ = std::move(message);
}

std::string ParadoxTableSource::takeChangeWhileRead() {
    const std::lock_guard lock(changeMutex_);
    return std::exchange(changeWhileRead_, {});
}

const CodePage& ParadoxTableSource::storedCodePage() const {
    return table_->codePage() ? *table_->codePage() : engineCodePage_;
}

std::shared_ptr<const ParadoxAlphaIndex> ParadoxTableSource::index(std::size_t column) {
    if (!indexes_.at(column)) {
        const CodePage& stored = storedCodePage();
        indexes_[column] =
            std::make_shared<const ParadoxAlphaIndex>(*table_, table_->fields()[columns_[column].field],
                                                      [&stored](std::string_view text) { return stored.toUtf8(text); });
    }
    return indexes_[column];
}

// ---------------------------------------------------------------------------------------------------------
// The registry

void ParadoxTableRegistry::add(const std::string& sqlName, std::shared_ptr<ParadoxTableSource> source) {
    tables_[toLower(sqlName)] = Entry{sqlName, std::move(source)};
}

void ParadoxTableRegistry::remove(const std::string& sqlName) { tables_.erase(toLower(sqlName)); }

std::shared_ptr<ParadoxTableSource> ParadoxTableRegistry::find(std::string_view sqlName) const {
    const auto it = tables_.find(toLower(sqlName));
    return it == tables_.end() ? nullptr : it->second.source;
}

std::vector<std::pair<std::string, std::shared_ptr<ParadoxTableSource>>> ParadoxTableRegistry::tables() const {
    std::vector<std::pair<std::string, std::shared_ptr<ParadoxTableSource>>> all;
    for (const auto& [key, entry] : tables_)
        all.emplace_back(entry.sqlName, entry.source);
    return all;
}

// ---------------------------------------------------------------------------------------------------------
// The module

namespace {

// The rows of one scan of a table: all records in chain order, or the records an index gives for one value.
class RowCursor {
public:
    explicit RowCursor(std::shared_ptr<ParadoxTableSource> source) : source_(std::move(source)) {}

    // indexedColumn: the column whose value the scan is limited to, or none.
    void filter(std::optional<std::size_t> indexedColumn, sqlite3_value* value) {
        if (!source_->refresh())
            throw EngineError(source_->path() +
                              ": the table's fields changed while it was in use; run the statement again");
        // What refers to the reader of the previous scan goes before the reader may.
        current_.reset();
        scan_.reset();
        positions_ = {};
        index_.reset();
        table_ = source_->table();
        storedCodePage_ = &source_->storedCodePage();
        nextPosition_ = 0;
        eof_ = false;
        const int type = indexedColumn ? sqlite3_value_type(value) : SQLITE_NULL;
        if (indexedColumn && type == SQLITE_NULL) {
            eof_ = true; // nothing equals NULL
            return;
        }
        if (indexedColumn && (type == SQLITE_TEXT || type == SQLITE_INTEGER)) {
            index_ = whileUnchanged([&] { return source_->index(*indexedColumn); });
            const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(value));
            const auto length = static_cast<std::size_t>(sqlite3_value_bytes(value));
            positions_ = index_->find(std::string_view(text ? text : "", text ? length : 0));
        } else {
            // Every record: no condition the index serves, or a number or BLOB compared with a text column,
            // where SQLite's own comparison decides row by row.
            scan_.emplace(*table_);
        }
        next();
    }

    void next() {
        // No current row until one is found: a step that throws leaves the cursor at its end.
        current_.reset();
        eof_ = true;
        whileUnchanged([&] {
            if (scan_) {
                if (scan_->next())
                    current_ = scan_->record();
            } else if (nextPosition_ < positions_.size()) {
                current_ = table_->readRecord(positions_[nextPosition_++], buffer_);
            }
            return 0;
        });
        eof_ = !current_;
        // The owner writes the table in place, without a lock we could take: a read that ends on a file that is
        // no longer the one it began on may hold rows of both, and is read again (ChangedWhileRead).
        if (eof_)
            requireUnchanged();
    }

    bool eof() const { return eof_; }
    sqlite3_int64 rowid() const { return current_ ? current_->position() : 0; }

    void column(sqlite3_context* context, std::size_t column) {
        const ParadoxTableSource::Column& info = source_->columns().at(column);
        const ParadoxField& field = table_->fields()[info.field];
        const ParadoxRecord& record = *current_;
        if (record.isBlank(field)) {
            sqlite3_result_null(context);
            return;
        }
        switch (field.type) {
        case ParadoxFieldType::Alpha: {
            const std::string_view stored = record.alpha(field);
            if (isAscii(stored)) {
                resultText(context, stored);
            } else {
                text_ = storedCodePage_->toUtf8(stored);
                resultText(context, text_);
            }
            break;
        }
        case ParadoxFieldType::Short:
        case ParadoxFieldType::Long:
        case ParadoxFieldType::AutoIncrement:
            sqlite3_result_int64(context, record.integer(field));
            break;
        case ParadoxFieldType::Number:
        case ParadoxFieldType::Currency:
            sqlite3_result_double(context, record.number(field));
            break;
        case ParadoxFieldType::Bcd:
            sqlite3_result_double(context, bcdValue(record.bcdText(field)));
            break;
        case ParadoxFieldType::Logical:
            sqlite3_result_int(context, record.logical(field) ? 1 : 0);
            break;
        case ParadoxFieldType::Date:
            resultText(context, isoDateText(record.date(field)));
            break;
        case ParadoxFieldType::Time:
            resultText(context, timeText(record.time(field)));
            break;
        case ParadoxFieldType::Timestamp: {
            const ParadoxTimestamp stamp = record.timestamp(field);
            resultText(context, isoDateText(stamp.day) + " " + timeText(stamp.millisecond));
            break;
        }
        case ParadoxFieldType::Bytes: {
            const std::string_view bytes = record.bytes(field);
            sqlite3_result_blob(context, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
            break;
        }
        default:
            sqlite3_result_null(context);
            break;
        }
    }

private:
    // Runs a read of the table; a failure while the file changed under it (a block that reads as damaged, a
    // record gone) is the writer's doing, and says so.
    template <typename Read>
    std::invoke_result_t<Read> whileUnchanged(Read read) {
        try {
            return read();
        } catch (const EngineError&) {
            requireUnchanged();
            throw;
        }
    }

    void requireUnchanged() {
        const FileIdentity now = fileIdentityOf(source_->path());
        const FileIdentity& read = table_->identity();
        if (now == read)
            return;
        const std::string what = now.size != read.size ? "its size went from " + std::to_string(read.size) + " to " +
                                                             std::to_string(now.size) + " bytes"
                                                       : "it was written again with the same size";
        const std::string message =
            "The table " + source_->path() + " was changed by another program while it was read (" + what + ")";
        source_->noteChangeWhileRead(message);
        throw ChangedWhileRead(message);
    }

    // Hands SQLite the text with a NUL after it (none of these texts holds one), which SQLite then keeps: a
    // text without one is copied again when it is read.
    void resultText(sqlite3_context* context, std::string_view text) {
        terminated_.assign(text);
        sqlite3_result_text(context, terminated_.c_str(), -1, SQLITE_TRANSIENT);
    }

    static std::string timeText(std::int32_t millisecond) {
        char text[16];
        const int seconds = millisecond / 1000;
        std::snprintf(text, sizeof text, "%02d:%02d:%02d", seconds / 3600, seconds / 60 % 60, seconds % 60);
        std::string out = text;
        if (millisecond % 1000 != 0) {
            std::snprintf(text, sizeof text, ".%03d", millisecond % 1000);
            out += text;
        }
        return out;
    }

    static double bcdValue(const std::string& text) {
        // Digits, a point and a sign only; from_chars reads them whatever the locale's decimal point is.
        double value = 0;
        const char* begin = text.data();
        std::from_chars(begin, begin + text.size(), value);
        return value;
    }

    std::shared_ptr<ParadoxTableSource> source_;
    std::shared_ptr<const ParadoxTable> table_;
    const CodePage* storedCodePage_ = nullptr;
    std::optional<ParadoxScan> scan_;
    std::shared_ptr<const ParadoxAlphaIndex> index_;
    std::span<const std::uint32_t> positions_;
    std::size_t nextPosition_ = 0;
    std::vector<unsigned char> buffer_;
    std::optional<ParadoxRecord> current_;
    bool eof_ = true;
    std::string text_;
    std::string terminated_;
};

// SQLite's structures first, so that SQLite's pointers are pointers to ours; ours own what they point to.
struct TableHandle {
    sqlite3_vtab base;
    std::shared_ptr<ParadoxTableSource>* source;
};
struct CursorHandle {
    sqlite3_vtab_cursor base;
    RowCursor* rows;
};
static_assert(std::is_standard_layout_v<TableHandle> && std::is_standard_layout_v<CursorHandle>);

TableHandle& tableOf(sqlite3_vtab* vtab) { return *reinterpret_cast<TableHandle*>(vtab); }
CursorHandle& cursorOf(sqlite3_vtab_cursor* cursor) { return *reinterpret_cast<CursorHandle*>(cursor); }

void setError(sqlite3_vtab* vtab, const char* message) {
    sqlite3_free(vtab->zErrMsg);
    vtab->zErrMsg = sqlite3_mprintf("%s", message);
}

int connectTable(sqlite3* db, void* registryData, int argc, const char* const* argv, sqlite3_vtab** result,
                 char** error) {
    const auto& registry = *static_cast<std::shared_ptr<ParadoxTableRegistry>*>(registryData);
    const std::string name = argc > 2 ? argv[2] : "";
    auto source = registry->find(name);
    if (!source) {
        *error = sqlite3_mprintf("no Paradox table is known as %s", name.c_str());
        return SQLITE_ERROR;
    }
    const std::string declaration = source->declaration();
    if (sqlite3_declare_vtab(db, declaration.c_str()) != SQLITE_OK) {
        *error = sqlite3_mprintf("%s: its fields cannot be declared as SQL columns (%s)", source->path().c_str(),
                                 sqlite3_errmsg(db));
        return SQLITE_ERROR;
    }
    auto* handle = new TableHandle{};
    handle->source = new std::shared_ptr<ParadoxTableSource>(std::move(source));
    *result = &handle->base;
    return SQLITE_OK;
}

int disconnect(sqlite3_vtab* vtab) {
    TableHandle* handle = &tableOf(vtab);
    sqlite3_free(vtab->zErrMsg);
    delete handle->source;
    delete handle;
    return SQLITE_OK;
}

int bestIndex(sqlite3_vtab* vtab, sqlite3_index_info* info) {
    const ParadoxTableSource& source = **tableOf(vtab).source;
    for (int i = 0; i < info->nConstraint; ++i) {
        const auto& constraint = info->aConstraint[i];
        if (!constraint.usable || constraint.op != SQLITE_INDEX_CONSTRAINT_EQ || constraint.iColumn < 0 ||
            !source.isAlphaColumn(static_cast<std::size_t>(constraint.iColumn)))
            continue;
        // The index holds the exact texts: only a comparison by bytes may use it.
        const char* collation = sqlite3_vtab_collation(info, i);
        if (collation != nullptr && sqlite3_stricmp(collation, "BINARY") != 0)
            continue;
        info->aConstraintUsage[i].argvIndex = 1;
        info->aConstraintUsage[i].omit = 0; // SQLite checks each row again; the index only narrows the rows
        info->idxNum = constraint.iColumn + 1;
        info->estimatedCost = 10;
        info->estimatedRows = 10;
        return SQLITE_OK;
    }
    const auto records = static_cast<double>(source.table()->recordCountInHeader());
    info->idxNum = 0;
    info->estimatedCost = records + 1000;
    info->estimatedRows = static_cast<sqlite3_int64>(records) + 1;
    return SQLITE_OK;
}

int openCursor(sqlite3_vtab* vtab, sqlite3_vtab_cursor** result) {
    // An exception must not cross SQLite's C frames.
    auto* handle = new (std::nothrow) CursorHandle{};
    if (handle == nullptr)
        return SQLITE_NOMEM;
    handle->rows = new (std::nothrow) RowCursor(*tableOf(vtab).source);
    if (handle->rows == nullptr) {
        delete handle;
        return SQLITE_NOMEM;
    }
    *result = &handle->base;
    return SQLITE_OK;
}

int closeCursor(sqlite3_vtab_cursor* cursor) {
    CursorHandle* handle = &cursorOf(cursor);
    delete handle->rows;
    delete handle;
    return SQLITE_OK;
}

// Runs a step of a cursor; a failure becomes the statement's error message.
template <typename Step>
int guarded(sqlite3_vtab_cursor* cursor, Step step) {
    try {
        step(*cursorOf(cursor).rows);
        return SQLITE_OK;
    } catch (const std::bad_alloc&) {
        return SQLITE_NOMEM;
    } catch (const std::exception& e) {
        setError(cursor->pVtab, e.what());
        return SQLITE_ERROR;
    }
}

int filterRows(sqlite3_vtab_cursor* cursor, int indexNumber, const char*, int argc, sqlite3_value** argv) {
    return guarded(cursor, [&](RowCursor& rows) {
        if (indexNumber > 0 && argc == 1)
            rows.filter(static_cast<std::size_t>(indexNumber - 1), argv[0]);
        else
            rows.filter(std::nullopt, nullptr);
    });
}

int nextRow(sqlite3_vtab_cursor* cursor) {
    return guarded(cursor, [](RowCursor& rows) { rows.next(); });
}

int atEnd(sqlite3_vtab_cursor* cursor) { return cursorOf(cursor).rows->eof() ? 1 : 0; }

int columnValue(sqlite3_vtab_cursor* cursor, sqlite3_context* context, int index) {
    try {
        cursorOf(cursor).rows->column(context, static_cast<std::size_t>(index));
    } catch (const std::bad_alloc&) {
        sqlite3_result_error_nomem(context);
    } catch (const std::exception& e) {
        sqlite3_result_error(context, e.what(), -1);
    }
    return SQLITE_OK;
}

int rowidOf(sqlite3_vtab_cursor* cursor, sqlite3_int64* result) {
    *result = cursorOf(cursor).rows->rowid();
    return SQLITE_OK;
}

int connectGuarded(sqlite3* db, void* registryData, int argc, const char* const* argv, sqlite3_vtab** result,
                   char** error) {
    try {
        return connectTable(db, registryData, argc, argv, result, error);
    } catch (const std::exception& e) {
        *error = sqlite3_mprintf("%s", e.what());
        return SQLITE_ERROR;
    }
}

sqlite3_module makeModule() {
    sqlite3_module module{};
    module.iVersion = 1;
    module.xCreate = connectGuarded;
    module.xConnect = connectGuarded;
    module.xBestIndex = bestIndex;
    module.xDisconnect = disconnect;
    module.xDestroy = disconnect;
    module.xOpen = openCursor;
    module.xClose = closeCursor;
    module.xFilter = filterRows;
    module.xNext = nextRow;
    module.xEof = atEnd;
    module.xColumn = columnValue;
    module.xRowid = rowidOf;
    return module;
}

const sqlite3_module kModule = makeModule();

void deleteRegistry(void* data) { delete static_cast<std::shared_ptr<ParadoxTableRegistry>*>(data); }

} // namespace

void registerParadoxModule(sqlite3* db, std::shared_ptr<ParadoxTableRegistry> registry) {
    auto* data = new std::shared_ptr<ParadoxTableRegistry>(std::move(registry));
    // SQLite calls the destructor itself when registering fails.
    if (sqlite3_create_module_v2(db, "paradox", &kModule, data, deleteRegistry) != SQLITE_OK)
        throw EngineError(std::string("Cannot register the Paradox tables with SQLite: ") + sqlite3_errmsg(db));
}

} // namespace engine
